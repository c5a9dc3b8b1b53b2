#pragma once
// Where the program keeps its files.

#include <QString>

namespace zorvane::app {

// The executable's directory when it is writable (a portable install keeps its
// files beside the program); otherwise the per-user data directory for Zorvane,
// created on demand. No trailing separator.
QString programDirectory();

} // namespace zorvane::app
