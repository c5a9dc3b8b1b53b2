#include "widgets/overlay.h"

#include "models/bosstablemodel.h"
#include "models/duerow.h"
#include "models/rowlook.h"
#include "schedule/bosstable.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSizeGrip>

#include <algorithm>

namespace zorvane::app {
namespace {

constexpr int kMargin = 6;
constexpr int kLineHeight = 22;

Qt::WindowFlags overlayFlags(bool clickThrough) {
    // A tool window: no taskbar entry; never takes the focus from the game.
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus;
    if (clickThrough) {
        // Empty input region on the overlay's own window. A window manager's frame around it
        // would keep a full one and take the clicks, so the overlay then does without a
        // window manager (and raises itself, see refresh()).
        flags |= Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint;
    }
    return flags;
}

} // namespace

Overlay::Overlay(QAbstractItemModel* model, QWidget* parent)
    : QWidget(parent, overlayFlags(false)), m_model(model) {
    setObjectName(QStringLiteral("悬浮窗"));
    setWindowTitle(QCoreApplication::translate("Zorvane", "Zorvane 悬浮窗"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(120, kLineHeight + 2 * kMargin);
    resize(240, heightForRows(5));
    m_grip = new QSizeGrip(this);
    m_grip->installEventFilter(this);
    if (model) {
        // Every change the table reports, the tick's pass among them, repaints the list.
        connect(model, &QAbstractItemModel::dataChanged, this, &Overlay::refresh);
        // Counts that only moved come without dataChanged.
        if (const auto* table = qobject_cast<const BossTableModel*>(model)) {
            connect(table, &BossTableModel::countdownsAdvanced, this, &Overlay::refresh);
        }
        connect(model, &QAbstractItemModel::rowsInserted, this, &Overlay::refresh);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &Overlay::refresh);
        connect(model, &QAbstractItemModel::modelReset, this, &Overlay::refresh);
        connect(model, &QAbstractItemModel::layoutChanged, this, &Overlay::refresh);
    }
    refresh();
}

void Overlay::setLineBoard(const schedule::LineBoard* board) {
    m_board = board;
    refresh();
}

void Overlay::setRowLimit(int rows) {
    m_rowLimit = std::max(1, rows);
    refresh();
}

int Overlay::heightForRows(int rows) {
    return std::max(1, rows) * kLineHeight + 2 * kMargin;
}

void Overlay::fitRows() {
    resize(width(), heightForRows(m_rowLimit));
    emit geometryChosen(geometry());
}

void Overlay::setClickThrough(bool on) {
    if (on == m_clickThrough) {
        return;
    }
    m_clickThrough = on;
    const bool shown = isVisible();
    // Changing the flags hides the window; it comes back where it was, in a new native
    // window: the window manager may still be busy with the old one (a frame around it),
    // and a window that leaves its hands must be one it never knew.
    const QRect where = geometry();
    hide();
    destroy();
    setWindowFlags(overlayFlags(on));
    setGeometry(where);
    m_grip->setVisible(!on);
    if (shown) {
        show();
    }
}

void Overlay::refresh() {
    m_entries.clear();
    if (m_model) {
        const int rows = m_model->rowCount();
        for (int row = 0; row < rows; ++row) {
            const DueRow due = readDueRow(*m_model, row, m_board);
            if (!due.checked || !due.remaining.isValid()) {
                continue;
            }
            // A boss due on another day says which ("周六 2天03时00分00秒").
            m_entries.push_back(
                {due.name,
                 due.dueDay.isEmpty() ? due.countdown
                                      : due.dueDay + QLatin1Char(' ') + due.countdown,
                 due.remaining.toLongLong(), rowLook(due.checked, due.remaining, due.rowPhase),
                 due.spawnPhase.isValid() ? due.spawnPhase.toInt() : -1, due.spawnFraction});
        }
    }
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        return a.remainingSeconds < b.remainingSeconds;
    });
    if (m_entries.size() > static_cast<std::size_t>(m_rowLimit)) {
        m_entries.resize(static_cast<std::size_t>(m_rowLimit));
    }
    // Without a window manager nothing keeps a click-through overlay on top of the game,
    // which comes up when clicked: each pass of the countdown raises it again.
    if (m_clickThrough && isVisible()) {
        raise();
    }
    update();
}

void Overlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 30, 30, 235));
    const int width = this->width() - 2 * kMargin;
    if (m_entries.empty()) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(QRect(kMargin, kMargin, width, kLineHeight), Qt::AlignVCenter,
                         QCoreApplication::translate("Zorvane", "没有启用的BOSS"));
        return;
    }
    int y = kMargin;
    for (const Entry& entry : m_entries) {
        if (y + kLineHeight > height() - kMargin + 1) {
            break; // the rest does not fit; the user may make the window taller
        }
        const QRect line(kMargin, y, width, kLineHeight - 2);
        const QColor background = lookBackground(entry.look);
        painter.fillRect(line, background.isValid() ? background : QColor(60, 60, 60));
        QFont font = this->font();
        applyLookFont(entry.look, font);
        painter.setFont(font);
        const QColor foreground = lookForeground(entry.look);
        painter.setPen(foreground.isValid() ? foreground : QColor(Qt::black));
        QRect textArea = line.adjusted(4, 0, -4, 0);
        const QIcon icon = lookIcon(entry.look);
        if (!icon.isNull()) {
            icon.paint(&painter, QRect(textArea.left(), line.center().y() - 6, 12, 12));
            textArea.setLeft(textArea.left() + 16);
        }
        if (entry.spawnPhase >= 0) {
            spawnIcon(static_cast<schedule::SpawnPhase>(entry.spawnPhase), entry.spawnFraction)
                .paint(&painter, QRect(textArea.left(), line.center().y() - 6, 12, 12));
            textArea.setLeft(textArea.left() + 16);
        }
        const QFontMetrics metrics(font);
        const int countdownWidth = metrics.horizontalAdvance(entry.countdown);
        painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignRight, entry.countdown);
        const QRect nameArea = textArea.adjusted(0, 0, -countdownWidth - 8, 0);
        painter.drawText(nameArea, Qt::AlignVCenter | Qt::AlignLeft,
                         metrics.elidedText(entry.name, Qt::ElideRight, nameArea.width()));
        y += kLineHeight;
    }
}

void Overlay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize grip = m_grip->sizeHint();
    m_grip->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(),
                        grip.height());
}

void Overlay::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QMenu* rows = menu.addMenu(QCoreApplication::translate("Zorvane", "显示数量"));
    for (const int count : {3, 5, 8, 10}) {
        QAction* action = rows->addAction(QString::number(count));
        action->setCheckable(true);
        action->setChecked(count == m_rowLimit);
        connect(action, &QAction::triggered, this,
                [this, count] { emit rowLimitRequested(count); });
    }
    QAction* through = menu.addAction(QCoreApplication::translate("Zorvane", "点击穿透"));
    through->setCheckable(true);
    connect(through, &QAction::triggered, this, [this] { emit clickThroughRequested(true); });
    menu.addSeparator();
    connect(menu.addAction(QCoreApplication::translate("Zorvane", "隐藏")), &QAction::triggered,
            this, &Overlay::hideRequested);
    menu.exec(event->globalPos());
}

void Overlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void Overlay::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void Overlay::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        emit geometryChosen(geometry());
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

bool Overlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grip && event->type() == QEvent::MouseButtonRelease) {
        // After the grip has handled the release, the size is final.
        QMetaObject::invokeMethod(
            this, [this] { emit geometryChosen(geometry()); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zorvane::app
