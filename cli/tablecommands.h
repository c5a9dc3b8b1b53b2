#pragma once
// What --kill and --list do to a boss table: in the running window's session (handed over by
// a second start) or, when no instance runs, in a session of their own over the files in the
// program directory.

#include "cli/commandline.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/instant.h"
#include "schedule/linetimers.h"
#include "services/roomkill.h"

#include <QString>

#include <filesystem>
#include <functional>

namespace zorvane::app {

class Session;

// Records a kill of a row at an instant; in the window this is the grid's own kill path.
using KillRecorder = std::function<void(schedule::RowId, schedule::UtcSeconds)>;

// --kill: the one row whose trimmed name is `name` trimmed gets a kill `minutesAgo`
// minutes before now through `record`. An unknown name, or one that several rows share,
// is refused (kExitFailed) and nothing is recorded.
CommandResult killByName(const schedule::BossTable& table, const QString& name, int minutesAgo,
                         const schedule::Clock& clock, const KillRecorder& record);

// Records a kill on one line of a row at an instant (the kill path's recordOnLine).
using LineKillRecorder =
    std::function<void(schedule::RowId, schedule::LineId, schedule::UtcSeconds)>;

// Whether --kill is about a line: a line was given, or the named boss has lines.
bool killIsOnLine(const schedule::BossTable& table, const schedule::LineBoard& lines,
                  const CommandLine& command);
// --kill on a line: the one row named as killByName finds it, then its line (and server)
// as LineBoard::findLine reads them, gets a kill `minutesAgo` minutes before now through
// `record`. A boss without lines, a boss with lines named without --line, several servers
// and no --server, an unknown server or line: refused with the reason (kExitFailed), nothing
// recorded.
CommandResult killOnLine(const schedule::BossTable& table, const schedule::LineBoard& lines,
                         const CommandLine& command, const schedule::Clock& clock,
                         const LineKillRecorder& record);

// --list: one line per row (number, name, next time, time left, alarm), aligned in
// columns for a terminal; rows that do not count say why instead of a time left.
// A row with lines is followed by one line for each of its lines with a kill, named with its
// server ("  3线 @ 二区"), and a count of the lines never killed.
QString tableListing(const schedule::BossTable& table, const schedule::Clock& clock,
                     const schedule::LineBoard* lines = nullptr);

// --say-next: the next `count` checked bosses by time left (due or up ones first, as "已刷新"),
// each as an alert words it, in Chinese ("火龙 5 分钟后刷新", joined with "，") or in English
// ("火龙 in 5 minutes", joined with ", ") whatever the names; "没有启用的BOSS" / "No checked
// boss is counting." when none counts. With `lines`, a boss on lines is said line by line
// where each stands at `now` ("火龙 3线 2 分钟后刷新", "火龙 3线 二区 …" on a named server).
QString nextBossesSaid(const schedule::BossTable& table, bool chinese, int count = 3,
                       const schedule::LineBoard* lines = nullptr, schedule::UtcSeconds now = 0);

// --kill or --list in a running session (the window's, handed over by a second start): the
// kill goes through the session's kill path like a double click, and the answer waits until
// the writer has written it: a failed write is answered with kExitFailed and the reason,
// never as recorded. --say-next speaks nextBossesSaid through the session's alert speech in
// the window's language and answers in English, as every command does; without a countdown
// in the session it fails, saying why.
CommandResult runInSession(const CommandLine& command, Session& session);

// --kill or --list on the files in `dir` (no instance runs), in a session of their own with
// nothing else switched on: the table is loaded from config.ini; a kill is saved by the same
// writer as the window's (the reason reported when it fails) and only then added to the
// history with the source "command line". A kill of a shared boss is then published to the
// room the preferences name, waiting at most `publishTimeoutMs` for the broker; when it
// cannot be, the kill stays recorded and the result is kExitFailed with the reason.
CommandResult runOnFiles(const CommandLine& command, const std::filesystem::path& dir,
                         const schedule::Clock& clock,
                         int publishTimeoutMs = kRoomPublishTimeoutMs);

} // namespace zorvane::app
