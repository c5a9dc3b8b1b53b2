#include "widgets/roompanel.h"

#include "history/roomaudit.h"
#include "schedule/linetimers.h"
#include "schedule/timetext.h"
#include "services/coretexts.h"
#include "services/roomconnection.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zorvane::app {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString localDateTimeText(std::int64_t instant) {
    return qs(
        schedule::formatDateTime(schedule::toLocal(instant), "yyyy-MM-dd ", "hh:mm:ss", true));
}

QTableWidget* makeTable(const QStringList& titles, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(titles.size()), parent);
    table->setHorizontalHeaderLabels(titles);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
}

// Who did it: the nickname, and the member level when it differs.
QString who(const std::string& member, const std::string& nickname) {
    if (member.empty()) {
        return nickname.empty() ? QCoreApplication::translate("Zorvane", "旧版成员") : qs(nickname);
    }
    if (nickname.empty() || nickname == member) {
        return qs(member);
    }
    return QStringLiteral("%1 (%2)").arg(qs(nickname), qs(member));
}

QString kindText(const history::AuditEntry& entry) {
    switch (entry.kind) {
    case history::AuditKind::Recorded:
        return QCoreApplication::translate("Zorvane", "记录");
    case history::AuditKind::Accepted:
        return QCoreApplication::translate("Zorvane", "收到");
    case history::AuditKind::Retracted:
        return QCoreApplication::translate("Zorvane", "撤回");
    case history::AuditKind::Refused:
        return QCoreApplication::translate("Zorvane", "拒绝");
    }
    return {};
}

} // namespace

RoomAuditView::RoomAuditView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("roomAuditView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = makeTable({QCoreApplication::translate("Zorvane", "时间"),
                         QCoreApplication::translate("Zorvane", "事件"),
                         QCoreApplication::translate("Zorvane", "成员"),
                         QCoreApplication::translate("Zorvane", "BOSS"),
                         QCoreApplication::translate("Zorvane", "击杀时间"),
                         QCoreApplication::translate("Zorvane", "说明")},
                        this);
    m_table->setColumnWidth(0, 150);
    m_table->setColumnWidth(1, 50);
    m_table->setColumnWidth(2, 110);
    m_table->setColumnWidth(3, 90);
    m_table->setColumnWidth(4, 150);
    layout->addWidget(m_table);
}

void RoomAuditView::showEntries(const std::vector<history::AuditEntry>& entries) {
    m_table->setRowCount(static_cast<int>(entries.size()));
    int row = 0;
    for (const history::AuditEntry& entry : entries) {
        QString note;
        if (entry.kind == history::AuditKind::Refused) {
            note = refusalText(entry.reason);
        } else if (entry.kind == history::AuditKind::Retracted) {
            note = QCoreApplication::translate("Zorvane", "撤回 %1 的击杀")
                       .arg(who(entry.targetMember, {}));
        }
        if (entry.officer) {
            note = note.isEmpty() ? QCoreApplication::translate("Zorvane", "官员")
                                  : QCoreApplication::translate("Zorvane", "官员；") + note;
        }
        setRow(m_table, row++,
               {localDateTimeText(entry.atUtcMillis / 1000), kindText(entry),
                who(entry.member, entry.nickname),
                entry.line.empty() && entry.server.empty()
                    ? qs(entry.boss)
                    : qs(schedule::lineTitle(entry.boss, {entry.server, entry.line})),
                entry.killUtcSeconds != 0 ? localDateTimeText(entry.killUtcSeconds) : QString(),
                note});
    }
}

RoomPanel::RoomPanel(RoomConnection& room, history::RoomAuditLog* audit, QWidget* parent)
    : QDialog(parent), m_room(room), m_auditLog(audit) {
    setObjectName(QStringLiteral("roomPanel"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_role = new QLabel(this);
    m_role->setTextFormat(Qt::PlainText);
    m_role->setWordWrap(true);
    layout->addWidget(m_role);

    layout->addWidget(
        new QLabel(QCoreApplication::translate("Zorvane", "成员（本机所见）："), this));
    m_members = makeTable({QCoreApplication::translate("Zorvane", "成员"),
                           QCoreApplication::translate("Zorvane", "采用的击杀"),
                           QCoreApplication::translate("Zorvane", "撤回"),
                           QCoreApplication::translate("Zorvane", "被拒绝"),
                           QCoreApplication::translate("Zorvane", "最近的拒绝原因")},
                          this);
    m_members->setColumnWidth(0, 130);
    m_members->setColumnWidth(1, 80);
    m_members->setColumnWidth(2, 50);
    m_members->setColumnWidth(3, 180);
    layout->addWidget(m_members, 1);

    layout->addWidget(new QLabel(QCoreApplication::translate("Zorvane", "房间记录："), this));
    m_audit = new RoomAuditView(this);
    layout->addWidget(m_audit, 2);

    auto* buttons = new QHBoxLayout;
    m_offers = new QPushButton(this);
    m_offers->setObjectName(QStringLiteral("roomOffersButton"));
    auto* refreshButton = new QPushButton(QCoreApplication::translate("Zorvane", "刷新"), this);
    auto* closeButton = new QPushButton(QCoreApplication::translate("Zorvane", "关闭"), this);
    buttons->addWidget(m_offers);
    buttons->addStretch(1);
    buttons->addWidget(refreshButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    connect(m_offers, &QPushButton::clicked, this, &RoomPanel::offersRequested);
    connect(refreshButton, &QPushButton::clicked, this, &RoomPanel::refresh);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    // The counts follow the room; the trail (a query of the database) is read only when
    // opened and on 刷新, so room traffic never waits for the disk on the window thread.
    connect(&m_room, &RoomConnection::statusChanged, this, [this] {
        if (isVisible()) {
            refreshCounts();
        }
    });
    resize(720, 520);
    refresh();
}

void RoomPanel::refresh() {
    refreshCounts();
    if (m_auditLog != nullptr) {
        m_audit->showEntries(m_auditLog->recent(m_room.roomName().toStdString(), kShownEntries));
    }
}

void RoomPanel::refreshCounts() {
    setWindowTitle(QCoreApplication::translate("Zorvane", "房间 %1").arg(m_room.roomName()));
    const QString role = m_room.roleText();
    QString roleLine = role.isEmpty()
                           ? QCoreApplication::translate("Zorvane", "本成员的角色：尚未知道")
                           : QCoreApplication::translate("Zorvane", "本成员的角色：%1").arg(role);
    if (const QString advice = m_room.upgradeAdvice(); !advice.isEmpty()) {
        roleLine += "\n" + advice;
    }
    m_role->setText(roleLine);

    const auto& members = m_room.memberRecords();
    m_members->setRowCount(static_cast<int>(members.size()));
    int row = 0;
    for (const auto& [key, record] : members) {
        QStringList refused;
        for (std::size_t index = 0; index < share::kRefusalCount; ++index) {
            if (record.refused[index] > 0) {
                refused << QStringLiteral("%1 %2")
                               .arg(refusalText(
                                   share::refusalKey(static_cast<share::Refusal>(index))))
                               .arg(record.refused[index]);
            }
        }
        setRow(m_members, row++,
               {who(record.member, record.nickname), QString::number(record.accepted),
                QString::number(record.retractions),
                refused.isEmpty() ? QStringLiteral("0") : refused.join(QStringLiteral("，")),
                record.lastRefusal.empty() ? QString() : messageText(record.lastRefusal)});
    }

    const std::size_t offers = m_room.offers().size();
    m_offers->setText(QCoreApplication::translate("Zorvane", "新 BOSS（%1）…").arg(offers));
    m_offers->setEnabled(offers > 0);
}

} // namespace zorvane::app
