#include "models/bosstablemodel.h"
#include "models/rowlook.h"
#include "services/coretexts.h"

#include "schedule/cycle.h"
#include "schedule/leadtimes.h"
#include "services/handoff.h"

#include <QThread>

#include <algorithm>

namespace zorvane::app {

using schedule::kColumnCount;
using schedule::kCountdownColumn;
using schedule::kUseColumn;

BossTableModel::BossTableModel(schedule::BossTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {
    m_rowCount = m_table.rowCount() - 1;
    m_table.setListener(this);
}

BossTableModel::~BossTableModel() {
    m_table.setListener(nullptr);
}

void BossTableModel::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    if (m_rowCount > 0) {
        emit dataChanged(index(0, 0), index(m_rowCount - 1, kColumnCount - 1),
                         {Qt::TextAlignmentRole});
    }
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

int BossTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int BossTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

void BossTableModel::setExtraLeadMinutes(std::vector<int> minutes) {
    m_extraLeadMinutes = std::move(minutes);
    if (m_rowCount > 0) {
        emit dataChanged(index(0, 0), index(m_rowCount - 1, columnCount() - 1),
                         {LeadTimesNoteRole, Qt::ToolTipRole});
    }
}

namespace {

// The instant of the tick's last pass over a row, from what it left: the countdown runs to
// the end of the spawn it found. None before a pass, and for rows counted from their texts.
std::optional<schedule::UtcSeconds> passInstant(const schedule::RowTiming& timing) {
    if (!timing.spawnView || !timing.spawnView->latest || !timing.remainingSeconds) {
        return std::nullopt;
    }
    return *timing.spawnView->latest - *timing.remainingSeconds;
}

} // namespace

QVariant BossTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rowCount) {
        return {};
    }
    const int row = index.row() + 1;
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == kUseColumn) {
            return {};
        }
        if (column == kCountdownColumn && role == Qt::DisplayRole) {
            return countdownText(row);
        }
        return QString::fromStdString(m_table.cellText(row, column));
    case Qt::CheckStateRole:
        if (column != kUseColumn) {
            return {};
        }
        return m_table.checkState(row) ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        return static_cast<int>(m_alignment.toInt());
    case RowIdRole:
        return static_cast<qulonglong>(m_table.rowId(row));
    case RemainingSecondsRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        if (!timing || !timing->remainingSeconds) {
            return {};
        }
        return static_cast<qlonglong>(*timing->remainingSeconds);
    }
    case SpawnPhaseRole:
    case SpawnFractionRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        if (!timing || !timing->spawnView) {
            return {};
        }
        if (role == SpawnFractionRole) {
            return timing->spawnView->fraction;
        }
        return static_cast<int>(timing->spawnView->phase);
    }
    case DueDayRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        const std::optional<schedule::UtcSeconds> now =
            timing ? passInstant(*timing) : std::nullopt;
        if (!now) {
            return {};
        }
        return dueDayText(*timing->spawnView->latest, *now);
    }
    case SpawnTextRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        if (!timing || !timing->spawnView) {
            return {};
        }
        return spawnStateText(*timing->spawnView);
    }
    case Qt::ToolTipRole:
        if (column == schedule::kNextTimeColumn) {
            const std::optional<schedule::RowTiming> timing = m_table.timing(row);
            const std::optional<schedule::UtcSeconds> now =
                timing ? passInstant(*timing) : std::nullopt;
            if (!now) {
                return {};
            }
            return nextTimeTip(*timing->spawnView, timing->spawn.zone, *now);
        }
        // Lead times that never sound come first; otherwise the name tells the spawn state.
        if (column == schedule::kNameColumn &&
            data(index, LeadTimesNoteRole).toString().isEmpty()) {
            return data(index, SpawnTextRole);
        }
        [[fallthrough]];
    case LeadTimesNoteRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        const text::Message note =
            timing ? schedule::leadTimesNote(timing->leadMinutes ? *timing->leadMinutes
                                                                 : m_extraLeadMinutes,
                                             timing->periodMinutes)
                   : text::Message();
        if (note.empty() && role == Qt::ToolTipRole) {
            return {};
        }
        return messageText(note);
    }
    case RowPhaseRole: {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        if (!timing || timing->phase == schedule::RowPhase::Idle) {
            return {};
        }
        return static_cast<int>(timing->phase);
    }
    default:
        return {};
    }
}

bool BossTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= m_rowCount) {
        return false;
    }
    const int row = index.row() + 1;
    if (index.column() == kUseColumn) {
        if (role != Qt::CheckStateRole) {
            return false;
        }
        return m_table.setCheckState(row, value.value<Qt::CheckState>() == Qt::Checked);
    }
    if (role != Qt::EditRole) {
        return false;
    }
    // The table tells the listener, which emits dataChanged.
    return m_table.setCellText(row, index.column(), value.toString().toStdString());
}

Qt::ItemFlags BossTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    if (index.column() == kUseColumn) {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QVariant BossTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (role) {
    case Qt::DisplayRole:
        return columnTitle(m_table.headerText(section));
    case Qt::TextAlignmentRole:
        return static_cast<int>(m_alignment.toInt());
    default:
        return {};
    }
}

QString BossTableModel::countdownText(int row) const {
    // The cell holds the Chinese countdown (config.ini keeps it too); a translated window
    // words it afresh from the seconds left. A row that does not count keeps its text.
    if (showsTranslatedCoreTexts()) {
        const std::optional<schedule::RowTiming> timing = m_table.timing(row);
        if (timing && timing->remainingSeconds) {
            return messageText(schedule::countdownMessage(*timing->remainingSeconds));
        }
    }
    return QString::fromStdString(m_table.cellText(row, kCountdownColumn));
}

bool BossTableModel::onModelThread() const {
    return QThread::currentThread() == thread();
}

void BossTableModel::resync() {
    beginResetModel();
    m_rowCount = m_table.rowCount() - 1;
    endResetModel();
}

void BossTableModel::rowsInserted(int first, int last) {
    if (!onModelThread()) {
        // By the time this runs the indices may no longer hold; read the table afresh.
        handOff(this, [this] { resync(); });
        return;
    }
    const int count = last - first + 1;
    if (first < 1 || first - 1 > m_rowCount || count <= 0 ||
        m_rowCount + count != m_table.rowCount() - 1) {
        resync();
        return;
    }
    beginInsertRows(QModelIndex(), first - 1, last - 1);
    m_rowCount += count;
    endInsertRows();
}

void BossTableModel::rowsRemoved(int first, int last) {
    if (!onModelThread()) {
        handOff(this, [this] { resync(); });
        return;
    }
    const int count = last - first + 1;
    if (first < 1 || last > m_rowCount || count <= 0 ||
        m_rowCount - count != m_table.rowCount() - 1) {
        resync();
        return;
    }
    beginRemoveRows(QModelIndex(), first - 1, last - 1);
    m_rowCount -= count;
    endRemoveRows();
}

void BossTableModel::cellsChanged(int row, int firstColumn, int lastColumn) {
    cellBlockChanged(row, row, firstColumn, lastColumn);
}

void BossTableModel::cellBlockChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    runOnReceiverThread(this, [this, firstRow, lastRow, firstColumn, lastColumn] {
        notifyCells(firstRow, lastRow, firstColumn, lastColumn);
    });
}

void BossTableModel::notifyCells(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    // Rows that have gone meanwhile are dropped; a stale index inside the table only
    // repaints the wrong row, since cells are read live.
    const int first = std::max(firstRow, 1);
    const int last = std::min(lastRow, m_rowCount);
    if (first > last || firstColumn < 0 || lastColumn >= kColumnCount || firstColumn > lastColumn) {
        return;
    }
    // Every cell of a row carries the row's typed state (RemainingSecondsRole, RowPhaseRole)
    // and takes its look from the use box and the countdown: a change of any cell may change
    // how the whole row looks, so views repaint whole rows.
    emit dataChanged(index(first - 1, 0), index(last - 1, kColumnCount - 1));
}

void BossTableModel::countdownsMoved() {
    if (!m_countdownsWatched) {
        return;
    }
    runOnReceiverThread(this, [this] { emit countdownsAdvanced(); });
}

void BossTableModel::setCountdownsWatched(bool watched) {
    if (m_countdownsWatched.exchange(watched) != watched && watched) {
        emit countdownsAdvanced();
    }
}

void BossTableModel::headerChanged(int firstColumn, int lastColumn) {
    runOnReceiverThread(this, [this, firstColumn, lastColumn] {
        emit headerDataChanged(Qt::Horizontal, firstColumn, lastColumn);
    });
}

} // namespace zorvane::app
