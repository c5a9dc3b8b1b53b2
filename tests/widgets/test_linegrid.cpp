// A boss's lines in the real window's grid: folding and unfolding, kills on a line by every
// path of the grid and their undo, the cursor kept on its line, the boss's 分线与服务器…
// dialog refusing a bad label, and the filter finding lines by line, server and state.

#include "config/linesfile.h"
#include "models/bosstablemodel.h"
#include "models/gridproxy.h"
#include "models/groupedrows.h"
#include "models/rowlook.h"
#include "periodic/globals.h"
#include "services/configwriter.h"
#include "services/coretexts.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "services/preferences.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"
#include "widgets/gridcontroller.h"
#include "widgets/linesdialog.h"
#include "widgets/mainwindow.h"
#include "widgets/messagebox.h"
#include "widgets/overlay.h"
#include "widgets/rowmenu.h"
#include "widgets/traysummary.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

using namespace zorvane;
using app::GroupedRows;
using schedule::BossTable;

namespace {

// Answers "how many minutes ago" with the next prepared answer (cancel when none is left).
class MinutesAnswers final : public app::Questions {
public:
    bool confirm(const QString&, const QString&) override { return false; }
    std::optional<int> askMinutes(const QString&, const QString& label, int) override {
        asked << label;
        std::optional<int> answer;
        if (!minutes.empty()) {
            answer = minutes.front();
            minutes.pop_front();
        }
        return answer;
    }
    std::optional<QString> askChoice(const QString&, const QString&, const QStringList&,
                                     const QString&) override {
        return std::nullopt;
    }
    QStringList asked;
    std::deque<std::optional<int>> minutes;
};

// Keeps the program's messages instead of showing them in a box.
class KeptMessages final : public schedule::MessageSink {
public:
    void showMessage(const text::Message& message) override { shown << app::messageText(message); }
    QStringList shown;
};

// Which spawn shape a name cell shows: "star", "other", or "" for none.
QString spawnShape(const QVariant& decoration) {
    if (!decoration.canConvert<QIcon>() || qvariant_cast<QIcon>(decoration).isNull()) {
        return {};
    }
    const QImage shown = qvariant_cast<QIcon>(decoration).pixmap(12, 12).toImage();
    const QImage star = app::spawnIcon(schedule::SpawnPhase::Up, 0).pixmap(12, 12).toImage();
    return shown == star ? QStringLiteral("star") : QStringLiteral("other");
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

class LineGridTest : public QObject {
    Q_OBJECT

private:
    app::BossGrid* grid() const { return m_window->grid(); }
    BossTable& table() const { return m_session->table(); }
    app::GridController& controller() const { return m_window->gridController(); }
    GroupedRows& rows() const { return controller().rows(); }
    schedule::LineBoard& board() const { return m_session->lines().board(); }
    std::filesystem::path dir() const { return m_dir->path().toStdString(); }

    void openWindow() {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(
            *m_session, app::WindowSetup{.messages = &m_messages, .questions = &m_questions});
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

    int addRow(const char* name, const char* period = "30") {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        const int row = table().rowCount() - 1;
        table().setCellText(row, schedule::kNameColumn, name);
        table().setCellText(row, schedule::kPeriodColumn, period);
        table().setCheckState(row, true);
        return row;
    }

    // 黑龙 on 一区 and 二区, lines 1-3 each, above a boss A without lines.
    void dragonWithLines() {
        m_dragon = table().rowId(addRow("黑龙"));
        m_plain = table().rowId(addRow("A"));
        QString error;
        QVERIFY(m_session->lines().setLines(
            m_dragon, schedule::BossLines{{"一区", "二区"}, {"1", "2", "3"}}, error));
        controller().refreshLines();
    }

    schedule::LineId lineId(const char* server, const char* line) const {
        for (const schedule::LineTimer& timer : board().timers(m_dragon)) {
            if (timer.key.server == server && timer.key.line == line) {
                return timer.id;
            }
        }
        return 0;
    }

    QStringList viewNames() const {
        QStringList names;
        const QAbstractItemModel* model = grid()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            names << model->index(row, schedule::kNameColumn).data().toString();
        }
        return names;
    }

    QStringList split(const char* text) const {
        return *text ? QString::fromUtf8(text).split('|') : QStringList();
    }

    int viewRowOf(const QString& name) const { return viewNames().indexOf(name); }

    QPoint cellCentre(int viewRow, int column) const {
        return grid()->visualRect(grid()->model()->index(viewRow, column)).center();
    }

    void putCursor(int viewRow, int column) {
        grid()->setFocus();
        grid()->setCurrentIndex(grid()->model()->index(viewRow, column));
    }

    std::optional<schedule::UtcSeconds> lastKillOf(schedule::LineId line) const {
        const std::optional<schedule::LineTimer> timer = board().timer(m_dragon, line);
        return timer ? timer->state.lastKill : std::nullopt;
    }

    // The entry of the menu opened on a line or boss row, by its text; nullptr when absent.
    QAction* menuEntry(QMenu* menu, const char* text) const {
        for (QAction* action : menu->actions()) {
            if (action->text() == QString::fromUtf8(text)) {
                return action;
            }
        }
        return nullptr;
    }

private slots:
    // Each spawn look has its own picture, and an open window's pie grows with its fraction,
    // however often the same look is asked for.
    void spawnIconsShowTheirLook() {
        using schedule::SpawnPhase;
        const auto inked = [](SpawnPhase phase, double fraction) {
            const QImage image = app::spawnIcon(phase, fraction).pixmap(12, 12).toImage();
            int count = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                }
            }
            return count;
        };
        const auto image = [](SpawnPhase phase, double fraction) {
            return app::spawnIcon(phase, fraction).pixmap(12, 12).toImage();
        };
        QVERIFY(image(SpawnPhase::Waiting, 0) != image(SpawnPhase::Up, 0));
        QVERIFY(image(SpawnPhase::Unknown, 0) != image(SpawnPhase::Waiting, 0));
        // Asked in another order than they grow, so a picture kept for one look cannot
        // stand in for another.
        const int half = inked(SpawnPhase::WindowOpen, 0.5);
        const int full = inked(SpawnPhase::WindowOpen, 1.0);
        const int quarter = inked(SpawnPhase::WindowOpen, 0.25);
        const int threeQuarters = inked(SpawnPhase::WindowOpen, 0.75);
        QVERIFY(quarter < half && half < threeQuarters && threeQuarters < full);
        QCOMPARE(inked(SpawnPhase::WindowOpen, 0.5), half);
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.set(10, 0, 0);
        m_questions = MinutesAnswers();
        m_messages = KeptMessages();
        openWindow();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    // A table without lines shows its rows as before; a boss with lines shows folded with its
    // soonest line, and folds and unfolds by double click, Enter, +/- and its sign, never
    // taking a kill of its own; the unfolded bosses are remembered.
    void aBossWithLinesFoldsAndNeverTakesAKill() {
        addRow("B");
        QCOMPARE(viewNames(), QStringList{QStringLiteral("B")});
        dragonWithLines();
        QCOMPARE(viewNames(), split("B|▶ 黑龙 1线 @ 一区|A"));
        const char* unfolded = "B|▼ 黑龙|└ 1线 @ 一区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|"
                               "└ 2线 @ 二区|└ 3线 @ 二区|A";
        const char* folded = "B|▶ 黑龙 1线 @ 一区|A";
        QWidget* viewport = grid()->viewport();
        const std::optional<schedule::UtcSeconds> dragonKill =
            table().row(m_dragon)->timing.lastUtc;
        m_clock.set(11, 0, 0);
        const struct {
            const char* what;
            int viewRow;
            int column;
            std::function<void()> act;
            const char* view;
        } steps[] = {
            {"double click on the folded boss's last time", 1, schedule::kLastTimeColumn,
             [&] {
                 QTest::mouseDClick(viewport, Qt::LeftButton, {},
                                    cellCentre(1, schedule::kLastTimeColumn));
             },
             unfolded},
            {"Enter folds", 1, schedule::kLastTimeColumn,
             [&] { QTest::keyClick(grid(), Qt::Key_Return); }, folded},
            {"plus unfolds", 1, schedule::kNameColumn,
             [&] { QTest::keyClick(grid(), Qt::Key_Plus); }, unfolded},
            {"minus on a line folds its boss", 4, schedule::kNameColumn,
             [&] { QTest::keyClick(grid(), Qt::Key_Minus); }, folded},
            {"Ctrl+K on the boss", 1, schedule::kLastTimeColumn,
             [&] { QTest::keyClick(m_window.get(), Qt::Key_K, Qt::ControlModifier); }, folded},
            {"a click on the sign unfolds", 1, schedule::kPeriodColumn,
             [&] {
                 const QRect cell =
                     grid()->visualRect(grid()->model()->index(1, schedule::kNameColumn));
                 QTest::mouseClick(viewport, Qt::LeftButton, {},
                                   QPoint(cell.left() + 8, cell.center().y()));
             },
             unfolded},
            {"double click on the name of the unfolded boss folds", 1, schedule::kNameColumn,
             [&] {
                 QTest::mouseDClick(viewport, Qt::LeftButton, {},
                                    cellCentre(1, schedule::kNameColumn));
             },
             folded},
        };
        for (const auto& step : steps) {
            putCursor(step.viewRow, step.column);
            step.act();
            QVERIFY2(viewNames() == split(step.view), step.what);
            QVERIFY2(grid()->indexWidget(grid()->currentIndex()) == nullptr &&
                         QApplication::focusWidget() == grid(),
                     step.what);
            QVERIFY2(table().row(m_dragon)->timing.lastUtc == dragonKill, step.what);
            for (const schedule::LineTimer& timer : board().timers(m_dragon)) {
                QVERIFY2(!timer.state.lastKill, step.what);
            }
        }
        // The minus on a line left the cursor on its boss.
        rows().setExpanded(QStringLiteral("黑龙"), true);
        m_session->writer().saveTable(table());
        QCOMPARE(m_session->lines().flush(), std::string());
        restart();
        QCOMPARE(viewNames(), split(unfolded));
        QCOMPARE(m_session->preferences().gridExpandedBosses.get(),
                 QStringList{QStringLiteral("黑龙")});
        // The boss row's menu sets lines and has no kill of the whole boss.
        m_dragon = table().rowId(2);
        std::unique_ptr<QMenu> menu = m_window->findChild<app::RowMenu*>()->menuForRow(2);
        QVERIFY(menu);
        QVERIFY(menuEntry(menu.get(), "分线与服务器…") != nullptr);
        QVERIFY(menuEntry(menu.get(), "已击杀（现在）") == nullptr);
    }

    // Each path of the grid records on the line under it and on nothing else, is undone
    // through the line's own state, and reaches lines.json; a cancelled question records
    // nothing.
    void aKillOnALineByEachPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("minutesAgo"); // -1: the question is cancelled
        QTest::addColumn<bool>("killed");
        QTest::newRow("double click") << "double click" << 0 << true;
        QTest::newRow("Enter") << "Enter" << 0 << true;
        QTest::newRow("Ctrl+K") << "Ctrl+K" << 0 << true;
        QTest::newRow("menu now") << "menu now" << 0 << true;
        QTest::newRow("menu minutes ago") << "menu minutes ago" << 5 << true;
        QTest::newRow("menu minutes ago cancelled") << "menu minutes ago" << -1 << false;
    }

    void aKillOnALineByEachPath() {
        QFETCH(QString, path);
        QFETCH(int, minutesAgo);
        QFETCH(bool, killed);
        dragonWithLines();
        rows().setExpanded(QStringLiteral("黑龙"), true);
        const int at = viewRowOf(QStringLiteral("└ 3线 @ 二区"));
        QVERIFY(at > 0);
        const schedule::LineId target = lineId("二区", "3");
        const std::optional<schedule::UtcSeconds> dragonKill =
            table().row(m_dragon)->timing.lastUtc;
        const std::optional<schedule::UtcSeconds> plainKill = table().row(m_plain)->timing.lastUtc;
        m_clock.set(11, 0, 0);
        const schedule::UtcSeconds now = m_clock.instant();
        putCursor(at, schedule::kCountdownColumn);
        if (minutesAgo >= 0) {
            m_questions.minutes = {minutesAgo};
        }
        if (path == QStringLiteral("double click")) {
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {},
                               cellCentre(at, schedule::kCountdownColumn));
        } else if (path == QStringLiteral("Enter")) {
            QTest::keyClick(grid(), Qt::Key_Return);
        } else if (path == QStringLiteral("Ctrl+K")) {
            QTest::keyClick(m_window.get(), Qt::Key_K, Qt::ControlModifier);
        } else {
            std::unique_ptr<QMenu> menu =
                m_window->findChild<app::RowMenu*>()->menuForLine(m_dragon, target);
            QVERIFY(menu);
            QAction* entry =
                menuEntry(menu.get(), path == QStringLiteral("menu now") ? "已击杀（现在）"
                                                                         : "已击杀（几分钟前）…");
            QVERIFY(entry);
            entry->trigger();
        }
        for (const schedule::LineTimer& timer : board().timers(m_dragon)) {
            const bool expected = killed && timer.id == target;
            QCOMPARE(timer.state.lastKill.has_value(), expected);
            if (expected) {
                QCOMPARE(*timer.state.lastKill, now - 60LL * minutesAgo);
            }
        }
        QCOMPARE(table().row(m_dragon)->timing.lastUtc, dragonKill);
        QCOMPARE(table().row(m_plain)->timing.lastUtc, plainKill);
        if (!killed) {
            QVERIFY(!controller().canUndoLine(m_dragon, target));
            return;
        }
        // The row shows the kill and the boss sums it up while folded.
        QCOMPARE(grid()->model()->index(at, schedule::kLastTimeColumn).data().toString(),
                 QString::fromStdString(
                     schedule::clockTimeText(schedule::toLocal(now - 60LL * minutesAgo))));
        QCOMPARE(m_session->lines().flush(), std::string());
        QVERIFY(fileText(dir() / config::kLinesFileName).find("\"3\"") != std::string::npos);
        // Undone from the line's menu, redone with Ctrl+Y, then undone with Ctrl+Z.
        std::unique_ptr<QMenu> menu =
            m_window->findChild<app::RowMenu*>()->menuForLine(m_dragon, target);
        QAction* undo = menuEntry(menu.get(), "撤销此线的上一步");
        QVERIFY(undo);
        undo->trigger();
        QVERIFY(!lastKillOf(target));
        controller().undoStack().redo();
        QVERIFY(lastKillOf(target));
        controller().undoStack().undo();
        QVERIFY(!lastKillOf(target));
        QVERIFY(!controller().canUndoLine(m_dragon, target));
    }

    // The cursor stays on its line through kills on other lines, a clear and the sorts by time
    // left, which order the bosses by their soonest line and the lines among themselves.
    void theCursorStaysOnItsLine() {
        dragonWithLines();
        rows().setExpanded(QStringLiteral("黑龙"), true);
        const schedule::LineId kept = lineId("二区", "2");
        putCursor(viewRowOf(QStringLiteral("└ 2线 @ 二区")), schedule::kCountdownColumn);
        const auto cursorLine = [this] {
            return grid()->currentIndex().data(GroupedRows::LineIdRole).value<schedule::LineId>();
        };
        const struct {
            const char* what;
            std::function<void()> act;
            const char* view;
        } steps[] = {
            {"a kill on 1线 @ 一区 at 10:00",
             [&] {
                 m_clock.set(10, 0, 0);
                 QVERIFY(m_session->kills().recordOnLine(
                     m_dragon, lineId("一区", "1"), m_clock.instant(), schedule::KillSource::Menu));
             },
             "▼ 黑龙|└ 1线 @ 一区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|└ 2线 @ 二区|"
             "└ 3线 @ 二区|A"},
            {"a kill on 3线 @ 二区 at 10:20, counted",
             [&] {
                 m_clock.set(10, 20, 0);
                 QVERIFY(controller().killLineNow(m_dragon, lineId("二区", "3"),
                                                  schedule::KillSource::Menu));
                 m_session->tick()->onTick();
                 controller().refreshLines();
             },
             "▼ 黑龙|└ 1线 @ 一区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|└ 2线 @ 二区|"
             "└ 3线 @ 二区|A"},
            {"sorted by time left",
             [&] { controller().setSortState(app::GridProxy::SortState::Descending); },
             "▼ 黑龙|└ 3线 @ 二区|└ 1线 @ 一区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|"
             "└ 2线 @ 二区|A"},
            {"ascending", [&] { controller().setSortState(app::GridProxy::SortState::Ascending); },
             "▼ 黑龙|└ 1线 @ 一区|└ 3线 @ 二区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|"
             "└ 2线 @ 二区|A"},
            {"a clear of 1线 @ 一区",
             [&] {
                 QVERIFY(controller().clearLine(m_dragon, lineId("一区", "1")));
                 m_session->tick()->onTick();
                 controller().refreshLines();
             },
             "A|▼ 黑龙|└ 3线 @ 二区|└ 1线 @ 一区|└ 2线 @ 一区|└ 3线 @ 一区|└ 1线 @ 二区|"
             "└ 2线 @ 二区"},
        };
        for (const auto& step : steps) {
            step.act();
            QVERIFY2(viewNames() == split(step.view),
                     qPrintable(viewNames().join(QLatin1Char('|'))));
            QVERIFY2(cursorLine() == kept, step.what);
            QVERIFY2(
                grid()->currentIndex().siblingAtColumn(schedule::kNameColumn).data().toString() ==
                    QStringLiteral("└ 2线 @ 二区"),
                step.what);
        }
        // A (10 minutes left) before the boss whose soonest line has 30, and after it when
        // the order turns.
        controller().setSortState(app::GridProxy::SortState::Descending);
        QCOMPARE(viewNames().first(), QStringLiteral("▼ 黑龙"));
        QCOMPARE(viewNames().last(), QStringLiteral("A"));
        QCOMPARE(cursorLine(), kept);
    }

    // The dialog keeps good servers and labels and refuses a bad one with its reason,
    // changing nothing on the board or on disk.
    void theLinesDialogRefusesABadLabel() {
        dragonWithLines();
        QCOMPARE(m_session->lines().flush(), std::string());
        const std::string before = fileText(dir() / config::kLinesFileName);
        const struct {
            const char* servers;
            const char* lines;
            bool kept;
            const char* reason; // part of the reason shown
        } cases[] = {
            {"一区", "5-1", false, "5-1"},
            {"一区", "1, 1", false, "1, 1"},
            {"一区, 一区", "1-2", false, "分线或服务器无效"},
            {"一区", "", false, "有服务器时也要写分线"},
            {"一区，二区、三区", "1-2, A", true, ""},
            {"", "", true, ""},
        };
        for (const auto& c : cases) {
            const std::optional<schedule::BossLines> was = board().lines(m_dragon);
            QPointer<app::LinesDialog> dialog = m_window->openLines(m_dragon);
            QVERIFY(dialog);
            dialog->serversEdit()->setText(QString::fromUtf8(c.servers));
            dialog->linesEdit()->setText(QString::fromUtf8(c.lines));
            dialog->accept();
            QVERIFY2((dialog.isNull() || dialog->isHidden()) == c.kept, c.lines);
            if (!c.kept) {
                QVERIFY2(dialog->problemLabel()->text().contains(QString::fromUtf8(c.reason)),
                         qPrintable(dialog->problemLabel()->text()));
                dialog->close();
                QVERIFY2(board().lines(m_dragon) == was, c.lines);
                QCOMPARE(m_session->lines().flush(), std::string());
                QVERIFY2(fileText(dir() / config::kLinesFileName) == before, c.lines);
            }
        }
        // The last kept lines were none: the boss is a plain row again.
        QVERIFY(!board().hasLines(m_dragon));
        QCOMPARE(viewNames(), split("黑龙|A"));
        // The one before: three servers, 1, 2 and A.
        app::LinesDialog again(m_session->lines(), m_dragon, QStringLiteral("黑龙"));
        again.serversEdit()->setText(QStringLiteral("一区，二区、三区"));
        again.linesEdit()->setText(QStringLiteral("1-2, A"));
        again.accept();
        QCOMPARE(board().timers(m_dragon).size(), std::size_t{9});
        app::LinesDialog shown(m_session->lines(), m_dragon, QStringLiteral("黑龙"));
        QCOMPARE(shown.serversEdit()->text(), QStringLiteral("一区, 二区, 三区"));
        QCOMPARE(shown.linesEdit()->text(), QStringLiteral("1, 2, A"));
    }

    // The filter finds lines by their label (whole: 3线 is not 13线), their server and
    // their state; a boss shows with only its matching lines, or folded when all match.
    void theFilterFindsLines() {
        dragonWithLines();
        QString error;
        QVERIFY(m_session->lines().setLines(
            m_dragon, schedule::BossLines{{"一区", "二区"}, {"1", "3", "13"}}, error));
        controller().refreshLines();
        m_clock.set(10, 0, 0);
        QVERIFY(
            controller().killLineNow(m_dragon, lineId("二区", "13"), schedule::KillSource::Menu));
        m_clock.set(10, 20, 0);
        m_session->tick()->onTick();
        controller().refreshLines();
        const struct {
            const char* typed;
            const char* view;
        } steps[] = {
            {"3线", "▼ 黑龙|└ 3线 @ 一区|└ 3线 @ 二区"},
            {"二区", "▼ 黑龙|└ 1线 @ 二区|└ 3线 @ 二区|└ 13线 @ 二区"},
            {"3线 二区", "▼ 黑龙|└ 3线 @ 二区"},
            {"<15m", "▼ 黑龙|└ 13线 @ 二区|A"},
            {"<5m", ""},
            {"黑龙", "▶ 黑龙 13线 @ 二区"},
            {"a", "A"},
            {"", "▶ 黑龙 13线 @ 二区|A"},
        };
        for (const auto& step : steps) {
            m_window->filterEdit()->setText(QString::fromUtf8(step.typed));
            QVERIFY2(viewNames() == split(step.view),
                     qPrintable(QString::fromUtf8(step.typed) + QStringLiteral(": ") +
                                viewNames().join(QLatin1Char('|'))));
        }
    }

    // The overlay and the tray list a boss with lines as its soonest line, by the line's name
    // and with its count and look; a boss without lines as before.
    void theOverlayAndTheTrayNameTheLine() {
        dragonWithLines();
        app::Overlay* overlay = m_window->overlay();
        overlay->setRowLimit(5);
        // 黑龙 alone in its group: the header's count is its soonest line's.
        rows().setGroups({{QStringLiteral("黑龙"), QStringLiteral("野外")}});
        const struct {
            const char* what;
            int hour, minute;
            std::function<void()> act;
            const char* listed; // "name=count seconds" by time left
            app::TrayState tray;
        } steps[] = {
            {"no line counts yet: A alone", 10, 0, [] {}, "A=1800", app::TrayState::Idle},
            {"a kill on 3线 @ 二区", 10, 10,
             [&] {
                 QVERIFY(controller().killLineNow(m_dragon, lineId("二区", "3"),
                                                  schedule::KillSource::Menu));
             },
             "A=1200|黑龙 3线 @ 二区=1800", app::TrayState::Idle},
            {"a later kill on 1线 @ 一区 leaves the soonest", 10, 20,
             [&] {
                 QVERIFY(controller().killLineNow(m_dragon, lineId("一区", "1"),
                                                  schedule::KillSource::Menu));
             },
             "A=600|黑龙 3线 @ 二区=1200", app::TrayState::Idle},
            {"A within its lead time", 10, 27, [] {}, "A=180|黑龙 3线 @ 二区=780",
             app::TrayState::Lead},
            {"the line within its lead time, A cleared", 10, 36,
             [&] {
                 QVERIFY(m_session->kills().record(m_plain, m_clock.instant(),
                                                   schedule::KillSource::Menu));
             },
             "黑龙 3线 @ 二区=240|A=1800", app::TrayState::Lead},
            {"the line cleared: the next line", 10, 36,
             [&] { QVERIFY(controller().clearLine(m_dragon, lineId("二区", "3"))); },
             "黑龙 1线 @ 一区=840|A=1800", app::TrayState::Idle},
        };
        for (const auto& step : steps) {
            m_clock.set(step.hour, step.minute, 0);
            step.act();
            m_session->tick()->onTick();
            controller().refreshLines();
            QStringList listed;
            for (const app::Overlay::Entry& entry : overlay->entries()) {
                listed << entry.name + QLatin1Char('=') + QString::number(entry.remainingSeconds);
            }
            QVERIFY2(listed == split(step.listed),
                     qPrintable(QString::fromUtf8(step.what) + QStringLiteral(": ") +
                                listed.join(QLatin1Char('|'))));
            const app::TraySummary summary =
                app::summariseForTray(controller().model(), false, 5, &board());
            QStringList tray;
            for (const app::TrayEntry& entry : summary.next) {
                tray << entry.name;
            }
            QStringList names;
            for (const QString& entry : listed) {
                names << entry.section(QLatin1Char('='), 0, 0);
            }
            QVERIFY2(tray == names, step.what);
            QVERIFY2(summary.state == step.tray, step.what);
            QVERIFY2(summary.fromLines == names.join(QString()).contains(QStringLiteral("线")),
                     step.what);
            const QModelIndex header = grid()->model()->index(
                viewRowOf(QStringLiteral("▼ 野外（1）")), schedule::kCountdownColumn);
            QVERIFY2(header.isValid(), step.what);
            QString lineCount;
            // The line's entry looks and counts as its own row in the grid does.
            for (std::size_t i = 0; i < overlay->entries().size(); ++i) {
                const app::Overlay::Entry& entry = overlay->entries()[i];
                if (!entry.name.startsWith(QStringLiteral("黑龙"))) {
                    continue;
                }
                controller().rows().setExpanded(QStringLiteral("黑龙"), false);
                const QModelIndex folded = grid()->model()->index(
                    viewRowOf(QStringLiteral("▶ ") + entry.name), schedule::kCountdownColumn);
                QVERIFY2(folded.isValid(), step.what);
                QCOMPARE(entry.countdown, folded.data().toString());
                QCOMPARE(summary.next[i].countdown, folded.data().toString());
                lineCount = entry.countdown;
                QCOMPARE(entry.look,
                         app::rowLook(true, folded.data(app::BossTableModel::RemainingSecondsRole),
                                      folded.data(app::BossTableModel::RowPhaseRole)));
            }
            QVERIFY2(header.data().toString() == lineCount,
                     qPrintable(QString::fromUtf8(step.what) + QStringLiteral(": ") +
                                header.data().toString()));
        }
    }

    // A line the pass rolled over, with no kill recorded, shows the up star beside its name
    // as a row does, and so does its boss folded on it; a kill takes the star away (the boss
    // then folds on that line, counting again).
    void aRolledOverLineShowsTheUpStar() {
        dragonWithLines();
        const schedule::LineId line = lineId("二区", "3");
        const struct {
            const char* what;
            int hour, minute;
            std::function<void()> act;
            const char* row;    // A's name cell
            const char* line;   // 3线 @ 二区's, unfolded
            const char* folded; // 黑龙's, folded on its soonest line
        } steps[] = {
            {"killed, counting", 10, 0,
             [&] {
                 QVERIFY(m_session->kills().record(m_plain, m_clock.instant(),
                                                   schedule::KillSource::Menu));
                 QVERIFY(controller().killLineNow(m_dragon, line, schedule::KillSource::Menu));
             },
             "other", "other", "other"},
            {"both rolled over", 10, 31, [] {}, "star", "star", "star"},
            {"a kill on the line ends its star", 10, 32,
             [&] { QVERIFY(controller().killLineNow(m_dragon, line, schedule::KillSource::Menu)); },
             "star", "other", "other"},
        };
        for (const auto& step : steps) {
            m_clock.set(step.hour, step.minute, 0);
            step.act();
            m_session->tick()->onTick();
            controller().refreshLines();
            const auto nameCell = [&](const QString& name) {
                const int at = viewRowOf(name);
                return at < 0 ? QVariant(QStringLiteral("no row %1").arg(name))
                              : grid()
                                    ->model()
                                    ->index(at, schedule::kNameColumn)
                                    .data(Qt::DecorationRole);
            };
            rows().setExpanded(QStringLiteral("黑龙"), true);
            const QString lineShape = spawnShape(nameCell(QStringLiteral("└ 3线 @ 二区")));
            rows().setExpanded(QStringLiteral("黑龙"), false);
            const QString foldedName = viewNames().filter(QStringLiteral("▶ 黑龙")).value(0);
            const QString shapes = spawnShape(nameCell(QStringLiteral("A"))) + '|' + lineShape +
                                   '|' + spawnShape(nameCell(foldedName));
            QVERIFY2(shapes == QString::fromUtf8(step.row) + '|' + QString::fromUtf8(step.line) +
                                   '|' + QString::fromUtf8(step.folded),
                     qPrintable(QString::fromUtf8(step.what) + QStringLiteral(": ") + shapes));
        }
    }

    // ☰ → 分线与服务器… wants a named boss: disabled while the table has none, and it says
    // why when the cursor is on no boss or on a row without a name.
    void theLinesEntryWantsANamedBoss() {
        QAction* entry = m_window->findChild<QAction*>(QStringLiteral("linesOfBoss"));
        QVERIFY(entry);
        auto* menu = qobject_cast<QMenu*>(entry->parent());
        QVERIFY(menu);
        const auto dialogs = [&] { return m_window->findChildren<app::LinesDialog*>().size(); };
        const struct {
            const char* what;
            std::function<void()> act;
            bool enabled;
            const char* told; // "" when a dialog opens instead
        } steps[] = {
            {"an empty table", [] {}, false, nullptr},
            {"a row without a name", [&] { addRow(""); }, false, nullptr},
            {"a named boss, the cursor on the unnamed row",
             [&] {
                 addRow("黑龙");
                 putCursor(0, schedule::kNameColumn);
             },
             true, "请先填写这一行的首领名称，再设置它的分线与服务器。"},
            {"no row under the cursor", [&] { grid()->setCurrentIndex({}); }, true,
             "请先选中一个首领，再设置它的分线与服务器。"},
            {"the cursor on the boss", [&] { putCursor(1, schedule::kNameColumn); }, true, ""},
        };
        for (const auto& step : steps) {
            step.act();
            m_messages.shown.clear();
            const qsizetype before = dialogs();
            menu->popup(m_window->mapToGlobal(QPoint(10, 10)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QVERIFY2(entry->isEnabled() == step.enabled, step.what);
            menu->hide();
            if (!step.enabled) {
                continue;
            }
            entry->trigger();
            if (*step.told) {
                QVERIFY2(m_messages.shown == QStringList{QString::fromUtf8(step.told)}, step.what);
                QVERIFY2(dialogs() == before, step.what);
            } else {
                QVERIFY2(m_messages.shown.isEmpty(), step.what);
                QVERIFY2(dialogs() == before + 1, step.what);
            }
        }
    }

    // A boss the filter narrows to some of its lines shows on its own row, and in its group's
    // header, the times of the soonest of those lines, never of a line it hides.
    void aNarrowedBossShowsItsShownLinesTimes() {
        dragonWithLines();
        rows().setGroups({{QStringLiteral("黑龙"), QStringLiteral("野外")}});
        m_clock.set(10, 0, 0);
        QVERIFY(
            controller().killLineNow(m_dragon, lineId("一区", "1"), schedule::KillSource::Menu));
        m_clock.set(10, 10, 0);
        QVERIFY(
            controller().killLineNow(m_dragon, lineId("二区", "3"), schedule::KillSource::Menu));
        m_clock.set(10, 15, 0);
        m_session->tick()->onTick();
        controller().refreshLines();
        const struct {
            const char* typed;
            const char* boss;      // the boss row's name
            const char* last;      // its last time
            const char* countdown; // its count, and its header's
        } steps[] = {
            {"", "▶ 黑龙 1线 @ 一区", "10:00:00", "00时15分00秒"},
            {"二区", "▼ 黑龙", "10:10:00", "00时25分00秒"},
            {"3线", "▼ 黑龙", "10:10:00", "00时25分00秒"},
            {"1线", "▼ 黑龙", "10:00:00", "00时15分00秒"},
            {"2线", "▼ 黑龙", "", ""},
            {"黑龙", "▶ 黑龙 1线 @ 一区", "10:00:00", "00时15分00秒"},
        };
        for (const auto& step : steps) {
            m_window->filterEdit()->setText(QString::fromUtf8(step.typed));
            const int at = viewRowOf(QString::fromUtf8(step.boss));
            const int header = viewRowOf(QStringLiteral("▼ 野外（1）"));
            QVERIFY2(at >= 0 && header >= 0,
                     qPrintable(QString::fromUtf8(step.typed) + QStringLiteral(": ") +
                                viewNames().join(QLatin1Char('|'))));
            const QAbstractItemModel* model = grid()->model();
            const QString shown =
                model->index(at, schedule::kLastTimeColumn).data().toString() + '|' +
                model->index(at, schedule::kCountdownColumn).data().toString() + '|' +
                model->index(header, schedule::kCountdownColumn).data().toString();
            QVERIFY2(shown == QString::fromUtf8(step.last) + '|' +
                                  QString::fromUtf8(step.countdown) + '|' +
                                  QString::fromUtf8(step.countdown),
                     qPrintable(QString::fromUtf8(step.typed) + QStringLiteral(": ") + shown));
        }
    }

private:
    testing::FakeClock m_clock{10, 0, 0};
    KeptMessages m_messages;
    MinutesAnswers m_questions;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
    schedule::RowId m_dragon = 0;
    schedule::RowId m_plain = 0;
};

QTEST_MAIN(LineGridTest)
#include "test_linegrid.moc"
