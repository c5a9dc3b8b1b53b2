#pragma once
// Binds the boss table to its grid and buttons: column set-up, the "新增" and "删除"
// buttons, the grid's mouse and editing events, the cursor rules around them, the
// sorted view, the keyboard commands and the undo stack of the grid's changes.

#include "models/gridproxy.h"
#include "models/groupedrows.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

#include <QObject>
#include <QUndoStack>

#include <memory>
#include <optional>
#include <string>

class QLineEdit;

namespace zorvane::app {

class BossGrid;
class BossTableModel;
class KillPath;
class LineBook;
class Questions;

class GridController final : public QObject {
    Q_OBJECT
public:
    // Shows `table` in `grid`; kills go through `kills`, which tells the controller of every
    // kill for its undo stack. Everything passed in must outlive the controller;
    // warnMinutesEdit is read when a period is checked.
    GridController(schedule::BossTable& table, BossGrid& grid, const schedule::Clock& clock,
                   KillPath& kills, schedule::TableStore& store, schedule::MessageSink& messages,
                   const QLineEdit& warnMinutesEdit);
    ~GridController() override;

    BossTableModel& model() const { return *m_model; }
    // What the grid shows: the model sorted (or not) and with each row's look.
    GridProxy& proxy() const { return *m_proxy; }
    // The rows the grid shows over the sorted view: groups, folds and the filter.
    GroupedRows& rows() const { return *m_rows; }

    // The filter box's text: the grid shows the bosses it matches, and says so when none.
    void setFilter(const QString& text);
    QUndoStack& undoStack() { return m_undo; }
    // Asks before a deletion from the keyboard or the menu, and for "N minutes ago";
    // without it those ask nothing and do nothing.
    void setQuestions(Questions* questions) { m_questions = questions; }

    // The bosses' lines: their rows in the grid, kills on them, their undo; nullptr for none.
    // Must outlive the controller.
    void setLines(LineBook* lines);
    // The board's lines changed (set, loaded, killed, undone): the rows and the order follow.
    void refreshLines();
    // The line under the cursor; false when the cursor is not on a line row.
    bool cursorLine(schedule::RowId& row, schedule::LineId& line) const;
    // A kill on the line now, or some minutes ago (asked), from the line's menu.
    bool killLineNow(schedule::RowId row, schedule::LineId line, schedule::KillSource source);
    bool killLineMinutesAgo(schedule::RowId row, schedule::LineId line);
    // Forgets the line's kill (undoable).
    bool clearLine(schedule::RowId row, schedule::LineId line);
    // The latest change on the undo stack is the line's (its kill or clear), and undoes it.
    bool canUndoLine(schedule::RowId row, schedule::LineId line) const;
    bool undoLine(schedule::RowId row, schedule::LineId line);

    // Column widths, row height, the use column's check boxes and the header texts. In a grid
    // grown wider than the window's start size the names take the extra width.
    void setupColumns();
    // Centres every cell and the header; rows added later are centred too.
    void centreCells();

    // The view's order (the countdown header cycles it); emits sortStateChanged.
    void setSortState(GridProxy::SortState state);

    void onAddClicked();
    void onDeleteClicked();
    void onGridMouseUp();
    void onGridDoubleClick();
    void onGridEditStarted();
    void onGridEditFinished();
    // Makes a window the row's (the history's proposal): period and delay as if typed, the
    // next time following, saved, and undoable.
    void adoptWindow(schedule::RowId id, int periodMinutes, int delayMinutes);
    void onSortHeaderClicked(int section);

    // Ctrl+N: adds a row and opens its name for typing.
    void addRowAndEditName();
    // Delete, and 删除 in the row menu: removes the row after a confirmation naming it.
    bool deleteRowAsked(schedule::RowId row);
    // Ctrl+K and Enter on the last time: a kill of the cursor row now.
    bool killCursorRowNow();
    // A kill of the row now, or some minutes ago (asked), from the row menu.
    bool killRowNow(schedule::RowId row);
    bool killRowMinutesAgo(schedule::RowId row);
    // A global key's kill: of the selected row, else of the enabled row due next (the least
    // time left, table order among equals). False when there is neither.
    bool killSelectedOrNextDue();
    // The row under the cursor; 0 when none.
    schedule::RowId cursorRowId() const;

signals:
    void sortStateChanged(GridProxy::SortState state);
    // The filter changed (the filter box follows when a new row clears it).
    void filterChanged(const QString& text);
    // After refreshLines: whoever lists lines outside the grid reads them again.
    void linesRefreshed();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void fitNameColumn();
    void showSortIndicator();
    void deleteTableRow(int row, int column);
    void onCheckToggled(int tableRow);
    // Puts a kill recorded on a row, or a retracted one put back (not `killed`), on the undo
    // stack with the row as it was before; only undoing a kill takes it back.
    void rememberKill(const schedule::BossRow& before, bool killed);
    // Puts a change of a line (as it was before) on the undo stack, named `what`; undoing or
    // redoing a kill (`killed`) tells the kill path, so a shared kill is taken back too.
    void rememberLine(schedule::RowId row, schedule::LineId line, const schedule::LineState& before,
                      const QString& what, bool killed = false);
    QString lineTitleOf(schedule::RowId row, schedule::LineId line) const;
    // A boss with lines never takes a kill of its own from the grid's keys.
    bool hasLines(schedule::RowId row) const;

    schedule::BossTable& m_table;
    BossGrid& m_grid;
    const schedule::Clock& m_clock;
    KillPath& m_kills;
    schedule::TableStore& m_store;
    schedule::MessageSink& m_messages;
    const QLineEdit& m_warnMinutesEdit;
    std::unique_ptr<BossTableModel> m_model;
    std::unique_ptr<GridProxy> m_proxy;
    std::unique_ptr<GroupedRows> m_rows;
    QUndoStack m_undo;
    Questions* m_questions = nullptr;
    LineBook* m_lines = nullptr;
    // The cursor row as it was when its editor opened, for the edit's undo.
    std::optional<schedule::BossRow> m_editBefore;
};

} // namespace zorvane::app
