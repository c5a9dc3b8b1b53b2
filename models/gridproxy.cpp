#include "models/gridproxy.h"

#include "models/bosstablemodel.h"
#include "models/rowlook.h"
#include "schedule/bosstable.h"

#include <QCoreApplication>
#include <QFont>

namespace zorvane::app {
namespace {

RowLook lookOfSourceRow(const QAbstractItemModel& model, int row) {
    const QModelIndex use = model.index(row, schedule::kUseColumn);
    const QModelIndex countdown = model.index(row, schedule::kCountdownColumn);
    return rowLook(use.data(Qt::CheckStateRole).toInt() == Qt::Checked,
                   countdown.data(BossTableModel::RemainingSecondsRole),
                   countdown.data(BossTableModel::RowPhaseRole));
}

// A stopped countdown's cell: grey and italic with a pause sign, whatever the row's look.
QVariant pausedLook(int role) {
    switch (role) {
    case Qt::BackgroundRole:
        return QColor(232, 232, 232);
    case Qt::ForegroundRole:
        return QColor(110, 110, 110);
    case Qt::FontRole: {
        QFont font;
        font.setItalic(true);
        return font;
    }
    default:
        return pauseIcon();
    }
}

} // namespace

void GridProxy::setPaused(bool paused) {
    if (paused == m_paused) {
        return;
    }
    m_paused = paused;
    if (rowCount() > 0) {
        emit dataChanged(
            index(0, schedule::kCountdownColumn), index(rowCount() - 1, schedule::kCountdownColumn),
            {Qt::BackgroundRole, Qt::ForegroundRole, Qt::FontRole, Qt::DecorationRole});
    }
    emit headerDataChanged(Qt::Horizontal, schedule::kCountdownColumn, schedule::kCountdownColumn);
}

GridProxy::GridProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(BossTableModel::RemainingSecondsRole);
    // A sorted view follows the rows whose state changes (a kill, an edit, a roll-over, a
    // new phase); counts that only move on keep their order, as they all move together.
    setDynamicSortFilter(true);
}

GridProxy::SortState GridProxy::nextSortState(SortState state) {
    switch (state) {
    case SortState::TableOrder:
        return SortState::Ascending;
    case SortState::Ascending:
        return SortState::Descending;
    case SortState::Descending:
        break;
    }
    return SortState::TableOrder;
}

GridProxy::SortState GridProxy::sortStateFromInt(int value) {
    switch (value) {
    case static_cast<int>(SortState::Ascending):
        return SortState::Ascending;
    case static_cast<int>(SortState::Descending):
        return SortState::Descending;
    default:
        return SortState::TableOrder;
    }
}

void GridProxy::setSortState(SortState state) {
    const bool changed = state != m_state;
    m_state = state;
    switch (state) {
    case SortState::TableOrder:
        // Column -1 gives back the source's own order.
        sort(-1);
        break;
    case SortState::Ascending:
        sort(schedule::kCountdownColumn, Qt::AscendingOrder);
        break;
    case SortState::Descending:
        sort(schedule::kCountdownColumn, Qt::DescendingOrder);
        break;
    }
    if (changed) {
        emit sortStateChanged(state);
    }
}

QVariant GridProxy::sortSeconds(const QModelIndex& source) const {
    if (m_lines != nullptr) {
        const auto id = source.data(BossTableModel::RowIdRole).value<schedule::RowId>();
        if (m_lines->hasLines(id)) {
            const std::optional<schedule::LineTimer> soonest = m_lines->soonest(id);
            return soonest && soonest->state.remainingSeconds
                       ? QVariant(static_cast<qlonglong>(*soonest->state.remainingSeconds))
                       : QVariant();
        }
    }
    return source.data(sortRole());
}

bool GridProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = sortSeconds(left);
    const QVariant b = sortSeconds(right);
    if (!a.isValid() || !b.isValid()) {
        // Descending order asks with the arguments swapped: keep uncounted rows last.
        const bool descending = sortOrder() == Qt::DescendingOrder;
        if (a.isValid() == b.isValid()) {
            return false;
        }
        return descending ? !a.isValid() : !b.isValid();
    }
    return a.toLongLong() < b.toLongLong();
}

QVariant GridProxy::data(const QModelIndex& index, int role) const {
    switch (role) {
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case Qt::FontRole:
    case Qt::DecorationRole:
        break;
    default:
        return QSortFilterProxyModel::data(index, role);
    }
    if (!index.isValid() || !sourceModel()) {
        return {};
    }
    if (m_paused && index.column() == schedule::kCountdownColumn) {
        return pausedLook(role);
    }
    const RowLook look = lookOfSourceRow(*sourceModel(), mapToSource(index).row());
    if (role == Qt::DecorationRole && index.column() == schedule::kNameColumn) {
        // Beside the name: where the boss stands by its rule.
        const QModelIndex source = mapToSource(index);
        const QVariant phase = source.data(BossTableModel::SpawnPhaseRole);
        if (!phase.isValid()) {
            return {};
        }
        return spawnIcon(static_cast<schedule::SpawnPhase>(phase.toInt()),
                         source.data(BossTableModel::SpawnFractionRole).toDouble());
    }
    return lookData(look, role, index.column());
}

QVariant GridProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (m_paused && role == Qt::DisplayRole && orientation == Qt::Horizontal &&
        section == schedule::kCountdownColumn) {
        return QCoreApplication::translate("Zorvane", "%1（已停止）")
            .arg(QSortFilterProxyModel::headerData(section, orientation, role).toString());
    }
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal &&
        section == schedule::kCountdownColumn) {
        return QCoreApplication::translate("Zorvane",
                                           "点击按剩余时间排序（升序、降序、原顺序）\n\n") +
               lookLegend();
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

} // namespace zorvane::app
