#pragma once
// The grid's changes as undoable commands: a row's state (a kill, an edit, a check box),
// an added row and a deleted row. Each is pushed after the change has been made, so its
// first redo does nothing; later undos and redos find the row by its stable id and store
// the table as the original change did.

#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "schedule/services.h"

#include <QString>
#include <QUndoCommand>

#include <functional>

namespace zorvane::app {

// What the commands change: the table and its copy on disk.
struct UndoTarget {
    schedule::BossTable& table;
    schedule::TableStore& store;
};

// A row's texts, check box and last instant went from `before` to `after` (same id).
// Only what differs between the two is written back; the countdown is the tick's.
class RowStateCommand final : public QUndoCommand {
public:
    // Told after every undo (true) and redo (false) but the first, with the row as it was
    // after the change (a kill the room shared is taken back when undone).
    using Toggled = std::function<void(const schedule::BossRow& after, bool undone)>;

    RowStateCommand(UndoTarget target, schedule::BossRow before, schedule::BossRow after,
                    const QString& text, Toggled toggled = {});
    void undo() override;
    void redo() override;
    // True when the two states differ in anything a command would write.
    static bool differs(const schedule::BossRow& before, const schedule::BossRow& after);

private:
    void apply(const schedule::BossRow& state, const schedule::BossRow& other);

    UndoTarget m_target;
    schedule::BossRow m_before;
    schedule::BossRow m_after;
    Toggled m_toggled;
    bool m_done = true;
};

// A row added at table row `position` (not saved, as adding never saves).
class AddRowCommand final : public QUndoCommand {
public:
    AddRowCommand(UndoTarget target, schedule::RowId id, int position, const QString& text);
    void undo() override;
    void redo() override;

private:
    UndoTarget m_target;
    schedule::RowId m_id;
    int m_position;
    schedule::BossRow m_row; // as it was when undone
    bool m_done = true;
};

// A row deleted from table row `position`; undo puts it back there with its id.
class DeleteRowCommand final : public QUndoCommand {
public:
    DeleteRowCommand(UndoTarget target, schedule::BossRow row, int position, const QString& text);
    void undo() override;
    void redo() override;

private:
    UndoTarget m_target;
    schedule::BossRow m_row;
    int m_position;
    bool m_done = true;
};

// A line's state went from `before` to `after` (a kill, a clear); undo and redo put one of
// them back through `put` (which also saves the lines).
class LineStateCommand final : public QUndoCommand {
public:
    using Put = std::function<void(const schedule::LineState& state)>;
    // Told after every undo (true) and redo (false) but the first (a kill the room shared is
    // taken back when undone).
    using Toggled = std::function<void(bool undone)>;

    LineStateCommand(schedule::RowId row, schedule::LineId line, schedule::LineState before,
                     schedule::LineState after, const QString& text, Put put, Toggled toggled = {});
    void undo() override;
    void redo() override;
    bool isOn(schedule::RowId row, schedule::LineId line) const {
        return row == m_row && line == m_line;
    }

private:
    schedule::RowId m_row;
    schedule::LineId m_line;
    schedule::LineState m_before;
    schedule::LineState m_after;
    Put m_put;
    Toggled m_toggled;
    bool m_done = true;
};

} // namespace zorvane::app
