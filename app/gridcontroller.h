#pragma once
// Binds the boss table to its grid and buttons: column set-up, the "新增" and "删除"
// buttons, the grid's mouse and editing events, and the cursor rules around them.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

#include <QObject>

#include <memory>
#include <string>

class QLineEdit;
class QTimer;

namespace zorvane::app {

class BossGrid;
class BossTableModel;

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
    // Where recorded kills go besides the table; nullptr for nowhere.
    void setKillLog(schedule::KillLog* log) { m_killLog = log; }

    // Column widths, row height, the use column's check boxes and the header texts.
    void setupColumns();
    // Centres every cell and the header; rows added later are centred too.
    void centreCells();

    void onAddClicked();
    void onDeleteClicked();
    void onGridMouseUp();
    void onGridDoubleClick();
    void onGridEditStarted();
    void onGridEditFinished();

    // The one call through which a kill received from a shared room reaches a row: newer
    // kills only (the caller judges), history as remote with the sender, and the table
    // saved 200 ms later, once for all kills that arrive meanwhile. False when the row is
    // gone.
    bool applyRemoteKill(schedule::RowId row, schedule::UtcSeconds killUtc,
                         const std::string& sender);

private:
    // Saves the table once the current burst of received kills is over.
    void saveSoon();

    schedule::BossTable& m_table;
    BossGrid& m_grid;
    const schedule::Clock& m_clock;
    schedule::TableStore& m_store;
    schedule::MessageSink& m_messages;
    const QLineEdit& m_warnMinutesEdit;
    std::unique_ptr<BossTableModel> m_model;
    schedule::KillLog* m_killLog = nullptr;
    QTimer* m_saveTimer = nullptr;
};

} // namespace zorvane::app
