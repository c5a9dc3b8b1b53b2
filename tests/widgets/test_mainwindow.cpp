#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "services/preferences.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "widgets/alerttray.h"
#include "widgets/bossgrid.h"
#include "widgets/mainwindow.h"
#include "widgets/writenotice.h"

#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <ctime>
#include <memory>

using namespace zorvane;

namespace {

struct Expected {
    const char* name;
    const char* kind;
    QRect geometry;
    const char* caption;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The test clock reads Beijing's own time, so the clock label shows it as set.
        qputenv("TZ", "Asia/Shanghai");
        tzset();
        m_clock.set(21, 5, 9);
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void componentsHaveTheirKindNamePlaceAndCaption() {
        const Expected expected[] = {
            {"按钮2", "QPushButton", {8, 8, 60, 30}, "停止"},
            {"按钮1", "QPushButton", {72, 8, 60, 30}, "新增"},
            {"按钮3", "QPushButton", {136, 8, 60, 30}, "删除"},
            {"标签2", "QLabel", {208, 8, 176, 30}, "提前     分钟预警"},
            {"编辑框1", "QLineEdit", {258, 8, 30, 30}, nullptr},
            {"标签1", "QLabel", {544, 8, 214, 40}, nullptr},
            {"菜单按钮", "QToolButton", {758, 8, 26, 26}, "☰"},
            {"图片框1", "QLabel", {30, 47, 20, 20}, nullptr},
            {"编辑框2", "QLineEdit", {53, 47, 328, 20}, ""},
            {"标签3", "QLabel", {384, 46, 40, 20}, "设置"},
            // No announcement: its pane is folded and the grid takes its room.
            {"筛选框", "QLineEdit", {8, 74, 360, 22}, ""},
            {"高级表格1", "QTableView", {0, 100, 792, 440}, nullptr},
        };
        for (const Expected& e : expected) {
            const QString name = QString::fromUtf8(e.name);
            auto* widget = m_window->findChild<QWidget*>(name);
            QVERIFY2(widget, e.name);
            QVERIFY2(widget->inherits(e.kind), e.name);
            QCOMPARE(widget->geometry(), e.geometry);
            QVERIFY2(widget->isVisible(), e.name);
            if (!e.caption) {
                continue;
            }
            const QString caption = QString::fromUtf8(e.caption);
            if (auto* tool = qobject_cast<QToolButton*>(widget)) {
                QCOMPARE(tool->text(), caption);
            } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                QCOMPARE(button->text(), caption);
            } else if (auto* label = qobject_cast<QLabel*>(widget)) {
                QCOMPARE(label->text(), caption);
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                QCOMPARE(edit->text(), caption);
            }
        }
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Zorvane"));
        QCOMPARE(m_window->size(), QSize(792, 540));
        QCOMPARE(m_window->minimumSize(), QSize(792, 540));
        QVERIFY(m_window->maximumSize().width() > 792 && m_window->maximumSize().height() > 540);
        QVERIFY(m_window->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(!m_window->viewer()->isVisible());
        QVERIFY(m_window->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(Qt::white));

        const auto* picture = m_window->findChild<QLabel*>(QStringLiteral("图片框1"));
        QVERIFY(!picture->pixmap().isNull());
        QCOMPARE(picture->pixmap().size(), QSize(20, 20));
        QVERIFY(picture->pixmap().hasAlphaChannel());
        QVERIFY(m_window->viewer()->source().isEmpty());
    }

    // The grid takes what the top rows and the announcement pane leave; the pane shows only
    // with an announcement and unless the player folded it.
    void theGridTakesTheRoomOfAGrownWindow_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("announcement");
        QTest::addColumn<bool>("folded");
        QTest::addColumn<QRect>("grid");
        QTest::addColumn<QRect>("viewer"); // null: hidden
        QTest::newRow("first size, announcement")
            << QSize(792, 540) << true << false << QRect(0, 100, 792, 292)
            << QRect(0, 400, 792, 140);
        QTest::newRow("first size, empty")
            << QSize(792, 540) << false << false << QRect(0, 100, 792, 440) << QRect();
        QTest::newRow("grown, announcement")
            << QSize(1280, 1000) << true << false << QRect(0, 100, 1280, 752)
            << QRect(0, 860, 1280, 140);
        QTest::newRow("grown, folded by the player")
            << QSize(1280, 1000) << true << true << QRect(0, 100, 1280, 900) << QRect();
        QTest::newRow("smaller than the first size")
            << QSize(600, 400) << true << false << QRect(0, 100, 792, 292)
            << QRect(0, 400, 792, 140);
    }

    void theGridTakesTheRoomOfAGrownWindow() {
        QFETCH(QSize, size);
        QFETCH(bool, announcement);
        QFETCH(bool, folded);
        QFETCH(QRect, grid);
        QFETCH(QRect, viewer);
        m_window->setAnnouncementFolded(folded);
        m_window->viewer()->setHtml(announcement ? QStringLiteral("<p>公告</p>") : QString());
        m_window->resize(size);
        QTRY_COMPARE(m_window->grid()->geometry(), grid);
        QCOMPARE(m_window->viewer()->isVisible(), !viewer.isNull());
        if (!viewer.isNull()) {
            QCOMPARE(m_window->viewer()->geometry(), viewer);
        }
        QCOMPARE(m_window->menuButton()->geometry().right(), m_window->width() - 9);
        // The choice is kept for the next start.
        QCOMPARE(m_session->preferences().announcementFolded.get(), folded);
    }

    void theSizeIsRememberedAndTheGridShowsMoreRows() {
        for (int i = 0; i < 45; ++i) {
            QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        }
        const auto visibleRows = [this] {
            const QTableView* grid = m_window->grid();
            return grid->rowAt(grid->viewport()->height() - 1) - grid->rowAt(0);
        };
        const int before = visibleRows();
        // The names' width at the start size, and how far the columns reach when grown.
        const auto nameWidth = [this] {
            return m_window->grid()->horizontalHeader()->sectionSize(2);
        };
        const auto spareRight = [this] {
            const QTableView* grid = m_window->grid();
            const QHeaderView* header = grid->horizontalHeader();
            const int last = schedule::kColumnCount - 1;
            return grid->viewport()->width() -
                   (header->sectionViewportPosition(last) + header->sectionSize(last));
        };
        QCOMPARE(nameWidth(), 200);
        // Maximised on a 1440-line screen, with no announcement.
        m_window->resize(1000, 1400);
        QTRY_COMPARE(m_window->size(), QSize(1000, 1400));
        QVERIFY2(visibleRows() >= 40, qPrintable(QString::number(visibleRows())));
        QVERIFY(visibleRows() > before);
        // The names take the extra width; the columns end where they did at the start size.
        QTRY_VERIFY(nameWidth() > 200);
        QVERIFY2(spareRight() >= 0 && spareRight() <= 22,
                 qPrintable(QString::number(spareRight())));
        m_window->close();
        QCOMPARE(m_session->preferences().windowSize.get(), QStringLiteral("1000,1400"));
        // Not in config.ini: its sections and keys stay those of the table.
        QFile config(m_dir->filePath(QStringLiteral("config.ini")));
        if (config.open(QIODevice::ReadOnly)) {
            QVERIFY(!config.readAll().contains("1400"));
        }

        m_window = std::make_unique<app::MainWindow>(*m_session);
        // As remembered, within the screen's room.
        const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
        QCOMPARE(m_window->size(), QSize(1000, 1400).boundedTo(room).expandedTo({792, 540}));
        // Back at the start size, the names have their own width again.
        m_window->resize(792, 540);
        QTRY_COMPARE(m_window->size(), QSize(792, 540));
        QTRY_COMPARE(m_window->grid()->horizontalHeader()->sectionSize(2), 200);
    }

    void labelsAndWarnBoxUseTheKaiFace() {
        const struct {
            const char* name;
            int pixels;
        } kai[] = {{"标签1", 16}, {"标签2", 20}, {"编辑框1", 20}};
        for (const auto& k : kai) {
            auto* widget = m_window->findChild<QWidget*>(QString::fromUtf8(k.name));
            QVERIFY(widget);
            const QFontInfo info(widget->font());
            QCOMPARE(info.family(), QStringLiteral("AR PL UKai CN"));
            QCOMPARE(info.pixelSize(), k.pixels);
            QCOMPARE(widget->font().weight(), QFont::Normal);
        }
        const QFontInfo buttonFont(m_window->startStopButton()->font());
        QVERIFY(buttonFont.family() != QStringLiteral("AR PL UKai CN"));
        // The warning box lies on top of the label's blank gap, not under it.
        auto* label = m_window->findChild<QWidget*>(QStringLiteral("标签2"));
        const auto children = m_window->children();
        QVERIFY(children.indexOf(m_window->warnMinutesEdit()) > children.indexOf(label));
    }

    void clockLabelShowsTheTimeWithinASecond() {
        QTRY_COMPARE_WITH_TIMEOUT(m_window->clockLabel()->text(),
                                  QStringLiteral("北京时间：21:05:09"), 1000);
    }

    // The label shows Beijing time on a computer in another zone too.
    void clockLabelShowsBeijingTimeAnywhere() {
        const struct {
            const char* zone;
            const char* shown;
        } cases[] = {{"Europe/Berlin", "北京时间：04:05:09"},
                     {"America/New_York", "北京时间：10:05:09"},
                     {"Asia/Shanghai", "北京时间：21:05:09"}};
        for (const auto& c : cases) {
            qputenv("TZ", c.zone);
            tzset();
            // 21:05:09 on this computer's clock.
            m_clock.set(21, 5, 9);
            QTRY_COMPARE_WITH_TIMEOUT(m_window->clockLabel()->text(), QString::fromUtf8(c.shown),
                                      2000);
        }
    }

    void startStopTogglesTheTickOnly() {
        QPushButton* button = m_window->startStopButton();
        QVERIFY(m_globals->tickTimer().handle() > 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("启动"));
        QCOMPARE(m_globals->tickTimer().handle(), 0L);
        QVERIFY(m_globals->clockTimer().handle() > 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("停止"));
        QVERIFY(m_globals->tickTimer().handle() > 0);
    }

    void whileStoppedTheCountdownStandsAndTheClockRuns() {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        const schedule::RowId row = m_session->table().rowId(1);
        const auto countdown = [&] {
            return m_session->table().row(row).value().text[schedule::kCountdownColumn];
        };
        QTRY_COMPARE_WITH_TIMEOUT(countdown(), std::string("00时30分00秒"), 2000);
        QTest::mouseClick(m_window->startStopButton(), Qt::LeftButton);
        m_clock.set(21, 6, 9);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->clockLabel()->text(),
                                  QStringLiteral("北京时间：21:06:09"), 2000);
        QCOMPARE(countdown(), std::string("00时30分00秒"));
        QTest::mouseClick(m_window->startStopButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(countdown(), std::string("00时29分00秒"), 2000);
    }

    // A start and a close that change nothing leave no preferences.ini behind.
    void aStartThatChangesNothingWritesNoPreferences() {
        const QString file = m_dir->filePath(app::Preferences::fileName());
        QVERIFY(!QFile::exists(file));
        m_window->close();
        m_window.reset();
        m_session.reset();
        QVERIFY(!QFile::exists(file));
    }

    // What went wrong before the window was made reaches the window, not only a terminal
    // it may not have.
    void problemsBeforeTheWindowShowInIt() {
        m_window.reset();
        m_window = std::make_unique<app::MainWindow>(
            *m_session, app::WindowSetup{.missingTranslations = {QStringLiteral("qtbase_en")},
                                         .instanceProblem = QStringLiteral("/tmp/zorvane-0 is not "
                                                                           "safe to use")});
        m_window->show();
        const QString told = m_window->writeNotice()->toolTip();
        QVERIFY2(told.contains(QStringLiteral("缺少翻译 qtbase_en，部分文字未翻译")) &&
                     told.contains(QStringLiteral("无法等候第二次启动：/tmp/zorvane-0 is not safe "
                                                  "to use；再次启动会打开第二个窗口")),
                 qPrintable(told));
        QVERIFY(m_window->writeNotice()->isVisible());
    }

    // 停止 freezes the countdowns; the countdown column, the title and the tray show it
    // until 启动.
    void aStoppedCountdownIsMarkedAsStopped() {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QTableView* grid = m_window->grid();
        QAbstractItemModel* view = grid->model();
        const QModelIndex cell = view->index(0, schedule::kCountdownColumn);
        const auto header = [&] {
            return view->headerData(schedule::kCountdownColumn, Qt::Horizontal).toString();
        };
        struct State {
            bool stopped;
            const char* title;
            const char* header;
            app::TrayState tray;
        };
        const State states[] = {
            {false, "Zorvane", "倒计时", app::TrayState::Idle},
            {true, "Zorvane（已停止）", "倒计时（已停止）", app::TrayState::Stopped},
            {false, "Zorvane", "倒计时", app::TrayState::Idle},
        };
        bool first = true;
        for (const State& s : states) {
            if (!first) {
                QTest::mouseClick(m_window->startStopButton(), Qt::LeftButton);
            }
            first = false;
            QCOMPARE(m_window->windowTitle(), QString::fromUtf8(s.title));
            QCOMPARE(header(), QString::fromUtf8(s.header));
            QCOMPARE(cell.data(Qt::DecorationRole).isValid(), s.stopped);
            QCOMPARE(m_window->tray()->state(), s.tray);
            QCOMPARE(m_window->tray()->toolTip().contains(QStringLiteral("已停止")), s.stopped);
        }
    }

    void rendersOffscreen() {
        QTRY_VERIFY_WITH_TIMEOUT(m_window->clockLabel()->text().startsWith(QStringLiteral("北京")),
                                 1000);
        const QImage image = m_window->grab().toImage();
        QCOMPARE(image.size(), QSize(792, 540));
        const QString path = qEnvironmentVariable("ZORVANE_SCREENSHOT",
                                                  m_dir->filePath(QStringLiteral("window.png")));
        QVERIFY(image.save(path));
    }

private:
    // Stands at 21:05:09 until a test moves it; read by the timer threads.
    testing::FakeClock m_clock{21, 5, 9};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
