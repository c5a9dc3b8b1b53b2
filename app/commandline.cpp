#include "app/commandline.h"

#include "app/programdir.h"
#include "app/roomoption.h"
#include "config/portableimport.h"
#include "text/fileio.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace zorvane::app {
namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString fromUtf8Path(const std::filesystem::path& path) {
    return QString::fromStdString(text::utf8FromPath(path));
}

int runImport(const QString& importDir) {
    const QString source = QDir::cleanPath(QFileInfo(importDir).absoluteFilePath());
    const QString target = programDirectory();
    const config::ImportResult result = config::importPortableFiles(
        text::pathFromUtf8(source.toStdString()), text::pathFromUtf8(target.toStdString()));
    if (!result.ok) {
        print(stderr, QStringLiteral("zorvane: %1\n").arg(QString::fromStdString(result.error)));
        return 1;
    }
    for (const auto& file : result.copied) {
        print(stdout, QStringLiteral("Imported %1\n").arg(fromUtf8Path(file)));
    }
    print(stdout, QStringLiteral("Zorvane keeps its files in %1\n").arg(target));
    return 0;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Zorvane counts down to the next appearance of game bosses."));
    // "-platform" is then one unknown option, not eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption import(
        QStringLiteral("import"),
        QStringLiteral("Copy config.ini and confing.ini of the portable Zorvane folder <DIR> into "
                       "the folder this Zorvane keeps its files in, then exit. Existing files "
                       "are never overwritten."),
        QStringLiteral("DIR"));
    parser.addOption(import);
    // Not a command: the window opens and joins the room (app/roomoption.h).
    parser.addOption(roomOption());

    const bool parsed = parser.parse(arguments);
    // addHelpOption() also knows --help-all; only QCommandLineParser::process() would act on it.
    const bool wantsHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    const bool command = wantsHelp || parser.isSet(version) || parser.isSet(import);
    CommandLine result;
    if (!parsed && (command || parser.unknownOptionNames().isEmpty())) {
        result.action = CommandLine::Action::Error;
        result.text = parser.errorText();
    } else if (!command) {
        result.action = CommandLine::Action::OpenWindow;
    } else if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.text =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    } else if (wantsHelp) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = parser.helpText();
    } else if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                      QCoreApplication::applicationVersion() + QLatin1Char('\n');
    } else if (parser.values(import).size() > 1) {
        result.action = CommandLine::Action::Error;
        result.text = QStringLiteral("--import takes one folder.");
    } else {
        result.action = CommandLine::Action::Import;
        result.importDir = parser.value(import);
    }
    return result;
}

std::optional<int> runCommandLine(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (parseCommandLine(arguments).action == CommandLine::Action::OpenWindow) {
        return std::nullopt;
    }
    // A command: the application object knows the program's name and directory, and
    // this one needs no display. It is gone before the window's application is made.
    const QCoreApplication application(argc, argv);
    const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
    switch (commandLine.action) {
    case CommandLine::Action::OpenWindow:
        return std::nullopt;
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        print(stdout, commandLine.text);
        return 0;
    case CommandLine::Action::Error:
        print(stderr, QStringLiteral("zorvane: %1\nTry 'zorvane --help'.\n").arg(commandLine.text));
        return 2;
    case CommandLine::Action::Import:
        return runImport(commandLine.importDir);
    }
    return 2;
}

} // namespace zorvane::app
