#include "schedule/bosstable.h"

#include "text/numbers.h"

#include <algorithm>
#include <utility>

namespace zorvane::schedule {
namespace {

bool validColumn(int column) {
    return column >= 0 && column < kColumnCount;
}

} // namespace

BossTable::BossTable() = default;

void BossTable::setListener(Listener* listener) {
    std::lock_guard lock(m_mutex);
    m_listener = listener;
}

int BossTable::rowCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size()) + 1;
}

std::string BossTable::headerText(int column) const {
    std::lock_guard lock(m_mutex);
    return validColumn(column) ? m_header[static_cast<std::size_t>(column)] : std::string();
}

bool BossTable::setHeaderText(int column, std::string_view text) {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!validColumn(column)) {
            return false;
        }
        m_header[static_cast<std::size_t>(column)] = text;
        listener = m_listener;
    }
    if (listener) {
        listener->headerChanged(column, column);
    }
    return true;
}

std::string BossTable::cellText(int row, int column) const {
    std::lock_guard lock(m_mutex);
    if (row < 1 || row > static_cast<int>(m_rows.size()) || !validColumn(column) ||
        column == kUseColumn) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row - 1)].text[static_cast<std::size_t>(column)];
}

bool BossTable::setCellText(int row, int column, std::string_view text) {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (row < 1 || row > static_cast<int>(m_rows.size()) || !validColumn(column) ||
            column == kUseColumn) {
            return false;
        }
        BossRow& changed = m_rows[static_cast<std::size_t>(row - 1)];
        changed.text[static_cast<std::size_t>(column)] = text;
        textWritten(changed, column);
        listener = m_listener;
    }
    if (listener) {
        listener->cellsChanged(row, column, column);
    }
    return true;
}

bool BossTable::checkState(int row) const {
    std::lock_guard lock(m_mutex);
    if (row < 1 || row > static_cast<int>(m_rows.size())) {
        return false;
    }
    return m_rows[static_cast<std::size_t>(row - 1)].use;
}

bool BossTable::setCheckState(int row, bool checked) {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (row < 1 || row > static_cast<int>(m_rows.size())) {
            return false;
        }
        m_rows[static_cast<std::size_t>(row - 1)].use = checked;
        listener = m_listener;
    }
    if (listener) {
        listener->cellsChanged(row, kUseColumn, kUseColumn);
    }
    return true;
}

int BossTable::appendRow() {
    Listener* listener = nullptr;
    int index = 0;
    {
        std::lock_guard lock(m_mutex);
        BossRow row;
        row.id = m_nextId++;
        m_rows.push_back(std::move(row));
        index = static_cast<int>(m_rows.size());
        listener = m_listener;
    }
    if (listener) {
        listener->rowsInserted(index, index);
    }
    return index;
}

bool BossTable::deleteRow(int row) {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (row < 1 || row > static_cast<int>(m_rows.size())) {
            return false;
        }
        m_rows.erase(m_rows.begin() + (row - 1));
        listener = m_listener;
    }
    if (listener) {
        listener->rowsRemoved(row, row);
    }
    return true;
}

RowId BossTable::rowId(int row) const {
    std::lock_guard lock(m_mutex);
    if (row < 1 || row > static_cast<int>(m_rows.size())) {
        return 0;
    }
    return m_rows[static_cast<std::size_t>(row - 1)].id;
}

int BossTable::rowIndex(RowId id) const {
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id) {
            return static_cast<int>(i) + 1;
        }
    }
    return -1;
}

std::vector<RowId> BossTable::rowIds() const {
    std::lock_guard lock(m_mutex);
    std::vector<RowId> ids;
    ids.reserve(m_rows.size());
    for (const BossRow& row : m_rows) {
        ids.push_back(row.id);
    }
    return ids;
}

std::optional<BossRow> BossTable::row(RowId id) const {
    std::lock_guard lock(m_mutex);
    for (const BossRow& row : m_rows) {
        if (row.id == id) {
            return row;
        }
    }
    return std::nullopt;
}

bool BossTable::setCellText(RowId id, int column, std::string_view text) {
    return setCellTexts(id, {{column, std::string(text)}});
}

bool BossTable::setCellTexts(RowId id, const std::vector<std::pair<int, std::string>>& cells) {
    return setCellTextsIf(id, {}, cells);
}

bool BossTable::setCellTextsIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                               const std::vector<std::pair<int, std::string>>& cells) {
    return writeIf(id, expected, cells, std::nullopt);
}

bool BossTable::setDatedCellTextsIf(RowId id,
                                    const std::vector<std::pair<int, std::string>>& expected,
                                    const std::vector<std::pair<int, std::string>>& cells,
                                    UtcSeconds lastUtc) {
    return writeIf(id, expected, cells, lastUtc);
}

void BossTable::textWritten(BossRow& row, int column) {
    switch (column) {
    case kPeriodColumn:
        row.timing.periodMinutes = text::textToInteger(row.text[kPeriodColumn]);
        break;
    case kDelayColumn:
        row.timing.delayMinutes = text::textToInteger(row.text[kDelayColumn]);
        break;
    case kLastTimeColumn:
        row.timing.lastUtc.reset();
        break;
    default:
        break;
    }
}

bool BossTable::writeIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                        const std::vector<std::pair<int, std::string>>& cells,
                        std::optional<UtcSeconds> lastUtc) {
    Listener* listener = nullptr;
    int index = -1;
    int first = kColumnCount;
    int last = -1;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [column, text] : cells) {
            if (!validColumn(column) || column == kUseColumn) {
                return false;
            }
        }
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].id == id) {
                index = static_cast<int>(i) + 1;
                break;
            }
        }
        if (index < 0) {
            return false;
        }
        BossRow& row = m_rows[static_cast<std::size_t>(index - 1)];
        for (const auto& [column, text] : expected) {
            if (!validColumn(column) || row.text[static_cast<std::size_t>(column)] != text) {
                return false;
            }
        }
        for (const auto& [column, text] : cells) {
            row.text[static_cast<std::size_t>(column)] = text;
            textWritten(row, column);
            first = std::min(first, column);
            last = std::max(last, column);
        }
        if (lastUtc) {
            row.timing.lastUtc = lastUtc;
        }
        listener = m_listener;
    }
    if (listener && last >= first) {
        listener->cellsChanged(index, first, last);
    }
    return true;
}

std::vector<BossRow> BossTable::rows() const {
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::optional<RowTiming> BossTable::timing(int row) const {
    std::lock_guard lock(m_mutex);
    if (row < 1 || row > static_cast<int>(m_rows.size())) {
        return std::nullopt;
    }
    return m_rows[static_cast<std::size_t>(row - 1)].timing;
}

bool BossTable::setLastInstantIf(RowId id, std::string_view lastText, UtcSeconds lastUtc) {
    std::lock_guard lock(m_mutex);
    for (BossRow& row : m_rows) {
        if (row.id == id) {
            if (row.text[kLastTimeColumn] != lastText) {
                return false;
            }
            row.timing.lastUtc = lastUtc;
            return true;
        }
    }
    return false;
}

bool BossTable::setCountdown(RowId id, std::string_view text, std::optional<std::int64_t> remaining,
                             RowPhase phase) {
    Listener* listener = nullptr;
    int index = -1;
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].id == id) {
                index = static_cast<int>(i) + 1;
                BossRow& row = m_rows[i];
                row.text[kCountdownColumn] = text;
                row.timing.remainingSeconds = remaining;
                row.timing.phase = phase;
                break;
            }
        }
        if (index < 0) {
            return false;
        }
        listener = m_listener;
    }
    if (listener) {
        listener->cellsChanged(index, kCountdownColumn, kCountdownColumn);
    }
    return true;
}

} // namespace zorvane::schedule
