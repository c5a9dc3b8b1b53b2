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
#include <QDateTime>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <unordered_map>

namespace zorvane::app {

namespace {

// Event ids remembered to recognise a kill delivered twice (a resend after a reconnect,
// or the retained copy of a kill already received live).
constexpr std::size_t kSeenIds = 20000;
// Own shared kills remembered per boss for undoing them.
constexpr std::size_t kOwnKillsPerBoss = 8;

std::int64_t utcMillisNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Members are told apart by their member level; where the broker names nobody (members of
// earlier versions, one shared account) by their nickname as well.
std::string memberKey(const std::string& member, share::Standing standing,
                      const std::string& nickname) {
    const bool named = standing == share::Standing::Member || standing == share::Standing::Officer;
    return named ? member : member + '\n' + nickname;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// "黑龙", or "黑龙 3线 @ 二区" for a kill on a line.
QString killTitle(const std::string& boss, const std::string& server, const std::string& line) {
    return line.empty() && server.empty() ? qs(boss)
                                          : qs(schedule::lineTitle(boss, {server, line}));
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

struct RoomConnection::SliceView {
    RowsByName rows;
    QStringList shared;
    QStringList unshared;
};

RoomConnection::SliceView RoomConnection::sliceView() const {
    return {rowsByName(m_table), m_preferences.sharedBosses.get(),
            m_preferences.unsharedBosses.get()};
}

class RoomConnection::Relay final : public share::RoomListener {
public:
    Relay(RoomConnection& owner, std::uint64_t session, RelayNews news)
        : m_owner(owner), m_session(session), m_news(std::move(news)) {}

    // Once the client is stopped (it is being replaced), nothing of it reaches the relays.
    void retire() { m_retired = true; }

    void relayPresenceHeard(const std::string& relayId, const std::string& payload) override {
        tellRelays({push::RelayLine::Kind::Presence, "", relayId, payload});
    }
    void relayClaimHeard(const std::string& payload) override {
        tellRelays({push::RelayLine::Kind::Claim, "", "", payload});
    }

    void roomStateChanged(share::RoomState state, const text::Message& reason) override {
        if (state != share::RoomState::Connected) {
            // Who relays is unknown until the room's presences come again.
            tellRelays({push::RelayLine::Kind::Lost, "", "", ""});
        }
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
    void roleChanged(share::RoomRole role) override {
        Incoming item = make(Incoming::Kind::Role);
        item.role = role;
        m_owner.post(std::move(item));
    }
    void roomNeedsUpgrade(bool needed) override {
        Incoming item = make(Incoming::Kind::Upgrade);
        item.needsUpgrade = needed;
        m_owner.post(std::move(item));
    }
    void messageRefused(const share::RefusedMessage& refused) override {
        Incoming item = make(Incoming::Kind::Refused);
        item.refused = std::make_shared<const share::RefusedMessage>(refused);
        m_owner.post(std::move(item));
    }
    void killRetracted(const share::RetractedKill& retracted) override {
        Incoming item = make(Incoming::Kind::Retracted);
        item.retracted = std::make_shared<const share::RetractedKill>(retracted);
        m_owner.post(std::move(item));
    }
    void serverRestarted(const share::ReceivedRestart& restart) override {
        Incoming item = make(Incoming::Kind::Restart);
        item.restart = std::make_shared<const share::ReceivedRestart>(restart);
        m_owner.post(std::move(item));
    }
    void listOffered(const share::BossListOffer& offer, const std::string& member,
                     share::Standing) override {
        // The client lets through only lists on a member's own list topic, which the broker
        // lets officers alone write to in a room with roles.
        Incoming item = make(Incoming::Kind::List);
        item.list = std::make_shared<const share::BossListOffer>(offer);
        item.detail = member;
        m_owner.post(std::move(item));
    }

private:
    Incoming make(Incoming::Kind kind) const {
        Incoming item;
        item.kind = kind;
        item.session = m_session;
        return item;
    }
    void tellRelays(const push::RelayLine& line) const {
        if (m_news && !m_retired) {
            m_news(line);
        }
    }

    RoomConnection& m_owner;
    std::uint64_t m_session;
    const RelayNews m_news;
    std::atomic<bool> m_retired{false};
};

RoomConnection::RoomConnection(schedule::BossTable& table, Preferences& preferences,
                               ApplyKill applyKill, QObject* parent)
    : QObject(parent), m_table(table), m_preferences(preferences),
      m_applyKill(std::move(applyKill)) {
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
    // A restart goes to the room as one (publishRestart), where every member starts its rows
    // again by its own rules; sent as kills, members would refuse them as too early.
    if (record.source == schedule::KillSource::Remote ||
        record.source == schedule::KillSource::RollOver ||
        record.source == schedule::KillSource::Restart) {
        return;
    }
    runOnReceiverThread(this, [this, record] { publishLocal(record); });
}

void RoomConnection::publishLocal(const schedule::KillRecord& record) {
    if (!m_client || !isShared(record.boss)) {
        return;
    }
    tellBossRules();
    text::Message error;
    std::string eventId;
    const share::LocalKill kill{record.boss,       record.periodMinutes, record.delayMinutes,
                                record.utcSeconds, record.server,        record.line};
    const bool sent = m_client->publishKill(kill, error, &eventId);
    const QString sendError =
        sent ? QString()
             : QCoreApplication::translate("Zorvane", "未能共享 %1：%2")
                   .arg(killTitle(record.boss, record.server, record.line), messageText(error));
    // Undo takes back a kill by its key and instant.
    if (sent) {
        auto& own = m_ownKills[share::KillKey{record.server, record.boss, record.line}];
        own.emplace_back(record.utcSeconds, eventId);
        if (own.size() > kOwnKillsPerBoss) {
            own.pop_front();
        }
    }
    if (sent) {
        share::KillEvent event;
        event.boss = record.boss;
        event.server = record.server;
        event.line = record.line;
        event.killUtcSeconds = record.utcSeconds;
        event.eventId = eventId;
        audit(history::AuditKind::Recorded, event, m_client->member(),
              m_preferences.roomNickname.get().toStdString(), m_role == share::RoomRole::Officer);
    }
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
    m_relay->retire();
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
    if (m_listOffer) {
        m_listOffer.reset();
        emit listOfferChanged();
    }
    m_listProblem.clear();
    m_dropped = 0;
    m_pending = 0;
    m_role = share::RoomRole::Unknown;
    m_needsUpgrade = false;
    m_members.clear();
    m_ownKills.clear();
    m_droppedOffers = 0;
    if (!m_offers.empty()) {
        QStringList gone;
        for (const auto& [boss, offer] : m_offers) {
            gone << qs(boss);
        }
        m_offers.clear();
        emit offersChanged(gone);
    }
    if (m_relayNews) {
        // No room: nothing to relay until the new one is joined.
        m_relayNews({push::RelayLine::Kind::Join, "", "", ""});
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
    if (m_utcMillis) {
        options->utcMillis = m_utcMillis;
    }
    // A new id for every client: the broker may still hold the previous one's presence
    // until its goodbye arrives.
    options->relayId = share::randomId();
    const push::RelayLine join{push::RelayLine::Kind::Join, options->link.room, options->relayId,
                               ""};
    m_relay = std::make_unique<Relay>(*this, m_session, m_relayNews);
    m_client = std::make_unique<share::RoomClient>(std::move(*options), *m_relay);
    text::Message error;
    if (!m_client->start(error)) {
        m_client.reset();
        m_relay.reset();
        setProblem(QCoreApplication::translate("Zorvane", "无法加入：%1").arg(messageText(error)));
        return;
    }
    if (m_relayNews) {
        m_relayNews(join);
    }
    tellBossRules();
    emit statusChanged();
}

void RoomConnection::publishRelay(const push::RelayLine& line) {
    if (!m_client) {
        return;
    }
    if (line.kind == push::RelayLine::Kind::Presence) {
        m_client->setRelayPresence(line.payload);
    } else if (line.kind == push::RelayLine::Kind::Claim) {
        m_client->publishRelayClaim(line.payload);
    }
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
        case Incoming::Kind::Role:
            m_role = item.role;
            status = true;
            break;
        case Incoming::Kind::Upgrade:
            m_needsUpgrade = item.needsUpgrade;
            status = true;
            break;
        case Incoming::Kind::Refused:
            noteRefused(*item.refused);
            status = true;
            break;
        case Incoming::Kind::Retracted:
            // In order with the kills, below.
            kills = true;
            status = true;
            break;
        case Incoming::Kind::Restart:
            // Before the kills: a restart moves only rows with nothing newer, so its place
            // among them changes nothing.
            takeRestart(*item.restart);
            status = true;
            break;
        case Incoming::Kind::List:
            takeList(*item.list);
            status = true;
            break;
        }
    }
    if (kills) {
        // The table and the sharing choices are read once per slice.
        SliceView view = sliceView();
        RowsByName& rows = view.rows;
        const QStringList& shared = view.shared;
        const QStringList& unshared = view.unshared;
        const std::size_t offersBefore = m_offers.size();
        // Each boss once, however many of its kills the slice holds.
        std::set<std::string> offersChangedHere;
        const auto deadline = std::chrono::steady_clock::now() + kSliceBudget;
        std::size_t judged = 0;
        for (std::size_t index = 0; index < slice.size(); ++index) {
            const Incoming& item = slice[index];
            if (item.session != m_session ||
                (item.kind != Incoming::Kind::Kill && item.kind != Incoming::Kind::Retracted)) {
                continue;
            }
            // A slice that took its time leaves the rest of its kills for the next one; at
            // least one goes through each slice, however loaded the machine.
            if (judged > 0 && std::chrono::steady_clock::now() >= deadline) {
                putBack(slice, index);
                break;
            }
            ++judged;
            if (item.kind == Incoming::Kind::Retracted) {
                applyRetraction(*item.retracted, view);
                continue;
            }
            ++m_received;
            const share::KillEvent& event = item.event;
            const bool seen = seenBefore(event.eventId);
            if (!seen) {
                RoomMember& sender =
                    m_members[memberKey(event.member, event.standing, event.nickname)];
                sender.member = event.member;
                sender.nickname = event.nickname;
                sender.standing = event.standing;
                ++sender.accepted;
                status = true;
                audit(history::AuditKind::Accepted, event, event.member, event.nickname,
                      event.standing == share::Standing::Officer);
            }
            if (!event.server.empty() || !event.line.empty()) {
                takeLineKill(event, view);
                continue;
            }
            const auto found = rows.find(event.boss);
            if (found == rows.end()) {
                if (share::judgeRemoteKill(false, std::nullopt, seen, event.killUtcSeconds) !=
                    share::RemoteKillVerdict::UnknownBoss) {
                    continue;
                }
                auto offer = m_offers.find(event.boss);
                if (offer == m_offers.end()) {
                    if (m_offers.size() >= kMaxOffers) {
                        ++m_droppedOffers;
                        status = true;
                        continue;
                    }
                    offer = m_offers.emplace(event.boss, RoomOffer{}).first;
                }
                if (offer->second.boss.empty() ||
                    event.killUtcSeconds > offer->second.killUtcSeconds) {
                    offer->second = {event.boss, event.periodMinutes, event.delayMinutes,
                                     event.killUtcSeconds, event.nickname};
                    offersChangedHere.insert(event.boss);
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
        if (!offersChangedHere.empty()) {
            QStringList changed;
            for (const std::string& boss : offersChangedHere) {
                changed << qs(boss);
            }
            emit offersChanged(changed);
            if (m_offers.size() != offersBefore) {
                status = true;
            }
        }
    }
    if (status) {
        emit statusChanged();
    }
}

void RoomConnection::takeLineKill(const share::KillEvent& event, SliceView& view) {
    schedule::LineLookup why = schedule::LineLookup::NoLines;
    if (const auto found = view.rows.find(event.boss); found != view.rows.end()) {
        bool shared = false;
        for (const RowRef& row : found->second) {
            if (!bossShared(view.shared, view.unshared, event.boss, row.checked)) {
                continue;
            }
            shared = true;
            if (!m_applyLineKill) {
                break;
            }
            bool applied = false;
            why = m_applyLineKill(row.id, event.server, event.line, event.killUtcSeconds,
                                  event.nickname, applied);
            if (applied) {
                ++m_applied;
            }
            if (why == schedule::LineLookup::Found) {
                return;
            }
        }
        if (!shared) {
            return; // ignored, as any kill of a boss not shared here
        }
    }
    // A boss or line this table lacks: the boss's row never takes it, since a kill on one line
    // is not a kill of every line. The trail says so; nothing is offered.
    audit(history::AuditKind::Refused, event, event.member, event.nickname,
          event.standing == share::Standing::Officer,
          why == schedule::LineLookup::UnknownServer ? kUnknownServerKey : kUnknownLineKey);
}

void RoomConnection::putBack(std::vector<Incoming>& slice, std::size_t from) {
    const std::lock_guard lock(m_inboxMutex);
    const bool wasEmpty = m_inbox.empty();
    for (std::size_t index = slice.size(); index > from; --index) {
        Incoming& item = slice[index - 1];
        if (item.kind == Incoming::Kind::Kill || item.kind == Incoming::Kind::Retracted) {
            m_inbox.push_front(std::move(item));
        }
    }
    // As in post: whoever makes the queue non-empty hands the next slice over.
    if (wasEmpty && !m_inbox.empty()) {
        handOff(this, [this] { takeSlice(); });
    }
}

bool RoomConnection::seenBefore(const std::string& eventId) {
    if (m_seen.bucket_count() <= kSeenIds) {
        // Full size at the first id: growing the set while kills stream in would rehash
        // every id remembered on the window thread. Not at start: the buckets alone are
        // 160 kB, resident all along in a window that never joins a room.
        m_seen.reserve(kSeenIds + 1);
    }
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
    return addOffered(std::vector<std::string>{boss}) == 1;
}

std::size_t RoomConnection::addOffered(const std::vector<std::string>& bosses) {
    std::vector<RoomOffer> taken;
    QStringList names;
    for (const std::string& boss : bosses) {
        if (const auto it = m_offers.find(boss); it != m_offers.end()) {
            taken.push_back(it->second);
            names << qs(boss);
            m_offers.erase(it);
        }
    }
    if (taken.empty()) {
        return 0;
    }
    // Shared from now on, although the new rows are not checked. The preferences are
    // written once, and the lists searched through sets: thousands of offers cost no more
    // than a pass each.
    QStringList shared = m_preferences.sharedBosses.get();
    QSet<QString> sharedSet(shared.begin(), shared.end());
    const QSet<QString> added(names.begin(), names.end());
    bool sharedGrew = false;
    for (const QString& name : names) {
        if (!sharedSet.contains(name)) {
            sharedSet.insert(name);
            shared.append(name);
            sharedGrew = true;
        }
    }
    bool stored = !sharedGrew || m_preferences.sharedBosses.set(shared);
    QStringList unshared = m_preferences.unsharedBosses.get();
    if (erase_if(unshared, [&added](const QString& name) { return added.contains(name); }) > 0) {
        stored = m_preferences.unsharedBosses.set(unshared) && stored;
    }
    if (!stored) {
        // Shared for this run; the state line tells why not for the next.
        m_sendError = m_preferences.store().writeError();
    }
    const RowsByName rows = rowsByName(m_table);
    for (const RoomOffer& offer : taken) {
        if (const auto found = rows.find(offer.boss); found != rows.end()) {
            // The user made a row for it meanwhile: it gets the kill when it is newer.
            for (const RowRef& row : found->second) {
                if (share::judgeRemoteKill(true, row.lastUtc, false, offer.killUtcSeconds) ==
                    share::RemoteKillVerdict::Apply) {
                    m_applyKill(row.id, offer.killUtcSeconds, offer.nickname);
                }
            }
            continue;
        }
        const int index = m_table.appendRow();
        const schedule::RowId id = m_table.rowId(index);
        m_table.setCellTexts(
            id, {{schedule::kNumberColumn, text::integerText(index)},
                 {schedule::kNameColumn, offer.boss},
                 {schedule::kPeriodColumn, text::integerText(offer.periodMinutes)},
                 {schedule::kDelayColumn,
                  offer.delayMinutes != 0 ? text::integerText(offer.delayMinutes) : ""}});
        m_applyKill(id, offer.killUtcSeconds, offer.nickname);
    }
    emit offersChanged(names);
    emit statusChanged();
    return taken.size();
}

QString RoomConnection::statusText() const {
    // The separator of the window's language: "；" in Chinese, "; " in English.
    return statusParts().join(QCoreApplication::translate("Zorvane", "；"));
}

QStringList RoomConnection::statusParts() const {
    if (!inRoom()) {
        return {};
    }
    QStringList parts;
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
    parts << text;
    for (const auto& [id, skew] : m_skews) {
        // Only the difference is known, not whose clock is wrong: this one's or the member's.
        const long long seconds = (std::llabs(skew.offsetMillis) + 500) / 1000;
        parts << QCoreApplication::translate("Zorvane", "本机与 %1 的时钟相差 %2 秒")
                     .arg(qs(skew.nickname))
                     .arg(seconds);
    }
    if (!m_offers.empty()) {
        parts << QCoreApplication::translate("Zorvane", "%1 个新 BOSS 可添加").arg(m_offers.size());
    }
    std::uint64_t refused = 0;
    for (const auto& [key, member] : m_members) {
        for (const std::uint64_t count : member.refused) {
            refused += count;
        }
    }
    if (refused > 0) {
        parts << QCoreApplication::translate("Zorvane", "%1 条被拒绝").arg(refused);
    }
    if (!m_remoteRestart.isEmpty()) {
        parts << m_remoteRestart;
    }
    if (m_listOffer) {
        parts << QCoreApplication::translate("Zorvane", "%1 提供了首领列表（%2 个首领）")
                     .arg(m_listOffer->nickname)
                     .arg(m_listOffer->list.bosses.size());
    }
    if (!m_listProblem.isEmpty()) {
        parts << m_listProblem;
    }
    if (!m_sendError.isEmpty()) {
        parts << m_sendError;
    }
    return parts;
}

QString RoomConnection::statusDetails() const {
    if (!inRoom()) {
        return {};
    }
    QString details = statusParts().join(u'\n');
    if (const QString role = roleText(); !role.isEmpty()) {
        details += QCoreApplication::translate("Zorvane", "\n角色：%1").arg(role);
    }
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
    if (m_droppedOffers > 0) {
        details += QCoreApplication::translate(
                       "Zorvane", "\n已有 %1 个新 BOSS，另有 %2 条未知 BOSS 的击杀未列出")
                       .arg(m_offers.size())
                       .arg(m_droppedOffers);
    }
    return details;
}

bool RoomConnection::statusIsProblem() const {
    return !m_problem.isEmpty() || m_state == share::RoomState::Refused || !m_sendError.isEmpty() ||
           !m_skews.empty();
}

QString refusalText(const std::string& key) {
    if (key == kUnknownLineKey) {
        return QCoreApplication::translate("Zorvane", "本机没有这条线");
    }
    if (key == kUnknownServerKey) {
        return QCoreApplication::translate("Zorvane", "本机没有这个服务器");
    }
    for (std::size_t index = 0; index < share::kRefusalCount; ++index) {
        const auto refusal = static_cast<share::Refusal>(index);
        if (key != share::refusalKey(refusal)) {
            continue;
        }
        switch (refusal) {
        case share::Refusal::InFuture:
            return QCoreApplication::translate("Zorvane", "时间在未来");
        case share::Refusal::TooEarly:
            return QCoreApplication::translate("Zorvane", "重复击杀过早");
        case share::Refusal::TooMany:
            return QCoreApplication::translate("Zorvane", "每分钟过多");
        case share::Refusal::NotTheirs:
            return QCoreApplication::translate("Zorvane", "撤回他人的击杀");
        }
    }
    return qs(key);
}

QString RoomConnection::upgradeAdvice() const {
    if (!m_needsUpgrade) {
        return {};
    }
    return QCoreApplication::translate("Zorvane", "此房间由旧版房间脚本建立：请管理员运行“zorvane-"
                                                  "room upgrade %1”，角色变更才能干净地生效。")
        .arg(roomName());
}

QString RoomConnection::roleText() const {
    const text::Message word = share::roleMessage(m_role);
    return word.empty() ? QString() : messageText(word);
}

void RoomConnection::noteRefused(const share::RefusedMessage& refused) {
    const share::MemberRecord& sender = refused.sender;
    RoomMember& record = m_members[memberKey(sender.member, sender.standing, sender.nickname)];
    record.member = sender.member;
    record.nickname = sender.nickname;
    record.standing = sender.standing;
    record.refused = sender.refused;
    record.lastRefusal = refused.reason;
    audit(history::AuditKind::Refused, refused.kill, sender.member, sender.nickname,
          sender.standing == share::Standing::Officer, share::refusalKey(refused.refusal));
}

void RoomConnection::takeRestart(const share::ReceivedRestart& received) {
    const share::MemberRecord& sender = received.sender;
    RoomMember& record =
        m_members[memberKey(received.member, received.standing, received.restart.nickname)];
    record.member = received.member;
    record.nickname = received.restart.nickname;
    record.standing = received.standing;
    if (received.refusal) {
        record.refused = sender.refused;
        record.lastRefusal = received.reason;
        return;
    }
    // The table has no servers yet: a restart of a named server moves none of its rows.
    if (!received.restart.server.empty() || !m_applyRestart) {
        return;
    }
    const QStringList shared = m_preferences.sharedBosses.get();
    const QStringList unshared = m_preferences.unsharedBosses.get();
    m_applyRestart(received.restart.restartUtcSeconds, [&](const schedule::BossRow& row) {
        return bossShared(shared, unshared, text::trim(row.text[schedule::kNameColumn]), row.use);
    });
    m_remoteRestart = QCoreApplication::translate("Zorvane", "%1 报告服务器已于 %2 重启")
                          .arg(qs(received.restart.nickname),
                               QDateTime::fromSecsSinceEpoch(received.restart.restartUtcSeconds)
                                   .toString(QStringLiteral("HH:mm")));
}

void RoomConnection::takeList(const share::BossListOffer& offer) {
    // One's own offer comes back retained; one already handled stays handled.
    if ((m_client && offer.senderId == m_client->senderId()) ||
        offer.eventId == m_handledListEvent ||
        (m_listOffer && m_listOffer->eventId == offer.eventId)) {
        return;
    }
    text::Message error;
    std::optional<config::BossList> list = config::decodeBossList(offer.listJson, error);
    if (!list) {
        m_listProblem = QCoreApplication::translate("Zorvane", "%1 提供的首领列表无法读取：%2")
                            .arg(qs(offer.nickname), messageText(error));
        return;
    }
    m_listProblem.clear();
    m_listOffer = ListOffer{qs(offer.nickname), offer.eventId, std::move(*list)};
    emit listOfferChanged();
}

void RoomConnection::setListOfferHandled() {
    if (!m_listOffer) {
        return;
    }
    m_handledListEvent = m_listOffer->eventId;
    m_listOffer.reset();
    emit listOfferChanged();
    emit statusChanged();
}

bool RoomConnection::canOfferList() const {
    return m_client != nullptr &&
           (m_role == share::RoomRole::Officer || m_role == share::RoomRole::Unmanaged);
}

bool RoomConnection::offerList(const config::BossList& list, QString& error) {
    if (!m_client) {
        error = QCoreApplication::translate("Zorvane", "没有加入房间");
        return false;
    }
    const std::string json = config::encodeBossList(list, config::ListLayout::Compact);
    if (json.size() > share::kMaxListBytes) {
        error = QCoreApplication::translate("Zorvane", "首领列表太大：房间里最多 %1 KB")
                    .arg(share::kMaxListBytes / 1024);
        return false;
    }
    text::Message reason;
    if (!m_client->offerList("bosses", json, reason)) {
        error = QCoreApplication::translate("Zorvane", "未能向房间提供首领列表：%1")
                    .arg(messageText(reason));
        return false;
    }
    return true;
}

bool RoomConnection::publishRestart(schedule::UtcSeconds instant, QString& error) {
    if (!m_client) {
        return false;
    }
    text::Message reason;
    if (!m_client->publishRestart({}, instant, reason)) {
        error = QCoreApplication::translate("Zorvane", "未能把服务器重启告知房间：%1")
                    .arg(messageText(reason));
        if (error != m_sendError) {
            m_sendError = error;
            emit statusChanged();
        }
        return false;
    }
    return true;
}

void RoomConnection::applyRetraction(const share::RetractedKill& retracted, SliceView& view) {
    const share::Retraction& retraction = retracted.retraction;
    const bool officer = retracted.standing == share::Standing::Officer;
    RoomMember& record =
        m_members[memberKey(retracted.member, retracted.standing, retraction.nickname)];
    record.member = retracted.member;
    record.nickname = retraction.nickname;
    record.standing = retracted.standing;
    ++record.retractions;
    share::KillEvent target = retracted.target.value_or(share::KillEvent{});
    target.boss = retraction.key.boss;
    target.server = retraction.key.server;
    target.line = retraction.key.line;
    target.killUtcSeconds = retraction.killUtcSeconds;
    target.eventId = retraction.eventId;
    audit(history::AuditKind::Retracted, target, retracted.member, retraction.nickname, officer,
          retraction.targetEventId + '\n' + retraction.targetMember);
    if (!retracted.wasNewest) {
        return; // no row or line showed it
    }
    const std::optional<schedule::UtcSeconds> restored =
        retracted.restored ? std::optional(retracted.restored->killUtcSeconds) : std::nullopt;
    if (!retraction.key.server.empty() || !retraction.key.line.empty()) {
        // A kill on a line: that line of the boss's shared rows goes back, never a row.
        const auto found = view.rows.find(retraction.key.boss);
        if (!m_restoreLineKill || found == view.rows.end()) {
            return;
        }
        for (const RowRef& row : found->second) {
            if (bossShared(view.shared, view.unshared, retraction.key.boss, row.checked) &&
                m_restoreLineKill(row.id, retraction.key.server, retraction.key.line,
                                  retraction.killUtcSeconds, restored)) {
                return;
            }
        }
        return;
    }
    if (!m_restoreKill) {
        return;
    }
    const auto found = view.rows.find(retraction.key.boss);
    if (found == view.rows.end()) {
        if (const auto offer = m_offers.find(retraction.key.boss);
            offer != m_offers.end() && offer->second.killUtcSeconds == retraction.killUtcSeconds) {
            m_offers.erase(offer);
            emit offersChanged({qs(retraction.key.boss)});
        }
        return;
    }
    for (RowRef& row : found->second) {
        // Only rows that show the retracted kill go back; a row with a kill of its own
        // keeps it.
        if (bossShared(view.shared, view.unshared, retraction.key.boss, row.checked) &&
            row.lastUtc == std::optional(retraction.killUtcSeconds) &&
            m_restoreKill(row.id, retraction.killUtcSeconds, restored)) {
            const std::optional<schedule::BossRow> now = m_table.row(row.id);
            row.lastUtc = now ? now->timing.lastUtc : std::nullopt;
        }
    }
}

void RoomConnection::audit(history::AuditKind kind, const share::KillEvent& kill,
                           const std::string& member, const std::string& nickname, bool officer,
                           const std::string& detail) {
    if (m_auditLog == nullptr) {
        return;
    }
    history::AuditEntry entry;
    entry.atUtcMillis = m_utcMillis ? m_utcMillis() : utcMillisNow();
    entry.room = m_room.toStdString();
    entry.kind = kind;
    entry.member = member;
    entry.nickname = nickname;
    entry.officer = officer;
    entry.boss = kill.boss;
    entry.server = kill.server;
    entry.line = kill.line;
    entry.killUtcSeconds = kill.killUtcSeconds;
    entry.eventId = kill.eventId;
    if (kind == history::AuditKind::Refused) {
        entry.reason = detail;
    } else if (kind == history::AuditKind::Retracted) {
        const std::size_t split = detail.find('\n');
        entry.targetEventId = detail.substr(0, split);
        entry.targetMember = split == std::string::npos ? std::string() : detail.substr(split + 1);
    }
    m_auditLog->record(std::move(entry));
}

void RoomConnection::tellBossRules() {
    if (!m_client) {
        return;
    }
    std::map<std::string, int> rules;
    for (const schedule::BossRow& row : m_table.rows()) {
        const int minutes = row.timing.periodMinutes + row.timing.delayMinutes;
        if (minutes > 0) {
            rules[text::trim(row.text[schedule::kNameColumn])] = minutes;
        }
    }
    m_client->setBossRules(std::move(rules));
}

bool RoomConnection::canRetract(const std::string& boss) const {
    return m_client && m_role == share::RoomRole::Officer &&
           m_client->newestKill(share::KillKey{"", boss, ""}).has_value();
}

bool RoomConnection::retractNewest(const std::string& boss, QString& error) {
    const std::optional<share::KillEvent> newest =
        m_client ? m_client->newestKill({"", boss, ""}) : std::nullopt;
    text::Message reason;
    share::RetractionJudgement judgement;
    if (!newest) {
        error = QCoreApplication::translate("Zorvane", "房间里没有 %1 的击杀").arg(qs(boss));
    } else if (!m_client->retractKill(newest->eventId, reason, &judgement)) {
        error = messageText(reason);
    } else {
        error.clear();
    }
    // Told on the state line, as a kill that could not be shared is.
    m_sendError =
        error.isEmpty()
            ? QString()
            : QCoreApplication::translate("Zorvane", "未能撤回 %1：%2").arg(qs(boss), error);
    if (!error.isEmpty()) {
        emit statusChanged();
        return false;
    }
    share::RetractedKill done;
    done.retraction.targetEventId = newest->eventId;
    done.retraction.targetMember = newest->member;
    done.retraction.key = {"", boss, ""};
    done.retraction.killUtcSeconds = newest->killUtcSeconds;
    done.retraction.nickname = m_preferences.roomNickname.get().toStdString();
    done.member = m_client->member();
    done.standing =
        m_role == share::RoomRole::Officer ? share::Standing::Officer : share::Standing::Member;
    done.target = judgement.target;
    done.wasNewest = judgement.wasNewest;
    done.restored = judgement.restored;
    SliceView view = sliceView();
    applyRetraction(done, view);
    emit statusChanged();
    return true;
}

void RoomConnection::ownKillUndone(const std::string& boss, const schedule::LineKey& line,
                                   schedule::UtcSeconds instant, bool undone) {
    if (!m_client) {
        return;
    }
    const auto own = m_ownKills.find(share::KillKey{line.server, boss, line.line});
    if (own == m_ownKills.end()) {
        return; // not shared by this member (a received kill): nothing to take back
    }
    auto& kills = own->second;
    const auto kill = std::find_if(kills.begin(), kills.end(),
                                   [&](const auto& entry) { return entry.first == instant; });
    if (kill == kills.end()) {
        return;
    }
    const std::string eventId = kill->second;
    if (!undone) {
        // Redone: the kill is this member's again and goes out anew, with the row's rule.
        kills.erase(kill);
        for (const schedule::BossRow& row : m_table.rows()) {
            if (text::trim(row.text[schedule::kNameColumn]) == boss) {
                schedule::KillRecord record{boss,
                                            instant,
                                            row.timing.periodMinutes,
                                            row.timing.delayMinutes,
                                            schedule::KillSource::DoubleClick,
                                            {}};
                record.server = line.server;
                record.line = line.line;
                publishLocal(record);
                return;
            }
        }
        return;
    }
    text::Message reason;
    const QString sendError =
        m_client->retractKill(eventId, reason)
            ? QString()
            : QCoreApplication::translate("Zorvane", "未能撤回 %1：%2")
                  .arg(killTitle(boss, line.server, line.line), messageText(reason));
    if (sendError != m_sendError) {
        m_sendError = sendError;
        emit statusChanged();
    }
}

} // namespace zorvane::app
