#pragma once
// What the grid shows of the table: the rows in the table's order or sorted by the time
// left, with each row's look (colour, font, icon) from the model's typed data. Sorting
// only orders the view; the table, its row numbers and config.ini stay as they are.

#include "schedule/linetimers.h"

#include <QSortFilterProxyModel>

namespace zorvane::app {

class GridProxy final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    // The three orders a click on the countdown header steps through.
    enum class SortState : int { TableOrder = 0, Ascending = 1, Descending = 2 };

    explicit GridProxy(QObject* parent = nullptr);

    SortState sortState() const { return m_state; }
    void setSortState(SortState state);
    // The order after `state` in the cycle: ascending, descending, table order.
    static SortState nextSortState(SortState state);
    // A stored number read as a state; anything unknown is the table's order.
    static SortState sortStateFromInt(int value);

    // The bosses' lines: a boss with lines sorts by the line its row sums up (the soonest);
    // nullptr (the default) for none. The board must outlive the proxy.
    void setLineBoard(const schedule::LineBoard* board) { m_lines = board; }

    // 停止 in force: the countdowns do not move, and their column says so (a grey, italic
    // cell with a pause sign, and 已停止 in the header).
    void setPaused(bool paused);
    bool paused() const { return m_paused; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void sortStateChanged(GridProxy::SortState state);

protected:
    // Fewer seconds left first; rows without a count go last in either direction.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    // The seconds a source row sorts by.
    QVariant sortSeconds(const QModelIndex& source) const;

    const schedule::LineBoard* m_lines = nullptr;
    SortState m_state = SortState::TableOrder;
    bool m_paused = false;
};

} // namespace zorvane::app
