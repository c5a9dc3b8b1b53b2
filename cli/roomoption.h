#pragma once
// "--room LINK" joins a shared room and "--room none" leaves it. The link is stored in
// the preferences, so later starts rejoin; the window then opens as usual.

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane::app {

// The option, for the command line's parser and help.
QCommandLineOption roomOption();

// Stores the link given with --room in the preferences file (in its normal form), or
// removes it for "none". nullopt when the window is to open (also when --room is absent);
// 2 when the link is not a room link (the reason is printed) or the file cannot be written.
std::optional<int> applyRoomOption(const QStringList& arguments, const QString& preferencesFile);

} // namespace zorvane::app
