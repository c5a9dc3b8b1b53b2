#include "app/gridcontroller.h"

#include "app/bossgrid.h"
#include "app/bosstablemodel.h"
#include "schedule/editing.h"
#include "schedule/tableops.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTimer>

#include <array>

namespace zorvane::app {
namespace {

// The countdown column is wider than the others' 100 so that a countdown of days
// ('2天14时54分51秒') shows whole; the columns still fit the grid's 792 pixels.
constexpr std::array<int, schedule::kColumnCount> kColumnWidths = {40, 40,  200, 80,
                                                                   80, 100, 100, 130};
constexpr int kRowHeight = 30;
// Received kills within this many milliseconds share one save of the table.
constexpr int kRemoteSaveDelayMs = 200;

} // namespace

GridController::GridController(schedule::BossTable& table, BossGrid& grid,
                               const schedule::Clock& clock, schedule::TableStore& store,
                               schedule::MessageSink& messages, const QLineEdit& warnMinutesEdit)
    : m_table(table), m_grid(grid), m_clock(clock), m_store(store), m_messages(messages),
      m_warnMinutesEdit(warnMinutesEdit), m_model(std::make_unique<BossTableModel>(table)) {
    m_grid.setModel(m_model.get());
    m_grid.setDoubleClickColumn(schedule::kLastTimeColumn);
    connect(&m_grid, &BossGrid::editStarted, this, &GridController::onGridEditStarted);
    connect(&m_grid, &BossGrid::editFinished, this, &GridController::onGridEditFinished);
    connect(&m_grid, &BossGrid::leftButtonReleased, this, &GridController::onGridMouseUp);
    // A box ticked with the space key is stored at once, as a clicked one is.
    connect(&m_grid, &BossGrid::checkToggledByKey, this, &GridController::onGridMouseUp);
    connect(&m_grid, &BossGrid::gridDoubleClicked, this, &GridController::onGridDoubleClick);
}

GridController::~GridController() {
    // Received kills not saved yet are kept.
    if (m_saveTimer != nullptr && m_saveTimer->isActive()) {
        m_saveTimer->stop();
        m_store.saveTable(m_table);
    }
    // The view must not keep a pointer to the model that goes with this object.
    m_grid.setModel(nullptr);
}

void GridController::setupColumns() {
    QHeaderView* header = m_grid.horizontalHeader();
    header->setMinimumSectionSize(1);
    for (int column = 0; column < schedule::kColumnCount; ++column) {
        header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
    }
    QHeaderView* rows = m_grid.verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    // The table has no fixed column: no row numbers beside the rows.
    rows->hide();
    // Column 0 is the check-box column by the model's flags; clearing its existing boxes
    // is the other half of making it one.
    for (int row = 1; row < m_table.rowCount(); ++row) {
        m_table.setCheckState(row, false);
    }
    schedule::setupColumns(m_table);
}

void GridController::centreCells() {
    m_model->setAlignment(Qt::AlignCenter);
}

void GridController::onAddClicked() {
    schedule::onAddClicked(m_table, m_clock);
    m_grid.scrollToBottom();
}

void GridController::onDeleteClicked() {
    const int row = m_grid.cursorRow();
    const int column = m_grid.cursorColumn();
    if (!schedule::onDeleteClicked(m_table, row, m_store)) {
        return;
    }
    // The cursor stays at the same row and column, or goes to the new last row, or away
    // when no data row is left.
    const int lastRow = m_table.rowCount() - 1;
    m_grid.setCursorCell(row <= lastRow ? row : lastRow, column);
}

void GridController::onGridMouseUp() {
    schedule::onGridMouseUp(m_table, m_grid.cursorRow(), m_grid.cursorColumn(), m_store);
}

void GridController::onGridDoubleClick() {
    schedule::onGridDoubleClick(m_table, m_grid.cursorRow(), m_grid.cursorColumn(), m_clock,
                                m_store, m_killLog);
}

void GridController::onGridEditStarted() {
    schedule::onGridEditStarted(m_grid.cursorColumn(), m_messages);
}

void GridController::onGridEditFinished() {
    schedule::onGridEditFinished(m_table, m_grid.cursorRow(), m_grid.cursorColumn(),
                                 m_warnMinutesEdit.text().toStdString(), m_clock, m_messages,
                                 m_store, m_killLog);
}

bool GridController::applyRemoteKill(schedule::RowId row, schedule::UtcSeconds killUtc,
                                     const std::string& sender) {
    if (!schedule::applyRemoteKill(m_table, row, killUtc, sender, m_killLog)) {
        return false;
    }
    saveSoon();
    return true;
}

void GridController::saveSoon() {
    if (m_saveTimer == nullptr) {
        m_saveTimer = new QTimer(this);
        m_saveTimer->setSingleShot(true);
        m_saveTimer->setInterval(kRemoteSaveDelayMs);
        connect(m_saveTimer, &QTimer::timeout, this, [this] { m_store.saveTable(m_table); });
    }
    if (!m_saveTimer->isActive()) {
        m_saveTimer->start();
    }
}

} // namespace zorvane::app
