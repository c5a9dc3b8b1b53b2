#include "schedule/bosstable.h"

#include "schedule/cycle.h"
#include "text/numbers.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zorvane::schedule {
namespace {

bool validColumn(int column) {
    return column >= 0 && column < kColumnCount;
}

} // namespace

void CellBlock::add(int row, int first, int last) {
    firstRow = std::min(firstRow, row);
    lastRow = std::max(lastRow, row);
    firstColumn = std::min(firstColumn, first);
    lastColumn = std::max(lastColumn, last);
}

void BossTable::Listener::cellBlockChanged(int firstRow, int lastRow, int firstColumn,
                                           int lastColumn) {
    for (int row = firstRow; row <= lastRow; ++row) {
        cellsChanged(row, firstColumn, lastColumn);
    }
}

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
    const BossRow& stored = m_rows[static_cast<std::size_t>(row - 1)];
    return column == kCountdownColumn ? countdownTextOf(stored)
                                      : stored.text[static_cast<std::size_t>(column)];
}

RowTiming BossTable::currentTiming(const BossRow& row) const {
    return timingAt(row, m_countNow);
}

RowTiming BossTable::timingAt(const BossRow& row, std::optional<UtcSeconds> at) {
    RowTiming timing = row.timing;
    if (!row.countedAt || !at || *at == *row.countedAt) {
        return timing;
    }
    const std::int64_t elapsed = *at - *row.countedAt;
    if (timing.remainingSeconds) {
        *timing.remainingSeconds -= elapsed;
    }
    if (timing.spawnView) {
        // The view's phase holds until the tick reads the row again; its counts follow now.
        moveViewOn(*timing.spawnView, *at);
    }
    return timing;
}

void BossTable::rebase(BossRow& row) const {
    row.timing = currentTiming(row);
    row.countedAt = m_countNow;
}

std::string BossTable::countdownTextOf(const BossRow& row) const {
    if (row.countdownFromSeconds && row.timing.remainingSeconds) {
        return formatCountdown(*currentTiming(row).remainingSeconds);
    }
    return row.text[kCountdownColumn];
}

BossRow BossTable::handedOut(const BossRow& row) const {
    BossRow copy = row;
    copy.timing = currentTiming(row);
    if (copy.countdownFromSeconds) {
        copy.text[kCountdownColumn] = countdownTextOf(row);
        copy.countdownFromSeconds = false;
    }
    copy.countedAt.reset();
    return copy;
}

void BossTable::setCountNow(UtcSeconds now) {
    std::lock_guard lock(m_mutex);
    m_previousCountNow = m_countNow;
    m_countNow = now;
}

void BossTable::noteEdited(RowId id) {
    if (!m_trackEdits || m_editedAll) {
        return;
    }
    // Many edits before anybody asks (a load, a stopped timer): reading every row is
    // cheaper than the list.
    if (m_edited.size() > 2 * m_rows.size() + 64) {
        m_editedAll = true;
        m_edited.clear();
        return;
    }
    m_edited.push_back(id);
}

BossTable::EditedRows BossTable::takeEditedRows() {
    std::lock_guard lock(m_mutex);
    EditedRows edited;
    edited.all = !m_trackEdits || m_editedAll;
    if (!edited.all) {
        edited.ids.swap(m_edited);
    }
    m_edited.clear();
    m_trackEdits = true;
    m_editedAll = false;
    return edited;
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
        noteEdited(changed.id);
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
        noteEdited(m_rows[static_cast<std::size_t>(row - 1)].id);
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
        noteEdited(row.id);
        m_positions.emplace(row.id, m_rows.size());
        m_rows.push_back(std::move(row));
        index = static_cast<int>(m_rows.size());
        listener = m_listener;
    }
    if (listener) {
        listener->rowsInserted(index, index);
    }
    return index;
}

int BossTable::appendRows(std::vector<BossRow> rows) {
    if (rows.empty()) {
        return 0;
    }
    Listener* listener = nullptr;
    int first = 0;
    int last = 0;
    {
        std::lock_guard lock(m_mutex);
        first = static_cast<int>(m_rows.size()) + 1;
        m_positions.reserve(m_rows.size() + rows.size());
        const std::size_t start = m_rows.size();
        if (m_rows.empty()) {
            // A load into the empty table keeps the read rows where they are: a second
            // buffer of every row would be written once and dropped.
            m_rows = std::move(rows);
        } else {
            m_rows.reserve(m_rows.size() + rows.size());
            std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
        }
        for (std::size_t position = start; position < m_rows.size(); ++position) {
            BossRow& row = m_rows[position];
            row.id = m_nextId++;
            // Loaded rows carry only texts (and perhaps their last instant): derive the
            // rest of their typed state as a write of those texts would.
            textWritten(row, kPeriodColumn);
            textWritten(row, kDelayColumn);
            row.countdownFromSeconds = false;
            row.countedAt = m_countNow;
            noteEdited(row.id);
            m_positions.emplace(row.id, position);
        }
        last = static_cast<int>(m_rows.size());
        listener = m_listener;
    }
    if (listener) {
        listener->rowsInserted(first, last);
    }
    return first;
}

RowId BossTable::insertRow(int row, BossRow content) {
    Listener* listener = nullptr;
    RowId id = 0;
    {
        std::lock_guard lock(m_mutex);
        if (row < 1 || row > static_cast<int>(m_rows.size()) + 1) {
            return 0;
        }
        // Ids are never handed out twice, so an id below m_nextId that is not in use is
        // the row's own from before.
        if (content.id == 0 || content.id >= m_nextId || m_positions.contains(content.id)) {
            content.id = m_nextId++;
        }
        id = content.id;
        textWritten(content, kPeriodColumn);
        textWritten(content, kDelayColumn);
        content.countdownFromSeconds = false;
        content.countedAt = m_countNow;
        noteEdited(id);
        const auto position = static_cast<std::size_t>(row - 1);
        m_rows.insert(m_rows.begin() + (row - 1), std::move(content));
        for (std::size_t i = position; i < m_rows.size(); ++i) {
            m_positions[m_rows[i].id] = i;
        }
        listener = m_listener;
    }
    if (listener) {
        listener->rowsInserted(row, row);
    }
    return id;
}

bool BossTable::deleteRow(int row) {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (row < 1 || row > static_cast<int>(m_rows.size())) {
            return false;
        }
        const auto position = static_cast<std::size_t>(row - 1);
        noteEdited(m_rows[position].id);
        m_positions.erase(m_rows[position].id);
        m_rows.erase(m_rows.begin() + (row - 1));
        // The rows after it moved up by one.
        for (std::size_t i = position; i < m_rows.size(); ++i) {
            m_positions[m_rows[i].id] = i;
        }
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

int BossTable::positionOf(RowId id) const {
    const auto it = m_positions.find(id);
    return it == m_positions.end() ? -1 : static_cast<int>(it->second);
}

int BossTable::rowIndex(RowId id) const {
    std::lock_guard lock(m_mutex);
    const int position = positionOf(id);
    return position < 0 ? -1 : position + 1;
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
    const int position = positionOf(id);
    if (position < 0) {
        return std::nullopt;
    }
    return handedOut(m_rows[static_cast<std::size_t>(position)]);
}

std::optional<BossRow> BossTable::rowWithoutCountdownText(RowId id) const {
    std::lock_guard lock(m_mutex);
    const int position = positionOf(id);
    if (position < 0) {
        return std::nullopt;
    }
    BossRow copy = m_rows[static_cast<std::size_t>(position)];
    copy.timing = currentTiming(copy);
    copy.countedAt.reset();
    return copy;
}

bool BossTable::setCellText(RowId id, int column, std::string_view text) {
    return setCellTexts(id, {{column, std::string(text)}});
}

bool BossTable::setCellTexts(RowId id, const std::vector<std::pair<int, std::string>>& cells,
                             CellBlock* collected) {
    return setCellTextsIf(id, {}, cells, collected);
}

bool BossTable::setCellTextsIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                               const std::vector<std::pair<int, std::string>>& cells,
                               CellBlock* collected) {
    return writeIf(id, expected, cells, std::nullopt, collected);
}

bool BossTable::setDatedCellTextsIf(RowId id,
                                    const std::vector<std::pair<int, std::string>>& expected,
                                    const std::vector<std::pair<int, std::string>>& cells,
                                    UtcSeconds lastUtc, CellBlock* collected) {
    return writeIf(id, expected, cells, lastUtc, collected);
}

void BossTable::keepCountdownText(BossRow& row) const {
    if (row.countdownFromSeconds) {
        row.text[kCountdownColumn] = countdownTextOf(row);
        row.countdownFromSeconds = false;
    }
}

void BossTable::textWritten(BossRow& row, int column) const {
    // A new time, period or delay may make the next count jump: it then tells of the whole
    // row, which a sorted view re-sorts, and shows its last text until then.
    if (column == kLastTimeColumn || column == kNextTimeColumn || column == kPeriodColumn ||
        column == kDelayColumn) {
        keepCountdownText(row);
    }
    switch (column) {
    case kPeriodColumn:
        row.timing.periodMinutes = text::textToInteger(row.text[kPeriodColumn]);
        break;
    case kDelayColumn:
        row.timing.delayMinutes = text::textToInteger(row.text[kDelayColumn]);
        break;
    case kLastTimeColumn:
        row.timing.lastUtc.reset();
        row.timing.upSince.reset();
        row.timing.missedAt.reset();
        break;
    case kCountdownColumn:
        row.countdownFromSeconds = false;
        break;
    default:
        break;
    }
}

bool BossTable::writeIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                        const std::vector<std::pair<int, std::string>>& cells,
                        std::optional<UtcSeconds> lastUtc, CellBlock* collected) {
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
        const int position = positionOf(id);
        if (position < 0) {
            return false;
        }
        index = position + 1;
        BossRow& row = m_rows[static_cast<std::size_t>(index - 1)];
        for (const auto& [column, text] : expected) {
            if (!validColumn(column) ||
                (column == kCountdownColumn ? countdownTextOf(row)
                                            : row.text[static_cast<std::size_t>(column)]) != text) {
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
        noteEdited(id);
        listener = m_listener;
    }
    if (collected) {
        if (last >= first) {
            collected->add(index, first, last);
        }
    } else if (listener && last >= first) {
        listener->cellsChanged(index, first, last);
    }
    return true;
}

void BossTable::notifyCells(const CellBlock& block) const {
    if (block.empty() || block.lastColumn < block.firstColumn) {
        return;
    }
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener) {
        listener->cellBlockChanged(block.firstRow, block.lastRow, block.firstColumn,
                                   block.lastColumn);
    }
}

std::vector<std::pair<int, std::string>> BossTable::rowsWithUnreadRule() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::pair<int, std::string>> found;
    for (std::size_t position = 0; position < m_rows.size(); ++position) {
        if (m_rows[position].timing.unreadRule) {
            found.emplace_back(static_cast<int>(position) + 1, m_rows[position].text[kNameColumn]);
        }
    }
    return found;
}

std::vector<BossRow> BossTable::rows() const {
    std::lock_guard lock(m_mutex);
    std::vector<BossRow> copies;
    copies.reserve(m_rows.size());
    for (const BossRow& row : m_rows) {
        copies.push_back(handedOut(row));
    }
    return copies;
}

std::optional<RowTiming> BossTable::timing(int row) const {
    std::lock_guard lock(m_mutex);
    if (row < 1 || row > static_cast<int>(m_rows.size())) {
        return std::nullopt;
    }
    return currentTiming(m_rows[static_cast<std::size_t>(row - 1)]);
}

bool BossTable::setLastInstantIf(RowId id, std::string_view lastText, UtcSeconds lastUtc) {
    std::lock_guard lock(m_mutex);
    const int position = positionOf(id);
    if (position < 0) {
        return false;
    }
    BossRow& row = m_rows[static_cast<std::size_t>(position)];
    if (row.text[kLastTimeColumn] != lastText) {
        return false;
    }
    row.timing.lastUtc = lastUtc;
    noteEdited(id);
    return true;
}

template <typename Change>
bool BossTable::changeRow(RowId id, std::pair<int, int> told, CellBlock* collected,
                          Change&& change) {
    Listener* listener = nullptr;
    int index = -1;
    {
        std::lock_guard lock(m_mutex);
        const int position = positionOf(id);
        if (position < 0) {
            return false;
        }
        index = position + 1;
        change(m_rows[static_cast<std::size_t>(position)]);
        listener = m_listener;
    }
    if (told.second < told.first) {
        return true;
    }
    if (collected) {
        collected->add(index, told.first, told.second);
    } else if (listener) {
        listener->cellsChanged(index, told.first, told.second);
    }
    return true;
}

bool BossTable::setLeadMinutes(RowId id, std::optional<std::vector<int>> minutes) {
    return changeRow(id, {kNameColumn, kNameColumn}, nullptr, [&](BossRow& row) {
        row.timing.leadMinutes = std::move(minutes);
        noteEdited(id);
    });
}

bool BossTable::setSpawnRule(RowId id, SpawnRule rule) {
    return changeRow(id, {kNameColumn, kCountdownColumn}, nullptr, [&](BossRow& row) {
        row.timing.spawn = std::move(rule);
        row.timing.unreadRule.reset();
        keepCountdownText(row);
        noteEdited(id);
    });
}

bool BossTable::setSpawnMarks(RowId id, std::optional<UtcSeconds> upSince,
                              std::optional<UtcSeconds> missedAt, CellBlock* collected) {
    // The state shows beside the countdown.
    return changeRow(id, {kCountdownColumn, kCountdownColumn}, collected, [&](BossRow& row) {
        row.timing.upSince = upSince;
        row.timing.missedAt = missedAt;
        noteEdited(id);
    });
}

bool BossTable::setSpawnView(RowId id, const SpawnView& view, CellBlock* collected) {
    bool shows = false;
    const bool found = changeRow(id, kNothingTold, nullptr, [&](BossRow& row) {
        shows = !row.timing.spawnView || row.timing.spawnView->phase != view.phase ||
                view.phase == SpawnPhase::WindowOpen;
        rebase(row);
        row.timing.spawnView = view;
    });
    if (found && shows) {
        tellRow(id, collected);
    }
    return found;
}

void BossTable::tellRow(RowId id, CellBlock* collected) {
    changeRow(id, {kUseColumn, kCountdownColumn}, collected, [](BossRow&) {});
}

SpawnFacts spawnFactsOf(const RowTiming& timing) {
    SpawnFacts facts;
    facts.periodMinutes = timing.periodMinutes;
    facts.delayMinutes = timing.delayMinutes;
    facts.lastKill = timing.lastUtc;
    facts.upSince = timing.upSince;
    facts.missedAt = timing.missedAt;
    return facts;
}

bool BossTable::setCountdown(RowId id, std::string_view text, std::optional<std::int64_t> remaining,
                             RowPhase phase, CellBlock* collected) {
    return changeRow(id, {kCountdownColumn, kCountdownColumn}, collected, [&](BossRow& row) {
        rebase(row);
        row.text[kCountdownColumn] = text;
        row.countdownFromSeconds = false;
        row.timing.remainingSeconds = remaining;
        row.timing.phase = phase;
    });
}

BossTable::CountdownChange BossTable::advanceCountdown(RowId id, std::int64_t remaining,
                                                       RowPhase phase, CellBlock* collected) {
    CountdownChange change = CountdownChange::Gone;
    changeRow(id, kNothingTold, nullptr, [&](BossRow& row) {
        // Compared with the count as the previous pass left it, as if that pass had read it.
        const std::optional<std::int64_t> before =
            timingAt(row, m_previousCountNow ? m_previousCountNow : m_countNow).remainingSeconds;
        rebase(row);
        if (!row.countdownFromSeconds || !before || row.timing.phase != phase ||
            (*before <= kDueSoonSeconds) != (remaining <= kDueSoonSeconds)) {
            change = CountdownChange::Row;
        } else {
            change = *before == remaining ? CountdownChange::Same : CountdownChange::Moved;
        }
        row.countdownFromSeconds = true;
        row.text[kCountdownColumn].clear();
        row.timing.remainingSeconds = remaining;
        row.timing.phase = phase;
    });
    if (change == CountdownChange::Row) {
        tellRow(id, collected);
    }
    return change;
}

bool BossTable::stopCountdown(RowId id, CellBlock* collected) {
    return changeRow(id, {kCountdownColumn, kCountdownColumn}, collected, [this](BossRow& row) {
        rebase(row);
        row.text[kCountdownColumn] = countdownTextOf(row);
        row.countdownFromSeconds = false;
        row.timing.remainingSeconds.reset();
        row.timing.phase = RowPhase::Idle;
    });
}

void BossTable::notifyCountdownsMoved() const {
    Listener* listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener) {
        listener->countdownsMoved();
    }
}

} // namespace zorvane::schedule
