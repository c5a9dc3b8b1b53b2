#pragma once
// What the tray tells at a glance, read from the grid's model as the overlay reads it: one
// state for the icon (idle, a boss within its lead time, a boss due now or up, countdowns
// stopped) and the next bosses for the tooltip, each with its time left and, where its rule
// says more, where it stands (window open, up since).

#include "schedule/linetimers.h"

#include <QIcon>
#include <QString>

#include <vector>

class QAbstractItemModel;

namespace zorvane::app {

enum class TrayState {
    Idle,    // nothing within its lead time
    Lead,    // a checked boss within its lead time, or its spawn window open
    DueNow,  // a checked boss due within a minute, or up with no kill recorded
    Stopped, // 停止: the countdowns do not move
};

struct TrayEntry {
    QString name;      // as typed; the tooltip escapes it
    QString countdown; // the grid's text
    QString state;     // the spawn rule's state where it says more than the count; or empty
};

struct TraySummary {
    TrayState state = TrayState::Idle;
    std::vector<TrayEntry> next; // at most the count asked for, soonest first (up ones first)
    std::vector<int> rows;       // the model's row of each entry of `next`
    bool fromLines = false;      // some entry is a boss's line, not its row
};

// `model` is the grid's model (BossTableModel's roles); `stopped` whether 停止 is in force;
// `board` the bosses' lines, where a boss with lines counts as its soonest line.
TraySummary summariseForTray(const QAbstractItemModel& model, bool stopped, int count = 3,
                             const schedule::LineBoard* board = nullptr);

// Reads the texts of the bosses `summary` chose again. While the model reports no change
// the counts have only moved on together: the same bosses stay soonest and the state holds,
// so a summary once a second need not read every row. A summary with lines is not refreshed
// here (their texts are not the rows' cells, and their states change with the line pass).
void refreshTrayTexts(const QAbstractItemModel& model, TraySummary& summary);

// The tooltip's lines as plain text: "Zorvane", 已停止 when stopped, then one line a boss.
QString trayToolTipText(const TraySummary& summary);
// The same as the tray takes it: rich text with every name escaped, so a name such as
// `<img src="...">` shows as typed and loads nothing.
QString trayToolTip(const TraySummary& summary);

// The icon with the state's badge: none when idle, an orange dot within the lead time, a red
// dot with "!" when due or up, greyed with a pause sign when stopped.
QIcon trayIcon(const QIcon& base, TrayState state);

} // namespace zorvane::app
