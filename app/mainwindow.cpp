#include "app/mainwindow.h"

#include "app/announcementview.h"
#include "app/bossgrid.h"
#include "app/clickablelabel.h"
#include "app/globals.h"
#include "app/gridcontroller.h"
#include "app/soundchooser.h"
#include "app/ticksupport.h"
#include "config/configfiles.h"
#include "schedule/datetime.h"
#include "text/fileio.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>

namespace zorvane::app {
namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 540;
constexpr int kTimerIntervalMs = 1000;

const QString kStopCaption = QStringLiteral("停止");
const QString kStartCaption = QStringLiteral("启动");

// The Kai face: KaiTi where it exists (Windows), the AR PL UKai font elsewhere.
QFont kaiFont(int pixelHeight) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
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
      m_context(context), m_tableStore(std::make_unique<config::ConfigTableStore>(programPath())) {
    setObjectName(QStringLiteral("Zorvane"));
    setWindowTitle(QStringLiteral("Zorvane"));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    buildComponents();
    wireAlarm();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    onWindowCreated();
}

MainWindow::~MainWindow() {
    m_context.globals.stopWorkers();
}

void MainWindow::buildComponents() {
    m_startStopButton = place(new QPushButton(kStopCaption, this), "按钮2", 8, 8, 60, 30);
    m_addButton = place(new QPushButton(QStringLiteral("新增"), this), "按钮1", 72, 8, 60, 30);
    m_deleteButton = place(new QPushButton(QStringLiteral("删除"), this), "按钮3", 136, 8, 60, 30);

    m_warnLabel =
        place(new QLabel(QStringLiteral("提前     分钟预警"), this), "标签2", 208, 8, 176, 30);
    m_warnLabel->setFont(kaiFont(20));
    // Created after the label so that it lies on top of the label's five-space gap.
    m_warnMinutesEdit = place(new QLineEdit(QStringLiteral("5"), this), "编辑框1", 258, 8, 30, 30);
    m_warnMinutesEdit->setFont(kaiFont(20));

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
}

std::filesystem::path MainWindow::programPath() const {
    return text::pathFromUtf8(m_context.programDir);
}

void MainWindow::wireAlarm() {
    m_soundChooser = new SoundChooser(this, m_soundPathEdit, m_context.programDir, this);
    connect(m_soundLabel, &ClickableLabel::leftPressed, m_soundChooser,
            &SoundChooser::onSoundLabelPressed);
    m_tickSupport =
        std::make_unique<TickSupport>(m_table, m_context.clock, m_context.globals.tickLock(),
                                      m_warnMinutesEdit, m_soundPathEdit, m_context.programDir);
}

void MainWindow::onWindowCreated() {
    const std::filesystem::path dir = programPath();
    // Column widths, the check-box column and the header row.
    m_gridController->setupColumns();
    config::loadTable(m_table, dir);
    m_soundPathEdit->setText(QString::fromStdString(config::readSoundPath(dir)));

    startAnnouncement(m_context.globals, m_viewer, m_context.announcementUrl, m_context.programDir,
                      m_context.announcementFetcher);
    showStoredWarnMinutes();
    m_gridController->centreCells();

    AppGlobals& globals = m_context.globals;
    globals.clockTimer().start([this](std::intptr_t) { onClockTick(); }, kTimerIntervalMs);
    startTick();
}

void MainWindow::showStoredWarnMinutes() {
    // Each setText raises textChanged, so onWarnMinutesChanged stores what is set.
    m_warnMinutesEdit->setText(QString::fromStdString(config::readWarnMinutes(programPath())));
    if (m_warnMinutesEdit->text().isEmpty()) {
        m_warnMinutesEdit->setText(QStringLiteral("5"));
        config::writeWarnMinutes(programPath(), "5");
    }
}

void MainWindow::onWarnMinutesChanged(const QString& text) {
    config::onWarnMinutesChanged(programPath(), text.toStdString());
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
    } else {
        startTick();
        m_startStopButton->setText(kStopCaption);
    }
}

void MainWindow::onClockTick() {
    CriticalSectionLock& lock = m_context.globals.clockLock();
    lock.enter();
    const QString text = QStringLiteral("北京时间：") +
                         QString::fromStdString(schedule::clockTimeText(m_context.clock.now()));
    // Widgets belong to the window thread; the worker only posts the new caption.
    QMetaObject::invokeMethod(
        m_clockLabel, [label = m_clockLabel, text] { label->setText(text); }, Qt::QueuedConnection);
    lock.leave();
}

} // namespace zorvane::app
