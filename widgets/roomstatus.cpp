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
constexpr int kGap = 8;

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
    arrange(!text.isEmpty());
}

void RoomStatusLine::arrange(bool shown) {
    if (m_area.isNull()) {
        setVisible(shown);
        return;
    }
    const bool noticeShown = m_notice != nullptr && m_notice->isVisible();
    // Both share the place side by side: a notice that stays (no announcement while
    // offline) must not hide the room's state, the only way into the room panel.
    QRect own = m_area;
    QRect notice = m_area;
    if (shown && noticeShown) {
        const int half = m_area.width() / 2;
        notice.setWidth(half - kGap / 2);
        own.setLeft(m_area.left() + half + kGap / 2);
    }
    if (m_notice != nullptr && m_notice->geometry() != notice) {
        m_notice->setGeometry(notice);
    }
    if (geometry() != own) {
        setGeometry(own); // comes back through resizeEvent, with nothing left to move
    }
    setVisible(shown);
}

void RoomStatusLine::setPlace(const QRect& area) {
    m_area = area;
    setGeometry(area);
    refresh();
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

    // Sorted by name as the room keeps them; an offer that comes or changes updates its own
    // item, so a burst of offers costs a step each, not a new list each.
    m_list->setSortingEnabled(true);
    connect(&m_room, &RoomConnection::offersChanged, this, &RoomOffersPanel::update);
    QStringList all;
    for (const auto& [boss, offer] : m_room.offers()) {
        all << QString::fromStdString(boss);
    }
    update(all);
    resize(520, 300);
}

void RoomOffersPanel::update(const QStringList& bosses) {
    for (const QString& name : bosses) {
        const auto offer = m_room.offers().find(name.toStdString());
        const auto item = m_items.find(name);
        if (offer == m_room.offers().end()) {
            if (item != m_items.end()) {
                delete *item;
                m_items.erase(item);
            }
            continue;
        }
        const QString text = QCoreApplication::translate("Zorvane", "%1　周期 %2 分　上次 %3（%4）")
                                 .arg(name)
                                 .arg(offer->second.periodMinutes)
                                 .arg(localDateTimeText(offer->second.killUtcSeconds),
                                      QString::fromStdString(offer->second.nickname));
        if (item != m_items.end()) {
            (*item)->setText(text);
            continue;
        }
        auto* added = new QListWidgetItem(text);
        added->setData(Qt::UserRole, name);
        m_list->addItem(added);
        m_items.insert(name, added);
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
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(items.size()));
    for (const QListWidgetItem* item : items) {
        names.push_back(item->data(Qt::UserRole).toString().toStdString());
    }
    // All at once: one pass over the table and one list update.
    m_room.addOffered(names);
}

} // namespace zorvane::app
