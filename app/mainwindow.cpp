#include "app/mainwindow.h"

#include "app/alertcenter.h"
#include "app/alerttray.h"
#include "app/announcementview.h"
#include "app/awaypanel.h"
#include "app/bossgrid.h"
#include "app/clickablelabel.h"
#include "app/desktopnotifier.h"
#include "app/globals.h"
#include "app/gridcontroller.h"
#include "app/handoff.h"
#include "app/historydialog.h"
#include "app/preferences.h"
#include "app/preferencesdialog.h"
#include "app/roomconnection.h"
#include "app/roomstatus.h"
#include "app/rowmenu.h"
#include "app/soundchooser.h"
#include "app/ticksupport.h"
#include "app/writenotice.h"
#include "config/configfiles.h"
#include "config/sessionfile.h"
#include "history/killhistory.h"
#include "schedule/away.h"
#include "schedule/datetime.h"
#include "text/fileio.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>

namespace zorvane::app {
namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 540;
constexpr int kTimerIntervalMs = 1000;
// How often the program notes that it is running: a crash loses at most this much, so
// cycles that came due in the last minute before a crash may be listed as missed.
constexpr int kLastSeenIntervalMs = 60 * 1000;

const QString kStopCaption = QStringLiteral("停止");
const QString kStartCaption = QStringLiteral("启动");

// The Kai face: KaiTi where it exists (Windows), the AR PL UKai font elsewhere.
QFont kaiFont(int pixelHeight) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
#ifndef Q_OS_WIN
    // Hinting this face makes FreeType's auto-hinter sample dozens of glyphs across the
    // 17 MB file (about 4 MB resident for three labels); unhinted, only the drawn glyphs
    // are read (about 1 MB), and at these sizes the brush strokes look the same. Windows
    // keeps its default, which a hinting request would move to another renderer.
    font.setHintingPreference(QFont::PreferNoHinting);
#endif
    return font;
}

QString defaultWarnMinutes() {
    return QString::fromUtf8(config::kDefaultWarnMinutes.data(),
                             static_cast<qsizetype>(config::kDefaultWarnMinutes.size()));
}

template <typename W> W* place(W* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

} // namespace

MainWindow::MainWindow(AppContext context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_context(context) {
    setObjectName(QStringLiteral("Zorvane"));
    setWindowTitle(QStringLiteral("Zorvane"));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    buildComponents();
    wireAlarm();
    wireAlerts();
    wireHistory();
    wireRoom();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    onWindowCreated();
    // After the table is loaded, so the room's retained kills meet its rows.
    m_room->rejoin();
}

MainWindow::~MainWindow() {
    m_context.globals.stopWorkers();
    noteRunning();
}

void MainWindow::buildComponents() {
    m_startStopButton = place(new QPushButton(kStopCaption, this), "按钮2", 8, 8, 60, 30);
    m_addButton = place(new QPushButton(QStringLiteral("新增"), this), "按钮1", 72, 8, 60, 30);
    m_deleteButton = place(new QPushButton(QStringLiteral("删除"), this), "按钮3", 136, 8, 60, 30);

    m_warnLabel =
        place(new QLabel(QStringLiteral("提前     分钟预警"), this), "标签2", 208, 8, 176, 30);
    m_warnLabel->setFont(kaiFont(20));
    // Created after the label so that it lies on top of the label's five-space gap.
    m_warnMinutesEdit = place(new QLineEdit(defaultWarnMinutes(), this), "编辑框1", 258, 8, 30, 30);
    m_warnMinutesEdit->setFont(kaiFont(20));

    // In the free space of the top row, between the warning minutes and the clock.
    m_preferencesButton =
        place(new QPushButton(QStringLiteral("首选项"), this), "首选项按钮", 396, 8, 64, 30);

    m_clockLabel = place(new QLabel(QStringLiteral("标签"), this), "标签1", 544, 8, 232, 40);
    m_clockLabel->setFont(kaiFont(16));

    m_noteIcon = place(new QLabel(this), "图片框1", 30, 47, 20, 20);
    const QPixmap note(QStringLiteral(":/assets/music-note.png"));
    m_noteIcon->setPixmap(note.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    m_soundPathEdit = place(new QLineEdit(this), "编辑框2", 53, 47, 328, 20);
    m_soundLabel =
        place(new ClickableLabel(QStringLiteral("设置"), this), "标签3", 384, 46, 40, 20);
    m_soundLabel->setCursor(Qt::PointingHandCursor);

    m_grid = place(new BossGrid(this), "高级表格1", 0, 72, 792, 320);
    m_viewer = place(new AnnouncementViewer(this), "超文本浏览框1", 0, 400, 792, 140);
    // In the free space right of "设置", below the clock.
    m_writeNotice = place(new WriteNotice(this), "写入提示", 432, 48, 352, 22);
    m_tableStore = std::make_unique<config::ConfigTableStore>(programPath(), m_writeNotice);

    schedule::MessageSink& messages = m_context.messages
                                          ? *m_context.messages
                                          : static_cast<schedule::MessageSink&>(m_messageBox);
    m_gridController = std::make_unique<GridController>(
        m_table, *m_grid, m_context.clock, *m_tableStore, messages, *m_warnMinutesEdit);

    connect(m_startStopButton, &QPushButton::clicked, this, &MainWindow::onStartStopClicked);
    connect(m_addButton, &QPushButton::clicked, m_gridController.get(),
            &GridController::onAddClicked);
    connect(m_deleteButton, &QPushButton::clicked, m_gridController.get(),
            &GridController::onDeleteClicked);
    connect(m_warnMinutesEdit, &QLineEdit::textChanged, this, &MainWindow::onWarnMinutesChanged);
    connect(m_preferencesButton, &QPushButton::clicked, this, &MainWindow::openPreferences);
}

std::filesystem::path MainWindow::programPath() const {
    return text::pathFromUtf8(m_context.programDir);
}

void MainWindow::wireAlarm() {
    m_preferences = std::make_unique<Preferences>(QString::fromStdString(text::utf8FromPath(
        programPath() / text::pathFromUtf8(Preferences::fileName().toStdString()))));
    m_tickSupport = std::make_unique<TickSupport>(
        m_table, m_context.clock, m_context.globals.tickLock(), m_warnMinutesEdit, m_soundPathEdit,
        m_context.programDir, m_writeNotice);
    // The tick reads the extra lead times from its own copy, never from the file.
    m_tickSupport->setExtraLeadMinutes(m_preferences->extraLeadMinutes());
    m_preferences->extraLeadTimes.onChanged(this, [this](const QString&) {
        m_tickSupport->setExtraLeadMinutes(m_preferences->extraLeadMinutes());
    });
    m_tickSupport->device().setVolume(m_preferences->volume.get());
    m_preferences->volume.onChanged(
        this, [this](const int& percent) { m_tickSupport->device().setVolume(percent); });
    m_soundChooser =
        new SoundChooser(this, m_soundPathEdit, m_context.programDir, *m_tableStore, this);
    m_soundChooser->setSoundCheck(
        [support = m_tickSupport.get()](const std::string& file, auto done) {
            support->checkSound(file, std::move(done));
        });
    m_soundChooser->setMessageSink(m_context.messages ? m_context.messages : &m_messageBox);
    connect(m_soundLabel, &ClickableLabel::leftPressed, m_soundChooser,
            &SoundChooser::onSoundLabelPressed);
}

void MainWindow::wireAlerts() {
    const QIcon icon = QApplication::windowIcon();
    m_notifier = new DesktopNotifier(QDBusConnection::sessionBus(),
                                     icon.isNull() ? QImage() : icon.pixmap(64).toImage(),
                                     QStringLiteral("zorvane"), this);
    m_tray = new AlertTray(icon, this);
    m_alertCenter = new AlertCenter(this, m_table, *m_preferences, m_notifier, m_tray, this);
    m_tickSupport->setAlertListener(m_alertCenter);

    connect(m_notifier, &DesktopNotifier::showRequested, this, &MainWindow::showRow);
    connect(m_notifier, &DesktopNotifier::silenceRequested, this, &MainWindow::silence);
    connect(m_tray, &AlertTray::silenceRequested, this, &MainWindow::silence);
    connect(m_tray, &AlertTray::startStopRequested, this, &MainWindow::onStartStopClicked);
    connect(m_tray, &AlertTray::preferencesRequested, this, &MainWindow::openPreferences);
    connect(m_tray, &AlertTray::toggleWindowRequested, this, &MainWindow::toggleWindow);
    connect(m_tray, &AlertTray::quitRequested, this, [this] {
        close();
        QApplication::quit();
    });

    m_silenceShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_silenceShortcut->setContext(Qt::WindowShortcut);
    // An open cell editor still gets Esc first (its delegate claims it) to cancel the edit.
    connect(m_silenceShortcut, &QShortcut::activated, this, &MainWindow::silence);
}

void MainWindow::silence() {
    m_tickSupport->stopSounds();
}

void MainWindow::showRow(schedule::RowId row) {
    if (isHidden() || isMinimized()) {
        showNormal();
    }
    m_tray->setWindowVisible(true);
    raise();
    activateWindow();
    // The grid shows the data rows without the header row.
    if (const int index = m_table.rowIndex(row); index > 0) {
        const QModelIndex name = m_grid->model()->index(index - 1, schedule::kNameColumn);
        m_grid->selectionModel()->setCurrentIndex(name, QItemSelectionModel::ClearAndSelect);
        m_grid->scrollTo(name);
    }
}

void MainWindow::toggleWindow() {
    // Hidden only into a tray the user can see.
    if (isVisible() && m_tray->isShown()) {
        hide();
        m_tray->setWindowVisible(false);
    } else {
        showNormal();
        raise();
        activateWindow();
        m_tray->setWindowVisible(true);
    }
}

PreferencesDialog* MainWindow::openPreferences() {
    if (!m_preferencesDialog) {
        m_preferencesDialog = new PreferencesDialog(*m_preferences, this);
        m_preferencesDialog->setAttribute(Qt::WA_DeleteOnClose);
        std::vector<std::pair<QString, bool>> rows;
        for (const schedule::BossRow& row : m_table.rows()) {
            rows.emplace_back(QString::fromStdString(text::trim(row.text[schedule::kNameColumn])),
                              row.use);
        }
        m_preferencesDialog->setSharedRows(rows);
    }
    m_preferencesDialog->show();
    m_preferencesDialog->raise();
    m_preferencesDialog->activateWindow();
    return m_preferencesDialog;
}

void MainWindow::wireHistory() {
    const std::filesystem::path file =
        programPath() / text::pathFromUtf8(history::kHistoryFileName);
    m_killLog = std::make_unique<history::SqliteKillLog>(file);
    // What went wrong with the history shows in the window's notice line, beside failed
    // writes of the other files. Later notices come from the history's writer thread;
    // the notice line takes reports from any thread.
    const auto report = [notice = m_writeNotice,
                         name = text::utf8FromPath(file)](const std::string& text) {
        if (!text.empty()) {
            notice->writeFailed(name, text);
        }
    };
    report(m_killLog->notice());
    m_killLog->setNoticeHandler(report);
    m_gridController->setKillLog(m_killLog.get());
    m_tickSupport->setKillLog(m_killLog.get());

    m_rowMenu = new RowMenu(*m_grid, m_table);
    m_rowMenu->addEntry(QStringLiteral("历史记录…"),
                        [this](schedule::RowId row) { openHistory(row); });
}

void MainWindow::wireRoom() {
    m_room = std::make_unique<RoomConnection>(
        m_table, *m_preferences,
        [controller = m_gridController.get()](schedule::RowId row, schedule::UtcSeconds killUtc,
                                              const std::string& sender) {
            return controller->applyRemoteKill(row, killUtc, sender);
        });
    // Every kill the grid records passes the room on its way to the history.
    m_room->setKillLog(m_killLog.get());
    m_gridController->setKillLog(m_room.get());
    // In the place of the write notice, which takes it over while a write fails.
    m_roomLine =
        place(new RoomStatusLine(*m_room, m_writeNotice, this), "房间状态", 432, 48, 352, 22);
    m_writeNotice->raise();
    connect(m_roomLine, &ClickableLabel::leftPressed, this, [this] {
        if (!m_room->offers().empty()) {
            openRoomOffers();
        }
    });
}

RoomOffersPanel* MainWindow::openRoomOffers() {
    if (!m_offersPanel) {
        m_offersPanel = new RoomOffersPanel(*m_room, this);
        m_offersPanel->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_offersPanel->show();
    m_offersPanel->raise();
    return m_offersPanel;
}

HistoryDialog* MainWindow::openHistory(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    if (!boss) {
        return nullptr;
    }
    // The history knows the boss by the name its kills were recorded under.
    auto* dialog = new HistoryDialog(*m_killLog,
                                     {text::trim(boss->text[schedule::kNameColumn]),
                                      text::textToInteger(boss->text[schedule::kPeriodColumn]),
                                      text::textToInteger(boss->text[schedule::kDelayColumn])},
                                     this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setExportDirectory(QString::fromStdString(m_context.programDir));
    dialog->show();
    return dialog;
}

void MainWindow::onWindowCreated() {
    const std::filesystem::path dir = programPath();
    // Told before any write fails on its own: nothing the user changes can be kept.
    if (std::string error; !text::canCreateFilesIn(dir, &error)) {
        m_writeNotice->writeFailed(text::utf8FromPath(config::tableFilePath(dir).parent_path()),
                                   error);
    }
    // Column widths, the check-box column and the header row.
    m_gridController->setupColumns();
    config::loadTable(m_table, dir);
    // Every row's last time gets its instant now, before the first pass starts the
    // current cycles, so the missed cycles can still be counted.
    schedule::dateUndatedRows(m_table, m_context.clock.now());
    showMissedWhileAway();
    m_soundPathEdit->setText(QString::fromStdString(config::readSoundPath(dir)));

    startAnnouncement(m_context.globals, m_viewer, m_context.announcementUrl, m_context.programDir,
                      m_context.announcementFetcher);
    showStoredWarnMinutes();
    m_gridController->centreCells();

    AppGlobals& globals = m_context.globals;
    globals.clockTimer().start([this](std::intptr_t) { onClockTick(); }, kTimerIntervalMs);
    startTick();
}

void MainWindow::showMissedWhileAway() {
    const std::optional<schedule::UtcSeconds> lastSeen = config::readLastSeen(programPath());
    if (lastSeen) {
        const std::vector<schedule::MissedRow> missed = schedule::missedWhileAway(
            m_table.rows(), *lastSeen, schedule::toUtc(m_context.clock.now()));
        if (!missed.empty()) {
            m_awayPanel = new AwayPanel(missed, this);
            // Shown once the window itself is up, beside it and without blocking it.
            QTimer::singleShot(0, m_awayPanel, &QWidget::show);
        }
    }
    noteRunning();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &MainWindow::noteRunning);
    timer->start(kLastSeenIntervalMs);
}

void MainWindow::noteRunning() {
    // Only the panel at the next start depends on it; a failed write there lists a few
    // cycles too many at worst, so it is retried with the next note and not reported.
    config::writeLastSeen(programPath(), schedule::toUtc(m_context.clock.now()));
}

void MainWindow::showStoredWarnMinutes() {
    // Each setText raises textChanged, so onWarnMinutesChanged stores what is set.
    m_warnMinutesEdit->setText(QString::fromStdString(config::readWarnMinutes(programPath())));
    if (m_warnMinutesEdit->text().isEmpty()) {
        m_warnMinutesEdit->setText(defaultWarnMinutes());
        m_tableStore->writeWarnMinutes(config::kDefaultWarnMinutes);
    }
}

void MainWindow::onWarnMinutesChanged(const QString& text) {
    m_tableStore->writeWarnMinutes(text.toStdString());
}

void MainWindow::startTick() {
    m_context.globals.tickTimer().start([this](std::intptr_t) { m_tickSupport->onTick(); },
                                        kTimerIntervalMs);
}

void MainWindow::onStartStopClicked() {
    IntervalTimer& tick = m_context.globals.tickTimer();
    if (m_startStopButton->text() == kStopCaption) {
        tick.stop();
        m_startStopButton->setText(kStartCaption);
        // A stopped timer leaves no chime sounding.
        silence();
    } else {
        startTick();
        m_startStopButton->setText(kStopCaption);
    }
    m_tray->setTickRunning(m_startStopButton->text() == kStopCaption);
}

void MainWindow::onClockTick() {
    CriticalSectionLock& lock = m_context.globals.clockLock();
    lock.enter();
    const QString text = QStringLiteral("北京时间：") +
                         QString::fromStdString(schedule::clockTimeText(m_context.clock.now()));
    // Widgets belong to the window thread; the worker only posts the new caption.
    handOff(m_clockLabel, [label = m_clockLabel, text] { label->setText(text); });
    lock.leave();
}

} // namespace zorvane::app
