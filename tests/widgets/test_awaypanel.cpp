// The "while you were away" panel at start, and the typed row data the model exposes.

#include "config/configfiles.h"
#include "config/sessionfile.h"
#include "models/bosstablemodel.h"
#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "text/fileio.h"
#include "widgets/awaypanel.h"
#include "widgets/bossgrid.h"
#include "widgets/mainwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace zorvane;
using schedule::DateTimeParts;
using schedule::UtcSeconds;

namespace {

// Where the test clock stands.
constexpr DateTimeParts kNow{2026, 12, 8, 21, 5, 9};

UtcSeconds utc(DateTimeParts local) {
    return schedule::toUtc(schedule::makeDateTime(local));
}

void addKilled(schedule::BossTable& table, const char* boss, int period, DateTimeParts kill,
               bool use) {
    const int row = table.appendRow();
    table.setCheckState(row, use);
    const UtcSeconds killed = utc(kill);
    table.setDatedCellTextsIf(
        table.rowId(row), {},
        {{schedule::kNumberColumn, std::to_string(row)},
         {schedule::kNameColumn, boss},
         {schedule::kPeriodColumn, std::to_string(period)},
         {schedule::kLastTimeColumn, schedule::clockTimeText(schedule::makeDateTime(kill))},
         {schedule::kNextTimeColumn, schedule::nextTimeText(killed, period)}},
        killed);
}

} // namespace

class AwayPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        schedule::BossTable table;
        // Due every 90 minutes since two days ago; a daily boss not due yet; a weekly boss
        // whose cycles all came due before the program was last seen.
        addKilled(table, "火龙", 90, {2026, 12, 6, 21, 0, 0}, true);
        addKilled(table, "世界BOSS", 1440, {2026, 12, 8, 10, 0, 0}, true);
        addKilled(table, "周本", 10080, {2026, 11, 20, 12, 0, 0}, false);
        QVERIFY(config::saveTable(table, dir()));
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void listsWhatCameDueWhileClosed_data() {
        QTest::addColumn<qlonglong>("lastSeen"); // 0: never recorded
        QTest::addColumn<QStringList>("listed"); // boss, first due, cycles, cycle start, left
        QTest::newRow("closed for two days")
            << static_cast<qlonglong>(utc({2026, 12, 6, 21, 10, 0}))
            << QStringList{QStringLiteral("火龙"), QStringLiteral("2026-12-06 22:30:00"),
                           QStringLiteral("32"), QStringLiteral("2026-12-08 21:00:00"),
                           QStringLiteral("01时24分51秒")};
        QTest::newRow("a short restart") << static_cast<qlonglong>(utc(kNow) - 10) << QStringList{};
        QTest::newRow("no record of the last run") << 0LL << QStringList{};
    }

    void listsWhatCameDueWhileClosed() {
        QFETCH(qlonglong, lastSeen);
        QFETCH(QStringList, listed);
        if (lastSeen != 0) {
            QVERIFY(config::writeLastSeen(dir(), lastSeen));
        }
        openWindow();
        // The program notes that it runs now, once its window is drawn.
        QTRY_COMPARE_WITH_TIMEOUT(config::readLastSeen(dir()), std::optional<UtcSeconds>(utc(kNow)),
                                  2000);

        app::AwayPanel* panel = m_window->awayPanel();
        if (listed.isEmpty()) {
            QVERIFY(!panel);
            QVERIFY(!m_window->findChild<app::AwayPanel*>());
            return;
        }
        QVERIFY(panel);
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 2000);
        QVERIFY(!panel->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QTableWidget* list = panel->list();
        QCOMPARE(list->rowCount(), 1);
        for (int column = 0; column < listed.size(); ++column) {
            QCOMPARE(list->item(0, column)->text(), listed[column]);
        }
        // The window goes on working meanwhile: the first pass starts the current cycle.
        const schedule::RowId first = m_session->table().rowId(1);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->table().row(first)->text[schedule::kLastTimeColumn],
                                  std::string("21:00:00"), 2000);

        const QImage image = panel->grab().toImage();
        const QString path = qEnvironmentVariable("ZORVANE_AWAY_SCREENSHOT",
                                                  m_dir->filePath(QStringLiteral("away.png")));
        QVERIFY(image.save(path));
    }

    void modelExposesRemainingSecondsAndPhase() {
        openWindow();
        const QAbstractItemModel* model = m_window->grid()->model();
        const auto remaining = [&](int row) {
            return model->data(model->index(row, schedule::kCountdownColumn),
                               app::BossTableModel::RemainingSecondsRole);
        };
        QTRY_VERIFY_WITH_TIMEOUT(remaining(1).isValid(), 2000);
        // 21:05:09 against 10:00 + a day, and 21:00 + 90 minutes after the roll-over.
        QTRY_COMPARE_WITH_TIMEOUT(remaining(1).toLongLong(), 46491LL, 2000);
        QCOMPARE(model->data(model->index(1, 0), app::BossTableModel::RowPhaseRole).toInt(),
                 static_cast<int>(schedule::RowPhase::Counting));
        QTRY_COMPARE_WITH_TIMEOUT(remaining(0).toLongLong(), 5091LL, 2000);
        // Weekly, due 2026-12-11 12:00.
        QTRY_COMPARE_WITH_TIMEOUT(
            model->data(model->index(2, schedule::kCountdownColumn)).toString(),
            QStringLiteral("2天14时54分51秒"), 2000);

        const QString shot = qEnvironmentVariable("ZORVANE_WINDOW_SCREENSHOT");
        if (!shot.isEmpty()) {
            QVERIFY(m_window->grab().toImage().save(shot));
        }
        // Inside the lead time once the warning minutes cover the rest.
        m_window->warnMinutesEdit()->setText(QStringLiteral("800"));
        QTRY_COMPARE_WITH_TIMEOUT(
            model->data(model->index(1, 3), app::BossTableModel::RowPhaseRole).toInt(),
            static_cast<int>(schedule::RowPhase::Lead), 3000);
    }

private:
    std::filesystem::path dir() const { return text::pathFromUtf8(m_dir->path().toStdString()); }

    void openWindow() {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    zorvane::testing::FakeClock m_clock{kNow};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(AwayPanelTest)
#include "test_awaypanel.moc"
