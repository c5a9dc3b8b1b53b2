#include "widgets/roomstatus.h"

#include "schedule/timetext.h"
#include "services/roomconnection.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvane::app {

namespace {

const QColor kProblemColour(0xB0, 0x00, 0x00);
const QColor kFineColour(0x20, 0x60, 0x20);

QString localDateTimeText(std::int64_t instant) {
    return QString::fromStdString(
        schedule::formatDateTime(schedule::toLocal(instant), "yyyy-MM-dd ", "hh:mm:ss", true));
}

} // namespace

RoomStatusLine::RoomStatusLine(RoomConnection& room, QWidget* notice, QWidget* parent)
    : ClickableLabel(parent), m_room(&room), m_notice(notice) {
    setTextFormat(Qt::PlainText);
    if (m_notice != nullptr) {
        m_notice->installEventFilter(this);
    }
    connect(&room, &RoomConnection::statusChanged, this, &RoomStatusLine::refresh);
    hide();
}

void RoomStatusLine::refresh() {
    if (!m_room) {
        return;
    }
    const QString text = m_room->statusText();
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, m_room->statusIsProblem() ? kProblemColour : kFineColour);
    setPalette(pal);
    // Cut at the end when too long; the tooltip holds everything.
    setText(fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, contentsRect().width())));
    setToolTip(m_room->statusDetails());
    setCursor(m_room->offers().empty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    const bool noticeShown = m_notice != nullptr && m_notice->isVisible();
    setVisible(!text.isEmpty() && !noticeShown);
}

bool RoomStatusLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_notice && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        refresh();
    }
    return ClickableLabel::eventFilter(watched, event);
}

void RoomStatusLine::resizeEvent(QResizeEvent* event) {
    ClickableLabel::resizeEvent(event);
    refresh();
}

RoomOffersPanel::RoomOffersPanel(RoomConnection& room, QWidget* parent)
    : QDialog(parent), m_room(room) {
    setObjectName(QStringLiteral("roomOffersPanel"));
    setWindowTitle(QCoreApplication::translate("Zorvane", "房间里的新 BOSS"));
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QCoreApplication::translate("Zorvane", "房间成员击杀了表格中没有的 BOSS："), this));
    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(this);
    m_add = buttons->addButton(QCoreApplication::translate("Zorvane", "添加到表格"),
                               QDialogButtonBox::AcceptRole);
    m_add->setObjectName(QStringLiteral("addOfferButton"));
    buttons->addButton(QCoreApplication::translate("Zorvane", "关闭"),
                       QDialogButtonBox::RejectRole);
    connect(m_add, &QPushButton::clicked, this, &RoomOffersPanel::addSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);

    connect(&m_room, &RoomConnection::offersChanged, this, &RoomOffersPanel::refresh);
    refresh();
    resize(520, 300);
}

void RoomOffersPanel::refresh() {
    QStringList selected;
    for (const QListWidgetItem* item : m_list->selectedItems()) {
        selected << item->data(Qt::UserRole).toString();
    }
    m_list->clear();
    for (const auto& [boss, offer] : m_room.offers()) {
        const QString name = QString::fromStdString(boss);
        auto* item = new QListWidgetItem(
            QCoreApplication::translate("Zorvane", "%1　周期 %2 分　上次 %3（%4）")
                .arg(name)
                .arg(offer.periodMinutes)
                .arg(localDateTimeText(offer.killUtcSeconds),
                     QString::fromStdString(offer.nickname)),
            m_list);
        item->setData(Qt::UserRole, name);
        item->setSelected(selected.contains(name));
    }
    m_add->setEnabled(m_list->count() > 0);
}

void RoomOffersPanel::addSelected() {
    QList<QListWidgetItem*> items = m_list->selectedItems();
    if (items.isEmpty()) {
        for (int i = 0; i < m_list->count(); ++i) {
            items << m_list->item(i);
        }
    }
    QStringList names;
    for (const QListWidgetItem* item : items) {
        names << item->data(Qt::UserRole).toString();
    }
    for (const QString& name : names) {
        m_room.addOffered(name.toStdString());
    }
}

} // namespace zorvane::app
