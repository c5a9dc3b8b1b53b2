#include "widgets/rowmenu.h"

#include "widgets/bossgrid.h"

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

void RowMenu::onContextMenuRequested(const QPoint& position) {
    const QModelIndex index = m_grid.indexAt(position);
    if (!index.isValid()) {
        return;
    }
    // The view may be sorted: the menu belongs to the table row shown there.
    std::unique_ptr<QMenu> menu = menuForRow(m_grid.tableRowOf(index));
    if (!menu) {
        return;
    }
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(m_grid.viewport()->mapToGlobal(position));
}

} // namespace zorvane::app
