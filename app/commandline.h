#pragma once
// The command line: by default the window opens; --import, --help and --version do
// their work in the terminal and end the process without a window or a display.

#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane::app {

struct CommandLine {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, Import, Error };
    Action action = Action::OpenWindow;
    // The portable folder to import from.
    QString importDir;
    // The help or version text, or what is wrong with the command line.
    QString text;
};

// Reads the arguments, the program's name first. Options the window's toolkit takes
// (such as -platform) and stray arguments are left to the window, as they always were,
// unless a command is given: then anything not understood is an error.
CommandLine parseCommandLine(const QStringList& arguments);

// Carries out a command given on the command line and returns the process's exit code:
// 0 done, 1 the import was refused or failed, 2 the command line was not understood.
// nullopt when the window is to open. Runs before the window's application exists.
std::optional<int> runCommandLine(int& argc, char** argv);

} // namespace zorvane::app
