// The grid at a glance and from the keyboard, through the real window: row looks by
// phase, sorting by time left through the view only, the keyboard commands, the row
// menu, undo and redo of every change, the Tab order and the overlay.

#include "config/bossnotes.h"
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "models/bosstablemodel.h"
#include "models/gridproxy.h"
#include "models/rowlook.h"
#include "periodic/globals.h"
#include "services/bossnotebook.h"
#include "services/configwriter.h"
#include "services/killpath.h"
#include "services/preferences.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"
#include "widgets/bossnotedialog.h"
#include "widgets/gridcontroller.h"
#include "widgets/historydialog.h"
#include "widgets/mainwindow.h"
#include "widgets/messagebox.h"
#include "widgets/overlay.h"
#include "widgets/rowmenu.h"
#include "widgets/writenotice.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUndoStack>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane;
using schedule::BossTable;
using schedule::RowPhase;
using Sort = app::GridProxy::SortState;

namespace {

class RecordingMessages final : public schedule::MessageSink {
public:
    void showMessage(const zorvane::text::Message& message) override {
        texts.push_back(zorvane::text::defaultText(message));
    }
    std::vector<std::string> texts;
};

// A window that counts the left clicks it gets.
class ClickCounter final : public QWidget {
public:
    int clicks = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            ++clicks;
        }
    }
};

// Answers each question with the next prepared answer (no, or cancel, when none is left).
class ScriptedQuestions final : public app::Questions {
public:
    bool confirm(const QString&, const QString& text) override {
        asked << text;
        const bool answer = !yes.empty() && yes.front();
        if (!yes.empty()) {
            yes.pop_front();
        }
        return answer;
    }
    std::optional<int> askMinutes(const QString&, const QString& label, int) override {
        asked << label;
        std::optional<int> answer;
        if (!minutes.empty()) {
            answer = minutes.front();
            minutes.pop_front();
        }
        return answer;
    }
    std::optional<QString> askChoice(const QString&, const QString& label,
                                     const QStringList& choices, const QString& current) override {
        asked << label;
        offered << choices.join(QLatin1Char('|'));
        shownCurrent << current;
        std::optional<QString> answer;
        if (!texts.empty()) {
            answer = texts.front();
            texts.pop_front();
        }
        return answer;
    }
    QStringList asked;
    QStringList offered;
    QStringList shownCurrent;
    std::deque<bool> yes;
    std::deque<std::optional<int>> minutes;
    std::deque<std::optional<QString>> texts;
};

} // namespace

class GridStatesTest : public QObject {
    Q_OBJECT

private:
    app::BossGrid* grid() const { return m_window->grid(); }
    BossTable& table() const { return m_session->table(); }
    app::GridController& controller() const { return m_window->gridController(); }
    QUndoStack& undo() const { return controller().undoStack(); }
    QString cell(int row, int column) const {
        return QString::fromStdString(table().cellText(row, column));
    }

    void openWindow() {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(
            *m_session, app::WindowSetup{.messages = &m_messages, .questions = &m_questions});
        // The test moves the clock and runs passes itself.
        m_globals->tickTimer().stop();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void restart() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        openWindow();
    }

    // A row named `name`, period `period`, last time now; returns its table row.
    int addRow(const char* name, const char* period = "30", bool checked = true) {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        const int row = table().rowCount() - 1;
        table().setCellText(row, schedule::kNameColumn, name);
        table().setCellText(row, schedule::kPeriodColumn, period);
        table().setCheckState(row, checked);
        return row;
    }

    void setCount(int row, std::optional<qint64> remaining, RowPhase phase) {
        table().setCountdown(table().rowId(row), "", remaining, phase);
    }

    void passAt(int hour, int minute, int second) {
        m_clock.set(hour, minute, second);
        m_session->tick()->onTick();
    }

    // A kill of table row `row` at the given time, as a double click records it.
    void killNow(int row, int hour, int minute, int second) {
        m_clock.set(hour, minute, second);
        m_session->kills().record(table().rowId(row), m_clock.instant(),
                                  schedule::KillSource::DoubleClick);
    }

    // Names down the view, top to bottom.
    QStringList viewNames() const {
        QStringList names;
        const QAbstractItemModel* model = grid()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            names << model->index(row, schedule::kNameColumn).data().toString();
        }
        return names;
    }

    QPoint viewCellCentre(int viewRow, int column) const {
        return grid()->visualRect(grid()->model()->index(viewRow, column)).center();
    }

    void clickCountdownHeader() {
        QHeaderView* header = grid()->horizontalHeader();
        const int x = header->sectionViewportPosition(schedule::kCountdownColumn) +
                      header->sectionSize(schedule::kCountdownColumn) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // Three rows whose time left runs the other way than the table's order: C, A, B.
    void threeCountedRows() {
        addRow("A");
        addRow("B");
        addRow("C");
        addRow("D (no count)");
        setCount(1, 900, RowPhase::Counting);
        setCount(2, 1800, RowPhase::Counting);
        setCount(3, 120, RowPhase::Lead);
    }

    std::vector<schedule::BossRow> storedRows() const {
        m_session->writer().flush();
        BossTable stored;
        config::loadTable(stored, m_dir->path().toStdString());
        return stored.rows();
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.set(10, 0, 0);
        m_messages.texts.clear();
        m_questions = ScriptedQuestions();
        openWindow();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void looksFollowTheTypedState_data() {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<qint64>("remaining"); // -1: not counted
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("look");
        const auto add = [](const char* name, bool checked, qint64 remaining, RowPhase phase,
                            app::RowLook look) {
            QTest::newRow(name) << checked << remaining << int(phase) << int(look);
        };
        add("counting", true, 3600, RowPhase::Counting, app::RowLook::Counting);
        add("lead", true, 299, RowPhase::Lead, app::RowLook::Lead);
        add("lead at 61 s", true, 61, RowPhase::Lead, app::RowLook::Lead);
        add("last minute", true, 60, RowPhase::Lead, app::RowLook::DueSoon);
        add("last second", true, 1, RowPhase::Lead, app::RowLook::DueSoon);
        add("found due", true, 1800, RowPhase::Due, app::RowLook::DueSoon);
        add("window open", true, 600, RowPhase::Window, app::RowLook::Window);
        add("window's last minute", true, 60, RowPhase::Window, app::RowLook::DueSoon);
        add("unchecked window", false, 600, RowPhase::Window, app::RowLook::Unchecked);
        add("not counted", true, -1, RowPhase::Idle, app::RowLook::Plain);
        add("unchecked counting", false, 3600, RowPhase::Counting, app::RowLook::Unchecked);
        add("unchecked due", false, 10, RowPhase::Lead, app::RowLook::Unchecked);
    }

    void looksFollowTheTypedState() {
        QFETCH(bool, checked);
        QFETCH(qint64, remaining);
        QFETCH(int, phase);
        QFETCH(int, look);
        const int row = addRow("Boss", "30", checked);
        setCount(row, remaining < 0 ? std::nullopt : std::optional<qint64>(remaining),
                 RowPhase(phase));
        const auto expected = app::RowLook(look);
        const QModelIndex name = grid()->viewIndexOf(row, schedule::kNameColumn);
        const QModelIndex countdown = grid()->viewIndexOf(row, schedule::kCountdownColumn);
        QCOMPARE(name.data(Qt::BackgroundRole).value<QColor>(), app::lookBackground(expected));
        // The second cue: bold and an icon for the urgent looks, italics for unchecked.
        const QFont font = name.data(Qt::FontRole).value<QFont>();
        const bool urgent = expected == app::RowLook::Lead || expected == app::RowLook::DueSoon;
        QCOMPARE(font.bold(), urgent);
        QCOMPARE(font.italic(), expected == app::RowLook::Unchecked);
        QCOMPARE(!countdown.data(Qt::DecorationRole).value<QIcon>().isNull(),
                 urgent || expected == app::RowLook::Window);
        // Tooltips: the state and legend on the countdown, the whole text of a cut one.
        QVERIFY(app::BossGridDelegate::toolTipFor(countdown, false)
                    .contains(QStringLiteral("状态：") + app::lookName(expected)));
        QCOMPARE(app::BossGridDelegate::toolTipFor(name, true), QStringLiteral("Boss"));
        QVERIFY(app::BossGridDelegate::toolTipFor(name, false).isEmpty());
        // A table of a thousand rows and more shows whole row numbers in every look: the
        // narrow number column holds four digits in the grid's own face (seen in a window),
        // and a look may not widen them there (bold cut 1001 to "10…").
        const QModelIndex number = grid()->viewIndexOf(row, schedule::kNumberColumn);
        const QVariant numberFont = number.data(Qt::FontRole);
        const QString fourDigits = QStringLiteral("1001");
        QVERIFY2(QFontMetrics(numberFont.isValid() ? numberFont.value<QFont>() : grid()->font())
                         .horizontalAdvance(fourDigits) <=
                     QFontMetrics(grid()->font()).horizontalAdvance(fourDigits),
                 "the look widens the row number");
    }

    void aTickPassColoursTheRow() {
        const int row = addRow("Boss");
        m_clock.set(10, 26, 40); // 200 s left, within the 5 warning minutes
        m_session->tick()->onTick();
        const QModelIndex name = grid()->viewIndexOf(row, schedule::kNameColumn);
        QTRY_COMPARE(name.data(Qt::BackgroundRole).value<QColor>(),
                     app::lookBackground(app::RowLook::Lead));
        m_clock.set(10, 29, 30);
        m_session->tick()->onTick();
        QTRY_COMPARE(name.data(Qt::BackgroundRole).value<QColor>(),
                     app::lookBackground(app::RowLook::DueSoon));
    }

    // A row with a window looks as its alerts speak: warned before the window opens, open
    // until its end, red in its last minute. A row without one counts to its single time.
    void aWindowedRowsLookFollowsItsWindow() {
        const int windowed = addRow("Window", "30");
        table().setCellText(windowed, schedule::kDelayColumn, "10");
        const int single = addRow("Single", "30");
        const QModelIndex windowedName = grid()->viewIndexOf(windowed, schedule::kNameColumn);
        const QModelIndex singleName = grid()->viewIndexOf(single, schedule::kNameColumn);
        // Killed at 10:00, 5 warning minutes: the window opens at 10:30 and ends at 10:40.
        const struct {
            int minute;
            int second;
            app::RowLook windowed;
            app::RowLook single;
        } steps[] = {
            {20, 0, app::RowLook::Counting, app::RowLook::Counting},
            {25, 1, app::RowLook::Lead, app::RowLook::Lead},
            {29, 0, app::RowLook::Lead, app::RowLook::DueSoon},
            {30, 0, app::RowLook::Window, app::RowLook::DueSoon},
            {35, 0, app::RowLook::Window, app::RowLook::Counting},
            {39, 30, app::RowLook::DueSoon, app::RowLook::Counting},
        };
        for (const auto& step : steps) {
            m_clock.set(10, step.minute, step.second);
            m_session->tick()->onTick();
            const QString at = QStringLiteral("10:%1:%2").arg(step.minute).arg(step.second);
            QTRY_VERIFY2(windowedName.data(Qt::BackgroundRole).value<QColor>() ==
                             app::lookBackground(step.windowed),
                         qPrintable(at));
            QTRY_VERIFY2(singleName.data(Qt::BackgroundRole).value<QColor>() ==
                             app::lookBackground(step.single),
                         qPrintable(at));
        }
    }

    // A boss's note is written from the row menu into notes.json, shown under the name's
    // tooltip and in the history; an emptied note goes; a notes file that cannot be read
    // is never written over, and the dialog says why.
    void aBossNoteIsKeptBesideTheTableAndShownWhereTheBossIs() {
        const int row = addRow("黑龙");
        const schedule::RowId id = table().rowId(row);
        const QModelIndex name = grid()->viewIndexOf(row, schedule::kNameColumn);
        const std::filesystem::path dir = m_dir->path().toStdString();
        const struct {
            const char* location;
            const char* text;
            QString tip; // under the name's tooltip
        } steps[] = {
            {" 北山 (12, 40) ", "带解毒药\n三线人少",
             QStringLiteral("位置：北山 (12, 40)\n带解毒药\n三线人少")},
            {"", "", QString()},
        };
        for (const auto& step : steps) {
            app::BossNoteDialog* dialog = m_window->openNote(id);
            QVERIFY(dialog != nullptr);
            dialog->locationEdit()->setText(QString::fromUtf8(step.location));
            dialog->textEdit()->setPlainText(QString::fromUtf8(step.text));
            dialog->accept();
            QVERIFY(!dialog->isVisible());
            QCOMPARE(grid()->cellDelegate()->fullToolTipFor(name, false), step.tip);
            app::HistoryDialog* history = m_window->openHistory(id);
            QCOMPARE(history->noteLabel()->text(), step.tip);
            QCOMPARE(history->noteLabel()->isHidden(), step.tip.isEmpty());
            history->close();
            m_session->notes().flush();
            std::string error;
            const std::optional<config::BossNotes> stored = config::readBossNotes(dir, error);
            QVERIFY2(stored, error.c_str());
            QCOMPARE(stored->count("黑龙"), step.tip.isEmpty() ? 0U : 1U);
        }

        // A file another program broke: read once, never replaced.
        const std::string broken = "{\"version\": 1, \"notes\": {\"黑龙\": 7}}";
        { std::ofstream(dir / config::kNotesFileName) << broken; }
        restart();
        const int again = addRow("黑龙");
        QCOMPARE(grid()->cellDelegate()->fullToolTipFor(
                     grid()->viewIndexOf(again, schedule::kNameColumn), false),
                 QString());
        app::BossNoteDialog* dialog = m_window->openNote(table().rowId(again));
        dialog->dropsEdit()->setText(QStringLiteral("龙鳞"));
        dialog->accept();
        QVERIFY(dialog->isVisible());
        QVERIFY2(dialog->problemLabel()->text().startsWith(
                     QStringLiteral("备注文件无法读取，未作改动：")),
                 qPrintable(dialog->problemLabel()->text()));
        dialog->close();
        m_session->notes().flush();
        std::ifstream in(dir / config::kNotesFileName);
        const std::string kept((std::istreambuf_iterator<char>(in)), {});
        QCOMPARE(kept, broken);
    }

    // A change of a row's phase or use box repaints every cell of the row, not only the
    // cell whose text changed: each change below leaves the other cells' look stale
    // unless the view hears of the whole row.
    void aPhaseOrCheckChangeRepaintsTheWholeRow() {
        struct Case {
            const char* name;
            std::function<void(int row)> change;
            app::RowLook look;
        };
        const Case cases[] = {
            {"use box ticked", [this](int row) { table().setCheckState(row, true); },
             app::RowLook::Counting},
            {"use box cleared", [this](int row) { table().setCheckState(row, false); },
             app::RowLook::Unchecked},
            {"into the lead time",
             [this](int) {
                 table().setCheckState(1, true);
                 m_clock.set(10, 26, 40);
                 m_session->tick()->onTick();
             },
             app::RowLook::Lead},
            {"found due and rolled over",
             [this](int) {
                 m_clock.set(10, 30, 5);
                 m_session->tick()->onTick();
             },
             app::RowLook::DueSoon},
            {"the pass after the roll-over",
             [this](int) {
                 m_clock.set(10, 30, 6);
                 m_session->tick()->onTick();
             },
             app::RowLook::Counting},
        };
        const int row = addRow("Boss", "30", false);
        setCount(row, 1800, RowPhase::Counting);
        QAbstractItemModel* view = grid()->model();
        for (const Case& c : cases) {
            QSet<int> repainted;
            const auto connection =
                connect(view, &QAbstractItemModel::dataChanged, this,
                        [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                            const int viewRow = grid()->viewIndexOf(row, 0).row();
                            if (topLeft.row() <= viewRow && viewRow <= bottomRight.row()) {
                                for (int column = topLeft.column(); column <= bottomRight.column();
                                     ++column) {
                                    repainted.insert(column);
                                }
                            }
                        });
            c.change(row);
            const QModelIndex name = grid()->viewIndexOf(row, schedule::kNameColumn);
            QTRY_COMPARE(name.data(Qt::BackgroundRole).value<QColor>(),
                         app::lookBackground(c.look));
            QTRY_COMPARE(repainted.size(), schedule::kColumnCount);
            disconnect(connection);
        }
    }

    // What a pass repaints on screen, as the grid's viewport receives it: counts that only
    // move on repaint the countdown column, a row whose look changes is repainted whole.
    void aPassRepaintsOnlyTheCountsOrTheWholeRowOnScreen() {
        struct Case {
            const char* name;
            int second; // of 10:mm:ss; rows killed at 10:00:00, 30 minutes, 5 warning minutes
            int minute;
            bool wholeRow;
        };
        const Case cases[] = {
            {"counts move on", 1, 0, false},     {"again", 2, 0, false},
            {"into the lead time", 0, 25, true}, {"within it", 1, 25, false},
            {"the last minute", 0, 29, true},    {"due and rolled over", 0, 30, true},
            {"counting again", 1, 30, true},     {"counts move on after it", 2, 30, false},
        };
        const int row = addRow("Boss");
        addRow("Other", "45");
        m_session->tick()->onTick();
        QRegion painted;
        class PaintRecorder final : public QObject {
        public:
            explicit PaintRecorder(QRegion& region) : m_region(region) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint) {
                    m_region += static_cast<QPaintEvent*>(event)->region();
                }
                return false;
            }

        private:
            QRegion& m_region;
        } recorder(painted);
        QWidget* viewport = grid()->viewport();
        viewport->installEventFilter(&recorder);
        const int countLeft = grid()->columnViewportPosition(schedule::kCountdownColumn);
        const QRect countStrip(countLeft, 0, grid()->columnWidth(schedule::kCountdownColumn),
                               viewport->height());
        for (const Case& c : cases) {
            QTest::qWait(20); // what is still pending paints before the pass
            painted = QRegion();
            m_clock.set(10, c.minute, c.second);
            m_session->tick()->onTick();
            const QRect countCell =
                grid()->visualRect(grid()->viewIndexOf(row, schedule::kCountdownColumn));
            QTRY_VERIFY2(painted.contains(countCell), c.name);
            QTest::qWait(20);
            const QRect nameCell =
                grid()->visualRect(grid()->viewIndexOf(row, schedule::kNameColumn));
            const QRect useCell =
                grid()->visualRect(grid()->viewIndexOf(row, schedule::kUseColumn));
            if (c.wholeRow) {
                QVERIFY2(painted.contains(nameCell) && painted.contains(useCell), c.name);
            } else {
                QVERIFY2((painted - QRegion(countStrip)).isEmpty(), c.name);
            }
        }
        viewport->removeEventFilter(&recorder);
    }

    // Sorted by time left, the view keeps its order as counts move on, and puts a row
    // where it belongs when a kill or a roll-over gives it a new count.
    void theSortedOrderFollowsKillsAndRollOvers() {
        addRow("A", "30");
        addRow("B", "20");
        addRow("C", "45");
        m_session->tick()->onTick();
        controller().setSortState(Sort::Ascending);
        const auto viewByTimeLeft = [this] {
            QList<qint64> left;
            const QAbstractItemModel* model = grid()->model();
            for (int r = 0; r < model->rowCount(); ++r) {
                left << model->index(r, schedule::kCountdownColumn)
                            .data(app::BossTableModel::RemainingSecondsRole)
                            .toLongLong();
            }
            return left;
        };
        struct Step {
            const char* name;
            std::function<void()> act;
            QStringList order;
        };
        const Step steps[] = {
            {"counting", [this] { passAt(10, 5, 0); }, {"B", "A", "C"}},
            {"B rolled over",
             [this] {
                 passAt(10, 20, 0);
                 passAt(10, 20, 1);
             },
             {"A", "B", "C"}},
            {"counts move on", [this] { passAt(10, 21, 0); }, {"A", "B", "C"}},
            {"A killed",
             [this] {
                 killNow(1, 10, 22, 0);
                 passAt(10, 22, 1);
             },
             {"B", "C", "A"}},
            {"B rolled over again",
             [this] {
                 passAt(10, 40, 0);
                 passAt(10, 40, 1);
             },
             {"C", "A", "B"}},
        };
        for (const Step& step : steps) {
            step.act();
            QTRY_VERIFY2(viewNames() == step.order, step.name);
            QList<qint64> left = viewByTimeLeft();
            QList<qint64> sorted = left;
            std::sort(sorted.begin(), sorted.end());
            QVERIFY2(left == sorted, step.name);
        }
    }

    // Names, nicknames and reasons show as typed, never read as HTML (an <img> naming a
    // device would make the window read it): the grid's tooltip and the question boxes.
    void namesShowAsPlainText() {
        const QString names[] = {QStringLiteral("<img src=\"/dev/zero\">"),
                                 QStringLiteral("<b>火龙</b> & <i>冰</i>"),
                                 QStringLiteral("a<br>b &amp; c")};
        app::QuestionBoxes boxes(m_window.get());
        for (const QString& name : names) {
            // Long enough to be cut in the cell, so hovering shows it whole.
            const QString longName = name + QStringLiteral(" ") + QString(60, QLatin1Char('W'));
            const int row = addRow(longName.toUtf8().constData());
            const QPoint pos =
                grid()->visualRect(grid()->viewIndexOf(row, schedule::kNameColumn)).center();
            QHelpEvent event(QEvent::ToolTip, pos, grid()->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(grid()->viewport(), &event);
            QTRY_VERIFY(!QToolTip::text().isEmpty());
            QTextDocument shown;
            shown.setHtml(QToolTip::text());
            QCOMPARE(shown.toPlainText(), longName);
            QToolTip::hideText();

            std::optional<Qt::TextFormat> format;
            QString text;
            const auto answer = [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    format = box->textFormat();
                    text = box->text();
                } else if (modal) {
                    const auto labels = modal->findChildren<QLabel*>();
                    for (const QLabel* label : labels) {
                        if (label->text().contains(name)) {
                            format = label->textFormat();
                            text = label->text();
                        }
                    }
                }
                if (modal) {
                    modal->close();
                }
            };
            QTimer::singleShot(0, this, answer);
            boxes.confirm(QStringLiteral("删除"), QStringLiteral("删除“%1”？").arg(name));
            QCOMPARE(format, std::optional(Qt::PlainText));
            QVERIFY(text.contains(name));
            format.reset();
            QTimer::singleShot(0, this, answer);
            boxes.askMinutes(QStringLiteral("记录击杀"), QStringLiteral("“%1”？").arg(name), 10);
            QCOMPARE(format, std::optional(Qt::PlainText));
        }
    }

    void hoveringTheCountdownShowsTheLegend() {
        const int row = addRow("Boss");
        setCount(row, 200, RowPhase::Lead);
        const QPoint pos = grid()->visualRect(grid()->viewIndexOf(row, 7)).center();
        QHelpEvent event(QEvent::ToolTip, pos, grid()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(grid()->viewport(), &event);
        QTRY_VERIFY(!QToolTip::text().isEmpty());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        QVERIFY(shown.toPlainText().contains(app::lookName(app::RowLook::Lead)));
        QVERIFY(shown.toPlainText().contains(app::lookLegend()));
    }

    void countdownHeaderCyclesThroughThreeOrders() {
        threeCountedRows();
        const QByteArray fileBefore = [this] {
            m_session->writer().flush();
            QFile file(m_dir->filePath(QStringLiteral("config.ini")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        const QStringList tableOrder = {"A", "B", "C", "D (no count)"};
        QCOMPARE(viewNames(), tableOrder);
        clickCountdownHeader();
        QCOMPARE(viewNames(), QStringList({"C", "A", "B", "D (no count)"}));
        QVERIFY(grid()->horizontalHeader()->isSortIndicatorShown());
        QVERIFY(grid()
                    ->model()
                    ->headerData(7, Qt::Horizontal, Qt::ToolTipRole)
                    .toString()
                    .contains(app::lookLegend()));
        clickCountdownHeader();
        // Rows without a count stay last either way.
        QCOMPARE(viewNames(), QStringList({"B", "A", "C", "D (no count)"}));
        clickCountdownHeader();
        QCOMPARE(viewNames(), tableOrder);
        QVERIFY(!grid()->horizontalHeader()->isSortIndicatorShown());

        // Another header sorts nothing.
        clickCountdownHeader();
        QHeaderView* header = grid()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(schedule::kNameColumn) + 5, 5));
        QCOMPARE(viewNames(), QStringList({"C", "A", "B", "D (no count)"}));
        QCOMPARE(header->sortIndicatorSection(), int(schedule::kCountdownColumn));

        // The table, its numbers and the file never change by sorting.
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(cell(row, schedule::kNumberColumn), QString::number(row));
        }
        QCOMPARE(cell(1, schedule::kNameColumn), QStringLiteral("A"));
        m_session->writer().flush();
        QFile file(m_dir->filePath(QStringLiteral("config.ini")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), fileBefore);

        // The view follows the tick's new counts.
        setCount(2, 10, RowPhase::Lead);
        QCOMPARE(viewNames(), QStringList({"B", "C", "A", "D (no count)"}));
    }

    void sortChoiceIsRememberedInThePreferences() {
        clickCountdownHeader();
        clickCountdownHeader();
        QCOMPARE(m_session->preferences().gridSortOrder.get(), int(Sort::Descending));
        restart();
        QCOMPARE(controller().proxy().sortState(), Sort::Descending);
        QCOMPARE(grid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void sortedViewActsOnTheRightTableRow() {
        threeCountedRows();
        controller().setSortState(Sort::Ascending);
        // View row 0 shows table row 3 ("C").
        QCOMPARE(grid()->tableRowOf(grid()->model()->index(0, 0)), 3);
        m_clock.set(11, 11, 11);
        QWidget* viewport = grid()->viewport();
        const QPoint pos = viewCellCentre(0, schedule::kLastTimeColumn);
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QCOMPARE(cell(3, schedule::kLastTimeColumn), QStringLiteral("11:11:11"));
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:00:00"));
        QCOMPARE(storedRows()[2].text[schedule::kLastTimeColumn], std::string("11:11:11"));
        const auto kills = m_session->history().recentKills("C", 10);
        QCOMPARE(kills.size(), std::size_t(1));
        QCOMPARE(kills[0].source, schedule::KillSource::DoubleClick);

        // The check box, the menu, Delete and the cursor all map through the view.
        QTest::mouseClick(viewport, Qt::LeftButton, {}, viewCellCentre(0, schedule::kUseColumn));
        QVERIFY(!table().checkState(3));
        QVERIFY(table().checkState(1));
        const std::unique_ptr<QMenu> menu =
            m_window->rowMenu()->menuForRow(grid()->tableRowOf(grid()->model()->index(1, 0)));
        QVERIFY(menu);
        grid()->setFocus();
        grid()->setCurrentIndex(grid()->model()->index(1, schedule::kNameColumn));
        QCOMPARE(grid()->cursorRow(), 1); // "A" is second by time left
        m_questions.yes = {true};
        QTest::keyClick(grid(), Qt::Key_Delete);
        QCOMPARE(m_questions.asked.size(), 1);
        QVERIFY(m_questions.asked[0].contains(QStringLiteral("“A”")));
        QCOMPARE(cell(1, schedule::kNameColumn), QStringLiteral("B"));
        QCOMPARE(table().rowCount(), 4);
    }

    void keyboardCommandsActOnTheCursorRow() {
        addRow("A");
        addRow("B");
        grid()->setFocus();
        grid()->setCursorCell(2, schedule::kLastTimeColumn);
        m_clock.set(10, 20, 0);
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE(cell(2, schedule::kLastTimeColumn), QStringLiteral("10:20:00"));
        QCOMPARE(cell(2, schedule::kNextTimeColumn), QStringLiteral("10:50:00"));
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:00:00"));

        grid()->setCursorCell(1, schedule::kNameColumn);
        m_clock.set(10, 21, 0);
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::Key_K));
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:21:00"));
        QCOMPARE(m_session->history().recentKills("A", 5)[0].source,
                 schedule::KillSource::Keyboard);

        // Delete asks first, naming the row; "no" keeps it.
        m_questions.yes = {false};
        QTest::keyClick(grid(), Qt::Key_Delete);
        QCOMPARE(table().rowCount(), 3);
        QVERIFY(m_questions.asked.last().contains(QStringLiteral("第1行“A”")));

        // Ctrl+N adds a row and opens its name for typing.
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::Key_N));
        QCOMPARE(table().rowCount(), 4);
        QCOMPARE(grid()->cursorRow(), 3);
        QCOMPARE(grid()->cursorColumn(), int(schedule::kNameColumn));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClicks(editor, "Dragon");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(cell(3, schedule::kNameColumn), QStringLiteral("Dragon"));
    }

    void rowMenuRecordsKillsNowAndMinutesAgo() {
        addRow("A");
        const schedule::RowId id = table().rowId(1);
        const std::unique_ptr<QMenu> menu = m_window->rowMenu()->menuForRow(1);
        QVERIFY(menu);
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << action->text();
        }
        QCOMPARE(texts, QStringList({"已击杀（现在）", "已击杀（几分钟前）…", "历史记录…", "备注…",
                                     "分组…", "提前提醒…", "刷新规则…", "被他人击杀（不记时间）",
                                     "服务器已重启（现在）", "删除…"}));

        m_clock.set(10, 40, 0);
        m_questions.minutes = {std::optional<int>(15), std::nullopt};
        QVERIFY(controller().killRowMinutesAgo(id));
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:25:00"));
        QCOMPARE(cell(1, schedule::kNextTimeColumn), QStringLiteral("10:55:00"));
        // Cancelled: nothing.
        QVERIFY(!controller().killRowMinutesAgo(id));
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:25:00"));
        menu->actions()[0]->trigger();
        QCOMPARE(cell(1, schedule::kLastTimeColumn), QStringLiteral("10:40:00"));
        QCOMPARE(m_session->history().recentKills("A", 5).size(), std::size_t(2));
    }

    void everyChangeUndoesAndRedoes() {
        addRow("A");
        addRow("B", "45");
        table().setCellText(2, schedule::kDelayColumn, "3");
        const schedule::RowId idB = table().rowId(2);
        const std::vector<schedule::BossRow> start = table().rows();
        undo().clear();

        // A kill: undo gives the old times back, in the file too.
        m_clock.set(10, 10, 0);
        QVERIFY(m_session->kills().record(idB, schedule::toUtc(m_clock.now()),
                                          schedule::KillSource::Menu));
        QCOMPARE(cell(2, schedule::kLastTimeColumn), QStringLiteral("10:10:00"));
        undo().undo();
        QCOMPARE(cell(2, schedule::kLastTimeColumn), QStringLiteral("10:00:00"));
        QCOMPARE(cell(2, schedule::kNextTimeColumn), QStringLiteral("10:30:00"));
        QCOMPARE(table().timing(2)->lastUtc, start[1].timing.lastUtc);
        QCOMPARE(storedRows()[1].text[schedule::kLastTimeColumn], std::string("10:00:00"));
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        QCOMPARE(cell(2, schedule::kLastTimeColumn), QStringLiteral("10:10:00"));

        // An edit, even a rejected one whose old value the rules replace.
        m_window->warnMinutesEdit()->setText(QStringLiteral("5"));
        grid()->setFocus();
        grid()->setCursorCell(2, schedule::kPeriodColumn);
        QTest::keyClick(grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "2");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(cell(2, schedule::kPeriodColumn), QStringLiteral("30"));
        grid()->setFocus();
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(cell(2, schedule::kPeriodColumn), QStringLiteral("45"));
        QCOMPARE(storedRows()[1].text[schedule::kPeriodColumn], std::string("45"));
        undo().redo();
        QCOMPARE(cell(2, schedule::kPeriodColumn), QStringLiteral("30"));
        undo().undo();

        // The check box.
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                          viewCellCentre(0, schedule::kUseColumn));
        QVERIFY(!table().checkState(1));
        undo().undo();
        QVERIFY(table().checkState(1));
        QVERIFY(storedRows()[0].use);

        // A deletion comes back at its place with all its fields and its id.
        const schedule::BossRow before = *table().row(idB);
        m_questions.yes = {true};
        QVERIFY(controller().deleteRowAsked(idB));
        QCOMPARE(table().rowCount(), 2);
        undo().undo();
        QCOMPARE(table().rowIndex(idB), 2);
        const schedule::BossRow after = *table().row(idB);
        QCOMPARE(after.use, before.use);
        for (int column = 1; column <= 6; ++column) {
            QCOMPARE(after.text[column], before.text[column]);
        }
        QCOMPARE(after.timing.lastUtc, before.timing.lastUtc);
        QCOMPARE(storedRows().size(), std::size_t(2));
        QCOMPARE(storedRows()[1].text[schedule::kDelayColumn], std::string("3"));
        undo().redo();
        QCOMPARE(table().rowIndex(idB), -1);
        undo().undo();

        // The 删除 button is undoable too; an added row goes and comes back.
        grid()->setCursorCell(1, schedule::kNameColumn);
        QTest::mouseClick(m_window->deleteButton(), Qt::LeftButton);
        QCOMPARE(cell(1, schedule::kNameColumn), QStringLiteral("B"));
        QCOMPARE(cell(1, schedule::kNumberColumn), QStringLiteral("1"));
        undo().undo();
        QCOMPARE(cell(1, schedule::kNameColumn), QStringLiteral("A"));
        QCOMPARE(cell(2, schedule::kNumberColumn), QStringLiteral("2"));
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        const schedule::RowId added = table().rowId(3);
        undo().undo();
        QCOMPARE(table().rowCount(), 3);
        undo().redo();
        QCOMPARE(table().rowId(3), added);
        QCOMPARE(cell(3, schedule::kNumberColumn), QStringLiteral("3"));
    }

    // An undone kill stays in the history file but is marked so, and a redo marks it back,
    // whether it was this member's or a guild mate's.
    void anUndoneKillIsMarkedInTheHistory_data() {
        QTest::addColumn<QString>("sender"); // empty: a kill of one's own
        QTest::newRow("own kill from the menu") << QString();
        QTest::newRow("a member's kill") << QStringLiteral("rudi");
    }

    void anUndoneKillIsMarkedInTheHistory() {
        QFETCH(QString, sender);
        addRow("A");
        undo().clear();
        m_clock.set(10, 10, 0);
        const schedule::UtcSeconds instant = schedule::toUtc(m_clock.now());
        const schedule::RowId id = table().rowId(1);
        QVERIFY(sender.isEmpty()
                    ? m_session->kills().record(id, instant, schedule::KillSource::Menu)
                    : m_session->kills().applyRemote(id, instant, sender.toStdString()));
        history::SqliteKillLog& history = m_session->history();
        const auto killedAt = [&history, instant] {
            const std::vector<schedule::KillRecord> kills = history.recentKills("A", 5);
            return std::count_if(kills.begin(), kills.end(), [instant](const auto& kill) {
                return kill.utcSeconds == instant;
            });
        };
        QCOMPARE(killedAt(), 1);

        undo().undo();
        QCOMPARE(killedAt(), 0);
        undo().redo();
        QCOMPARE(killedAt(), 1);
        undo().undo();
        // Read from the file by another connection, as the next start would, once the
        // history's writer has stored the mark.
        QVERIFY(history.flush());
        history::SqliteKillLog reopened(std::filesystem::path(m_dir->path().toStdString()) /
                                        history::kHistoryFileName);
        QCOMPARE(reopened.recentKills("A", 5).size(), std::size_t(0));
    }

    void tabLeavesTheGrid() {
        addRow("A");
        std::vector<QWidget*> expected = {static_cast<QWidget*>(m_window->startStopButton()),
                                          m_window->addButton(),
                                          m_window->deleteButton(),
                                          m_window->warnMinutesEdit(),
                                          m_window->preferencesButton(),
                                          m_window->overlayButton(),

                                          m_window->soundPathEdit(),
                                          m_window->filterEdit(),
                                          grid()};
        // The announcement pane takes the focus last while it is shown (folded when empty).
        QVERIFY(!m_window->announcementShown());
        m_window->viewer()->setPlainText(QStringLiteral("公告"));
        QVERIFY(m_window->announcementShown());
        expected.push_back(m_window->viewer());
        m_window->activateWindow();
        m_window->startStopButton()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), expected[0]);
        for (std::size_t i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected[i]);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[0]);
        // Backwards out of the grid as well.
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), expected[7]);
    }

    void overlayListsTheNextBossesOnTop() {
        threeCountedRows();
        table().setCheckState(2, false);
        app::Overlay* overlay = m_window->overlay();
        QVERIFY(!overlay->isVisible());
        const Qt::WindowFlags flags = overlay->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(!flags.testFlag(Qt::WindowTransparentForInput));

        QTest::mouseClick(m_window->overlayButton(), Qt::LeftButton);
        QVERIFY(overlay->isVisible());
        QVERIFY(m_session->preferences().overlayVisible.get());
        // Checked rows with a count, fewest seconds first.
        QCOMPARE(overlay->entries().size(), std::size_t(2));
        QCOMPARE(overlay->entries()[0].name, QStringLiteral("C"));
        QCOMPARE(overlay->entries()[0].look, app::RowLook::Lead);
        QCOMPARE(overlay->entries()[1].name, QStringLiteral("A"));
        // It follows the model, with no timer of its own.
        setCount(1, 30, RowPhase::Lead);
        QCOMPARE(overlay->entries()[0].name, QStringLiteral("A"));
        QCOMPARE(overlay->entries()[0].look, app::RowLook::DueSoon);
        QVERIFY(m_session->preferences().overlayRows.set(1));
        QCOMPARE(overlay->entries().size(), std::size_t(1));

        m_window->setOverlayClickThrough(true);
        QVERIFY(overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
        QVERIFY(overlay->isVisible());
        emit overlay->geometryChosen(QRect(40, 50, 300, 120));

        restart();
        overlay = m_window->overlay();
        QVERIFY(overlay->isVisible());
        QVERIFY(overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
        QCOMPARE(overlay->geometry().size(), QSize(300, 120));
        QCOMPARE(overlay->rowLimit(), 1);
        // Without a tray, the button's own menu turns click-through off again.
        QAction* through = m_window->overlayButton()->actions().value(0);
        QVERIFY(through && through->isChecked());
        through->trigger();
        QVERIFY(!overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
        QVERIFY(!m_session->preferences().overlayClickThrough.get());
        // Closing the main window takes the overlay along, without forgetting it was shown.
        m_window->close();
        QVERIFY(!overlay->isVisible());
        QVERIFY(m_session->preferences().overlayVisible.get());
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
        QVERIFY(overlay->isVisible());
        QTest::keySequence(m_window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
        QVERIFY(!m_session->preferences().overlayVisible.get());
    }

    // The number of rows chosen in the overlay's menu shows at once, without resizing by
    // hand, and the new size is kept.
    void theOverlayGrowsToTheRowsChosen_data() {
        QTest::addColumn<int>("rows");
        QTest::newRow("3") << 3;
        QTest::newRow("8") << 8;
        QTest::newRow("10") << 10;
    }

    void theOverlayGrowsToTheRowsChosen() {
        QFETCH(int, rows);
        for (int i = 0; i < 12; ++i) {
            const int row = addRow(QStringLiteral("Boss %1").arg(i).toUtf8().constData());
            setCount(row, 600 + i, RowPhase::Counting);
        }
        app::Overlay* overlay = m_window->overlay();
        overlay->show();
        QVERIFY(m_session->preferences().overlayRows.set(rows));
        QCOMPARE(int(overlay->entries().size()), rows);
        QCOMPARE(overlay->height(), app::Overlay::heightForRows(rows));
        QVERIFY2(m_session->preferences().overlayGeometry.get().endsWith(
                     QStringLiteral(",%1").arg(app::Overlay::heightForRows(rows))),
                 qPrintable(m_session->preferences().overlayGeometry.get()));
    }

    // Under a real X server with a window manager, a click on a click-through overlay
    // reaches the window below it (the manager's frame must not catch it).
    void aClickThroughOverlayLetsClicksPassUnderAWindowManager() {
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            qEnvironmentVariableIsEmpty("ZORVANE_WINDOW_MANAGER")) {
            QSKIP("needs the xcb platform and a window manager (with-window-manager.sh)");
        }
        const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xdotool.isEmpty()) {
            QSKIP("xdotool is not installed");
        }
        // The game: a plain window that counts the clicks it gets.
        ClickCounter game;
        game.setGeometry(100, 100, 500, 400);
        game.show();
        QVERIFY(QTest::qWaitForWindowExposed(&game));
        app::Overlay* overlay = m_window->overlay();
        // Switched at once, while the window manager may still be taking the overlay on.
        overlay->show();
        m_window->setOverlayClickThrough(true);
        overlay->setGeometry(200, 200, 240, 120);
        const auto exposed = [overlay] {
            return overlay->windowHandle() != nullptr && overlay->windowHandle()->isExposed();
        };
        QTRY_VERIFY(exposed());
        const QPoint centre = overlay->geometry().center();
        // Both where the test put them, the overlay over the game.
        QTRY_VERIFY(game.frameGeometry().contains(centre));
        const auto click = [&] {
            QProcess process;
            process.start(xdotool, {QStringLiteral("mousemove"), QString::number(centre.x()),
                                    QString::number(centre.y()), QStringLiteral("click"),
                                    QStringLiteral("1")});
            return process.waitForFinished(5000) && process.exitCode() == 0;
        };
        QVERIFY(click());
        QTRY_COMPARE(game.clicks, 1);
        // A real check: without click-through the overlay takes the click itself.
        m_window->setOverlayClickThrough(false);
        overlay->setGeometry(200, 200, 240, 120);
        QTRY_VERIFY(exposed());
        QTest::qWait(300);
        QVERIFY(click());
        QTest::qWait(300);
        QCOMPARE(game.clicks, 1);
    }

    void rendersTheGridWithStatesAndTheOverlay() {
        const char* names[] = {"火龙王", "Ancient Dragon of the Northern Wastes", "赤炎魔王",
                               "冰霜巨人", "暗影刺客"};
        for (const char* name : names) {
            addRow(name);
        }
        setCount(1, 1500, RowPhase::Counting);
        setCount(2, 200, RowPhase::Lead);
        setCount(3, 40, RowPhase::Lead);
        setCount(4, 3000, RowPhase::Counting);
        table().setCheckState(4, false);
        const char* texts[] = {"00时25分00秒", "00时03分20秒", "00时00分40秒", "00时50分00秒", ""};
        for (int row = 1; row <= 5; ++row) {
            table().setCellText(row, schedule::kCountdownColumn, texts[row - 1]);
        }
        controller().setSortState(Sort::Ascending);
        QCoreApplication::processEvents();
        const QString dir = qEnvironmentVariable("ZORVANE_RENDER_DIR", m_dir->path());
        QVERIFY(m_window->grab().toImage().save(dir + QStringLiteral("/grid-states.png")));
        app::Overlay* overlay = m_window->overlay();
        overlay->resize(260, 5 * 22 + 12);
        overlay->show();
        QCoreApplication::processEvents();
        QVERIFY(overlay->grab().toImage().save(dir + QStringLiteral("/overlay.png")));
    }

    // Under a real X server with a window manager, the overlay asks to stay above.
    void overlayIsAboveUnderAWindowManager() {
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            qEnvironmentVariableIsEmpty("ZORVANE_WINDOW_MANAGER")) {
            QSKIP("needs the xcb platform and a window manager (with-window-manager.sh)");
        }
        const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
        if (xprop.isEmpty()) {
            QSKIP("xprop is not installed");
        }
        app::Overlay* overlay = m_window->overlay();
        overlay->show();
        QVERIFY(QTest::qWaitForWindowExposed(overlay));
        QString state;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QProcess process;
                process.start(xprop, {QStringLiteral("-id"), QString::number(overlay->winId()),
                                      QStringLiteral("_NET_WM_STATE")});
                process.waitForFinished(5000);
                state = QString::fromLocal8Bit(process.readAllStandardOutput());
                return state.contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
            }(),
            5000);
    }

    // 分组… of the row menu: an existing group or a new one, none, or cancelled; the groups
    // are kept in notes.json and the grid shows them at once.
    void theRowMenuPutsABossInAGroup() {
        addRow("A");
        addRow("B");
        const std::filesystem::path dir = m_dir->path().toStdString();
        const struct {
            int row;
            std::optional<QString> answer;
            const char* offered; // the groups the question offers
            const char* current;
            const char* view; // names down the grid after the answer
        } steps[] = {
            {1, QStringLiteral(" 野外 "), "", "", "▼ 野外（1）|A|▼ 未分组（1）|B"},
            {2, QStringLiteral("世界"), "野外", "", "▼ 野外（1）|A|▼ 世界（1）|B"},
            {2, std::nullopt, "世界|野外", "世界", "▼ 野外（1）|A|▼ 世界（1）|B"},
            {2, QStringLiteral("野外"), "世界|野外", "世界", "▼ 野外（2）|A|B"},
            {1, QString(), "野外", "野外", "▼ 野外（1）|B|▼ 未分组（1）|A"},
            {2, QString(), "野外", "野外", "A|B"},
        };
        for (const auto& step : steps) {
            m_questions.offered.clear();
            m_questions.shownCurrent.clear();
            m_questions.texts = {step.answer};
            const std::unique_ptr<QMenu> menu = m_window->rowMenu()->menuForRow(step.row);
            for (QAction* action : menu->actions()) {
                if (action->text() == QStringLiteral("分组…")) {
                    action->trigger();
                }
            }
            QCOMPARE(m_questions.offered, QStringList{QString::fromUtf8(step.offered)});
            QCOMPARE(m_questions.shownCurrent, QStringList{QString::fromUtf8(step.current)});
            QCOMPARE(viewNames(), QString::fromUtf8(step.view).split(QLatin1Char('|')));
        }
        m_questions.texts = {QStringLiteral("野外")};
        QVERIFY(m_window->askGroup(table().rowId(1)));
        m_session->notes().flush();
        std::string error;
        const std::optional<config::BossNotes> stored = config::readBossNotes(dir, error);
        QVERIFY2(stored, error.c_str());
        QCOMPARE(stored->at("A").group, std::string("野外"));
        QCOMPARE(stored->count("B"), 0U);
        // A group cannot hold a line break.
        m_questions.texts = {QStringLiteral("a\nb")};
        QVERIFY(!m_window->askGroup(table().rowId(2)));
        QVERIFY(m_window->writeNotice()->isVisible());

        // A notes file another program broke: the groups are not read, none is written over
        // it, and the player reads why.
        m_session->writer().saveTable(table());
        m_session->writer().flush();
        const std::string broken = "{\"version\": 1, \"notes\": {\"A\": {\"group\": 7}}}";
        { std::ofstream(dir / config::kNotesFileName) << broken; }
        restart();
        QCOMPARE(viewNames(), QStringList({"A", "B"}));
        m_questions.texts = {QStringLiteral("世界")};
        QVERIFY(!m_window->askGroup(table().rowId(1)));
        QVERIFY(m_window->writeNotice()->isVisible());
        std::ifstream kept(dir / config::kNotesFileName);
        QCOMPARE(std::string(std::istreambuf_iterator<char>(kept), {}), broken);
    }

    // On a grouped grid a header folds by click and by +/-, and is never a boss: a double
    // click, Enter or Ctrl+K on it records nothing, while on a boss row they record its kill.
    void aGroupHeaderFoldsAndIsNeverABoss() {
        addRow("A");
        addRow("B");
        addRow("C");
        m_questions.texts = {QStringLiteral("野外"), QStringLiteral("野外")};
        QVERIFY(m_window->askGroup(table().rowId(1)));
        QVERIFY(m_window->askGroup(table().rowId(3)));
        QCOMPARE(viewNames(), QString::fromUtf8("▼ 野外（2）|A|C|▼ 未分组（1）|B").split('|'));
        QWidget* viewport = grid()->viewport();
        m_clock.set(11, 0, 0);
        const struct {
            const char* what;
            int viewRow;
            std::function<void()> act;
            const char* view;
            int killedRow; // 0: none
        } steps[] = {
            {"double click on a header", 0,
             [&] {
                 QTest::mouseDClick(viewport, Qt::LeftButton, {},
                                    viewCellCentre(0, schedule::kLastTimeColumn));
             },
             "▼ 野外（2）|A|C|▼ 未分组（1）|B", 0},
            {"Enter on a header", 0, [&] { QTest::keyClick(grid(), Qt::Key_Return); },
             "▼ 野外（2）|A|C|▼ 未分组（1）|B", 0},
            {"Ctrl+K on a header", 0,
             [&] { QTest::keyClick(m_window.get(), Qt::Key_K, Qt::ControlModifier); },
             "▼ 野外（2）|A|C|▼ 未分组（1）|B", 0},
            {"minus folds", 0, [&] { QTest::keyClick(grid(), Qt::Key_Minus); },
             "▶ 野外（2）|▼ 未分组（1）|B", 0},
            {"plus unfolds", 0, [&] { QTest::keyClick(grid(), Qt::Key_Plus); },
             "▼ 野外（2）|A|C|▼ 未分组（1）|B", 0},
            {"a click folds", 3,
             [&] {
                 QTest::mouseClick(viewport, Qt::LeftButton, {},
                                   viewCellCentre(3, schedule::kNameColumn));
             },
             "▼ 野外（2）|A|C|▶ 未分组（1）", 0},
            {"Enter on a boss row", 2, [&] { QTest::keyClick(grid(), Qt::Key_Return); },
             "▼ 野外（2）|A|C|▶ 未分组（1）", 3},
        };
        for (const auto& step : steps) {
            grid()->setFocus();
            grid()->setCurrentIndex(
                grid()->model()->index(step.viewRow, schedule::kLastTimeColumn));
            step.act();
            QVERIFY2(viewNames() == QString::fromUtf8(step.view).split('|'), step.what);
            for (int row = 1; row <= 3; ++row) {
                QVERIFY2((cell(row, schedule::kLastTimeColumn) == QStringLiteral("11:00:00")) ==
                             (row == step.killedRow),
                         step.what);
            }
        }
        // What was folded is remembered.
        QCOMPARE(m_session->preferences().gridFoldedGroups.get(), QStringList{QString()});
    }

    // The filter box: Ctrl+F, words that match, an empty result said in the grid, Esc, and
    // the text and the folds kept for the next start.
    void theFilterBoxFindsAndIsRemembered() {
        threeCountedRows();
        m_questions.texts = {QStringLiteral("世界")};
        QVERIFY(m_window->askGroup(table().rowId(2)));
        QLineEdit* box = m_window->filterEdit();
        QCOMPARE(box->placeholderText(), QStringLiteral("筛选：名称、分组、状态…"));
        m_window->activateWindow();
        grid()->setFocus();
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), box);
        const struct {
            const char* typed;
            const char* view;
            bool emptyShown;
        } steps[] = {
            {"世界", "▼ 世界（1）|B", false},
            {"5分钟内", "▼ 未分组（1）|C", false},
            {"<20m", "▼ 未分组（2）|A|C", false},
            {"没有这个", "", true},
            {"d (no", "▼ 未分组（1）|D (no count)", false},
        };
        for (const auto& step : steps) {
            box->setText(QString::fromUtf8(step.typed));
            const QStringList expected =
                *step.view ? QString::fromUtf8(step.view).split('|') : QStringList();
            QVERIFY2(viewNames() == expected, step.typed);
            QVERIFY2(grid()->emptyText().isEmpty() == !step.emptyShown || !step.emptyShown,
                     step.typed);
            QVERIFY2((grid()->model()->rowCount() == 0) == step.emptyShown, step.typed);
        }
        QVERIFY(grid()->emptyText().contains(QStringLiteral("d (no")));
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(box->text(), QString());
        QCOMPARE(viewNames().size(), 6);

        QTest::keyClicks(box, QStringLiteral("A"));
        m_window->gridController().rows().setFolded(QStringLiteral("世界"), true);
        m_session->writer().saveTable(table());
        restart();
        QCOMPARE(m_window->filterEdit()->text(), QStringLiteral("A"));
        // The rows come back with the table; the filter and the fold hold for them.
        QCOMPARE(viewNames(), QString::fromUtf8("▼ 未分组（1）|A").split('|'));
        m_window->filterEdit()->clear();
        QCOMPARE(viewNames(),
                 QString::fromUtf8("▶ 世界（1）|▼ 未分组（3）|A|C|D (no count)").split('|'));
        // A new row is never hidden by the filter.
        QTest::keyClicks(m_window->filterEdit(), QStringLiteral("A"));
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QCOMPARE(m_window->filterEdit()->text(), QString());
    }

    // The box's clear button: none over an empty box, there from the first text on (typed,
    // or the filter a restart brings back), and it clears the box.
    void theFilterBoxClearButtonComesWithText() {
        threeCountedRows();
        const auto clearAction = [this] {
            return m_window->filterEdit()->findChild<QAction*>(
                QStringLiteral("_q_qlineeditclearaction"));
        };
        // Clicked as a player clicks it.
        const auto clickClear = [this, &clearAction] {
            for (QToolButton* button : m_window->filterEdit()->findChildren<QToolButton*>()) {
                if (button->defaultAction() == clearAction()) {
                    QTest::mouseClick(button, Qt::LeftButton);
                    return true;
                }
            }
            return false;
        };
        QLineEdit* box = m_window->filterEdit();
        const int all = viewNames().size();
        QVERIFY(!box->isClearButtonEnabled());
        QVERIFY(clearAction() == nullptr);
        const struct {
            const char* text;
            bool enabled;
        } steps[] = {{"", false}, {"A", true}, {"", true}, {"B", true}};
        for (const auto& step : steps) {
            box->setText(QString::fromUtf8(step.text));
            QVERIFY2(box->isClearButtonEnabled() == step.enabled, step.text);
        }
        QVERIFY(clearAction() != nullptr);
        QVERIFY(clickClear());
        QCOMPARE(box->text(), QString());
        QCOMPARE(viewNames().size(), all);

        box->setText(QStringLiteral("A"));
        m_session->writer().saveTable(table());
        restart();
        QCOMPARE(m_window->filterEdit()->text(), QStringLiteral("A"));
        QVERIFY(m_window->filterEdit()->isClearButtonEnabled());
        QVERIFY(clickClear());
        QCOMPARE(m_window->filterEdit()->text(), QString());
    }

private:
    testing::FakeClock m_clock{10, 0, 0};
    RecordingMessages m_messages;
    ScriptedQuestions m_questions;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(GridStatesTest)
#include "test_gridstates.moc"
