#pragma once
// Binds the boss table to its grid and buttons: column set-up, the "新增" and "删除"
// buttons, the grid's mouse and editing events, the cursor rules around them, the
// sorted view, the keyboard commands and the undo stack of the grid's changes.

#include "models/gridproxy.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

#include <QObject>
#include <QUndoStack>

#include <memory>
#include <optional>
#include <string>

class QLineEdit;
class QTimer;

namespace zorvane::app {

class BossGrid;
class BossTableModel;
class Questions;

class GridController final : public QObject {
    Q_OBJECT
public:
    // Shows `table` in `grid`. Everything passed in must outlive the controller;
    // warnMinutesEdit is read when a period is checked.
    GridController(schedule::BossTable& table, BossGrid& grid, const schedule::Clock& clock,
                   schedule::TableStore& store, schedule::MessageSink& messages,
                   const QLineEdit& warnMinutesEdit);
    ~GridController() override;

    BossTableModel& model() const { return *m_model; }
    // What the grid shows: the model sorted (or not) and with each row's look.
    GridProxy& proxy() const { return *m_proxy; }
    QUndoStack& undoStack() { return m_undo; }
    // Where recorded kills go besides the table; nullptr for nowhere.
    void setKillLog(schedule::KillLog* log) { m_killLog = log; }
    // Asks before a deletion from the keyboard or the menu, and for "N minutes ago";
    // without it those ask nothing and do nothing.
    void setQuestions(Questions* questions) { m_questions = questions; }

    // Column widths, row height, the use column's check boxes and the header texts.
    void setupColumns();
    // Centres every cell and the header; rows added later are centred too.
    void centreCells();

    // The one way a kill reaches the table: last time at `instant`, next time from the
    // period, saved, told to the kill log and put on the undo stack. Every source goes
    // through here (double click, keyboard, menu, and kills received from elsewhere with
    // their sender). Window thread only. False when the row is gone.
    bool recordKill(schedule::RowId row, schedule::UtcSeconds instant, schedule::KillSource source,
                    const std::string& sender = {});

    // The view's order (the countdown header cycles it); emits sortStateChanged.
    void setSortState(GridProxy::SortState state);

    void onAddClicked();
    void onDeleteClicked();
    void onGridMouseUp();
    void onGridDoubleClick();
    void onGridEditStarted();
    void onGridEditFinished();
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
    // The row under the cursor; 0 when none.
    schedule::RowId cursorRowId() const;

    // The one call through which a kill received from a shared room reaches a row: newer
    // kills only (the caller judges), history as remote with the sender, undone like any
    // kill, and the table saved 200 ms later, once for all kills that arrive meanwhile.
    // False when the row is gone.
    bool applyRemoteKill(schedule::RowId row, schedule::UtcSeconds killUtc,
                         const std::string& sender);

signals:
    void sortStateChanged(GridProxy::SortState state);

private:
    void showSortIndicator();
    void deleteTableRow(int row, int column);
    void onCheckToggled(int tableRow);
    // Saves the table once the current burst of received kills is over.
    void saveSoon();
    // Puts a kill recorded on a row (as it was before) on the undo stack.
    void rememberKill(const schedule::BossRow& before);

    schedule::BossTable& m_table;
    BossGrid& m_grid;
    const schedule::Clock& m_clock;
    schedule::TableStore& m_store;
    schedule::MessageSink& m_messages;
    const QLineEdit& m_warnMinutesEdit;
    std::unique_ptr<BossTableModel> m_model;
    std::unique_ptr<GridProxy> m_proxy;
    QUndoStack m_undo;
    schedule::KillLog* m_killLog = nullptr;
    Questions* m_questions = nullptr;
    // The cursor row as it was when its editor opened, for the edit's undo.
    std::optional<schedule::BossRow> m_editBefore;
    QTimer* m_saveTimer = nullptr;
};

} // namespace zorvane::app
