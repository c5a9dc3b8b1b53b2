#include "widgets/gridcontroller.h"

#include "models/bosstablemodel.h"
#include "models/undocommands.h"
#include "schedule/editing.h"
#include "schedule/tableops.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "text/textops.h"
#include "widgets/bossgrid.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace zorvane::app {
namespace {

// The countdown column is wider than the others' 100 so that a countdown of days
// ('2天14时54分51秒') shows whole; the columns still fit the grid's 792 pixels.
constexpr std::array<int, schedule::kColumnCount> kColumnWidths = {40, 40,  200, 80,
                                                                   80, 100, 100, 130};
constexpr int kRowHeight = 30;
// The grid's width in the window's start size, beside the columns' 770 pixels: up to it,
// the columns keep their widths; a grid grown wider gives the rest to the names.
constexpr int kStartGridWidth = 792;
// The longest "killed N minutes ago" the menu asks for: a week.
constexpr int kMaxMinutesAgo = 7 * 24 * 60;

QString nameOf(const schedule::BossRow& row) {
    const std::string name = text::trim(row.text[schedule::kNameColumn]);
    return name.empty() ? QCoreApplication::translate("Zorvane", "（无名）")
                        : QString::fromStdString(name);
}

} // namespace

GridController::GridController(schedule::BossTable& table, BossGrid& grid,
                               const schedule::Clock& clock, KillPath& kills,
                               schedule::TableStore& store, schedule::MessageSink& messages,
                               const QLineEdit& warnMinutesEdit)
    : m_table(table), m_grid(grid), m_clock(clock), m_kills(kills), m_store(store),
      m_messages(messages), m_warnMinutesEdit(warnMinutesEdit),
      m_model(std::make_unique<BossTableModel>(table)), m_proxy(std::make_unique<GridProxy>()),
      m_rows(std::make_unique<GroupedRows>()) {
    // Enough to walk back a session's mistakes; each step keeps two copies of a row.
    m_undo.setUndoLimit(200);
    m_proxy->setSourceModel(m_model.get());
    m_rows->setSourceModel(m_proxy.get());
    m_grid.setModel(m_rows.get());
    m_grid.setDoubleClickColumn(schedule::kLastTimeColumn);
    // Counts that only moved on repaint where they show; rows whose look changed come as
    // whole-row dataChanged.
    connect(m_model.get(), &BossTableModel::countdownsAdvanced, &m_grid, [this] {
        // A filter by state follows the countdowns before they are painted.
        m_rows->recheckTimes();
        if (m_rows->showsLines()) {
            // Lines and the rows that sum them up change their looks with their counts; the
            // view paints the rows on screen only.
            m_grid.viewport()->update();
        } else {
            m_grid.repaintVisibleColumn(schedule::kCountdownColumn);
        }
    });
    connect(&m_grid, &BossGrid::editStarted, this, &GridController::onGridEditStarted);
    connect(&m_grid, &BossGrid::editFinished, this, &GridController::onGridEditFinished);
    connect(&m_grid, &BossGrid::leftButtonReleased, this, &GridController::onGridMouseUp);
    // A box ticked with the space key is stored at once, as a clicked one is.
    connect(&m_grid, &BossGrid::checkToggledByKey, this, &GridController::onGridMouseUp);
    connect(&m_grid, &BossGrid::checkToggled, this, &GridController::onCheckToggled);
    connect(&m_grid, &BossGrid::gridDoubleClicked, this, &GridController::onGridDoubleClick);
    connect(&m_grid, &BossGrid::killKeyPressed, this, &GridController::killCursorRowNow);
    connect(m_proxy.get(), &GridProxy::sortStateChanged, this, &GridController::sortStateChanged);
    QHeaderView* header = m_grid.horizontalHeader();
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &GridController::onSortHeaderClicked);
    m_kills.setRecorded(
        [this](const schedule::BossRow& before, bool killed) { rememberKill(before, killed); });
}

GridController::~GridController() {
    m_kills.setRecorded({});
    m_kills.setLineRecorded({});
    // The commands refer to the table and the store; they go before anything else here.
    m_undo.clear();
    // The view must not keep a pointer to the model that goes with this object.
    m_grid.setModel(nullptr);
}

bool GridController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid.viewport() && event->type() == QEvent::Resize) {
        fitNameColumn();
    }
    return QObject::eventFilter(watched, event);
}

void GridController::fitNameColumn() {
    int others = 0;
    for (int column = 0; column < schedule::kColumnCount; ++column) {
        if (column != schedule::kNameColumn) {
            others += kColumnWidths[static_cast<std::size_t>(column)];
        }
    }
    const int name = kColumnWidths[static_cast<std::size_t>(schedule::kNameColumn)];
    const int spare = kStartGridWidth - (others + name);
    const int width = std::max(name, m_grid.viewport()->width() - spare - others);
    if (m_grid.horizontalHeader()->sectionSize(schedule::kNameColumn) != width) {
        m_grid.horizontalHeader()->resizeSection(schedule::kNameColumn, width);
    }
}

void GridController::setupColumns() {
    QHeaderView* header = m_grid.horizontalHeader();
    header->setMinimumSectionSize(1);
    for (int column = 0; column < schedule::kColumnCount; ++column) {
        header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
    }
    m_grid.viewport()->installEventFilter(this);
    fitNameColumn();
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

void GridController::rememberKill(const schedule::BossRow& before, bool killed) {
    if (const std::optional<schedule::BossRow> after = m_table.row(before.id);
        after && RowStateCommand::differs(before, *after)) {
        // Undoing a put-back shows the retracted kill again here; the kill before it, which
        // the row then shows no more, was not undone and stays shared and in the history.
        RowStateCommand::Toggled toggled;
        if (killed) {
            toggled = [kills = &m_kills](const schedule::BossRow& row, bool undone) {
                kills->killUndone(row, undone);
            };
        }
        m_undo.push(new RowStateCommand(
            {m_table, m_store}, before, *after,
            QCoreApplication::translate("Zorvane", "记录击杀：%1").arg(nameOf(before)),
            std::move(toggled)));
    }
}

void GridController::setSortState(GridProxy::SortState state) {
    m_proxy->setSortState(state);
    showSortIndicator();
    // The lines under an unfolded boss follow the order.
    m_rows->linesChanged();
}

void GridController::setLines(LineBook* lines) {
    m_lines = lines;
    const schedule::LineBoard* board = lines != nullptr ? &lines->board() : nullptr;
    m_proxy->setLineBoard(board);
    m_rows->setLineBoard(board);
    if (lines == nullptr) {
        m_kills.setLineRecorded({});
        return;
    }
    m_kills.setLineRecorded([this](schedule::RowId row, schedule::LineId line,
                                   const schedule::LineState& before, bool killed) {
        rememberLine(row, line, before, QCoreApplication::translate("Zorvane", "记录击杀：%1"),
                     killed);
        refreshLines();
    });
    refreshLines();
}

void GridController::refreshLines() {
    if (m_proxy->sortState() != GridProxy::SortState::TableOrder) {
        // A boss sorts by its soonest line, which the table's rows do not tell the proxy of.
        m_proxy->invalidate();
    }
    m_rows->linesChanged();
    emit linesRefreshed();
}

QString GridController::lineTitleOf(schedule::RowId row, schedule::LineId line) const {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    const std::optional<schedule::LineTimer> timer =
        m_lines != nullptr ? m_lines->board().timer(row, line) : std::nullopt;
    if (!boss || !timer) {
        return {};
    }
    return QString::fromStdString(
        schedule::lineTitle(text::trim(boss->text[schedule::kNameColumn]), timer->key));
}

void GridController::rememberLine(schedule::RowId row, schedule::LineId line,
                                  const schedule::LineState& before, const QString& what,
                                  bool killed) {
    const std::optional<schedule::LineTimer> after =
        m_lines != nullptr ? m_lines->board().timer(row, line) : std::nullopt;
    if (!after || after->state == before) {
        return;
    }
    LineStateCommand::Toggled toggled;
    if (killed && after->state.lastKill) {
        toggled = [kills = &m_kills, row, line, instant = *after->state.lastKill](bool undone) {
            kills->lineKillUndone(row, line, instant, undone);
        };
    }
    m_undo.push(new LineStateCommand(
        row, line, before, after->state, what.arg(lineTitleOf(row, line)),
        [this, row, line](const schedule::LineState& state) {
            if (m_kills.restoreLine(row, line, state)) {
                refreshLines();
            }
        },
        std::move(toggled)));
}

bool GridController::hasLines(schedule::RowId row) const {
    return m_lines != nullptr && m_lines->board().hasLines(row);
}

bool GridController::canUndoLine(schedule::RowId row, schedule::LineId line) const {
    const auto* last = dynamic_cast<const LineStateCommand*>(m_undo.command(m_undo.index() - 1));
    return last != nullptr && last->isOn(row, line);
}

bool GridController::undoLine(schedule::RowId row, schedule::LineId line) {
    if (!canUndoLine(row, line)) {
        return false;
    }
    m_undo.undo();
    return true;
}

bool GridController::cursorLine(schedule::RowId& row, schedule::LineId& line) const {
    const QModelIndex current = m_grid.currentIndex();
    if (current.data(GroupedRows::NodeKindRole).toInt() !=
        static_cast<int>(GroupedRows::NodeKind::Line)) {
        return false;
    }
    row = current.data(GroupedRows::BossRowIdRole).value<schedule::RowId>();
    line = current.data(GroupedRows::LineIdRole).value<schedule::LineId>();
    return row != 0 && line != 0;
}

bool GridController::killLineNow(schedule::RowId row, schedule::LineId line,
                                 schedule::KillSource source) {
    return m_lines != nullptr && m_kills.recordOnLine(row, line, m_clock.instant(), source);
}

bool GridController::killLineMinutesAgo(schedule::RowId row, schedule::LineId line) {
    const QString title = lineTitleOf(row, line);
    if (title.isEmpty() || !m_questions) {
        return false;
    }
    const std::optional<int> minutes = m_questions->askMinutes(
        QCoreApplication::translate("Zorvane", "记录击杀"),
        QCoreApplication::translate("Zorvane", "“%1”是几分钟前被击杀的？").arg(title),
        kMaxMinutesAgo);
    if (!minutes) {
        return false;
    }
    const schedule::UtcSeconds instant = m_clock.instant() - 60LL * *minutes;
    return m_kills.recordOnLine(row, line, instant, schedule::KillSource::Menu);
}

bool GridController::clearLine(schedule::RowId row, schedule::LineId line) {
    if (m_lines == nullptr) {
        return false;
    }
    const std::optional<schedule::LineState> before = m_lines->board().clear(row, line);
    if (!before) {
        return false;
    }
    m_lines->save();
    rememberLine(row, line, *before, QCoreApplication::translate("Zorvane", "清除：%1"));
    refreshLines();
    return true;
}

void GridController::showSortIndicator() {
    QHeaderView* header = m_grid.horizontalHeader();
    const GridProxy::SortState state = m_proxy->sortState();
    header->setSortIndicatorShown(state != GridProxy::SortState::TableOrder);
    header->setSortIndicator(
        state == GridProxy::SortState::TableOrder ? -1 : schedule::kCountdownColumn,
        state == GridProxy::SortState::Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void GridController::onSortHeaderClicked(int section) {
    if (section == schedule::kCountdownColumn) {
        setSortState(GridProxy::nextSortState(m_proxy->sortState()));
        return;
    }
    // The header moves its indicator to any clicked section; only the countdown sorts.
    showSortIndicator();
}

void GridController::setFilter(const QString& text) {
    if (text == m_rows->filterText()) {
        return;
    }
    m_rows->setFilter(text);
    m_grid.setEmptyText(
        m_rows->filtering()
            ? QCoreApplication::translate("Zorvane", "没有符合“%1”的首领。按 Esc 清除筛选。")
                  .arg(text.trimmed())
            : QString());
    emit filterChanged(text);
}

void GridController::onAddClicked() {
    // A new row has no name yet: no filter would show it.
    setFilter({});
    const int row = schedule::onAddClicked(m_table, m_clock);
    m_undo.push(new AddRowCommand({m_table, m_store}, m_table.rowId(row), row,
                                  QCoreApplication::translate("Zorvane", "新增第%1行").arg(row)));
    if (m_proxy->sortState() == GridProxy::SortState::TableOrder) {
        m_grid.scrollToBottom();
    } else {
        m_grid.scrollTo(m_grid.viewIndexOf(row, schedule::kNameColumn));
    }
}

void GridController::addRowAndEditName() {
    onAddClicked();
    const QModelIndex name = m_grid.viewIndexOf(m_table.rowCount() - 1, schedule::kNameColumn);
    if (!name.isValid()) {
        return;
    }
    m_grid.setFocus();
    m_grid.selectionModel()->setCurrentIndex(name, QItemSelectionModel::ClearAndSelect);
    m_grid.scrollTo(name);
    m_grid.edit(name);
}

void GridController::deleteTableRow(int row, int column) {
    const std::optional<schedule::BossRow> removed = m_table.row(m_table.rowId(row));
    if (!schedule::onDeleteClicked(m_table, row, m_store)) {
        return;
    }
    if (removed) {
        m_undo.push(new DeleteRowCommand(
            {m_table, m_store}, *removed, row,
            QCoreApplication::translate("Zorvane", "删除：%1").arg(nameOf(*removed))));
    }
    // The cursor stays at the same row and column, or goes to the new last row, or away
    // when no data row is left.
    const int lastRow = m_table.rowCount() - 1;
    m_grid.setCursorCell(row <= lastRow ? row : lastRow, column);
}

void GridController::onDeleteClicked() {
    deleteTableRow(m_grid.cursorRow(), m_grid.cursorColumn());
}

bool GridController::deleteRowAsked(schedule::RowId id) {
    const int row = m_table.rowIndex(id);
    const std::optional<schedule::BossRow> boss = m_table.row(id);
    if (row < 1 || !boss || !m_questions) {
        return false;
    }
    if (!m_questions->confirm(
            QCoreApplication::translate("Zorvane", "删除"),
            QCoreApplication::translate("Zorvane", "删除第%1行“%2”？\n可以用 Ctrl+Z 撤销。")
                .arg(row)
                .arg(nameOf(*boss)))) {
        return false;
    }
    // The row may have moved while the question was open (another deletion cannot come
    // in, but the table is shared): look it up again.
    const int now = m_table.rowIndex(id);
    if (now < 1) {
        return false;
    }
    const int column = m_grid.cursorRow() == now ? m_grid.cursorColumn() : schedule::kNameColumn;
    deleteTableRow(now, column);
    return true;
}

schedule::RowId GridController::cursorRowId() const {
    const int row = m_grid.cursorRow();
    return row >= 1 ? m_table.rowId(row) : 0;
}

bool GridController::killCursorRowNow() {
    if (schedule::RowId row = 0, line = 0; cursorLine(row, line)) {
        return killLineNow(row, line, schedule::KillSource::Keyboard);
    }
    const schedule::RowId id = cursorRowId();
    return id != 0 && !hasLines(id) &&
           m_kills.record(id, m_clock.instant(), schedule::KillSource::Keyboard);
}

bool GridController::killSelectedOrNextDue() {
    schedule::RowId id = 0;
    if (m_grid.selectionModel() != nullptr && m_grid.selectionModel()->hasSelection()) {
        // A selected line takes the kill, never the boss due next.
        if (schedule::RowId row = 0, line = 0; cursorLine(row, line)) {
            return killLineNow(row, line, schedule::KillSource::Keyboard);
        }
        id = cursorRowId();
        if (hasLines(id)) {
            return false; // which line was killed is not known
        }
    }
    if (id == 0) {
        std::optional<std::int64_t> least;
        for (const schedule::BossRow& row : m_table.rows()) {
            if (row.use && row.timing.remainingSeconds && !hasLines(row.id) &&
                (!least || *row.timing.remainingSeconds < *least)) {
                least = row.timing.remainingSeconds;
                id = row.id;
            }
        }
    }
    return id != 0 && m_kills.record(id, m_clock.instant(), schedule::KillSource::Keyboard);
}

bool GridController::killRowNow(schedule::RowId row) {
    return m_kills.record(row, m_clock.instant(), schedule::KillSource::Menu);
}

bool GridController::killRowMinutesAgo(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    if (!boss || !m_questions) {
        return false;
    }
    const std::optional<int> minutes = m_questions->askMinutes(
        QCoreApplication::translate("Zorvane", "记录击杀"),
        QCoreApplication::translate("Zorvane", "“%1”是几分钟前被击杀的？").arg(nameOf(*boss)),
        kMaxMinutesAgo);
    if (!minutes) {
        return false;
    }
    // The clock is read after the question: the minutes count back from its answer.
    const schedule::UtcSeconds instant = m_clock.instant() - 60LL * *minutes;
    return m_kills.record(row, instant, schedule::KillSource::Menu);
}

void GridController::onGridMouseUp() {
    schedule::onGridMouseUp(m_table, m_grid.cursorRow(), m_grid.cursorColumn(), m_store);
}

void GridController::onCheckToggled(int tableRow) {
    const std::optional<schedule::BossRow> after = m_table.row(m_table.rowId(tableRow));
    if (!after) {
        return;
    }
    schedule::BossRow before = *after;
    before.use = !after->use;
    m_undo.push(new RowStateCommand(
        {m_table, m_store}, before, *after,
        QCoreApplication::translate("Zorvane", "使用：%1").arg(nameOf(*after))));
}

void GridController::onGridDoubleClick() {
    if (schedule::RowId row = 0, line = 0; cursorLine(row, line)) {
        killLineNow(row, line, schedule::KillSource::DoubleClick);
        return;
    }
    if (m_grid.cursorRow() < 1 || m_grid.cursorColumn() != schedule::kLastTimeColumn) {
        return;
    }
    m_kills.record(cursorRowId(), m_clock.instant(), schedule::KillSource::DoubleClick);
}

void GridController::onGridEditStarted() {
    m_editBefore = m_table.row(cursorRowId());
    schedule::onGridEditStarted(m_grid.cursorColumn(), m_messages);
}

void GridController::onGridEditFinished() {
    schedule::onGridEditFinished(
        m_table, m_grid.cursorRow(), m_grid.cursorColumn(), m_warnMinutesEdit.text().toStdString(),
        m_clock, m_messages, m_store, m_kills.killLog(), m_editBefore ? &*m_editBefore : nullptr);
    const std::optional<schedule::BossRow> before = std::exchange(m_editBefore, std::nullopt);
    if (!before) {
        return;
    }
    if (const std::optional<schedule::BossRow> after = m_table.row(before->id);
        after && RowStateCommand::differs(*before, *after)) {
        m_undo.push(new RowStateCommand(
            {m_table, m_store}, *before, *after,
            QCoreApplication::translate("Zorvane", "编辑：%1").arg(nameOf(*after))));
    }
}

void GridController::adoptWindow(schedule::RowId id, int periodMinutes, int delayMinutes) {
    const std::optional<schedule::BossRow> before = m_table.row(id);
    if (!before) {
        return;
    }
    m_table.setCellTexts(id, {{schedule::kPeriodColumn, std::to_string(periodMinutes)},
                              {schedule::kDelayColumn, std::to_string(delayMinutes)}});
    // Checked and followed up as a typed period: a period the warning minutes refuse is
    // put back with its message.
    schedule::onGridEditFinished(m_table, m_table.rowIndex(id), schedule::kPeriodColumn,
                                 m_warnMinutesEdit.text().toStdString(), m_clock, m_messages,
                                 m_store, m_kills.killLog(), &*before);
    if (const std::optional<schedule::BossRow> after = m_table.row(id);
        after && RowStateCommand::differs(*before, *after)) {
        m_undo.push(new RowStateCommand(
            {m_table, m_store}, *before, *after,
            QCoreApplication::translate("Zorvane", "采用刷新窗口：%1").arg(nameOf(*after))));
    }
}

} // namespace zorvane::app
