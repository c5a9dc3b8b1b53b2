// The alerts through the whole window: the tick's passes run by the test (with a test clock), the
// chime on the SDL disk driver, notifications on a private session bus, silence and the
// preferences dialog.
#include "alarm/playback.h"
#include "config/configfiles.h"
#include "config/inifile.h"
#include "models/bosstablemodel.h"
#include "models/builtinimage.h"
#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "services/alertdispatch.h"
#include "services/configwriter.h"
#include "services/preferences.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/bossrows.h"
#include "tests/support/fakeclock.h"
#include "tests/support/notificationserver.h"
#include "widgets/alertcenter.h"
#include "widgets/alerttray.h"
#include "widgets/bossgrid.h"
#include "widgets/gridcontroller.h"
#include "widgets/leadtimesdialog.h"
#include "widgets/mainwindow.h"
#include "widgets/overlay.h"
#include "widgets/preferencesdialog.h"
#include "widgets/rowmenu.h"
#include "widgets/starticon.h"
#include "widgets/traysummary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDBusArgument>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <memory>

using namespace zorvane;
using zorvane::testing::NotificationServer;

class AlertsTest : public QObject {
    Q_OBJECT

private:
    bool chimeSounding() { return m_session->tick()->device().isPlaying(alarm::kAlarmAlias); }
    // The tray's tooltip as its reader sees it.
    QString trayText() const {
        QTextDocument document;
        document.setHtml(m_window->tray()->toolTip());
        return document.toPlainText().replace(QChar(0xa0), QLatin1Char(' '));
    }

    // A checked row killed at 10:00:00 with a period of 30 minutes.
    schedule::RowId addBoss(const std::string& name) {
        return zorvane::testing::addBossRow(m_session->table(), name);
    }

    // Sets the clock, runs one pass of the tick and tells whether it shows the countdown.
    // The test runs each pass itself: a pass of the real one-second timer may come late on
    // a busy machine, or twice at one clock reading.
    bool passAt(schedule::RowId id, int h, int m, int s, const char* countdown) {
        m_clock.set(h, m, s);
        m_session->tick()->onTick();
        const std::string shown = m_session->table().row(id)->text[schedule::kCountdownColumn];
        if (shown != countdown) {
            qWarning("countdown %s, expected %s", shown.c_str(), countdown);
        }
        return shown == countdown;
    }

private slots:
    void initTestCase() {
        // Without a bus the alerts still reach the window and the chime; only the
        // notification checks are skipped.
        m_withBus = !qEnvironmentVariableIsSet("ZORVANE_TEST_NO_BUS");
        QVERIFY2(!m_withBus || qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "run under dbus-run-session");
    }

    void init() {
        if (m_withBus) {
            m_server = std::make_unique<NotificationServer>();
            QVERIFY(zorvane::testing::startServer(*m_server));
        }
        m_clock.set(10, 0, 0);
        m_dir = std::make_unique<QTemporaryDir>();
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        // The window started the timer; passAt runs the passes instead.
        m_globals->tickTimer().stop();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
        if (m_server) {
            zorvane::testing::stopServer();
            m_server.reset();
        }
    }

    // The notifications' bus is connected once the window has painted, not while it is
    // made; an alert in between waits and then goes out.
    void notificationsConnectAfterTheFirstPaint() {
        if (!m_server) {
            QSKIP("needs a session bus");
        }
        m_window.reset();
        m_session.reset();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_globals->tickTimer().stop();
        QVERIFY(m_session->alerts() != nullptr);
        app::DesktopNotifier* notifier = m_session->alerts()->notifier();
        QVERIFY(notifier != nullptr);
        QVERIFY(!notifier->hasBus());

        m_clock.set(10, 58, 46);
        const schedule::RowId id = addBoss("血魔");
        QVERIFY(passAt(id, 10, 58, 46, "00时01分14秒"));
        QTest::qWait(100);
        QVERIFY(!notifier->hasBus());
        QCOMPARE(m_server->calls.size(), 0);

        m_window->show();
        QTRY_VERIFY(notifier->hasBus());
        QTRY_COMPARE(m_server->calls.size(), 1);
        QCOMPARE(m_server->calls[0].summary, QStringLiteral("血魔"));
        QCOMPARE(m_server->calls[0].body, QStringLiteral("1 分 14 秒后刷新"));
    }

    // The program's icon as the program wires it (app/main.cpp): the small sizes until the
    // first paint, then all of them in the window, its tray and the notifications, which
    // carry the 64 px picture of the whole icon as before. An alert whose bus comes before
    // any paint (a window not painted within a second) still carries that picture.
    void theWholeIconFollowsTheFirstPaint_data() {
        QTest::addColumn<bool>("painted");
        QTest::newRow("after the first paint") << true;
        QTest::newRow("the bus before any paint") << false;
    }
    void theWholeIconFollowsTheFirstPaint() {
        QFETCH(bool, painted);
        if (!m_server) {
            QSKIP("needs a session bus");
        }
        const QList<QSize> small{{16, 16}, {32, 32}, {48, 48}};
        const QList<QSize> whole{{16, 16}, {32, 32}, {48, 48}, {256, 256}};
        m_window.reset();
        m_session.reset();
        app::StartIcon startIcon;
        QCOMPARE(QApplication::windowIcon().availableSizes(), small);
        app::SessionSetup setup =
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString());
        setup.notificationIcon = [&startIcon] { return startIcon.notificationIcon(); };
        m_session = std::make_unique<app::Session>(std::move(setup));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        startIcon.completeAfterFirstPaint(*m_window);
        m_globals->tickTimer().stop();
        QCOMPARE(m_window->windowIcon().availableSizes(), small);

        m_clock.set(10, 58, 46);
        const schedule::RowId id = addBoss("血魔");
        QVERIFY(passAt(id, 10, 58, 46, "00时01分14秒"));
        if (painted) {
            m_window->show();
        } else {
            m_session->attachNotifierBus();
        }
        QTRY_COMPARE(m_server->calls.size(), 1);
        const auto image = qdbus_cast<app::NotificationImage>(
            m_server->calls[0].hints.value(QStringLiteral("image-data")).value<QDBusArgument>());
        const app::NotificationImage before =
            app::notificationImage(app::programIcon().pixmap(64).toImage());
        QCOMPARE(image.width, 64);
        QCOMPARE(image.height, 64);
        QCOMPARE(image.rowStride, before.rowStride);
        QVERIFY(image.data == before.data);
        QCOMPARE(QApplication::windowIcon().availableSizes(), whole);
        QTRY_COMPARE(m_window->windowIcon().availableSizes(), whole);
        // The tray's badge is drawn on the whole icon (its 64 px picture from the 256 px one).
        const app::AlertTray& tray = *m_window->tray();
        QCOMPARE(tray.icon().pixmap(64).toImage(),
                 app::trayIcon(app::programIcon(), tray.state()).pixmap(64).toImage());
        m_window.reset();
        QApplication::setWindowIcon(QIcon());
    }

    // A row first counted well inside its lead time (at a start, after an absence) is
    // announced with the true time left, not the lead time.
    void anAlertFoundLateSaysTheTrueTimeLeft() {
        if (!m_server) {
            QSKIP("needs a session bus");
        }
        // Killed at 10:00, period 30, first counted at 10:58:46: the cycle it rolls over to
        // is already 74 s from due.
        m_clock.set(10, 58, 46);
        const schedule::RowId id = addBoss("血魔");
        QVERIFY(passAt(id, 10, 58, 46, "00时01分14秒"));
        QTRY_COMPARE(m_server->calls.size(), 1);
        QCOMPARE(m_server->calls[0].summary, QStringLiteral("血魔"));
        QCOMPARE(m_server->calls[0].body, QStringLiteral("1 分 14 秒后刷新"));
    }

    void aCheckedRowIsAnnouncedAtEachLeadTimeAndWhenDue() {
        if (!m_server) {
            QSKIP("needs a session bus");
        }
        QVERIFY(m_session->preferences().extraLeadTimes.set(QStringLiteral("10")));
        const schedule::RowId id = addBoss(" 火龙 ");
        const QList<zorvane::testing::NotifyCall>& calls = m_server->calls;

        QVERIFY(passAt(id, 10, 19, 59, "00时10分01秒"));
        QVERIFY(passAt(id, 10, 20, 0, "00时10分00秒"));
        QTRY_COMPARE(calls.size(), 1);
        QCOMPARE(calls[0].summary, QStringLiteral("火龙"));
        QCOMPARE(calls[0].body, QStringLiteral("10 分钟后刷新"));
        QVERIFY2(!chimeSounding(), "only the warning minutes chime");
        QVERIFY2(trayText().contains(QStringLiteral("火龙  00时10分00秒")), qPrintable(trayText()));

        QVERIFY(passAt(id, 10, 24, 59, "00时05分01秒"));
        QVERIFY(passAt(id, 10, 25, 0, "00时05分00秒"));
        QTRY_COMPARE(calls.size(), 2);
        QCOMPARE(calls[1].body, QStringLiteral("5 分钟后刷新"));
        QCOMPARE(calls[1].replaces, calls[0].id);
        QTRY_VERIFY(chimeSounding());

        // 静音 in the notification stops the chime.
        emit m_server->ActionInvoked(calls[1].id, QStringLiteral("silence"));
        QTRY_VERIFY(!chimeSounding());

        QVERIFY(passAt(id, 10, 30, 0, "00时00分00秒"));
        QTRY_COMPARE(calls.size(), 3);
        QCOMPARE(calls[2].body, QStringLiteral("已刷新"));

        // 显示 selects the row.
        m_window->grid()->clearSelection();
        emit m_server->ActionInvoked(calls[2].id, QStringLiteral("show"));
        const int gridRow = m_session->table().rowIndex(id) - 1;
        QTRY_COMPARE(m_window->grid()->currentIndex().row(), gridRow);
        QVERIFY(m_window->grid()->selectionModel()->isSelected(m_window->grid()->currentIndex()));
    }

    void noNotificationWhenSwitchedOffButTheChimeStays() {
        QVERIFY(m_session->preferences().notificationsEnabled.set(false));
        const schedule::RowId id = addBoss("火龙");
        QVERIFY(passAt(id, 10, 24, 59, "00时05分01秒"));
        QVERIFY(passAt(id, 10, 25, 0, "00时05分00秒"));
        QTRY_VERIFY(chimeSounding());
        // The alert reached the window thread (the tooltip follows it) without a Notify.
        QTRY_VERIFY2(trayText().contains(QStringLiteral("火龙  00时05分00秒")),
                     qPrintable(trayText()));
        if (m_server) {
            QTest::qWait(200);
            QCOMPARE(m_server->calls.size(), 0);
        }
    }

    void theVolumeSettingReachesTheDevice() {
        alarm::SoundPlayer& device = m_session->tick()->device();
        QCOMPARE(device.volume(), 100);
        QVERIFY(m_session->preferences().volume.set(40));
        QCOMPARE(device.volume(), 40);
    }

    void escAndStopSilenceTheChime() {
        const std::string dir = m_dir->path().toStdString();
        alarm::soundAlarm(m_session->tick()->device(), "", dir);
        QTRY_VERIFY(chimeSounding());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!chimeSounding());

        alarm::soundAlarm(m_session->tick()->device(), "", dir);
        QTRY_VERIFY(chimeSounding());
        QTest::mouseClick(m_window->startStopButton(), Qt::LeftButton);
        QCOMPARE(m_window->startStopButton()->text(), QStringLiteral("启动"));
        QTRY_VERIFY(!chimeSounding());
    }

    void escInACellEditorCancelsTheEditAndLeavesTheChime() {
        addBoss("火龙");
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        app::BossGrid* grid = m_window->grid();
        const QModelIndex name = grid->model()->index(0, schedule::kNameColumn);
        grid->setCurrentIndex(name);
        static_cast<QAbstractItemView*>(grid)->edit(name);
        QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
        QPointer<QLineEdit> editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(grid->viewport()->isAncestorOf(editor));
        editor->setText(QStringLiteral("改了"));

        alarm::soundAlarm(m_session->tick()->device(), "", m_dir->path().toStdString());
        QTRY_VERIFY(chimeSounding());
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(editor.isNull() || !editor->isVisible());
        QVERIFY(chimeSounding());
        QCOMPARE(m_session->table().row(m_session->table().rowId(1))->text[schedule::kNameColumn],
                 "火龙");
        // Back in the window, Esc silences again.
        QTest::keyClick(grid, Qt::Key_Escape);
        QTRY_VERIFY(!chimeSounding());
    }

    void preferencesButtonOpensTheDialogInTheFreeSpaceOfTheTopRow() {
        QPushButton* button = m_window->preferencesButton();
        QCOMPARE(button->text(), QStringLiteral("首选项"));
        // No component of the window overlaps it.
        for (const QWidget* other : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != button && other->isVisible()) {
                QVERIFY2(!other->geometry().intersects(button->geometry()),
                         qPrintable(other->objectName()));
            }
        }
        QTest::mouseClick(button, Qt::LeftButton);
        auto* dialog = m_window->findChild<app::PreferencesDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        // A second click raises the same dialog.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_window->findChildren<app::PreferencesDialog*>().size(), 1);
    }

    void speechAndRepeatingFollowThePreferencesAndEscEndsThem() {
        QVERIFY(m_session->preferences().speechEnabled.set(true));
        QVERIFY(m_session->preferences().repeatSeconds.set(10));
        const schedule::RowId id = addBoss("火龙");
        QVERIFY(passAt(id, 10, 29, 59, "00时00分01秒"));
        QVERIFY(!chimeSounding());
        QVERIFY(passAt(id, 10, 30, 0, "00时00分00秒"));
        QTRY_VERIFY(chimeSounding());
        alarm::AlertSounds& sounds = m_session->tick()->sounds();
        QVERIFY(sounds.repeating());
        alarm::SoundPlayer& device = m_session->tick()->device();
        // Synthesis may take a while on a busy machine.
        QTRY_VERIFY_WITH_TIMEOUT(device.isPlaying(alarm::kSpeechAliasPrefix + std::string("0")),
                                 60000);
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!chimeSounding());
        QVERIFY(!device.isPlaying(alarm::kSpeechAliasPrefix + std::string("0")));
        QVERIFY(!sounds.repeating());
    }

    void aRowsOwnLeadTimesComeFromItsMenuAreSavedAndReplaceTheGlobalOnes() {
        QVERIFY(m_session->preferences().extraLeadTimes.set(QStringLiteral("10")));
        const schedule::RowId id = addBoss("火龙");
        const int row = m_session->table().rowIndex(id);
        const std::unique_ptr<QMenu> menu = m_window->rowMenu()->menuForRow(row);
        QVERIFY(menu);
        QAction* entry = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("提前提醒…")) {
                entry = action;
            }
        }
        QVERIFY(entry);
        entry->trigger();
        auto* dialog = m_window->findChild<app::LeadTimesDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->ownBox()->isChecked());

        // A list that cannot be read keeps the dialog open and says why.
        dialog->ownBox()->setChecked(true);
        dialog->listEdit()->setText(QStringLiteral("40, abc"));
        dialog->accept();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->noteLabel()->text().contains(QStringLiteral("“abc”")));
        QVERIFY(!m_session->table().timing(row)->leadMinutes);

        dialog->listEdit()->setText(QStringLiteral("40, 2"));
        const QString never = QStringLiteral("提前 40 分钟的提醒不会响：不短于周期 30 分钟");
        QCOMPARE(dialog->noteLabel()->text(), never);
        dialog->accept();
        QCOMPARE(m_session->table().timing(row)->leadMinutes, (std::vector<int>{40, 2}));
        m_session->writer().flush();
        const std::filesystem::path file = config::tableFilePath(m_dir->path().toStdString());
        QCOMPARE(config::readIniValue(file, "LeadTimes", "1"), std::string("40, 2"));
        const QModelIndex name = m_window->grid()->model()->index(row - 1, schedule::kNameColumn);
        QCOMPARE(name.data(app::BossTableModel::LeadTimesNoteRole).toString(), never);
        QCOMPARE(name.data(Qt::ToolTipRole).toString(), never);

        // The tick announces the row's 2 minutes, not the preferences' 10.
        QVERIFY(passAt(id, 10, 19, 59, "00时10分01秒"));
        QVERIFY(passAt(id, 10, 20, 0, "00时10分00秒"));
        QVERIFY(passAt(id, 10, 27, 59, "00时02分01秒"));
        QVERIFY(passAt(id, 10, 28, 0, "00时02分00秒"));
        if (m_server) {
            // The warning minutes, first found at 10:27:59, and the row's own 2 minutes: both
            // say the time truly left.
            QTRY_COMPARE(m_server->calls.size(), 2);
            QCOMPARE(m_server->calls[0].body, QStringLiteral("2 分钟后刷新"));
            QCOMPARE(m_server->calls[1].body, QStringLiteral("2 分钟后刷新"));
        }
    }

    // Minimised or hidden into the tray, the window makes nothing per second: the clock
    // makes no text and moved counts are not handed over; the alerts still come. Shown
    // again, the clock and the counts are brought up to date at once.
    void nothingPerSecondWhileNobodySeesTheWindow_data() {
        QTest::addColumn<bool>("minimise"); // else hidden into the tray
        QTest::addColumn<bool>("overlay");  // the overlay shows the counts meanwhile
        QTest::newRow("minimised") << true << false;
        QTest::newRow("hidden into the tray") << false << false;
        QTest::newRow("minimised beside the overlay") << true << true;
    }
    void nothingPerSecondWhileNobodySeesTheWindow() {
        QFETCH(bool, minimise);
        QFETCH(bool, overlay);
        // The test runs the clock's handler itself, as its worker would.
        m_globals->clockTimer().stop();
        const schedule::RowId id = addBoss("火龙");
        QVERIFY(passAt(id, 10, 0, 1, "00时29分59秒"));
        if (overlay) {
            m_window->toggleOverlay();
            QVERIFY(m_window->overlay()->isVisible());
        }
        QSignalSpy advanced(&m_window->gridController().model(),
                            &app::BossTableModel::countdownsAdvanced);
        if (minimise) {
            m_window->showMinimized();
        } else {
            m_window->hide();
        }
        QTRY_VERIFY(minimise ? m_window->isMinimized() : !m_window->isVisible());
        QCoreApplication::processEvents();
        advanced.clear();
        const QString clockBefore = m_window->clockLabel()->text();
        for (int second = 2; second <= 4; ++second) {
            QVERIFY(passAt(id, 10, 0, second,
                           qPrintable(QStringLiteral("00时29分%1秒").arg(60 - second))));
            m_window->onClockTick();
            QCoreApplication::processEvents();
        }
        QCOMPARE(m_window->clockLabel()->text(), clockBefore);
        if (overlay) {
            QTRY_VERIFY(advanced.count() >= 3);
        } else {
            QCOMPARE(advanced.count(), 0);
        }
        // The warning minutes chime while nobody looks.
        QVERIFY(passAt(id, 10, 25, 0, "00时05分00秒"));
        QTRY_VERIFY(chimeSounding());

        advanced.clear();
        m_window->showNormal();
        QTRY_VERIFY(m_window->isVisible() && !m_window->isMinimized());
        QTRY_VERIFY(advanced.count() >= (overlay ? 0 : 1));
        QVERIFY(m_window->clockLabel()->text() != clockBefore);
        QVERIFY(m_window->clockLabel()->text().startsWith(QStringLiteral("北京时间：")));
        QCOMPARE(m_window->grid()
                     ->model()
                     ->index(m_session->table().rowIndex(id) - 1, schedule::kCountdownColumn)
                     .data()
                     .toString(),
                 QStringLiteral("00时05分00秒"));
    }

private:
    zorvane::testing::FakeClock m_clock;
    bool m_withBus = true;
    std::unique_ptr<NotificationServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(AlertsTest)
#include "test_alerts.moc"
