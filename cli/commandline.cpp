#include "cli/commandline.h"

#include "cli/roomoption.h"
#include "cli/singleinstance.h"
#include "cli/tablecommands.h"
#include "config/portableimport.h"
#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "services/programdir.h"
#include "text/fileio.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace zorvane::app {
namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

// A reply goes to standard output when the command was done, to standard error otherwise.
void printResult(const CommandResult& result) {
    if (result.text.isEmpty()) {
        return;
    }
    QString text = result.text;
    if (!text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    if (result.exitCode == kExitDone) {
        print(stdout, text);
    } else {
        print(stderr, QStringLiteral("zorvane: ") + text);
    }
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

// Plain ASCII digits only: no sign, blank or fraction slips through as something else.
std::optional<int> minutesAgo(const QString& text) {
    if (text.isEmpty() || text.size() > 9) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    const int minutes = text.toInt();
    if (minutes > schedule::kLongestMinutesAgo) {
        return std::nullopt;
    }
    return minutes;
}

// --kill and --list: handed to the instance running in the program directory, or done on
// the files when none runs. The instance lock keeps a window from starting (and loading
// the files) while they are being changed here.
int runTableCommand(const CommandLine& command) {
    const QString dir = programDirectory();
    const InstanceLock lock(dir);
    if (!lock.problem().isEmpty()) {
        // Whether a window runs cannot be known safely; the files are left alone.
        print(
            stderr,
            QStringLiteral("zorvane: cannot look for a running Zorvane: %1\n").arg(lock.problem()));
        return kExitFailed;
    }
    if (const std::optional<CommandResult> reply =
            askRunningInstance(instanceServerName(dir), commandArguments(command))) {
        printResult(*reply);
        return reply->exitCode;
    }
    if (!lock.isLocked()) {
        print(stderr, QStringLiteral("zorvane: another Zorvane is busy with the files in %1; try "
                                     "again.\n")
                          .arg(dir));
        return kExitFailed;
    }
    const schedule::SystemClock clock;
    const CommandResult result = runOnFiles(command, text::pathFromUtf8(dir.toStdString()), clock);
    printResult(result);
    return result.exitCode;
}

// --say-next: only a running window has the speech and the countdowns to say.
int runSayNext(const CommandLine& command) {
    const QString dir = programDirectory();
    if (const std::optional<CommandResult> reply =
            askRunningInstance(instanceServerName(dir), commandArguments(command))) {
        printResult(*reply);
        return reply->exitCode;
    }
    print(stderr, QStringLiteral("zorvane: no Zorvane is running in %1; --say-next speaks "
                                 "through the running window. Start Zorvane first.\n")
                      .arg(dir));
    return kExitFailed;
}

} // namespace

namespace {

// The options Qt's window toolkit reads from the command line itself (QGuiApplication,
// QApplication and the xcb platform), with whether each takes a value.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"display", true},
    {"name", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

// The arguments without the toolkit's options and their values; the window's toolkit takes
// those, everything else must be understood here.
QStringList withoutToolkitOptions(const QStringList& arguments) {
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        QString name = argument;
        while (name.startsWith(QLatin1Char('-'))) {
            name.remove(0, 1);
        }
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        const bool inlineValue = equals >= 0;
        if (inlineValue) {
            name.truncate(equals);
        }
        const ToolkitOption* found = nullptr;
        if (i > 0 && argument.startsWith(QLatin1Char('-'))) {
            for (const ToolkitOption& option : kToolkitOptions) {
                if (name == QLatin1String(option.name)) {
                    found = &option;
                }
            }
        }
        if (!found) {
            rest << argument;
        } else if (found->takesValue && !inlineValue) {
            ++i; // its value
        }
    }
    return rest;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Zorvane counts down to the next appearance of game bosses.\n\n"
        "One Zorvane runs per program folder. Started again in the same folder, it brings "
        "the running window forward, and --kill and --list are carried out by the running "
        "Zorvane; with none running they work on the files.\n\n"
        "Exit status: 0 done, 1 refused or failed, 2 command line not understood."));
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
    const QCommandLineOption kill(
        QStringLiteral("kill"),
        QStringLiteral("Record a kill of the boss named <NAME> (exactly as in the table), now "
                       "or MINUTES_AGO minutes ago, then exit."),
        QStringLiteral("NAME"));
    parser.addOption(kill);
    const QCommandLineOption line(
        QStringLiteral("line"),
        QStringLiteral(
            "With --kill: the boss died on line <LINE> (\"3\" or as the table names it)."),
        QStringLiteral("LINE"));
    parser.addOption(line);
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("With --kill and --line: on the server named <SERVER>, for a boss on "
                       "several servers."),
        QStringLiteral("SERVER"));
    parser.addOption(server);
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the table with the time left, then exit."));
    parser.addOption(list);
    const QCommandLineOption restart(
        QStringLiteral("restart"),
        QStringLiteral("The game's server restarted: every boss whose spawn rule says so starts "
                       "again from then: at TIME (a clock time within the last 12 hours, "
                       "such as 06:00), or now."));
    parser.addOption(restart);
    const QCommandLineOption sayNext(
        QStringLiteral("say-next"),
        QStringLiteral("Have the running Zorvane speak the next three bosses and their time left "
                       "(for a desktop shortcut while a game is in front), and print it."));
    parser.addOption(sayNext);
    parser.addPositionalArgument(
        QStringLiteral("MINUTES_AGO"),
        QStringLiteral("With --kill: the boss died this many minutes ago (0 to %1).")
            .arg(schedule::kLongestMinutesAgo),
        QStringLiteral("[MINUTES_AGO]"));
    // Not a command: the window opens and joins the room (cli/roomoption.h).
    parser.addOption(roomOption());

    const bool parsed = parser.parse(arguments);
    // addHelpOption() also knows --help-all; only QCommandLineParser::process() would act on it.
    const bool wantsHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    const int commands = int(parser.isSet(import)) + int(parser.isSet(kill)) +
                         int(parser.isSet(list)) + int(parser.isSet(restart)) +
                         int(parser.isSet(sayNext));
    const bool command = wantsHelp || parser.isSet(version) || commands > 0;
    const QStringList positional = parser.positionalArguments();
    // Only a kill and a restart take an argument of their own: the minutes, the time.
    const qsizetype allowedPositional =
        (parser.isSet(kill) || parser.isSet(restart)) && commands == 1 ? 1 : 0;
    CommandLine result;
    const auto fail = [&result](const QString& text) {
        result.action = CommandLine::Action::Error;
        result.text = text;
        return result;
    };
    if (!parsed && (command || parser.unknownOptionNames().isEmpty())) {
        return fail(parser.errorText());
    }
    if (!command) {
        // The window opens only when everything but the toolkit's own options is understood:
        // a mistyped "--lsit" must not open the window silently.
        if (!parser.parse(withoutToolkitOptions(arguments))) {
            return fail(parser.errorText());
        }
        if (!parser.positionalArguments().isEmpty()) {
            return fail(QStringLiteral("Unexpected argument '%1'.")
                            .arg(parser.positionalArguments().constFirst()));
        }
        return result;
    }
    if (positional.size() > allowedPositional) {
        return fail(
            QStringLiteral("Unexpected argument '%1'.").arg(positional.at(allowedPositional)));
    }
    if (wantsHelp) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                      QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return result;
    }
    if (commands > 1) {
        return fail(QStringLiteral(
            "Give one of --import, --kill, --list, --restart and --say-next at a time."));
    }
    if ((parser.isSet(line) || parser.isSet(server)) && !parser.isSet(kill)) {
        return fail(QStringLiteral("--line and --server go with --kill."));
    }
    if (parser.isSet(server) && !parser.isSet(line)) {
        return fail(QStringLiteral("--server goes with --line."));
    }
    if (parser.values(line).size() > 1 || parser.values(server).size() > 1) {
        return fail(QStringLiteral("--line and --server take one value each."));
    }
    if (parser.isSet(line) && parser.value(line).trimmed().isEmpty()) {
        return fail(QStringLiteral("--line needs the line's name or number."));
    }
    if (parser.isSet(import)) {
        if (parser.values(import).size() > 1) {
            return fail(QStringLiteral("--import takes one folder."));
        }
        result.action = CommandLine::Action::Import;
        result.importDir = parser.value(import);
        return result;
    }
    if (parser.isSet(list)) {
        result.action = CommandLine::Action::List;
        return result;
    }
    if (parser.isSet(sayNext)) {
        result.action = CommandLine::Action::SayNext;
        return result;
    }
    if (parser.isSet(restart)) {
        result.action = CommandLine::Action::Restart;
        result.restartTime = positional.isEmpty() ? QString() : positional.first().trimmed();
        return result;
    }
    if (parser.values(kill).size() > 1) {
        return fail(QStringLiteral("--kill takes one name."));
    }
    const QString name = parser.value(kill).trimmed();
    if (name.isEmpty()) {
        return fail(QStringLiteral("--kill needs the name of a boss."));
    }
    int minutes = 0;
    if (!positional.isEmpty()) {
        const std::optional<int> given = minutesAgo(positional.first());
        if (!given) {
            return fail(QStringLiteral("MINUTES_AGO must be a whole number of minutes from 0 to "
                                       "%1, not '%2'.")
                            .arg(schedule::kLongestMinutesAgo)
                            .arg(positional.first()));
        }
        minutes = *given;
    }
    result.killName = name;
    result.minutesAgo = minutes;
    result.killLine = parser.value(line).trimmed();
    result.killServer = parser.value(server).trimmed();
    result.action = CommandLine::Action::Kill;
    return result;
}

QStringList commandArguments(const CommandLine& command) {
    switch (command.action) {
    case CommandLine::Action::Kill: {
        QStringList arguments{QStringLiteral("--kill"), command.killName};
        if (!command.killLine.isEmpty()) {
            arguments << QStringLiteral("--line") << command.killLine;
        }
        if (!command.killServer.isEmpty()) {
            arguments << QStringLiteral("--server") << command.killServer;
        }
        return arguments << QString::number(command.minutesAgo);
    }
    case CommandLine::Action::List:
        return {QStringLiteral("--list")};
    case CommandLine::Action::SayNext:
        return {QStringLiteral("--say-next")};
    case CommandLine::Action::Restart:
        return command.restartTime.isEmpty()
                   ? QStringList{QStringLiteral("--restart")}
                   : QStringList{QStringLiteral("--restart"), command.restartTime};
    default:
        return {};
    }
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
        return kExitNotUnderstood;
    case CommandLine::Action::Import:
        return runImport(commandLine.importDir);
    case CommandLine::Action::Kill:
    case CommandLine::Action::List:
    case CommandLine::Action::Restart:
        return runTableCommand(commandLine);
    case CommandLine::Action::SayNext:
        return runSayNext(commandLine);
    }
    return 2;
}

} // namespace zorvane::app
