#include "services/roomconnection.h"

#include "services/coretexts.h"
#include "services/handoff.h"
#include "services/preferences.h"
#include "services/roomkill.h"
#include "share/roomlink.h"
#include "text/numbers.h"
#include "text/textops.h"
#include "work/worker.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <unordered_map>

namespace zorvane::app {

namespace {

// Event ids remembered to recognise a kill delivered twice (a resend after a reconnect,
// or the retained copy of a kill already received live).
constexpr std::size_t kSeenIds = 20000;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The rows of the table by trimmed boss name, read once per slice of received kills.
struct RowRef {
    schedule::RowId id = 0;
    std::optional<schedule::UtcSeconds> lastUtc;
    bool checked = false;
};
using RowsByName = std::unordered_map<std::string, std::vector<RowRef>>;

RowsByName rowsByName(const schedule::BossTable& table) {
    RowsByName rows;
    for (const schedule::BossRow& row : table.rows()) {
        rows[text::trim(row.text[schedule::kNameColumn])].push_back(
            {row.id, row.timing.lastUtc, row.use});
    }
    return rows;
}

} // namespace

class RoomConnection::Relay final : public share::RoomListener {
public:
    Relay(RoomConnection& owner, std::uint64_t session) : m_owner(owner), m_session(session) {}

    void roomStateChanged(share::RoomState state, const text::Message& reason) override {
        Incoming item = make(Incoming::Kind::State);
        item.state = state;
        item.stateReason = reason;
        m_owner.post(std::move(item));
    }
    void remoteKill(const share::KillEvent& event, bool) override {
        Incoming item = make(Incoming::Kind::Kill);
        item.event = event;
        m_owner.post(std::move(item));
    }
    void messageDropped(share::DropReason, const std::string& detail) override {
        Incoming item = make(Incoming::Kind::Dropped);
        item.detail = detail;
        m_owner.post(std::move(item));
    }
    void clockSkew(const share::MemberSkew& skew) override {
        Incoming item = make(Incoming::Kind::Skew);
        item.skew = skew;
        m_owner.post(std::move(item));
    }
    void killsPending(std::size_t pending) override {
        Incoming item = make(Incoming::Kind::Pending);
        item.pending = pending;
        m_owner.post(std::move(item));
    }

private:
    Incoming make(Incoming::Kind kind) const {
        Incoming item;
        item.kind = kind;
        item.session = m_session;
        return item;
    }

    RoomConnection& m_owner;
    std::uint64_t m_session;
};

RoomConnection::RoomConnection(schedule::BossTable& table, Preferences& preferences,
                               ApplyKill applyKill, QObject* parent)
    : QObject(parent), m_table(table), m_preferences(preferences),
      m_applyKill(std::move(applyKill)) {
    // Full size at once: growing the set while kills stream in would rehash every id
    // remembered on the window thread.
    m_seen.reserve(kSeenIds + 1);
    // The dialog stores the room's options one after another; join once for all of them.
    auto* rejoinTimer = new QTimer(this);
    rejoinTimer->setSingleShot(true);
    rejoinTimer->setInterval(0);
    connect(rejoinTimer, &QTimer::timeout, this, &RoomConnection::rejoin);
    const auto later = [rejoinTimer](const QString&) { rejoinTimer->start(); };
    m_preferences.roomLink.onChanged(this, later);
    m_preferences.roomPassword.onChanged(this, later);
    m_preferences.roomNickname.onChanged(this, later);
    m_preferences.roomCaFile.onChanged(this, later);
}

RoomConnection::~RoomConnection() {
    if (m_client) {
        m_client->stop();
    }
    m_client.reset();
    m_relay.reset();
    for (std::thread& retiring : m_retiring) {
        retiring.join();
    }
}

void RoomConnection::recordKill(const schedule::KillRecord& record) {
    if (m_killLog != nullptr) {
        m_killLog->recordKill(record);
    }
    // Roll-overs are this program's guesses and received kills came from the room.
    if (record.source == schedule::KillSource::Remote ||
        record.source == schedule::KillSource::RollOver) {
        return;
    }
    runOnReceiverThread(this, [this, record] { publishLocal(record); });
}

void RoomConnection::publishLocal(const schedule::KillRecord& record) {
    if (!m_client || !isShared(record.boss)) {
        return;
    }
    std::string error;
    const bool sent = m_client->publishKill(
        {record.boss, record.periodMinutes, record.delayMinutes, record.utcSeconds}, error);
    const QString sendError = sent ? QString()
                                   : QCoreApplication::translate("Zorvane", "未能共享 %1：%2")
                                         .arg(qs(record.boss), qs(error));
    if (sendError != m_sendError) {
        m_sendError = sendError;
        emit statusChanged();
    }
}

void RoomConnection::leave() {
    if (!m_client) {
        return;
    }
    // Stopping waits for the client's threads (a first connection may hang on a name
    // lookup); the window goes on meanwhile, and reports of the old room are ignored.
    m_retiring.emplace_back([client = std::move(m_client), relay = std::move(m_relay)]() mutable {
        work::nameThisThread("room stopper");
        client->stop();
        client.reset();
        relay.reset();
    });
}

void RoomConnection::rejoin() {
    leave();
    ++m_session;
    m_state = share::RoomState::Stopped;
    m_reason = {};
    m_problem.clear();
    m_sendError.clear();
    m_skews.clear();
    m_dropped = 0;
    m_pending = 0;
    if (!m_offers.empty()) {
        m_offers.clear();
        emit offersChanged();
    }
    const QString linkText = m_preferences.roomLink.get().trimmed();
    m_room = linkText;
    if (linkText.isEmpty()) {
        emit statusChanged();
        return;
    }
    text::Message reason;
    std::optional<share::RoomOptions> options = roomOptionsFrom(m_preferences, reason);
    if (!options) {
        setProblem(QCoreApplication::translate("Zorvane", "链接无效：%1").arg(messageText(reason)));
        return;
    }
    m_room = qs(options->link.room);
    m_relay = std::make_unique<Relay>(*this, m_session);
    m_client = std::make_unique<share::RoomClient>(std::move(*options), *m_relay);
    text::Message error;
    if (!m_client->start(error)) {
        m_client.reset();
        m_relay.reset();
        setProblem(QCoreApplication::translate("Zorvane", "无法加入：%1").arg(messageText(error)));
        return;
    }
    emit statusChanged();
}

void RoomConnection::setProblem(const QString& problem) {
    m_problem = problem;
    emit statusChanged();
}

void RoomConnection::post(Incoming item) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(m_inboxMutex);
        wasEmpty = m_inbox.empty();
        m_inbox.push_back(std::move(item));
    }
    // One hand-off per non-empty queue: a flood of messages costs one queued call per
    // slice, not one per message.
    if (wasEmpty) {
        handOff(this, [this] { takeSlice(); });
    }
}

void RoomConnection::takeSlice() {
    std::vector<Incoming> slice;
    {
        const std::lock_guard lock(m_inboxMutex);
        const std::size_t count = std::min(kSliceEvents, m_inbox.size());
        slice.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            slice.push_back(std::move(m_inbox.front()));
            m_inbox.pop_front();
        }
        // The rest waits for the next slice, after whatever else the window has to do.
        if (!m_inbox.empty()) {
            handOff(this, [this] { takeSlice(); });
        }
    }
    bool status = false;
    bool kills = false;
    for (const Incoming& item : slice) {
        if (item.session != m_session) {
            continue; // from a room left meanwhile
        }
        switch (item.kind) {
        case Incoming::Kind::State:
            m_state = item.state;
            m_reason = item.stateReason;
            status = true;
            break;
        case Incoming::Kind::Kill:
            kills = true;
            break;
        case Incoming::Kind::Dropped:
            ++m_dropped;
            status = true;
            break;
        case Incoming::Kind::Skew:
            if (item.skew.skewed) {
                m_skews[item.skew.senderId] = item.skew;
            } else {
                m_skews.erase(item.skew.senderId);
            }
            status = true;
            break;
        case Incoming::Kind::Pending:
            m_pending = item.pending;
            break;
        }
    }
    if (kills) {
        // The table and the sharing choices are read once per slice.
        RowsByName rows = rowsByName(m_table);
        const QStringList shared = m_preferences.sharedBosses.get();
        const QStringList unshared = m_preferences.unsharedBosses.get();
        const std::size_t offersBefore = m_offers.size();
        bool offersChangedHere = false;
        const auto deadline = std::chrono::steady_clock::now() + kSliceBudget;
        std::size_t judged = 0;
        for (std::size_t index = 0; index < slice.size(); ++index) {
            const Incoming& item = slice[index];
            if (item.session != m_session || item.kind != Incoming::Kind::Kill) {
                continue;
            }
            // A slice that took its time leaves the rest of its kills for the next one; at
            // least one goes through each slice, however loaded the machine.
            if (judged > 0 && std::chrono::steady_clock::now() >= deadline) {
                putBack(slice, index);
                break;
            }
            ++judged;
            ++m_received;
            const share::KillEvent& event = item.event;
            const bool seen = seenBefore(event.eventId);
            const auto found = rows.find(event.boss);
            if (found == rows.end()) {
                if (share::judgeRemoteKill(false, std::nullopt, seen, event.killUtcSeconds) !=
                    share::RemoteKillVerdict::UnknownBoss) {
                    continue;
                }
                RoomOffer& offer = m_offers[event.boss];
                if (offer.boss.empty() || event.killUtcSeconds > offer.killUtcSeconds) {
                    offer = {event.boss, event.periodMinutes, event.delayMinutes,
                             event.killUtcSeconds, event.nickname};
                    offersChangedHere = true;
                }
                continue;
            }
            for (RowRef& row : found->second) {
                if (!bossShared(shared, unshared, event.boss, row.checked)) {
                    continue;
                }
                if (share::judgeRemoteKill(true, row.lastUtc, seen, event.killUtcSeconds) ==
                        share::RemoteKillVerdict::Apply &&
                    m_applyKill(row.id, event.killUtcSeconds, event.nickname)) {
                    row.lastUtc = event.killUtcSeconds;
                    ++m_applied;
                }
            }
        }
        if (offersChangedHere) {
            emit offersChanged();
            if (m_offers.size() != offersBefore) {
                status = true;
            }
        }
    }
    if (status) {
        emit statusChanged();
    }
}

void RoomConnection::putBack(std::vector<Incoming>& slice, std::size_t from) {
    const std::lock_guard lock(m_inboxMutex);
    const bool wasEmpty = m_inbox.empty();
    for (std::size_t index = slice.size(); index > from; --index) {
        Incoming& item = slice[index - 1];
        if (item.kind == Incoming::Kind::Kill) {
            m_inbox.push_front(std::move(item));
        }
    }
    // As in post: whoever makes the queue non-empty hands the next slice over.
    if (wasEmpty && !m_inbox.empty()) {
        handOff(this, [this] { takeSlice(); });
    }
}

bool RoomConnection::seenBefore(const std::string& eventId) {
    if (!m_seen.insert(eventId).second) {
        return true;
    }
    m_seenOrder.push_back(eventId);
    if (m_seenOrder.size() > kSeenIds) {
        m_seen.erase(m_seenOrder.front());
        m_seenOrder.pop_front();
    }
    return false;
}

bool RoomConnection::isShared(const std::string& boss) const {
    return bossShared(m_preferences, m_table.rows(), boss);
}

bool RoomConnection::addOffered(const std::string& boss) {
    const auto it = m_offers.find(boss);
    if (it == m_offers.end()) {
        return false;
    }
    const RoomOffer offer = it->second;
    m_offers.erase(it);
    // Shared from now on, although the new row is not checked.
    QStringList shared = m_preferences.sharedBosses.get();
    if (!shared.contains(qs(boss))) {
        shared.append(qs(boss));
        m_preferences.sharedBosses.set(shared);
    }
    QStringList unshared = m_preferences.unsharedBosses.get();
    if (unshared.removeAll(qs(boss)) > 0) {
        m_preferences.unsharedBosses.set(unshared);
    }
    RowsByName rows = rowsByName(m_table);
    if (const auto found = rows.find(boss); found != rows.end()) {
        // The user made a row for it meanwhile: it gets the kill when it is newer.
        for (const RowRef& row : found->second) {
            if (share::judgeRemoteKill(true, row.lastUtc, false, offer.killUtcSeconds) ==
                share::RemoteKillVerdict::Apply) {
                m_applyKill(row.id, offer.killUtcSeconds, offer.nickname);
            }
        }
    } else {
        const int index = m_table.appendRow();
        const schedule::RowId id = m_table.rowId(index);
        m_table.setCellTexts(
            id, {{schedule::kNumberColumn, text::integerText(index)},
                 {schedule::kNameColumn, boss},
                 {schedule::kPeriodColumn, text::integerText(offer.periodMinutes)},
                 {schedule::kDelayColumn,
                  offer.delayMinutes != 0 ? text::integerText(offer.delayMinutes) : ""}});
        m_applyKill(id, offer.killUtcSeconds, offer.nickname);
    }
    emit offersChanged();
    emit statusChanged();
    return true;
}

QString RoomConnection::statusText() const {
    if (!inRoom()) {
        return {};
    }
    QString text = QCoreApplication::translate("Zorvane", "房间 %1：").arg(m_room);
    if (!m_problem.isEmpty()) {
        text += m_problem;
    } else {
        switch (m_state) {
        case share::RoomState::Stopped:
        case share::RoomState::Connecting:
            text += QCoreApplication::translate("Zorvane", "正在连接…");
            break;
        case share::RoomState::Connected:
            text += QCoreApplication::translate("Zorvane", "已连接");
            break;
        case share::RoomState::Reconnecting:
            text += m_reason.empty() ? QCoreApplication::translate("Zorvane", "正在重新连接…")
                                     : QCoreApplication::translate("Zorvane", "正在重新连接（%1）")
                                           .arg(messageText(m_reason));
            break;
        case share::RoomState::Refused:
            text += QCoreApplication::translate("Zorvane", "被拒绝：%1").arg(messageText(m_reason));
            break;
        }
    }
    for (const auto& [id, skew] : m_skews) {
        const long long seconds = (std::llabs(skew.offsetMillis) + 500) / 1000;
        text += QStringLiteral("；clock of %1 differs by %2 s").arg(qs(skew.nickname)).arg(seconds);
    }
    if (!m_offers.empty()) {
        text +=
            QCoreApplication::translate("Zorvane", "；%1 个新 BOSS 可添加").arg(m_offers.size());
    }
    if (!m_sendError.isEmpty()) {
        text += QStringLiteral("；") + m_sendError;
    }
    return text;
}

QString RoomConnection::statusDetails() const {
    if (!inRoom()) {
        return {};
    }
    QString details = statusText().replace(QStringLiteral("；"), QStringLiteral("\n"));
    if (m_dropped > 0) {
        details += QCoreApplication::translate("Zorvane", "\n已丢弃 %1 条无效消息").arg(m_dropped);
    }
    if (m_pending > 0) {
        details +=
            QCoreApplication::translate("Zorvane", "\n%1 条击杀等待服务器确认").arg(m_pending);
    }
    if (!m_offers.empty()) {
        details += QCoreApplication::translate("Zorvane", "\n点击查看新 BOSS");
    }
    return details;
}

bool RoomConnection::statusIsProblem() const {
    return !m_problem.isEmpty() || m_state == share::RoomState::Refused || !m_sendError.isEmpty() ||
           !m_skews.empty();
}

} // namespace zorvane::app
