#pragma once
// Where the program keeps its files.

#include <QString>

namespace zorvane::app {

// The directory for a program whose executable lies in `exeDir`: that directory itself
// when it is writable and not part of an installation (a portable copy keeps its files
// beside the program); otherwise the per-user data directory for Zorvane, created on
// demand. An installed program is recognised by its desktop entry in the prefix's
// share/applications, so even a writable prefix (root, a private prefix) keeps
// the user's files out of bin/. No trailing separator.
QString programDirectoryFor(const QString& exeDir);

// programDirectoryFor() the running executable's directory.
QString programDirectory();

// Where the helper program `name` (without ".exe") lies: beside the running program in a
// build tree or a portable folder; an installed program keeps its helpers in
// ../libexec/zorvane, out of the users' PATH.
QString helperProgramPath(const QString& name);

} // namespace zorvane::app
