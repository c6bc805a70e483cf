#include "app/command_line.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_info.h"
#include "app/program_state.h"
#include "app/stop_signals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <optional>

namespace {

// Runs the exit step when main returns, after the window is gone.
struct ExitStep
{
    kestrune::ProgramState &state;
    ~ExitStep() { kestrune::on_program_exit(state); }
};

} // namespace

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

    kestrune::ProgramState state;
    const ExitStep exit_step{state};

    auto window = std::make_unique<kestrune::MainWindow>();
    kestrune::Program program(state, *window);
    window->show();
    kestrune::on_main_window_ready(state);

    // Ends every event loop, a modal dialog's too, as if the window were closed.
    const kestrune::StopSignals stop_signals;
    QObject::connect(&stop_signals, &kestrune::StopSignals::stop_requested, &app, &QCoreApplication::quit);

    const int status = app.exec();
    window.reset(); // the timer stops and an open line is closed with the window
    return status;
}
