#pragma once
// What --kill and --list do to a boss table: in the running window (handed over by a
// second start) or, when no instance runs, on the files in the program directory.

#include "cli/commandline.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/instant.h"
#include "services/roomkill.h"

#include <QString>

#include <filesystem>
#include <functional>

namespace zorvane::app {

// Records a kill of a row at an instant; in the window this is the grid's own kill path.
using KillRecorder = std::function<void(schedule::RowId, schedule::UtcSeconds)>;

// --kill: the one row whose trimmed name is `name` trimmed gets a kill `minutesAgo`
// minutes before now through `record`. An unknown name, or one that several rows share,
// is refused (kExitFailed) and nothing is recorded.
CommandResult killByName(const schedule::BossTable& table, const QString& name, int minutesAgo,
                         const schedule::Clock& clock, const KillRecorder& record);

// --list: one line per row (number, name, next time, time left, alarm), aligned in
// columns for a terminal; rows that do not count say why instead of a time left.
QString tableListing(const schedule::BossTable& table, const schedule::Clock& clock);

// --kill or --list on the files in `dir` (no instance runs): the table is loaded from
// config.ini; a kill is saved through the same store as the window's (one atomic write,
// the reason reported when it fails) and then added to the history with the source
// "command line". A kill of a shared boss is then published to the room the preferences
// name, waiting at most `publishTimeoutMs` for the broker; when it cannot be, the kill
// stays recorded and the result is kExitFailed with the reason.
CommandResult runOnFiles(const CommandLine& command, const std::filesystem::path& dir,
                         const schedule::Clock& clock,
                         int publishTimeoutMs = kRoomPublishTimeoutMs);

} // namespace zorvane::app
