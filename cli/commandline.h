#pragma once
// The command line: by default the window opens; --import, --kill, --list, --help and
// --version do their work in the terminal and end the process without a window or a
// display. --kill and --list go to the instance running in the program directory when
// there is one (cli/singleinstance.h) and work on the files otherwise; --say-next needs
// the running window, whose speech says the next bosses.

#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane::app {

struct CommandLine {
    enum class Action {
        OpenWindow,
        ShowHelp,
        ShowVersion,
        Import,
        Kill,
        List,
        Restart,
        SayNext,
        Error
    };
    Action action = Action::OpenWindow;
    // The portable folder to import from.
    QString importDir;
    // --kill: the boss's name (trimmed) and how many minutes ago it died.
    QString killName;
    int minutesAgo = 0;
    // --kill --line [--server]: the line and server it died on; empty for a boss without lines.
    QString killLine;
    QString killServer;
    // --restart: when the server restarted, as typed ("" for now).
    QString restartTime;
    // The help or version text, or what is wrong with the command line.
    QString text;
};

// Reads the arguments, the program's name first. Options the window's toolkit takes
// (such as -platform) and stray arguments are left to the window, as they always were,
// unless a command is given: then anything not understood is an error.
CommandLine parseCommandLine(const QStringList& arguments);

// The exit codes of a command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;        // refused (unknown boss, ...) or failed
inline constexpr int kExitNotUnderstood = 2; // the command line was not understood

// What a command did: its exit code and the text for the terminal (standard output when
// done, standard error otherwise).
struct CommandResult {
    int exitCode = kExitDone;
    QString text;
};

// The arguments that stand for a kill, list or open-window command alone, as a second
// start hands them to the running instance (toolkit options left out).
QStringList commandArguments(const CommandLine& command);

// Carries out a command given on the command line and returns the process's exit code
// (kExitDone, kExitFailed, kExitNotUnderstood).
// nullopt when the window is to open. Runs before the window's application exists.
std::optional<int> runCommandLine(int& argc, char** argv);

} // namespace zorvane::app
