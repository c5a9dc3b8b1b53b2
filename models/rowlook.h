#pragma once
// How a row looks by where it stands: one look per phase, each with a colour and a
// second cue that does not rely on colour (bold text and an icon, or grey italics), so
// the grid and the overlay say the same thing the same way.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QVariant>

#include "schedule/spawnrule.h"

#include <optional>

namespace zorvane::app {

enum class RowLook {
    Plain,     // checked, but the tick has nothing to count (no last or next time)
    Unchecked, // the use box is clear: no alarm for this row
    Counting,  // ahead of its lead time
    Lead,      // within the warning lead time (of a window: before it opens)
    Window,    // a spawn window is open
    DueSoon,   // due within a minute (or found due by the last pass)
};

// Seconds before due at which a row counts as due now.
inline constexpr qint64 kDueSoonSeconds = 60;

// The look from the model's typed data: the use box, the remaining seconds and the phase
// (BossTableModel's RemainingSecondsRole and RowPhaseRole; invalid when not counted).
RowLook rowLook(bool checked, const QVariant& remainingSeconds, const QVariant& phase);

// The background of the row's cells; invalid for no colour of its own.
QColor lookBackground(RowLook look);
// The text colour; invalid for the default.
QColor lookForeground(RowLook look);
// The font's changes: bold for Lead and DueSoon, italic for Unchecked.
void applyLookFont(RowLook look, QFont& font);
// The icon beside the countdown (a triangle, a half-filled disc, a dot); null for looks
// without one.
QIcon lookIcon(RowLook look);
// A cell's data for the look's roles (Qt::BackgroundRole, ForegroundRole, FontRole, and
// DecorationRole: the look's icon, in the countdown column only); invalid for the rest.
QVariant lookData(RowLook look, int role, int column);
// Two bars: the countdowns are stopped (停止).
QIcon pauseIcon();
// The look's name as the tooltip shows it ("预警时间内").
QString lookName(RowLook look);
// Every look with its colour and cue, one per line, for tooltips.
QString lookLegend();

// Where a boss stands by its spawn rule, told by a shape as well as a colour: a grey
// question mark (unknown), an empty ring (waiting), a pie filled as far as the window
// has run (window open), a filled purple star (up).
QIcon spawnIcon(schedule::SpawnPhase phase, double fraction);
// The state in words, with the times that matter.
QString spawnStateText(const schedule::SpawnView& view);

// The day of `at` on the player's clock as seen at `now`: "" the same day, "明天", the
// weekday within the week ahead ("周六"), else the date ("12月19日").
QString dueDayText(schedule::UtcSeconds at, schedule::UtcSeconds now);
// The tooltip of 下次时间: the day and time of the next spawn (a window's earliest and
// latest), and the server's own clock when the rule keeps another zone.
QString nextTimeTip(const schedule::SpawnView& view, const schedule::ServerZone& zone,
                    schedule::UtcSeconds now);

} // namespace zorvane::app
