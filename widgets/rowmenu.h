#pragma once
// The grid's right-click menu. Each entry acts on the row under the pointer; features
// add their own entries with addEntry, in the order they should appear. A line row of a
// boss has a menu of its own (addLineEntry).

#include "schedule/bosstable.h"
#include "schedule/linetimers.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QPoint;

namespace zorvane::app {

class BossGrid;

class RowMenu final : public QObject {
    Q_OBJECT
public:
    // Runs with the id of the row the menu was opened on; the row may have been deleted
    // meanwhile, which the handler checks with BossTable::row.
    using Handler = std::function<void(schedule::RowId row)>;
    // Whether an entry belongs in the menu of the row (e.g. only where the role allows it).
    using Shown = std::function<bool(schedule::RowId row)>;

    // Attaches to the grid's context-menu request; the grid owns the object.
    RowMenu(BossGrid& grid, const schedule::BossTable& table);

    // An entry of every row's menu, or of those rows for which `shown` says so.
    void addEntry(const QString& text, Handler handler, Shown shown = {});

    // The same for the menu of a boss's line; the handler checks that the line still is.
    using LineHandler = std::function<void(schedule::RowId row, schedule::LineId line)>;
    using LineShown = std::function<bool(schedule::RowId row, schedule::LineId line)>;
    void addLineEntry(const QString& text, LineHandler handler, LineShown shown = {});
    // The menu for a line of the boss at row id `row`; nullptr when there are no entries.
    std::unique_ptr<QMenu> menuForLine(schedule::RowId row, schedule::LineId line) const;

    // The menu for a table row (first data row = 1); nullptr outside the data rows or
    // when there are no entries.
    std::unique_ptr<QMenu> menuForRow(int row) const;

    // Pops the menu up at a position in the grid's viewport, without waiting for it.
    void onContextMenuRequested(const QPoint& position);

private:
    struct Entry {
        QString text;
        Handler handler;
        Shown shown;
    };

    struct LineEntry {
        QString text;
        LineHandler handler;
        LineShown shown;
    };

    BossGrid& m_grid;
    const schedule::BossTable& m_table;
    std::vector<Entry> m_entries;
    std::vector<LineEntry> m_lineEntries;
};

} // namespace zorvane::app
