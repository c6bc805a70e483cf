// SPDX-License-Identifier: MIT
#include "app/command_line.h"
#include "app/program_info.h"
#include "app/running_program.h"
#include "app/stop_signals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <optional>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = kestrune::handle_command_line(argc, argv))
        return *status;
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("kestrune"));
    QGuiApplication::setDesktopFileName(kestrune::desktop_id);
    // The window speaks Chinese, so Qt's own texts (dialogs, edit menus) do too.
    QTranslator qt_texts;
    if (qt_texts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt_texts);

    // Torn down when main returns, before the application: the window, the
    // handlers, then the exit step.
    kestrune::RunningProgram program;
    program.window().show();

    // Ends every event loop, a modal dialog's too, as if the window were closed.
    const kestrune::StopSignals stop_signals;
    QObject::connect(&stop_signals, &kestrune::StopSignals::stop_requested, &app, &QCoreApplication::quit);

    return app.exec();
}
