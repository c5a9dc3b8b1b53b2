#include "widgets/rowmenu.h"

#include "widgets/bossgrid.h"

#include "models/groupedrows.h"

#include <QMenu>

namespace zorvane::app {

RowMenu::RowMenu(BossGrid& grid, const schedule::BossTable& table)
    : QObject(&grid), m_grid(grid), m_table(table) {
    m_grid.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_grid, &QWidget::customContextMenuRequested, this, &RowMenu::onContextMenuRequested);
}

void RowMenu::addEntry(const QString& text, Handler handler, Shown shown) {
    m_entries.push_back({text, std::move(handler), std::move(shown)});
}

std::unique_ptr<QMenu> RowMenu::menuForRow(int row) const {
    const schedule::RowId id = m_table.rowId(row);
    if (id == 0 || m_entries.empty()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(&m_grid);
    for (const Entry& entry : m_entries) {
        if (entry.shown && !entry.shown(id)) {
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        connect(action, &QAction::triggered, this, [handler = entry.handler, id] { handler(id); });
    }
    return menu;
}

void RowMenu::addLineEntry(const QString& text, LineHandler handler, LineShown shown) {
    m_lineEntries.push_back({text, std::move(handler), std::move(shown)});
}

std::unique_ptr<QMenu> RowMenu::menuForLine(schedule::RowId row, schedule::LineId line) const {
    if (row == 0 || line == 0 || m_lineEntries.empty()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(&m_grid);
    for (const LineEntry& entry : m_lineEntries) {
        if (entry.shown && !entry.shown(row, line)) {
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        connect(action, &QAction::triggered, this,
                [handler = entry.handler, row, line] { handler(row, line); });
    }
    return menu;
}

void RowMenu::onContextMenuRequested(const QPoint& position) {
    const QModelIndex index = m_grid.indexAt(position);
    if (!index.isValid()) {
        return;
    }
    // The view may be sorted: the menu belongs to the table row shown there, or the line.
    std::unique_ptr<QMenu> menu =
        index.data(GroupedRows::NodeKindRole).toInt() ==
                static_cast<int>(GroupedRows::NodeKind::Line)
            ? menuForLine(index.data(GroupedRows::BossRowIdRole).value<schedule::RowId>(),
                          index.data(GroupedRows::LineIdRole).value<schedule::LineId>())
            : menuForRow(m_grid.tableRowOf(index));
    if (!menu) {
        return;
    }
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(m_grid.viewport()->mapToGlobal(position));
}

} // namespace zorvane::app
