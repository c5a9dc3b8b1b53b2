#include "models/undocommands.h"

#include "schedule/tableops.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace zorvane::app {

using schedule::BossRow;
using schedule::kLastTimeColumn;
using schedule::kNextTimeColumn;
using schedule::kNumberColumn;

namespace {

// The columns a command restores: everything the user or a kill writes; not the
// countdown, which the tick rewrites every second.
constexpr int kFirstColumn = kNumberColumn;
constexpr int kLastColumn = kNextTimeColumn;

// Removes the row by id, renumbers and stores the table as a deletion does.
bool removeRow(UndoTarget& target, schedule::RowId id) {
    const int index = target.table.rowIndex(id);
    if (index < 1 || !target.table.deleteRow(index)) {
        return false;
    }
    schedule::renumberRows(target.table);
    target.store.rewriteTable(target.table);
    return true;
}

schedule::RowId putBack(UndoTarget& target, const BossRow& row, int position) {
    const int at = std::clamp(position, 1, target.table.rowCount());
    const schedule::RowId id = target.table.insertRow(at, row);
    schedule::renumberRows(target.table);
    return id;
}

} // namespace

RowStateCommand::RowStateCommand(UndoTarget target, BossRow before, BossRow after,
                                 const QString& text, Toggled toggled)
    : QUndoCommand(text), m_target(target), m_before(std::move(before)), m_after(std::move(after)),
      m_toggled(std::move(toggled)) {}

bool RowStateCommand::differs(const BossRow& before, const BossRow& after) {
    if (before.use != after.use || before.timing.lastUtc != after.timing.lastUtc) {
        return true;
    }
    for (int column = kFirstColumn; column <= kLastColumn; ++column) {
        if (before.text[column] != after.text[column]) {
            return true;
        }
    }
    return false;
}

void RowStateCommand::apply(const BossRow& state, const BossRow& other) {
    schedule::BossTable& table = m_target.table;
    if (table.rowIndex(state.id) < 1) {
        return; // the row has gone since; nothing to put back
    }
    std::vector<std::pair<int, std::string>> cells;
    for (int column = kFirstColumn; column <= kLastColumn; ++column) {
        if (state.text[column] != other.text[column]) {
            cells.emplace_back(column, state.text[column]);
        }
    }
    const bool lastChanged = state.text[kLastTimeColumn] != other.text[kLastTimeColumn] ||
                             state.timing.lastUtc != other.timing.lastUtc;
    if (lastChanged && state.text[kLastTimeColumn] == other.text[kLastTimeColumn]) {
        cells.emplace_back(kLastTimeColumn, state.text[kLastTimeColumn]);
    }
    if (lastChanged && state.timing.lastUtc) {
        // The last time stands for its instant again, as it did.
        table.setDatedCellTextsIf(state.id, {}, cells, *state.timing.lastUtc);
    } else if (!cells.empty()) {
        table.setCellTexts(state.id, cells);
    }
    if (state.use != other.use) {
        table.setCheckState(table.rowIndex(state.id), state.use);
    }
    m_target.store.saveTable(table);
}

void RowStateCommand::undo() {
    apply(m_before, m_after);
    if (m_toggled) {
        m_toggled(m_after, true);
    }
}

void RowStateCommand::redo() {
    if (std::exchange(m_done, false)) {
        return;
    }
    apply(m_after, m_before);
    if (m_toggled) {
        m_toggled(m_after, false);
    }
}

AddRowCommand::AddRowCommand(UndoTarget target, schedule::RowId id, int position,
                             const QString& text)
    : QUndoCommand(text), m_target(target), m_id(id), m_position(position) {}

void AddRowCommand::undo() {
    const std::optional<BossRow> row = m_target.table.row(m_id);
    if (!row) {
        return;
    }
    m_row = *row;
    removeRow(m_target, m_id);
}

void AddRowCommand::redo() {
    if (std::exchange(m_done, false) || m_row.id == 0) {
        return;
    }
    m_id = putBack(m_target, m_row, m_position);
}

DeleteRowCommand::DeleteRowCommand(UndoTarget target, BossRow row, int position,
                                   const QString& text)
    : QUndoCommand(text), m_target(target), m_row(std::move(row)), m_position(position) {}

void DeleteRowCommand::undo() {
    m_row.id = putBack(m_target, m_row, m_position);
    m_target.store.rewriteTable(m_target.table);
}

void DeleteRowCommand::redo() {
    if (std::exchange(m_done, false)) {
        return;
    }
    if (const std::optional<BossRow> row = m_target.table.row(m_row.id)) {
        m_row = *row;
        m_position = m_target.table.rowIndex(m_row.id);
        removeRow(m_target, m_row.id);
    }
}

LineStateCommand::LineStateCommand(schedule::RowId row, schedule::LineId line,
                                   schedule::LineState before, schedule::LineState after,
                                   const QString& text, Put put, Toggled toggled)
    : QUndoCommand(text), m_row(row), m_line(line), m_before(std::move(before)),
      m_after(std::move(after)), m_put(std::move(put)), m_toggled(std::move(toggled)) {}

void LineStateCommand::undo() {
    m_put(m_before);
    if (m_toggled) {
        m_toggled(true);
    }
}

void LineStateCommand::redo() {
    // Pushed after the change was made: the first redo has nothing to do.
    if (std::exchange(m_done, false)) {
        return;
    }
    m_put(m_after);
    if (m_toggled) {
        m_toggled(false);
    }
}

} // namespace zorvane::app
