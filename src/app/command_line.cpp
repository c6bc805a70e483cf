// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include "app/program_info.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace kestrune {

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

std::optional<int> handle_command_line(int argc, char *argv[])
{
    if (argc <= 1)
        return std::nullopt;

    // A core application only, torn down before main makes the real one: it gives the
    // parser the program's name and arguments and needs no display.
    const QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A serial-port terminal in one window. It takes no settings from the command line;\n"
                       "the port COMn is the device that ~/.config/kestrune/ports/COMn links to (see kestrune(1))."));
    // Qt's own -platform and the like are refused as whole words, like any other argument.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    parser.addOptions({help, version});

    QString error;
    if (!parser.parse(QCoreApplication::arguments()))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = u"unexpected argument '" % parser.positionalArguments().constFirst() % u"'.";
    else if (!parser.isSet(help) && !parser.isSet(version))
        error = QStringLiteral("unexpected argument '--'."); // the one argument that asks nothing
    if (!error.isEmpty()) {
        print(stderr, u"kestrune: " % error % u" Try 'kestrune --help'.\n");
        return 2;
    }
    if (parser.isSet(help))
        print(stdout, parser.helpText());
    else
        print(stdout, u"kestrune " % program_version % u"\n");
    return 0;
}

} // namespace kestrune
