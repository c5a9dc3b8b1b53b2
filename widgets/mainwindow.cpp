#include "widgets/mainwindow.h"

#include "cli/tablecommands.h"
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "models/bosstablemodel.h"
#include "models/builtinimage.h"
#include "periodic/globals.h"
#include "schedule/datetime.h"
#include "schedule/serverzone.h"
#include "schedule/tableops.h"
#include "services/alertdispatch.h"
#include "services/bossnotebook.h"
#include "services/configwriter.h"
#include "services/desktopnotifier.h"
#include "services/handoff.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "services/portalshortcuts.h"
#include "services/preferences.h"
#include "services/pushlink.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "text/fileio.h"
#include "text/numbers.h"
#include "text/textops.h"
#include "widgets/alertcenter.h"
#include "widgets/alerttray.h"
#include "widgets/announcementview.h"
#include "widgets/awaypanel.h"
#include "widgets/bossgrid.h"
#include "widgets/bosslisttransfer.h"
#include "widgets/bossnotedialog.h"
#include "widgets/clickablelabel.h"
#include "widgets/filterbox.h"
#include "widgets/firstpaint.h"
#include "widgets/gridcontroller.h"
#include "widgets/historydialog.h"
#include "widgets/kaiface.h"
#include "widgets/leadtimesdialog.h"
#include "widgets/linesdialog.h"
#include "widgets/overlay.h"
#include "widgets/preferencesdialog.h"
#include "widgets/roompanel.h"
#include "widgets/roomstatus.h"
#include "widgets/rowmenu.h"
#include "widgets/shortcutpage.h"
#include "widgets/soundchooser.h"
#include "widgets/spawnruledialog.h"
#include "widgets/writenotice.h"
#include "work/residentcode.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>

#include <algorithm>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace zorvane::app {
namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 540;
// Where the grid starts, and the announcement pane's height and gap when it is shown.
// Below the filter box's row.
constexpr int kGridTop = 100;
constexpr int kViewerHeight = 140;
constexpr int kViewerGap = 8;
constexpr int kMenuButtonSize = 26;

// "792,540" as stored; an invalid size for anything else.
QSize storedSize(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    bool ok[2] = {false, false};
    if (parts.size() != 2) {
        return {};
    }
    const QSize size(parts[0].trimmed().toInt(&ok[0]), parts[1].trimmed().toInt(&ok[1]));
    return ok[0] && ok[1] ? size : QSize();
}
constexpr int kClockIntervalMs = 1000;
// The latest moment the notifications' bus is attached when the first paint has not come.
constexpr int kLateBusMs = 1000;
// After the first paint, when the tray, the announcement and the tick's first passes are
// under way: the start's transient memory is free by then.
constexpr int kReleaseAfterPaintMs = 3000;
// Later, when the work after the first paint is done and the clock has shown every digit
// (its glyphs are cached): the pages of the code and of the Kai face that only the start read.
constexpr int kReleasePagesAfterPaintMs = 12000;

// Start-up leaves free memory scattered through glibc's arenas (the table file's parse on
// the reader thread, the first paint, the tick's first pass); glibc hands back only what is
// free at the top of each arena, so the rest stays resident for as long as the window runs.
void releaseFreeMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The start leaves mapped the pages of the executable's code it ran and of the faces'
// glyphs it drew, 64 kB around each page read; an idle window runs a small part of that
// code and draws its glyphs from Qt's cache. Unmapped, they are mapped back as used.
void releaseStartPages() {
    // Every face FreeType mapped (the Kai face, the grid's Latin one and the one its Chinese
    // texts fall back to) and the executable, in one reading of the mappings, which costs
    // milliseconds each.
    std::vector<std::string> files = work::mappedFontFiles();
    if (std::string exe = work::executablePath(); !exe.empty()) {
        files.push_back(std::move(exe));
    }
    work::releaseMappingsOf(files);
}

// The caption shows what a click does; whether the timer runs is kept in m_tickRunning.
QString startStopCaption(bool running) {
    return running ? QCoreApplication::translate("Zorvane", "停止")
                   : QCoreApplication::translate("Zorvane", "启动");
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

MainWindow::MainWindow(Session& session, WindowSetup setup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_session(session), m_setup(std::move(setup)) {
    setObjectName(QStringLiteral("Zorvane"));
    setWindowTitle(QStringLiteral("Zorvane"));
    // The first start's size is the smallest; the grid takes whatever the player adds.
    setMinimumSize(kClientWidth, kClientHeight);
    const QSize remembered = storedSize(m_session.preferences().windowSize.get());
    resize(remembered.isValid() ? remembered.expandedTo(minimumSize())
                                : QSize(kClientWidth, kClientHeight));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    buildComponents();
    wireAlarm();
    wireAlerts();
    wireHistory();
    wireKeyboard();
    wireGroups();
    wireLines();
    wireOverlay();
    wireRoom();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        if (!area.contains(QRect(area.topLeft(), size()))) {
            resize(size().boundedTo(area.size()).expandedTo(minimumSize()));
        }
        move(area.center() - rect().center());
    }
    if (m_session.preferences().windowMaximized.get()) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    onWindowCreated();
    // After the table is loaded, so the room's retained kills meet its rows.
    m_session.joinRoom();
}

MainWindow::~MainWindow() {
    m_session.globals()->stopWorkers();
    m_session.notes().setChanged({});
    m_session.setNoticeSink(nullptr);
    // What the grid's undo stack keeps refers to the grid; the path outlives it.
    m_session.kills().setRecorded({});
}

void MainWindow::buildComponents() {
    m_startStopButton = place(new QPushButton(startStopCaption(true), this), "按钮2", 8, 8, 60, 30);
    m_addButton = place(new QPushButton(QCoreApplication::translate("Zorvane", "新增"), this),
                        "按钮1", 72, 8, 60, 30);
    m_deleteButton = place(new QPushButton(QCoreApplication::translate("Zorvane", "删除"), this),
                           "按钮3", 136, 8, 60, 30);

    m_warnLabel =
        place(new QLabel(QCoreApplication::translate("Zorvane", "提前     分钟预警"), this),
              "标签2", 208, 8, 176, 30);
    m_warnLabel->setFont(kaiFont(20));
    // Created after the label so that it lies on top of the label's five-space gap.
    m_warnMinutesEdit = place(new QLineEdit(defaultWarnMinutes(), this), "编辑框1", 258, 8, 30, 30);
    m_warnMinutesEdit->setFont(kaiFont(20));

    // In the free space of the top row, between the warning minutes and the clock.
    m_preferencesButton =
        place(new QPushButton(QCoreApplication::translate("Zorvane", "首选项"), this), "首选项按钮",
              396, 8, 64, 30);
    m_overlayButton = place(new QPushButton(QCoreApplication::translate("Zorvane", "悬浮窗"), this),
                            "悬浮窗按钮", 464, 8, 64, 30);
    m_overlayButton->setToolTip(
        QCoreApplication::translate("Zorvane", "显示或隐藏悬浮窗（Ctrl+Shift+O）"));

    m_clockLabel = place(new QLabel(QCoreApplication::translate("Zorvane", "标签"), this), "标签1",
                         544, 8, 214, 40);
    m_clockLabel->setFont(kaiFont(16));

    m_noteIcon = place(new QLabel(this), "图片框1", 30, 47, 20, 20);
    // Drawn at the size it shows (assets/make-music-note.sh): decoding and scaling the large
    // picture took a millisecond of every start.
    m_noteIcon->setPixmap(
        QPixmap::fromImage(builtInPng(QStringLiteral(":/assets/music-note-20.png"))));

    m_soundPathEdit = place(new QLineEdit(this), "编辑框2", 53, 47, 328, 20);
    m_soundLabel = place(new ClickableLabel(QCoreApplication::translate("Zorvane", "设置"), this),
                         "标签3", 384, 46, 40, 20);
    m_soundLabel->setCursor(Qt::PointingHandCursor);

    m_filterEdit = place(new FilterBox(this), "筛选框", 8, 74, 360, 22);
    m_grid = place(new BossGrid(this), "高级表格1", 0, kGridTop, 792, 320);
    m_viewer = place(new AnnouncementViewer(this), "超文本浏览框1", 0, 400, 792, kViewerHeight);
    buildMenu();
    // In the free space right of "设置", below the clock.
    m_writeNotice = place(new WriteNotice(this), "写入提示", 432, 48, 352, 22);
    // Failed writes, sound trouble and history notices of the session show here.
    m_session.setNoticeSink(m_writeNotice);

    schedule::MessageSink& messages =
        m_setup.messages ? *m_setup.messages : static_cast<schedule::MessageSink&>(m_messageBox);
    m_gridController = std::make_unique<GridController>(
        m_session.table(), *m_grid, m_session.clock(), m_session.kills(), m_session.writer(),
        messages, *m_warnMinutesEdit);
    m_questionBoxes = std::make_unique<QuestionBoxes>(this);
    m_gridController->setQuestions(m_setup.questions ? m_setup.questions : m_questionBoxes.get());
    m_bossListDialogs = std::make_unique<BossListFileDialogs>(this);
    m_bossLists = std::make_unique<BossListTransfer>(
        m_session, m_setup.bossListDialogs ? *m_setup.bossListDialogs : *m_bossListDialogs);

    connect(m_startStopButton, &QPushButton::clicked, this, &MainWindow::onStartStopClicked);
    connect(m_addButton, &QPushButton::clicked, m_gridController.get(),
            &GridController::onAddClicked);
    connect(m_deleteButton, &QPushButton::clicked, m_gridController.get(),
            &GridController::onDeleteClicked);
    connect(m_warnMinutesEdit, &QLineEdit::textChanged, this, &MainWindow::onWarnMinutesChanged);
    connect(m_preferencesButton, &QPushButton::clicked, this, &MainWindow::openPreferences);
}

void MainWindow::wireAlarm() {
    TickSupport& tick = *m_session.tick();
    Preferences& preferences = m_session.preferences();
    // The tick reads the two boxes through its own copies of their texts.
    tick.setWarnMinutesText(m_warnMinutesEdit->text().toStdString());
    tick.setSoundPath(m_soundPathEdit->text().toStdString());
    connect(m_warnMinutesEdit, &QLineEdit::textChanged, this,
            [&tick](const QString& text) { tick.setWarnMinutesText(text.toStdString()); });
    connect(m_soundPathEdit, &QLineEdit::textChanged, this,
            [&tick](const QString& text) { tick.setSoundPath(text.toStdString()); });
    m_gridController->model().setExtraLeadMinutes(preferences.extraLeadMinutes());
    preferences.extraLeadTimes.onChanged(this, [this, &preferences](const QString&) {
        m_gridController->model().setExtraLeadMinutes(preferences.extraLeadMinutes());
    });
    m_soundChooser =
        new SoundChooser(this, m_soundPathEdit, m_session.programDir(), m_session.writer(), this);
    m_soundChooser->setSoundCheck(
        [&tick](const std::string& file, auto done) { tick.checkSound(file, std::move(done)); });
    m_soundChooser->setMessageSink(m_setup.messages ? m_setup.messages : &m_messageBox);
    connect(m_soundLabel, &ClickableLabel::leftPressed, m_soundChooser,
            &SoundChooser::onSoundLabelPressed);
}

void MainWindow::wireAlerts() {
    // The icon goes into the tray after the first paint (see onWindowCreated).
    m_tray = new AlertTray(windowIcon(), false, this);
    AlertDispatch* alerts = m_session.alerts();
    m_alertCenter = new AlertCenter(this, m_gridController->model(), alerts, m_tray, this);
    if (alerts != nullptr) {
        if (DesktopNotifier* notifier = alerts->notifier()) {
            connect(notifier, &DesktopNotifier::showRequested, this, &MainWindow::showRow);
            connect(notifier, &DesktopNotifier::silenceRequested, this, &MainWindow::silence);
        }
    }
    connect(m_tray, &AlertTray::silenceRequested, this, &MainWindow::silence);
    connect(m_tray, &AlertTray::startStopRequested, this, &MainWindow::onStartStopClicked);
    connect(m_tray, &AlertTray::preferencesRequested, this, &MainWindow::openPreferences);
    connect(m_tray, &AlertTray::toggleWindowRequested, this, &MainWindow::toggleWindow);
    connect(m_tray, &AlertTray::quitRequested, this, &MainWindow::quit);

    m_silenceShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_silenceShortcut->setContext(Qt::WindowShortcut);
    // An open cell editor still gets Esc first (its delegate claims it) to cancel the edit.
    connect(m_silenceShortcut, &QShortcut::activated, this, &MainWindow::silence);
}

void MainWindow::bindPortalShortcuts() {
    m_portal = new PortalShortcuts(QDBusConnection::sessionBus(), this);
    connect(m_portal, &PortalShortcuts::activated, this, &MainWindow::runGlobalShortcut);
    m_portal->bind({
        {QStringLiteral("kill"),
         QCoreApplication::translate("Zorvane", "记录击杀：选中的 BOSS，未选中时为下一个到期的")},
        {QStringLiteral("overlay"), QCoreApplication::translate("Zorvane", "显示/隐藏悬浮窗")},
        {QStringLiteral("silence"), QCoreApplication::translate("Zorvane", "静音")},
    });
}

void MainWindow::runGlobalShortcut(const QString& id) {
    if (id == QLatin1String("kill")) {
        m_gridController->killSelectedOrNextDue();
    } else if (id == QLatin1String("overlay")) {
        toggleOverlay();
    } else if (id == QLatin1String("silence")) {
        silence();
    }
}

void MainWindow::silence() {
    m_session.tick()->stopSounds();
}

void MainWindow::showRow(schedule::RowId row) {
    if (isHidden() || isMinimized()) {
        showNormal();
    }
    m_tray->setWindowVisible(true);
    raise();
    activateWindow();
    // The grid shows the data rows without the header row.
    if (const int index = m_session.table().rowIndex(row); index > 0) {
        const QModelIndex name = m_grid->viewIndexOf(index, schedule::kNameColumn);
        m_grid->selectionModel()->setCurrentIndex(name, QItemSelectionModel::ClearAndSelect);
        m_grid->scrollTo(name);
    }
}

CommandResult MainWindow::runHandedOverCommand(const CommandLine& command) {
    // A second start writes options such as --room to the preferences file before it
    // hands over; the window takes them up from there.
    m_session.preferences().store().reload();
    switch (command.action) {
    case CommandLine::Action::Kill:
    case CommandLine::Action::List:
    case CommandLine::Action::Restart:
    case CommandLine::Action::SayNext:
        return runInSession(command, m_session);
    default:
        if (isHidden() || isMinimized()) {
            showNormal();
        }
        if (m_tray) {
            m_tray->setWindowVisible(true);
        }
        raise();
        activateWindow();
        // Where the window manager keeps focus where it is, the taskbar entry asks for
        // attention instead.
        QApplication::alert(this);
        return {};
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
        m_preferencesDialog = new PreferencesDialog(m_session.preferences(), this);
        m_preferencesDialog->setAttribute(Qt::WA_DeleteOnClose);
        std::vector<std::pair<QString, bool>> rows;
        for (const schedule::BossRow& row : m_session.table().rows()) {
            rows.emplace_back(QString::fromStdString(text::trim(row.text[schedule::kNameColumn])),
                              row.use);
        }
        m_preferencesDialog->setSharedRows(rows);
        const auto checked =
            std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.second; });
        m_preferencesDialog->addShortcutPage(
            programForShortcuts(QCoreApplication::applicationFilePath()),
            checked != rows.end() ? checked->first : QString(), m_portal);
        if (PushLink* push = m_session.push()) {
            m_preferencesDialog->addPushPage(*push);
        }
    }
    m_preferencesDialog->show();
    m_preferencesDialog->raise();
    m_preferencesDialog->activateWindow();
    return m_preferencesDialog;
}

void MainWindow::wireHistory() {
    m_rowMenu = new RowMenu(*m_grid, m_session.table());
    GridController* grid = m_gridController.get();
    // A boss with lines is killed on a line, in the line's menu.
    const auto withoutLines = [this](schedule::RowId row) {
        return !m_session.lines().board().hasLines(row);
    };
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "已击杀（现在）"),
        [grid](schedule::RowId row) { grid->killRowNow(row); }, withoutLines);
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "已击杀（几分钟前）…"),
        [grid](schedule::RowId row) { grid->killRowMinutesAgo(row); }, withoutLines);
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "历史记录…"),
                        [this](schedule::RowId row) { openHistory(row); });
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "备注…"),
                        [this](schedule::RowId row) { openNote(row); });
    // A group belongs to the boss by its name, as its note does.
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "分组…"),
        [this](schedule::RowId row) { askGroup(row); },
        [this](schedule::RowId row) {
            const std::optional<schedule::BossRow> boss = m_session.table().row(row);
            return boss && !text::trim(boss->text[schedule::kNameColumn]).empty();
        });
    m_grid->cellDelegate()->setNoteOf([this](const QString& boss) {
        return BossNoteBook::noteText(m_session.notes().note(boss.toStdString()));
    });
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "提前提醒…"),
                        [this](schedule::RowId row) { openLeadTimes(row); });
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "刷新规则…"),
                        [this](schedule::RowId row) { openSpawnRule(row); });
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "被他人击杀（不记时间）"),
                        [this](schedule::RowId row) { markTakenByOthers(row); });
    // Not the row's alone: every row whose rule says so starts again from now.
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "服务器已重启（现在）"),
        [this](schedule::RowId) { m_session.restartServer(m_session.clock().instant()); });
}

SpawnRuleDialog* MainWindow::openSpawnRule(schedule::RowId row) {
    if (!m_session.table().row(row)) {
        return nullptr;
    }
    auto* dialog = new SpawnRuleDialog(m_session.table(), row, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The rule lives in config.ini with the table, so it is saved like a table edit.
    connect(dialog, &SpawnRuleDialog::stored, this, [this](schedule::RowId) {
        m_session.writer().saveTable(m_session.table());
        m_session.tellUnreadRules();
    });
    dialog->show();
    return dialog;
}

void MainWindow::markTakenByOthers(schedule::RowId row) {
    const std::optional<schedule::BossRow> found = m_session.table().row(row);
    if (!found) {
        return;
    }
    m_session.table().setSpawnMarks(row, found->timing.upSince, m_session.clock().instant());
    // The mark lives in config.ini with the rule, so it is saved like a table edit.
    m_session.writer().saveTable(m_session.table());
}

LeadTimesDialog* MainWindow::openLeadTimes(schedule::RowId row) {
    if (!m_session.table().row(row)) {
        return nullptr;
    }
    auto* dialog = new LeadTimesDialog(m_session.table(), row,
                                       m_session.preferences().extraLeadMinutes(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The row's list lives in config.ini with the table, so it is saved like a table edit.
    connect(dialog, &LeadTimesDialog::stored, this,
            [this](schedule::RowId) { m_session.writer().saveTable(m_session.table()); });
    dialog->show();
    return dialog;
}

void MainWindow::wireKeyboard() {
    GridController* grid = m_gridController.get();
    m_rowMenu->addEntry(QCoreApplication::translate("Zorvane", "删除…"),
                        [grid](schedule::RowId row) { grid->deleteRowAsked(row); });

    const auto shortcut = [this](const QKeySequence& keys, QWidget* owner,
                                 Qt::ShortcutContext context, auto slot) {
        auto* made = new QShortcut(keys, owner);
        made->setContext(context);
        connect(made, &QShortcut::activated, this, slot);
        return made;
    };
    // Text boxes keep their own Ctrl+Z and Delete: a focused line edit claims them first.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this, Qt::WindowShortcut,
             [grid] { grid->addRowAndEditName(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this, Qt::WindowShortcut,
             [grid] { grid->killCursorRowNow(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this, Qt::WindowShortcut,
             [grid] { grid->undoStack().undo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this, Qt::WindowShortcut,
             [grid] { grid->undoStack().redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), this, Qt::WindowShortcut,
             [grid] { grid->undoStack().redo(); });
    // Only while the grid itself has the focus: an open cell editor keeps its Delete.
    shortcut(QKeySequence(Qt::Key_Delete), m_grid, Qt::WidgetShortcut,
             [grid] { grid->deleteRowAsked(grid->cursorRowId()); });
    // Everywhere in the program, so the overlay can be brought back from any window.
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this, Qt::ApplicationShortcut,
             [this] { toggleOverlay(); });

    // Tab goes through the controls row by row and leaves the grid; arrows move in it.
    m_grid->setTabKeyNavigation(false);
    m_viewer->setTabChangesFocus(true);
    QWidget* const order[] = {m_startStopButton, m_addButton,         m_deleteButton,
                              m_warnMinutesEdit, m_preferencesButton, m_overlayButton,
                              m_soundPathEdit,   m_filterEdit,        m_grid,
                              m_viewer};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    m_gridController->setSortState(
        GridProxy::sortStateFromInt(m_session.preferences().gridSortOrder.get()));
    connect(grid, &GridController::sortStateChanged, this, [this](GridProxy::SortState state) {
        noteStored(m_session.preferences().gridSortOrder.set(static_cast<int>(state)));
    });
}

void MainWindow::wireOverlay() {
    connect(m_overlayButton, &QPushButton::clicked, this, &MainWindow::toggleOverlay);
    // Without a tray, click-through is turned off again here (right click on 悬浮窗).
    m_overlayClickThrough =
        new QAction(QCoreApplication::translate("Zorvane", "悬浮窗点击穿透"), m_overlayButton);
    m_overlayClickThrough->setCheckable(true);
    m_overlayButton->addAction(m_overlayClickThrough);
    m_overlayButton->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_overlayClickThrough, &QAction::triggered, this, &MainWindow::setOverlayClickThrough);
    connect(m_tray, &AlertTray::overlayToggleRequested, this, &MainWindow::toggleOverlay);
    connect(m_tray, &AlertTray::overlayClickThroughRequested, this,
            &MainWindow::setOverlayClickThrough);
    setOverlayClickThrough(m_session.preferences().overlayClickThrough.get());
    if (m_session.preferences().overlayVisible.get()) {
        overlay()->show();
    }
    m_tray->setOverlayShown(m_overlay && m_overlay->isVisible());
}

Overlay* MainWindow::overlay() {
    // Made when first shown: most starts never show it, and a window of its own costs
    // time before the main window's first paint.
    if (m_overlay) {
        return m_overlay.get();
    }
    m_overlay = std::make_unique<Overlay>(&m_gridController->model());
    m_overlay->setLineBoard(&m_session.lines().board());
    // A kill or an undo on a line changes nothing in the table's model; the rows follow it.
    connect(m_gridController.get(), &GridController::linesRefreshed, m_overlay.get(),
            &Overlay::refresh);
    m_overlay->installEventFilter(this);
    m_overlay->setRowLimit(m_session.preferences().overlayRows.get());
    m_session.preferences().overlayRows.onChanged(this, [this](const int& rows) {
        m_overlay->setRowLimit(rows);
        m_overlay->fitRows();
    });
    const QStringList parts = m_session.preferences().overlayGeometry.get().split(QLatin1Char(','));
    QRect geometry;
    if (parts.size() == 4) {
        bool ok[4] = {};
        geometry = QRect(parts[0].trimmed().toInt(&ok[0]), parts[1].trimmed().toInt(&ok[1]),
                         parts[2].trimmed().toInt(&ok[2]), parts[3].trimmed().toInt(&ok[3]));
        if (!(ok[0] && ok[1] && ok[2] && ok[3])) {
            geometry = QRect();
        }
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    // A stored place on no screen (a monitor since unplugged) falls back to the default.
    if (geometry.isValid() && !area.isEmpty() && !area.intersects(geometry)) {
        geometry = QRect();
    }
    if (geometry.isValid()) {
        m_overlay->setGeometry(geometry);
    } else if (!area.isEmpty()) {
        m_overlay->move(area.right() - m_overlay->width() - 20, area.top() + 80);
    }
    connect(m_overlay.get(), &Overlay::geometryChosen, this, [this](const QRect& where) {
        noteStored(m_session.preferences().overlayGeometry.set(QStringLiteral("%1,%2,%3,%4")
                                                                   .arg(where.x())
                                                                   .arg(where.y())
                                                                   .arg(where.width())
                                                                   .arg(where.height())));
    });
    m_overlay->setClickThrough(m_session.preferences().overlayClickThrough.get());
    connect(m_overlay.get(), &Overlay::clickThroughRequested, this,
            &MainWindow::setOverlayClickThrough);
    connect(m_overlay.get(), &Overlay::rowLimitRequested, this,
            [this](int rows) { noteStored(m_session.preferences().overlayRows.set(rows)); });
    connect(m_overlay.get(), &Overlay::hideRequested, this, &MainWindow::toggleOverlay);
    return m_overlay.get();
}

void MainWindow::buildMenu() {
    m_menuButton = new QToolButton(this);
    m_menuButton->setObjectName(QStringLiteral("菜单按钮"));
    m_menuButton->setText(QStringLiteral("☰"));
    m_menuButton->setToolTip(QCoreApplication::translate("Zorvane", "菜单"));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->resize(kMenuButtonSize, kMenuButtonSize);
    auto* menu = new QMenu(m_menuButton);
    menu->addAction(QCoreApplication::translate("Zorvane", "首选项…"), this,
                    &MainWindow::openPreferences);
    m_foldAction = menu->addAction(QCoreApplication::translate("Zorvane", "显示公告栏"));
    m_foldAction->setCheckable(true);
    m_foldAction->setChecked(!m_session.preferences().announcementFolded.get());
    connect(m_foldAction, &QAction::triggered, this,
            [this](bool shown) { setAnnouncementFolded(!shown); });
    menu->addSeparator();
    QAction* exportAction = menu->addAction(QCoreApplication::translate("Zorvane", "导出首领列表…"),
                                            this, [this] { m_bossLists->exportList(); });
    exportAction->setObjectName(QStringLiteral("exportBossList"));
    QAction* importAction = menu->addAction(QCoreApplication::translate("Zorvane", "导入首领列表…"),
                                            this, [this] { m_bossLists->importList(); });
    importAction->setObjectName(QStringLiteral("importBossList"));
    menu->addSeparator();
    QAction* quitAction = menu->addAction(QCoreApplication::translate("Zorvane", "退出"));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::WindowShortcut);
    addAction(quitAction);
    connect(quitAction, &QAction::triggered, this, &MainWindow::quit);
    m_menuButton->setMenu(menu);
    // Left out of the Tab chain of the controls; its two entries have keys of their own
    // (Ctrl+Q, and the preferences button).
    m_menuButton->setFocusPolicy(Qt::NoFocus);
    // An empty pane stays folded; a fetched announcement unfolds it unless the player folded it.
    if (auto* viewer = qobject_cast<AnnouncementViewer*>(m_viewer)) {
        connect(viewer, &AnnouncementViewer::fetchFinished, this, [this](const QString& error) {
            layoutGrown();
            // The pane folds when there is nothing to show; why stays in the notice line.
            if (!error.isEmpty() && !m_setup.announcementUrl.empty()) {
                m_writeNotice->failed(WriteNotice::Kind::Announcement, "announcement",
                                      error.toStdString());
            }
        });
    }
    connect(m_viewer, &QTextBrowser::textChanged, this, [this] { layoutGrown(); });
}

bool MainWindow::announcementShown() const {
    return !m_session.preferences().announcementFolded.get() &&
           !m_viewer->document()->toPlainText().trimmed().isEmpty();
}

void MainWindow::setAnnouncementFolded(bool folded) {
    noteStored(m_session.preferences().announcementFolded.set(folded));
    m_foldAction->setChecked(!folded);
    layoutGrown();
}

void MainWindow::layoutGrown() {
    const int w = width();
    const int h = height();
    const bool shown = announcementShown();
    m_viewer->setVisible(shown);
    const int gridBottom = shown ? h - kViewerHeight - kViewerGap : h;
    m_grid->setGeometry(0, kGridTop, w, std::max(0, gridBottom - kGridTop));
    if (shown) {
        m_viewer->setGeometry(0, h - kViewerHeight, w, kViewerHeight);
    }
    m_menuButton->move(w - kMenuButtonSize - 8, 8);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutGrown();
}

void MainWindow::quit() {
    m_quitting = true;
    close();
    QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Preferences& preferences = m_session.preferences();
    noteStored(preferences.windowMaximized.set(isMaximized()));
    // Only a size the player chose: the first start's is not stored.
    if (!isMaximized() && !isMinimized() &&
        (!preferences.windowSize.get().isEmpty() || size() != QSize(kClientWidth, kClientHeight))) {
        noteStored(preferences.windowSize.set(QStringLiteral("%1,%2").arg(width()).arg(height())));
    }
    // With a tray the window goes into it; the program ends through 退出.
    if (!m_quitting && m_tray != nullptr && m_tray->isShown()) {
        event->ignore();
        hide();
        m_tray->setWindowVisible(false);
        if (!preferences.trayNoticeShown.get()) {
            noteStored(preferences.trayNoticeShown.set(true));
            m_tray->showMessage(
                QStringLiteral("Zorvane"),
                QCoreApplication::translate(
                    "Zorvane", "Zorvane 仍在托盘中运行。要退出，请在托盘或窗口菜单中选择“退出”。"));
        }
        return;
    }
    // Hidden, not toggled: it is shown again at the next start when it was shown now.
    if (m_overlay) {
        m_overlay->hide();
    }
    QWidget::closeEvent(event);
}

void MainWindow::noteStored(bool written) {
    const PreferenceStore& store = m_session.preferences().store();
    if (written) {
        m_writeNotice->writeSucceeded(store.filePath().toStdString());
    } else {
        m_writeNotice->writeFailed(store.filePath().toStdString(),
                                   store.writeError().toStdString());
    }
}

void MainWindow::toggleOverlay() {
    const bool show = !(m_overlay && m_overlay->isVisible());
    overlay()->setVisible(show);
    noteStored(m_session.preferences().overlayVisible.set(show));
    m_tray->setOverlayShown(show);
}

void MainWindow::setOverlayClickThrough(bool on) {
    if (m_overlay) {
        m_overlay->setClickThrough(on);
    }
    noteStored(m_session.preferences().overlayClickThrough.set(on));
    m_tray->setOverlayClickThrough(on);
    if (m_overlayClickThrough) {
        m_overlayClickThrough->setChecked(on);
    }
}

void MainWindow::wireRoom() {
    RoomConnection* room = m_session.room();
    if (room == nullptr) {
        return;
    }
    // In the place of the write notice; while both have something to say they share it.
    m_roomLine =
        place(new RoomStatusLine(*room, m_writeNotice, this), "房间状态", 432, 48, 352, 22);
    m_roomLine->setPlace(m_writeNotice->geometry());
    m_writeNotice->raise();
    connect(m_roomLine, &ClickableLabel::leftPressed, this, [this] { openRoomPanel(); });
    // Boss lists through the room: an officer offers the table's, every member takes one.
    QMenu* menu = m_menuButton->menu();
    QAction* before = menu->findChild<QAction*>(QStringLiteral("importBossList"));
    const QList<QAction*> actions = menu->actions();
    QAction* after = nullptr;
    for (int i = 0; before != nullptr && i + 1 < actions.size(); ++i) {
        if (actions[i] == before) {
            after = actions[i + 1];
        }
    }
    auto* offer = new QAction(QCoreApplication::translate("Zorvane", "向房间提供首领列表…"), menu);
    offer->setObjectName(QStringLiteral("offerBossList"));
    connect(offer, &QAction::triggered, this, [this] { m_bossLists->offerToRoom(); });
    auto* take = new QAction(QCoreApplication::translate("Zorvane", "房间提供的首领列表…"), menu);
    take->setObjectName(QStringLiteral("takeBossList"));
    take->setEnabled(false);
    connect(take, &QAction::triggered, this, [this] { m_bossLists->takeRoomOffer(); });
    connect(room, &RoomConnection::listOfferChanged, take,
            [take, room] { take->setEnabled(room->listOffer().has_value()); });
    menu->insertActions(after, {offer, take});
    // An officer takes a bad kill back for every member.
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "撤回（所有成员）"),
        [this, room](schedule::RowId row) {
            if (const std::optional<schedule::BossRow> boss = m_session.table().row(row)) {
                QString error;
                room->retractNewest(text::trim(boss->text[schedule::kNameColumn]), error);
            }
        },
        [this, room](schedule::RowId row) {
            const std::optional<schedule::BossRow> boss = m_session.table().row(row);
            return boss && room->canRetract(text::trim(boss->text[schedule::kNameColumn]));
        });
}

RoomPanel* MainWindow::openRoomPanel() {
    if (m_session.room() == nullptr) {
        return nullptr;
    }
    if (!m_roomPanel) {
        m_roomPanel = new RoomPanel(*m_session.room(), m_session.roomAudit(), this);
        m_roomPanel->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_roomPanel, &RoomPanel::offersRequested, this, [this] { openRoomOffers(); });
    } else {
        m_roomPanel->refresh();
    }
    m_roomPanel->show();
    m_roomPanel->raise();
    return m_roomPanel;
}

RoomOffersPanel* MainWindow::openRoomOffers() {
    if (m_session.room() == nullptr) {
        return nullptr;
    }
    if (!m_offersPanel) {
        m_offersPanel = new RoomOffersPanel(*m_session.room(), this);
        m_offersPanel->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_offersPanel->show();
    m_offersPanel->raise();
    return m_offersPanel;
}

void MainWindow::wireLines() {
    GridController* grid = m_gridController.get();
    grid->setLines(&m_session.lines());
    m_alertCenter->setLineBoard(&m_session.lines().board());
    m_rowMenu->addLineEntry(QCoreApplication::translate("Zorvane", "已击杀（现在）"),
                            [grid](schedule::RowId row, schedule::LineId line) {
                                grid->killLineNow(row, line, schedule::KillSource::Menu);
                            });
    m_rowMenu->addLineEntry(QCoreApplication::translate("Zorvane", "已击杀（几分钟前）…"),
                            [grid](schedule::RowId row, schedule::LineId line) {
                                grid->killLineMinutesAgo(row, line);
                            });
    m_rowMenu->addLineEntry(
        QCoreApplication::translate("Zorvane", "清除此线"),
        [grid](schedule::RowId row, schedule::LineId line) { grid->clearLine(row, line); },
        [this](schedule::RowId row, schedule::LineId line) {
            const std::optional<schedule::LineTimer> timer =
                m_session.lines().board().timer(row, line);
            return timer && timer->state.lastKill;
        });
    m_rowMenu->addLineEntry(
        QCoreApplication::translate("Zorvane", "撤销此线的上一步"),
        [grid](schedule::RowId row, schedule::LineId line) { grid->undoLine(row, line); },
        [grid](schedule::RowId row, schedule::LineId line) {
            return grid->canUndoLine(row, line);
        });
    // In the row menus of a table that has lines; the first boss gets them from the menu
    // button, for the boss under the cursor.
    m_rowMenu->addEntry(
        QCoreApplication::translate("Zorvane", "分线与服务器…"),
        [this](schedule::RowId row) { openLines(row); },
        [this](schedule::RowId row) {
            const std::optional<schedule::BossRow> boss = m_session.table().row(row);
            return boss && !text::trim(boss->text[schedule::kNameColumn]).empty() &&
                   !m_session.lines().board().rows().empty();
        });
    QMenu* menu = m_menuButton->menu();
    auto* linesAction = new QAction(QCoreApplication::translate("Zorvane", "分线与服务器…"), menu);
    linesAction->setObjectName(QStringLiteral("linesOfBoss"));
    connect(linesAction, &QAction::triggered, this, [this] {
        const schedule::RowId row = m_gridController->cursorRowId();
        const QModelIndex current = m_grid->currentIndex();
        const auto boss = current.data(GroupedRows::BossRowIdRole).value<schedule::RowId>();
        const std::optional<schedule::BossRow> chosen =
            m_session.table().row(row != 0 ? row : boss);
        const bool named = chosen && !text::trim(chosen->text[schedule::kNameColumn]).empty();
        if (named) {
            openLines(chosen->id);
            return;
        }
        // As the row menu, which offers no lines for a row without a name.
        schedule::MessageSink& messages = m_setup.messages
                                              ? *m_setup.messages
                                              : static_cast<schedule::MessageSink&>(m_messageBox);
        messages.showMessage(text::Message::literal(
            (chosen ? QCoreApplication::translate(
                          "Zorvane", "请先填写这一行的首领名称，再设置它的分线与服务器。")
                    : QCoreApplication::translate("Zorvane",
                                                  "请先选中一个首领，再设置它的分线与服务器。"))
                .toStdString()));
    });
    // Nothing to give lines to in a table without a named boss: shown disabled, as the
    // room's list entry is while no list is on offer. Read as the menu opens, not at start.
    connect(menu, &QMenu::aboutToShow, linesAction, [this, linesAction] {
        const schedule::BossTable& table = m_session.table();
        bool anyBoss = false;
        for (int row = 1; row < table.rowCount() && !anyBoss; ++row) {
            anyBoss = !text::trim(table.cellText(row, schedule::kNameColumn)).empty();
        }
        linesAction->setEnabled(anyBoss);
    });
    menu->insertAction(menu->actions().value(0), linesAction);

    GroupedRows& rows = grid->rows();
    rows.setExpandedBosses(m_session.preferences().gridExpandedBosses.get());
    connect(&rows, &GroupedRows::expandedChanged, this, [this] {
        noteStored(m_session.preferences().gridExpandedBosses.set(
            m_gridController->rows().expandedBosses()));
    });
}

LinesDialog* MainWindow::openLines(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_session.table().row(row);
    if (!boss) {
        return nullptr;
    }
    auto* dialog = new LinesDialog(
        m_session.lines(), row,
        QString::fromStdString(text::trim(boss->text[schedule::kNameColumn])), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &LinesDialog::stored, m_gridController.get(),
            [grid = m_gridController.get()](schedule::RowId) { grid->refreshLines(); });
    dialog->show();
    return dialog;
}

void MainWindow::wireGroups() {
    GroupedRows& rows = m_gridController->rows();
    const auto readGroups = [this] {
        QHash<QString, QString> groups;
        for (const auto& [boss, group] : m_session.notes().groups()) {
            groups.insert(QString::fromStdString(boss), QString::fromStdString(group));
        }
        m_gridController->rows().setGroups(std::move(groups));
    };
    readGroups();
    // Every change of a group (the menu, an imported or offered list) shows at once.
    m_session.notes().setChanged(readGroups);

    Preferences& preferences = m_session.preferences();
    rows.setFoldedGroups(preferences.gridFoldedGroups.get());
    connect(&rows, &GroupedRows::foldedChanged, this, [this] {
        noteStored(
            m_session.preferences().gridFoldedGroups.set(m_gridController->rows().foldedGroups()));
    });
    m_filterEdit->setText(preferences.gridFilter.get());
    m_gridController->setFilter(m_filterEdit->text());
    connect(m_filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_gridController->setFilter(text);
        noteStored(m_session.preferences().gridFilter.set(text));
    });
    connect(m_gridController.get(), &GridController::filterChanged, this,
            [this](const QString& text) {
                if (m_filterEdit->text() != text) {
                    m_filterEdit->setText(text);
                }
            });
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        m_filterEdit->setFocus(Qt::ShortcutFocusReason);
        m_filterEdit->selectAll();
    });
}

bool MainWindow::askGroup(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_session.table().row(row);
    Questions* questions = m_setup.questions ? m_setup.questions : m_questionBoxes.get();
    if (!boss || !questions) {
        return false;
    }
    const std::string name = text::trim(boss->text[schedule::kNameColumn]);
    if (name.empty()) {
        return false;
    }
    QStringList groups;
    for (const std::string& group : m_session.notes().groupNames()) {
        groups << QString::fromStdString(group);
    }
    const std::optional<QString> answer = questions->askChoice(
        QCoreApplication::translate("Zorvane", "分组"),
        QCoreApplication::translate("Zorvane", "“%1”所在的分组（选择或输入新分组，留空为不分组）：")
            .arg(QString::fromStdString(name)),
        groups, QString::fromStdString(m_session.notes().note(name).group));
    if (!answer) {
        return false;
    }
    QString problem;
    if (!m_session.notes().setGroup(name, answer->trimmed().toStdString(), problem)) {
        m_writeNotice->failed(WriteNotice::Kind::Other, "notes", problem.toStdString());
        return false;
    }
    return true;
}

BossNoteDialog* MainWindow::openNote(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_session.table().row(row);
    if (!boss) {
        return nullptr;
    }
    auto* dialog =
        new BossNoteDialog(m_session.notes(), text::trim(boss->text[schedule::kNameColumn]), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

HistoryDialog* MainWindow::openHistory(schedule::RowId row) {
    const std::optional<schedule::BossRow> boss = m_session.table().row(row);
    if (!boss) {
        return nullptr;
    }
    // The history knows the boss by the name its kills were recorded under.
    auto* dialog = new HistoryDialog(m_session.history(),
                                     {text::trim(boss->text[schedule::kNameColumn]),
                                      text::textToInteger(boss->text[schedule::kPeriodColumn]),
                                      text::textToInteger(boss->text[schedule::kDelayColumn])},
                                     this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setExportDirectory(QString::fromStdString(m_session.programDir()));
    dialog->setNote(BossNoteBook::noteText(
        m_session.notes().note(text::trim(boss->text[schedule::kNameColumn]))));
    connect(dialog, &HistoryDialog::windowAdopted, this, [this, row](int period, int delay) {
        m_gridController->adoptWindow(row, period, delay);
    });
    if (const RoomConnection* room = m_session.room();
        room != nullptr && m_session.roomAudit() != nullptr && !room->roomName().isEmpty()) {
        dialog->showRoomAudit(*m_session.roomAudit(), room->roomName().toStdString());
    }
    dialog->show();
    return dialog;
}

void MainWindow::onWindowCreated() {
    const std::filesystem::path dir = m_session.programPath();
    // Told before any write fails on its own: nothing the user changes can be kept.
    if (std::string error; !text::canCreateFilesIn(dir, &error)) {
        m_writeNotice->writeFailed(text::utf8FromPath(config::tableFilePath(dir).parent_path()),
                                   error);
    }
    for (const QString& missing : m_setup.missingTranslations) {
        m_writeNotice->failed(WriteNotice::Kind::Other, missing.toStdString(),
                              QCoreApplication::translate("Zorvane", "缺少翻译 %1，部分文字未翻译")
                                  .arg(missing)
                                  .toStdString());
    }
    if (!m_setup.instanceProblem.isEmpty()) {
        showInstanceProblem(m_setup.instanceProblem);
    }
    // A pipe or a directory in place of preferences.ini: the defaults, and the user knows.
    if (const PreferenceStore& store = m_session.preferences().store();
        !store.problem().isEmpty()) {
        m_writeNotice->writeFailed(store.filePath().toStdString(), store.problem().toStdString());
    }
    // Column widths, the check-box column and the header row.
    m_gridController->setupColumns();
    std::string loadError;
    const std::string storedWarnMinutes = m_session.finishLoad(&loadError);
    // lines.json is read once the rows are there.
    m_gridController->refreshLines();
    if (!loadError.empty()) {
        // The table stays empty; its file is not written over (a write needs it readable).
        m_writeNotice->failed(WriteNotice::Kind::Read,
                              text::utf8FromPath(config::tableFilePath(dir)), loadError);
    }
    showMissedWhileAway();
    m_soundPathEdit->setText(QString::fromStdString(config::readSoundPath(dir)));

    // Starting the download forks a helper, which makes every page the window thread writes
    // next a copy; the window is drawn first. The tray's icon waits too: asking the desktop
    // for a tray and registering it are D-Bus round trips. So does the notifications' bus
    // connection, which waits for the bus (without one, for a launcher in a child process).
    afterFirstPaint(*this, [this] {
        m_session.attachNotifierBus();
        startAnnouncement(*m_session.globals(), m_viewer, m_setup.announcementUrl,
                          m_session.programDir(), m_setup.announcementFetcher);
        if (m_setup.portalShortcuts) {
            bindPortalShortcuts();
        }
        m_tray->showIcon();
    });
    // A window not painted soon (a slow display) still shows its alerts as notifications.
    QTimer::singleShot(kLateBusMs, this, [this] { m_session.attachNotifierBus(); });
    showStoredWarnMinutes(storedWarnMinutes);
    m_gridController->centreCells();

    m_session.globals()->clockTimer().start([this](std::intptr_t) { onClockTick(); },
                                            kClockIntervalMs);
    if (!m_session.startTick()) {
        tickNotStarted();
    }
    afterFirstPaint(*this, [this] {
        QTimer::singleShot(kReleaseAfterPaintMs, this, &releaseFreeMemory);
        QTimer::singleShot(kReleasePagesAfterPaintMs, this, [] { releaseStartPages(); });
    });
}

void MainWindow::showInstanceProblem(const QString& problem) {
    m_writeNotice->failed(
        WriteNotice::Kind::Other, "instance",
        QCoreApplication::translate("Zorvane", "无法等候第二次启动：%1；再次启动会打开第二个窗口")
            .arg(problem)
            .toStdString());
}

void MainWindow::tickNotStarted() {
    m_tickRunning = false;
    m_startStopButton->setText(startStopCaption(false));
    m_tray->setTickRunning(false);
    // Nothing counts or alerts until it runs: the player must know, and how to try again.
    m_writeNotice->failed(
        WriteNotice::Kind::Other, "tick",
        QCoreApplication::translate(
            "Zorvane", "倒计时未能启动（无法创建线程），不会刷新也不会提醒；请点“启动”重试")
            .toStdString());
}

void MainWindow::showMissedWhileAway() {
    const std::vector<schedule::MissedRow> missed = m_session.startNotingRunning();
    afterFirstPaint(*this, [this] { m_session.noteRunning(); });
    if (!missed.empty()) {
        m_awayPanel = new AwayPanel(missed, this);
        // Shown once the window itself is up, beside it and without blocking it.
        QTimer::singleShot(0, m_awayPanel, &QWidget::show);
    }
}

void MainWindow::showStoredWarnMinutes(const std::string& stored) {
    // Each setText raises textChanged, so onWarnMinutesChanged stores what is set.
    m_warnMinutesEdit->setText(QString::fromStdString(stored));
    if (m_warnMinutesEdit->text().isEmpty()) {
        m_warnMinutesEdit->setText(defaultWarnMinutes());
        m_session.writer().writeWarnMinutes(std::string(config::kDefaultWarnMinutes));
    }
}

void MainWindow::onWarnMinutesChanged(const QString& text) {
    m_session.writer().writeWarnMinutes(text.toStdString());
}

void MainWindow::onStartStopClicked() {
    if (m_tickRunning) {
        m_session.stopTick();
    } else if (!m_session.startTick()) {
        tickNotStarted();
        return;
    } else {
        m_writeNotice->writeSucceeded("tick");
    }
    m_tickRunning = !m_tickRunning;
    m_startStopButton->setText(startStopCaption(m_tickRunning));
    m_tray->setTickRunning(m_tickRunning);
    // Stopped countdowns look stopped: their column, the title and the tray say so.
    m_gridController->proxy().setPaused(!m_tickRunning);
    m_alertCenter->setStopped(!m_tickRunning);
    setWindowTitle(m_tickRunning ? QStringLiteral("Zorvane")
                                 : QCoreApplication::translate("Zorvane", "Zorvane（已停止）"));
}

QString MainWindow::clockText() const {
    // Beijing time, wherever the player is: the games' servers keep it.
    return QCoreApplication::translate("Zorvane", "北京时间：") +
           QString::fromStdString(schedule::beijingZone().clockText(m_session.clock().instant()));
}

void MainWindow::followScreenPresence() {
    if (!m_gridController || m_clockLabel == nullptr) {
        return; // still being built
    }
    const bool windowShown = isVisible() && !isMinimized();
    const bool overlayShown = m_overlay && m_overlay->isVisible();
    if (windowShown && !m_clockShown.exchange(true)) {
        m_clockLabel->setText(clockText());
    }
    m_clockShown = windowShown;
    m_gridController->model().setCountdownsWatched(windowShown || overlayShown);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        followScreenPresence();
    }
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The tray shows the window's icon, the application's, which is completed after the first
    // paint (widgets/starticon.h).
    if (event->type() == QEvent::ApplicationWindowIconChange && m_tray != nullptr) {
        m_tray->setBaseIcon(windowIcon());
    }
    return handled;
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    followScreenPresence();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    followScreenPresence();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (m_overlay && watched == m_overlay.get() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        followScreenPresence();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::onClockTick() {
    if (!m_clockShown) {
        return; // nobody sees the label; it is set afresh when the window shows again
    }
    periodic::CriticalSectionLock& lock = m_session.globals()->clockLock();
    lock.enter();
    const QString text = clockText();
    // Widgets belong to the window thread; the worker only posts the new caption.
    handOff(m_clockLabel, [label = m_clockLabel, text] { label->setText(text); });
    lock.leave();
}

} // namespace zorvane::app
