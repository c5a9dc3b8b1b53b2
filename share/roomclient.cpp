#include "share/roomclient.h"

#include "share/brokerreasons.h"
#include "share/mosquittoapi.h"

#include "text/textops.h"
#include "work/worker.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

namespace zorvane::share {

namespace {

// OpenSSL's SSL_VERIFY_PEER, without including OpenSSL's headers for one constant.
constexpr int kVerifyPeer = 1;
// Where Debian keeps the system's trusted CAs, one file per CA with hash links.
constexpr const char* kSystemCaPath = "/etc/ssl/certs";
// Retained messages held back during a catch-up at most; beyond, they are judged at once.
constexpr std::size_t kMaxHeld = 200000;
// A reason code of 0x80 or above is a refusal.
constexpr int kFirstRefusal = 0x80;

// The role probes, in the order of RoomClient::m_probeAllowed.
enum Probe { kProbeUnmanaged, kProbeRecorder, kProbeOfficer, kProbeLegacy, kProbeCount };

std::int64_t systemUtcMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

KillKey keyOf(const KillEvent& event) {
    return {event.server, event.boss, event.line};
}

std::string slotOf(char kind, const KillKey& key) {
    return std::string(1, kind) + key.server + '\x1f' + key.boss + '\x1f' + key.line;
}

// How the room sees what this member sends.
Standing ownStanding(RoomRole role) {
    switch (role) {
    case RoomRole::Officer:
        return Standing::Officer;
    case RoomRole::Unmanaged:
        return Standing::Unmanaged;
    case RoomRole::Unknown:
    case RoomRole::Reader:
    case RoomRole::Recorder:
        break;
    }
    return Standing::Member;
}

bool newerThan(const KillEvent& a, const KillEvent& b) {
    return std::tie(a.killUtcSeconds, a.eventId) > std::tie(b.killUtcSeconds, b.eventId);
}

} // namespace

// What the referee decided, told to the listener once the locks are released.
struct RoomClient::Outcome {
    enum class Kind { Kill, Refused, Retracted, List, Skew, SendRefused, Restart };
    Kind kind = Kind::Kill;
    KillEvent kill;
    bool retained = false;
    RefusedMessage refused;
    RetractedKill retracted;
    BossListOffer list;
    std::string member;
    Standing standing = Standing::Member;
    std::string detail;
    MemberSkew skew;
    text::Message reason;
    ReceivedRestart restart;
};

const char* describe(RoomState state) {
    switch (state) {
    case RoomState::Stopped:
        return "stopped";
    case RoomState::Connecting:
        return "connecting";
    case RoomState::Connected:
        return "connected";
    case RoomState::Reconnecting:
        return "reconnecting";
    case RoomState::Refused:
        return "refused";
    }
    return "unknown";
}

const char* describe(RoomRole role) {
    switch (role) {
    case RoomRole::Unknown:
        return "unknown";
    case RoomRole::Reader:
        return "reader";
    case RoomRole::Recorder:
        return "recorder";
    case RoomRole::Officer:
        return "officer";
    case RoomRole::Unmanaged:
        return "unmanaged";
    }
    return "unknown";
}

text::Message roleMessage(RoomRole role) {
    switch (role) {
    case RoomRole::Unknown:
        return {};
    case RoomRole::Reader:
        return text::Message(text::MessageId::RoomRoleReader);
    case RoomRole::Recorder:
        return text::Message(text::MessageId::RoomRoleRecorder);
    case RoomRole::Officer:
        return text::Message(text::MessageId::RoomRoleOfficer);
    case RoomRole::Unmanaged:
        return text::Message(text::MessageId::RoomRoleUnmanaged);
    }
    return {};
}

RoomClient::RoomClient(RoomOptions options, RoomListener& listener)
    : m_options(std::move(options)), m_listener(listener), m_senderId(randomId()),
      m_member(memberLevel(m_options.link.user)), m_referee(m_options.rules),
      m_pacer(m_options.rules.killsPerMinute, m_options.paceMarginMillis) {
    if (!m_options.utcMillis) {
        m_options.utcMillis = systemUtcMillis;
    }
    m_mirror = m_options.mirrorToLegacy;
    m_refusedDelaySeconds = m_options.reconnectMinSeconds;
    // Short enough for brokers that hold MQTT 3.1.1's limit of 23 characters.
    m_clientId = "zorvane-" + m_senderId.substr(0, 15);
}

RoomClient::~RoomClient() {
    stop();
}

bool RoomClient::start(text::Message& error) {
    if (m_mosq != nullptr) {
        error = text::Message(text::MessageId::RoomAlreadyStarted);
        return false;
    }
    const RoomLink& link = m_options.link;
    // Checked here, so that a file that is no CA certificate is named as that at once
    // rather than as a failed handshake.
    if (link.secure && !m_options.caFile.empty()) {
        if (std::optional<text::Message> problem = caFileProblem(m_options.caFile)) {
            error = *problem;
            return false;
        }
    }
    std::string loadError;
    m_api = mosquittoApi(&loadError);
    if (m_api == nullptr) {
        error = text::Message(text::MessageId::RoomNoLibrary, {text::Message::literal(loadError)});
        return false;
    }
    m_mosq = m_api->create(m_clientId.c_str(), true, this);
    if (m_mosq == nullptr) {
        error = text::Message(text::MessageId::RoomNoClient);
        return false;
    }
    // Each connection picks its own protocol (connectOnce).
    m_api->connectCallbackSet(m_mosq, &RoomClient::onConnect);
    m_api->disconnectCallbackSet(m_mosq, &RoomClient::onDisconnect);
    m_api->publishCallbackSet(m_mosq, &RoomClient::onPublish);
    m_api->messageCallbackSet(m_mosq, &RoomClient::onMessage);
    m_api->subscribeCallbackSet(m_mosq, &RoomClient::onSubscribe);
    m_api->logCallbackSet(m_mosq, &RoomClient::onLog);
    // Kills are tiny and should go out at once rather than wait to fill a packet.
    m_api->intOption(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    m_api->reconnectDelaySet(m_mosq, static_cast<unsigned>(m_options.reconnectMinSeconds),
                             static_cast<unsigned>(m_options.reconnectMaxSeconds), true);

    if (!link.user.empty()) {
        const int rc =
            m_api->usernamePwSet(m_mosq, link.user.c_str(),
                                 m_options.password.empty() ? nullptr : m_options.password.c_str());
        if (rc != MOSQ_ERR_SUCCESS) {
            error = text::Message(text::MessageId::RoomUserRefused,
                                  {text::Message::literal(m_api->strerror(rc))});
            stop();
            return false;
        }
    }
    if (link.secure) {
        const bool ownCa = !m_options.caFile.empty();
        int rc = m_api->tlsSet(m_mosq, ownCa ? m_options.caFile.c_str() : nullptr,
                               ownCa ? nullptr : kSystemCaPath, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = m_api->tlsOptsSet(m_mosq, kVerifyPeer, nullptr, nullptr);
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            // The certificate must name the host of the link.
            rc = m_api->tlsInsecureSet(m_mosq, false);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            error = ownCa ? text::Message(text::MessageId::RoomCaFileUnusable,
                                          {text::Message::literal(m_options.caFile)})
                          : text::Message(text::MessageId::RoomSystemCaUnusable);
            stop();
            return false;
        }
    }
    if (!m_options.relayId.empty()) {
        // The broker forgets this relay when the connection is lost without a goodbye.
        const std::string topic = relayTopic(link.room, m_options.relayId);
        m_api->willSet(m_mosq, topic.c_str(), 0, nullptr, 1, true);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_nextMqtt5 = false;
    }
    setState(RoomState::Connecting, {});
    m_keeper = std::thread([this] {
        work::nameThisThread("room keeper");
        connectOnce();
        keeperLoop();
    });
    return true;
}

void RoomClient::useProtocol(bool mqtt5) {
    m_api->intOption(m_mosq, MOSQ_OPT_PROTOCOL_VERSION,
                     mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // The largest packet we take, on MQTT 5: a broker that honours it drops anything larger
    // before sending it, so a hostile member's huge message is never read into memory here.
    // (MQTT 3.1.1 has no such property: there the room's broker limits every packet, with
    // max_packet_size in zorvane-room.conf.) The library sends the CONNECT properties of its
    // one call that takes them on every later (re)connection too, and refuses to connect
    // over MQTT 3.1.1 while it holds any; that call connects blocking, so it is made with a
    // keep-alive it refuses before connecting, and the connection itself is made
    // asynchronously (connectOnce).
    mosquitto_property* properties = nullptr;
    if (mqtt5) {
        m_api->propertyAddInt32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                static_cast<std::uint32_t>(kMaxPacketBytes));
    }
    m_api->connectBindV5(m_mosq, m_options.link.host.c_str(), m_options.link.port, 1, nullptr,
                         properties);
    m_api->propertyFreeAll(&properties);
}

// The first connection resolves the host name and opens the socket, which may take a
// while; once the library has a socket, its own thread takes over (including reconnects).
void RoomClient::connectOnce() {
    int delay = m_options.reconnectMinSeconds;
    bool mqtt5 = false;
    {
        const std::lock_guard stateLock(m_mutex);
        mqtt5 = m_mqtt5 = m_nextMqtt5;
    }
    // No network thread runs now: the options are the keeper's to set.
    useProtocol(mqtt5);
    while (true) {
        const int rc = m_api->connectAsync(m_mosq, m_options.link.host.c_str(), m_options.link.port,
                                           m_options.keepAliveSeconds);
        std::unique_lock lock(m_keeperMutex);
        {
            const std::lock_guard stateLock(m_mutex);
            if (m_stopping) {
                return;
            }
        }
        if (rc == MOSQ_ERR_SUCCESS && m_api->loopStart(m_mosq) == MOSQ_ERR_SUCCESS) {
            const std::lock_guard stateLock(m_mutex);
            m_loopRunning = true;
            return;
        }
        lock.unlock();
        if (rc == MOSQ_ERR_TLS) {
            // The TLS set-up itself failed (e.g. the CA file holds no certificate): trying
            // again cannot help, and the library's log already gave the reason.
            {
                const std::lock_guard stateLock(m_mutex);
                if (m_state == RoomState::Refused) {
                    return;
                }
            }
            setState(RoomState::Refused, text::Message(text::MessageId::RoomTlsFailed));
            return;
        }
        setState(RoomState::Reconnecting, rc == MOSQ_ERR_ERRNO
                                              ? text::Message(text::MessageId::RoomUnreachable)
                                              : text::Message::literal(m_api->strerror(rc)));
        lock.lock();
        m_keeperWake.wait_for(lock, std::chrono::seconds(delay), [this] {
            const std::lock_guard stateLock(m_mutex);
            return m_stopping;
        });
        {
            const std::lock_guard stateLock(m_mutex);
            if (m_stopping) {
                return;
            }
        }
        delay = std::min(delay * 2, m_options.reconnectMaxSeconds);
    }
}

// Ends a catch-up whose sync message does not come back in time, connects again after the
// broker ended the connection, and sends the kills that waited for their turn.
void RoomClient::keeperLoop() {
    std::unique_lock lock(m_keeperMutex);
    while (true) {
        std::chrono::steady_clock::time_point catchUpDeadline;
        std::chrono::steady_clock::time_point reconnectAfter;
        std::chrono::steady_clock::time_point paceAfter;
        bool reconnect = false;
        bool pacing = false;
        {
            const std::lock_guard stateLock(m_mutex);
            if (m_stopping) {
                return;
            }
            catchUpDeadline = m_catchUpDeadline;
            reconnectAfter = m_reconnectAfter;
            reconnect = m_reconnect;
            paceAfter = m_paceAfter;
            pacing = m_pacing;
        }
        bool catchingUp = false;
        {
            const std::lock_guard judgeLock(m_judgeMutex);
            catchingUp = m_catchingUp;
        }
        const auto now = std::chrono::steady_clock::now();
        if (catchingUp && now >= catchUpDeadline) {
            lock.unlock();
            finishCatchUp();
            lock.lock();
            continue;
        }
        if (reconnect && now >= reconnectAfter) {
            {
                const std::lock_guard stateLock(m_mutex);
                m_reconnect = false;
            }
            // The library's thread ended with the connection; a new one takes over. Joined
            // without the keeper's lock, which that thread's last callback took.
            lock.unlock();
            m_api->loopStop(m_mosq, false);
            connectOnce();
            lock.lock();
            continue;
        }
        if (pacing && now >= paceAfter) {
            const std::lock_guard stateLock(m_mutex);
            if (m_subscribed) {
                sendWaitingLocked();
            } else {
                m_pacing = false; // the next subscription sends them
            }
            continue;
        }
        std::optional<std::chrono::steady_clock::time_point> wake;
        const auto earliest = [&](bool active, std::chrono::steady_clock::time_point at) {
            if (active && (!wake || at < *wake)) {
                wake = at;
            }
        };
        earliest(catchingUp, catchUpDeadline);
        earliest(reconnect, reconnectAfter);
        earliest(pacing, paceAfter);
        if (wake) {
            m_keeperWake.wait_until(lock, *wake);
        } else {
            m_keeperWake.wait(lock);
        }
    }
}

void RoomClient::stop() {
    if (m_mosq == nullptr) {
        return;
    }
    {
        const std::lock_guard keeperLock(m_keeperMutex);
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_keeperWake.notify_all();
    if (m_keeper.joinable()) {
        m_keeper.join();
    }
    bool loopRunning = false;
    {
        const std::lock_guard lock(m_mutex);
        loopRunning = m_loopRunning;
    }
    if (loopRunning) {
        {
            // A goodbye ends no will: the presence is cleared here, before the DISCONNECT
            // that follows it on the same connection.
            const std::lock_guard lock(m_mutex);
            if (m_presencePublished && m_connected) {
                const std::string topic = relayTopic(m_options.link.room, m_options.relayId);
                m_api->publish(m_mosq, nullptr, topic.c_str(), 0, nullptr, 1, true);
            }
            m_presencePublished = false;
        }
        m_api->disconnect(m_mosq);
        m_api->loopStop(m_mosq, false);
    }
    m_api->destroy(m_mosq);
    m_mosq = nullptr;
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        m_catchingUp = false;
        m_held.clear();
    }
    const std::lock_guard lock(m_mutex);
    m_loopRunning = false;
    m_connected = false;
    m_subscribed = false;
    m_state = RoomState::Stopped;
    m_reason = {};
    for (auto& [slot, item] : m_outbox) {
        item.mid = 0;
    }
}

bool RoomClient::publishKill(const LocalKill& kill, std::string& error, std::string* eventId) {
    text::Message reason;
    if (publishKill(kill, reason, eventId)) {
        return true;
    }
    error = text::defaultText(reason);
    return false;
}

bool RoomClient::publishKill(const LocalKill& kill, text::Message& error, std::string* eventId) {
    KillEvent event;
    event.boss = text::trim(kill.boss);
    event.server = kill.server;
    event.line = kill.line;
    event.periodMinutes = kill.periodMinutes;
    event.delayMinutes = kill.delayMinutes;
    event.killUtcSeconds = kill.killUtcSeconds;
    event.nickname = m_options.nickname;
    event.senderId = m_senderId;
    event.sentUtcMillis = m_options.utcMillis();
    event.eventId = randomId();
    event.member = m_member;
    const RoomRole role = this->role();
    if (role == RoomRole::Reader) {
        error = text::Message(text::MessageId::RoomReaderCannotSend);
        return false;
    }
    event.standing = ownStanding(role);
    if (std::string problem = checkKillEvent(event); !problem.empty()) {
        error = text::Message::literal(problem);
        return false;
    }
    Outgoing item{Kind::Kill, keyOf(event), {}, encodeKill(event), true, 0, {}};
    if (item.payload.size() > kMaxPayloadBytes) {
        error = text::Message::literal("the message would be larger than " +
                                       std::to_string(kMaxPayloadBytes) + " bytes");
        return false;
    }
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        m_referee.noteOwnKill(event);
    }
    if (eventId != nullptr) {
        *eventId = event.eventId;
    }
    bool wakeKeeper = false;
    {
        const std::lock_guard lock(m_mutex);
        const bool paced = pacesLocked();
        if (paced) {
            item.waiting = event;
        }
        const std::string slot = slotOf('k', item.key);
        Outgoing& queued = m_outbox[slot] = std::move(item);
        if (m_subscribed && !paced) {
            sendLocked(queued);
        }
        // Members of earlier versions read the old topics; they cannot show servers or lines.
        // The copy goes after the kill (or waits with it): arriving first, it would stand
        // for the kill unnamed.
        if ((m_mirror || m_legacyOnly) && event.server.empty() && event.line.empty()) {
            Outgoing& mirror = m_outbox[slotOf('m', keyOf(event))] =
                Outgoing{Kind::Mirror, keyOf(event), {}, encodeKillEvent(event), true, 0, {}};
            if (paced) {
                mirror.waiting = event;
            } else if (m_subscribed) {
                sendLocked(mirror);
            }
        }
        if (paced) {
            m_waitingSlots.push_back(slot);
            wakeKeeper = m_subscribed && sendWaitingLocked();
        }
    }
    if (wakeKeeper) {
        { const std::lock_guard keeperLock(m_keeperMutex); }
        m_keeperWake.notify_all();
    }
    return true;
}

bool RoomClient::pacesLocked() const {
    // Officers' kills are not limited, nor those on a broker of earlier versions' topics only.
    return !m_legacyOnly && m_role != RoomRole::Officer;
}

bool RoomClient::sendWaitingLocked() {
    const std::int64_t now = m_options.utcMillis();
    while (!m_waitingSlots.empty()) {
        const auto it = m_outbox.find(m_waitingSlots.front());
        // Replaced meanwhile by a newer kill of its key (waiting further back) or an undo.
        if (it == m_outbox.end() || it->second.kind != Kind::Kill || !it->second.waiting) {
            m_waitingSlots.pop_front();
            continue;
        }
        if (pacesLocked() && m_pacer.nextAllowed(now) > now) {
            break;
        }
        m_waitingSlots.pop_front();
        KillEvent event = std::move(*it->second.waiting);
        it->second.waiting.reset();
        event.sentUtcMillis = std::max(event.sentUtcMillis, now);
        it->second.payload = encodeKill(event);
        sendLocked(it->second);
        m_pacer.sent(now);
        const auto mirror = m_outbox.find(slotOf('m', keyOf(event)));
        if (mirror != m_outbox.end() && mirror->second.waiting &&
            mirror->second.waiting->eventId == event.eventId) {
            mirror->second.waiting.reset();
            mirror->second.payload = encodeKillEvent(event);
            sendLocked(mirror->second);
        }
    }
    const bool waiting = !m_waitingSlots.empty();
    const bool changed = waiting || m_pacing;
    m_pacing = waiting;
    if (waiting) {
        const std::int64_t wait =
            std::min<std::int64_t>(m_pacer.nextAllowed(now) - now, m_options.paceCheckMillis);
        m_paceAfter = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    }
    return changed && waiting;
}

bool RoomClient::retractKill(const std::string& eventId, text::Message& error,
                             RetractionJudgement* judgement) {
    const RoomRole role = this->role();
    if (role == RoomRole::Reader) {
        error = text::Message(text::MessageId::RoomReaderCannotSend);
        return false;
    }
    Retraction retraction;
    bool own = false;
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        const std::optional<KillEvent> target = m_referee.find(eventId);
        if (!target) {
            error = text::Message(text::MessageId::RoomRetractUnknown);
            return false;
        }
        own = target->standing != Standing::Legacy && target->member == m_member;
        if (!own && role != RoomRole::Officer) {
            error = text::Message(text::MessageId::RoomRefusedNotTheirs);
            return false;
        }
        retraction = {eventId,
                      target->member,
                      keyOf(*target),
                      target->killUtcSeconds,
                      m_options.nickname,
                      m_senderId,
                      m_options.utcMillis(),
                      randomId()};
        if (std::string problem = checkRetraction(retraction); !problem.empty()) {
            error = text::Message::literal(problem);
            return false;
        }
        const RetractionJudgement done =
            m_referee.judgeRetraction(retraction, m_member, ownStanding(role));
        if (judgement != nullptr) {
            *judgement = done;
        }
    }
    const std::lock_guard lock(m_mutex);
    // One's own kill is taken back on its own topic, where the retraction replaces it; an
    // officer's retraction of another member's kill stays on the officer's topic.
    Outgoing item{
        Kind::Retraction, retraction.key, eventId, encodeRetraction(retraction), own, 0, {}};
    Outgoing& queued = m_outbox[own ? slotOf('k', retraction.key) : "r" + eventId] =
        std::move(item);
    if (m_subscribed) {
        sendLocked(queued);
    }
    if (own && m_mirror && retraction.key.server.empty() && retraction.key.line.empty()) {
        // Members of earlier versions know no retractions; at least those who join later
        // no longer receive the kill.
        Outgoing& clear = m_outbox[slotOf('m', retraction.key)] =
            Outgoing{Kind::Mirror, retraction.key, {}, {}, true, 0, {}};
        if (m_subscribed) {
            sendLocked(clear);
        }
    }
    return true;
}

bool RoomClient::publishRestart(const std::string& server, std::int64_t restartUtcSeconds,
                                text::Message& error) {
    const RoomRole role = this->role();
    if (role == RoomRole::Reader) {
        error = text::Message(text::MessageId::RoomReaderCannotSend);
        return false;
    }
    ServerRestart restart{server,     restartUtcSeconds,     m_options.nickname,
                          m_senderId, m_options.utcMillis(), randomId()};
    if (std::string problem = checkRestart(restart); !problem.empty()) {
        error = text::Message::literal(problem);
        return false;
    }
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        m_referee.noteOwnRestart(restart);
    }
    const std::lock_guard lock(m_mutex);
    Outgoing& queued = m_outbox["s" + server] =
        Outgoing{Kind::Restart, {server, {}, {}}, {}, encodeRestart(restart), true, 0, {}};
    if (m_subscribed) {
        sendLocked(queued);
    }
    return true;
}

bool RoomClient::offerList(const std::string& name, const std::string& listJson,
                           text::Message& error) {
    const RoomRole role = this->role();
    if (role == RoomRole::Reader || role == RoomRole::Recorder) {
        error = text::Message(text::MessageId::RoomBrokerNotAuthorised);
        return false;
    }
    BossListOffer offer{name,      listJson, m_options.nickname, m_senderId, m_options.utcMillis(),
                        randomId()};
    if (std::string problem = checkListOffer(offer); !problem.empty()) {
        error = text::Message::literal(problem);
        return false;
    }
    const std::lock_guard lock(m_mutex);
    Outgoing& queued = m_outbox["l" + name] =
        Outgoing{Kind::List, {}, name, encodeListOffer(offer), true, 0, {}};
    if (m_subscribed) {
        sendLocked(queued);
    }
    return true;
}

void RoomClient::setBossRules(std::map<std::string, int> ruleMinutes) {
    const std::lock_guard judgeLock(m_judgeMutex);
    m_referee.setRules(std::move(ruleMinutes));
}

std::string RoomClient::topicOfLocked(const Outgoing& item) const {
    const std::string& room = m_options.link.room;
    const Branch own = m_role == RoomRole::Officer ? Branch::Officer : Branch::Kill;
    switch (item.kind) {
    case Kind::Kill:
        return killTopic(room, own, m_member, item.key);
    case Kind::Mirror:
        return legacyTopic(room, item.key.boss);
    case Kind::Retraction:
        return item.ownTopic ? killTopic(room, own, m_member, item.key)
                             : retractTopic(room, m_member, item.name);
    case Kind::List:
        return listTopic(room, m_member, item.name);
    case Kind::Restart:
        return restartTopic(room, own, m_member, item.key.server);
    }
    return {};
}

void RoomClient::sendLocked(Outgoing& item) {
    if (item.waiting) {
        return; // goes out in its turn (sendWaitingLocked)
    }
    if (m_legacyOnly && item.kind != Kind::Mirror) {
        return; // waits for a broker that takes the current topics
    }
    int mid = 0;
    const std::string topic = topicOfLocked(item);
    const int rc =
        m_api->publish(m_mosq, &mid, topic.c_str(), static_cast<int>(item.payload.size()),
                       item.payload.empty() ? nullptr : item.payload.data(), 1, true);
    // When the library refuses (e.g. the connection just dropped), the message stays queued
    // with no id and goes out on the next connection.
    item.mid = rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

RoomState RoomClient::state() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

RoomRole RoomClient::role() const {
    const std::lock_guard lock(m_mutex);
    return m_role;
}

bool RoomClient::legacyOnly() const {
    const std::lock_guard lock(m_mutex);
    return m_legacyOnly;
}

bool RoomClient::needsUpgrade() const {
    const std::lock_guard lock(m_mutex);
    return m_needsUpgrade;
}

std::size_t RoomClient::pendingCount() const {
    const std::lock_guard lock(m_mutex);
    return pendingLocked();
}

std::size_t RoomClient::pendingLocked() const {
    // The copies for members of earlier versions are not the member's own messages, except
    // on a broker of their topics only, where they are all that goes out.
    return static_cast<std::size_t>(
        std::count_if(m_outbox.begin(), m_outbox.end(), [this](const auto& entry) {
            return m_legacyOnly ? entry.second.kind == Kind::Mirror
                                : entry.second.kind != Kind::Mirror;
        }));
}

std::vector<MemberRecord> RoomClient::members() const {
    const std::lock_guard judgeLock(m_judgeMutex);
    return m_referee.members();
}

std::optional<KillEvent> RoomClient::newestKill(const KillKey& key) const {
    const std::lock_guard judgeLock(m_judgeMutex);
    return m_referee.newest(key);
}

void RoomClient::setState(RoomState state, const text::Message& reason) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || (m_state == state && m_reason == reason)) {
            return;
        }
        m_state = state;
        m_reason = reason;
    }
    m_listener.roomStateChanged(state, reason);
}

void RoomClient::setRole(RoomRole role) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || m_role == role) {
            return;
        }
        m_role = role;
    }
    m_listener.roleChanged(role);
}

void RoomClient::onConnect(mosquitto*, void* self, int rc, int, const mqtt5__property*) {
    static_cast<RoomClient*>(self)->connected(rc);
}
void RoomClient::onDisconnect(mosquitto*, void* self, int rc, const mqtt5__property*) {
    static_cast<RoomClient*>(self)->disconnected(rc);
}
void RoomClient::onPublish(mosquitto*, void* self, int mid, int reasonCode,
                           const mqtt5__property*) {
    static_cast<RoomClient*>(self)->acknowledged(mid, reasonCode);
}
void RoomClient::onLog(mosquitto*, void* self, int level, const char* text) {
    static_cast<RoomClient*>(self)->logged(level, text != nullptr ? text : "");
}
void RoomClient::onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted,
                             const mqtt5__property*) {
    static_cast<RoomClient*>(self)->subscribed(mid, count, granted);
}
void RoomClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    if (message != nullptr) {
        static_cast<RoomClient*>(self)->received(*message);
    }
}

void RoomClient::connected(int rc) {
    if (rc != 0) {
        setState(RoomState::Refused,
                 connectRefusal(rc, rc >= kFirstRefusal ? m_api->reasonString(rc)
                                                        : m_api->connackString(rc)));
        if (rc >= kFirstRefusal) {
            // The library gives up on an MQTT 5 refusal (it retries MQTT 3.1.1's own). The
            // refusal may not last (an administrator re-adds a member, or changes a role in
            // steps that refuse it for a moment), so the keeper asks again, less and less
            // often; the state stays refused with its reason meanwhile.
            int delay = 0;
            {
                const std::lock_guard lock(m_mutex);
                delay = m_refusedDelaySeconds;
                m_refusedDelaySeconds = std::min(delay * 2, m_options.reconnectMaxSeconds);
            }
            reconnectLater(delay);
        }
        return;
    }
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        m_catchingUp = false;
        m_held.clear();
    }
    const std::lock_guard lock(m_mutex);
    m_connected = true;
    m_subscribed = false;
    m_legacyOnly = false;
    if (m_mqtt5) {
        m_refusedDelaySeconds = m_options.reconnectMinSeconds;
        sendProbesLocked();
    } else {
        subscribeMarkersLocked();
    }
}

// Asks for every role marker in one subscription; the broker answers each (0x80: refused).
// Nobody sends on them, so nothing arrives there.
void RoomClient::subscribeMarkersLocked() {
    std::vector<std::string> topics;
    std::vector<char*> filters;
    for (int marker = 0; marker < kRoleMarkerCount; ++marker) {
        topics.push_back(roleMarkerTopic(m_options.link.room, static_cast<RoleMarker>(marker)));
    }
    // Whether this member may read the room at all, on its topics and on earlier versions'.
    topics.push_back(syncTopic(m_options.link.room, m_member));
    topics.push_back(legacyProbeTopic(m_options.link.room, m_member));
    for (std::string& topic : topics) {
        filters.push_back(topic.data());
    }
    if (m_api->subscribeMultiple(m_mosq, &m_markerMid, static_cast<int>(filters.size()),
                                 filters.data(), 0, 0, nullptr) != MOSQ_ERR_SUCCESS) {
        m_markerMid = 0; // the connection is already going; the next one asks again
    }
}

void RoomClient::markersAnswered(int count, const int* granted) {
    const auto grantedIndex = [&](int index) {
        return granted != nullptr && index < count && granted[index] < kFirstRefusal;
    };
    const auto grantedAt = [&](RoleMarker marker) {
        return grantedIndex(static_cast<int>(marker));
    };
    const bool readsRoom = grantedIndex(kRoleMarkerCount);
    const bool readsLegacy = grantedIndex(kRoleMarkerCount + 1);
    if (!grantedAt(RoleMarker::Member) || grantedAt(RoleMarker::Nobody)) {
        const bool noMember = !grantedAt(RoleMarker::Nobody) && !readsRoom && !readsLegacy;
        if (noMember) {
            // The broker enforces access, and this account may not read the room (not a
            // member, or caught between the steps of a role change). Over MQTT 5 the
            // broker's next change would end the connection the troublesome way; ask again
            // later over MQTT 3.1.1 instead, less and less often.
            setState(RoomState::Refused, text::Message(text::MessageId::RoomTopicsRefused));
        }
        // Otherwise there are no markers (an earlier room script's room, a broker without
        // roles or of earlier versions' topics only): the reason codes of MQTT 5 tell.
        {
            const std::lock_guard lock(m_mutex);
            m_switchingToMqtt5 = !noMember;
            m_retryRefused = noMember;
        }
        m_api->disconnect(m_mosq);
        return;
    }
    const RoomRole role = grantedAt(RoleMarker::Officer)    ? RoomRole::Officer
                          : grantedAt(RoleMarker::Recorder) ? RoomRole::Recorder
                                                            : RoomRole::Reader;
    bool wasOutdated = false;
    {
        const std::lock_guard lock(m_mutex);
        m_role = role;
        // Copies for members of earlier versions only where the room still takes them.
        m_mirror = m_options.mirrorToLegacy && grantedAt(RoleMarker::Legacy);
        wasOutdated = m_needsUpgrade;
        m_needsUpgrade = false;
        m_refusedDelaySeconds = m_options.reconnectMinSeconds;
        // After the role, so that the officers' topics are read right.
        subscribeLocked();
    }
    m_listener.roleChanged(role);
    if (wasOutdated) {
        m_listener.roomNeedsUpgrade(false);
    }
}

// Asks the broker what this member may do, by sending an empty message where only a
// recorder, only an officer, and no role at all may send. A broker that takes the last
// enforces no roles. Nothing subscribes to these topics: nobody receives the questions.
void RoomClient::sendProbesLocked() {
    const std::string& room = m_options.link.room;
    const std::string topics[kProbeCount] = {
        probeTopic(room, m_member),
        memberTopic(room, Branch::Kill, m_member),
        memberTopic(room, Branch::Officer, m_member),
        legacyProbeTopic(room, m_member),
    };
    m_probes.clear();
    m_probeAnswers = 0;
    for (int probe = 0; probe < kProbeCount; ++probe) {
        m_probeAllowed[probe] = false;
        int mid = 0;
        if (m_api->publish(m_mosq, &mid, topics[probe].c_str(), 0, nullptr, 1, false) ==
            MOSQ_ERR_SUCCESS) {
            m_probes[mid] = probe;
        }
    }
    if (m_probes.size() != kProbeCount) {
        // The connection is already going; the next one asks again.
        m_probes.clear();
    }
}

void RoomClient::subscribeLocked() {
    const Subscription subscription = roomSubscription(m_options.link.room, m_member);
    std::vector<char*> filters;
    filters.reserve(subscription.filters.size());
    for (const std::string& filter : subscription.filters) {
        filters.push_back(const_cast<char*>(filter.c_str()));
    }
    // A clean session forgets subscriptions; the retained messages come again with the
    // subscription, which is how a member catches up after a gap.
    m_api->subscribeMultiple(m_mosq, &m_subscribeMid, static_cast<int>(filters.size()),
                             filters.data(), 1, 0, nullptr);
}

// Connected only once the broker confirmed the subscription: from then on no message of
// the room is missed.
void RoomClient::subscribed(int mid, int count, const int* granted) {
    {
        std::unique_lock lock(m_mutex);
        if (mid == m_markerMid && m_markerMid != 0) {
            m_markerMid = 0;
            lock.unlock();
            markersAnswered(count, granted);
            return;
        }
        if (mid == m_relaySubscribeMid && m_relaySubscribeMid != 0) {
            m_relaySubscribeMid = 0;
            return; // the relays' retained presences follow
        }
    }
    const Subscription subscription = roomSubscription(m_options.link.room, m_member);
    // 0x80 and above in place of a QoS is the broker's refusal (e.g. an access list). The
    // kills are what a member cannot do without; the other filters may be refused.
    const auto grantedAt = [&](std::size_t index) {
        return granted != nullptr && count > static_cast<int>(index) &&
               granted[index] < kFirstRefusal;
    };
    // A broker whose access list knows only the topics of earlier versions makes a room of
    // earlier versions only, where nobody is named: the probes told (mosquitto's access
    // lists grant every subscription and filter what they deliver), or the broker refuses
    // the current topics' subscription.
    bool probedLegacyOnly = false;
    {
        const std::lock_guard lock(m_mutex);
        probedLegacyOnly = m_legacyOnly;
    }
    const bool legacyOnly = grantedAt(subscription.legacyFilterIndex) &&
                            (probedLegacyOnly || !grantedAt(subscription.killFilterIndex));
    if (!grantedAt(subscription.killFilterIndex) && !legacyOnly) {
        setState(RoomState::Refused, text::Message(text::MessageId::RoomTopicsRefused));
        return;
    }
    const bool syncGranted = !legacyOnly && grantedAt(subscription.syncFilterIndex);
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        m_catchingUp = syncGranted;
        m_held.clear();
        m_heldNewest.clear();
    }
    bool catchingUp = syncGranted;
    bool roleChanged = false;
    {
        const std::lock_guard lock(m_mutex);
        m_subscribed = true;
        m_legacyOnly = legacyOnly;
        if (legacyOnly && m_role != RoomRole::Unmanaged) {
            // The probes were refused for the same reason: every member is alike here.
            m_role = RoomRole::Unmanaged;
            roleChanged = true;
        }
        if (syncGranted) {
            // Comes back after every retained message of the subscription.
            const std::string topic = syncTopic(m_options.link.room, m_member);
            if (m_api->publish(m_mosq, &m_syncMid, topic.c_str(),
                               static_cast<int>(m_senderId.size()), m_senderId.data(), 1,
                               false) != MOSQ_ERR_SUCCESS) {
                catchingUp = false;
            }
            m_catchUpDeadline = std::chrono::steady_clock::now() +
                                std::chrono::milliseconds(m_options.catchUpPatienceMillis);
        }
        // Every message not yet acknowledged goes out again on a new connection, whether
        // or not the library had it before: a message sent twice is recognised by its
        // event id, a message never sent would be lost.
        for (auto& [slot, item] : m_outbox) {
            sendLocked(item);
        }
        sendWaitingLocked();
        joinRelaysLocked();
    }
    {
        // Under the keeper's lock, so that the keeper either sees the catch-up or is
        // already waiting for this notice.
        const std::lock_guard keeperLock(m_keeperMutex);
    }
    m_keeperWake.notify_all();
    if (roleChanged) {
        m_listener.roleChanged(RoomRole::Unmanaged);
    }
    setState(RoomState::Connected, {});
    if (!catchingUp) {
        finishCatchUp();
    }
}

void RoomClient::joinRelaysLocked() {
    if (m_options.relayId.empty()) {
        return;
    }
    std::string presences = relayFilter(m_options.link.room);
    std::string claims = claimTopic(m_options.link.room);
    char* filters[] = {presences.data(), claims.data()};
    if (m_api->subscribeMultiple(m_mosq, &m_relaySubscribeMid, 2, filters, 1, 0, nullptr) !=
        MOSQ_ERR_SUCCESS) {
        m_relaySubscribeMid = 0; // the connection is already going; the next one asks again
    }
    publishPresenceLocked();
}

void RoomClient::publishPresenceLocked() {
    if (m_options.relayId.empty() || !m_subscribed) {
        return; // the next subscription publishes it
    }
    if (m_relayPresence.empty() && !m_presencePublished) {
        return; // nothing to say and nothing to clear
    }
    const std::string topic = relayTopic(m_options.link.room, m_options.relayId);
    const int rc =
        m_api->publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(m_relayPresence.size()),
                       m_relayPresence.data(), 1, true);
    m_presencePublished = rc == MOSQ_ERR_SUCCESS && !m_relayPresence.empty();
}

void RoomClient::setRelayPresence(std::string payload) {
    const std::lock_guard lock(m_mutex);
    if (payload == m_relayPresence && (m_presencePublished || payload.empty())) {
        return;
    }
    m_relayPresence = std::move(payload);
    if (m_mosq != nullptr && m_connected) {
        publishPresenceLocked();
    }
}

bool RoomClient::publishRelayClaim(const std::string& payload) {
    const std::lock_guard lock(m_mutex);
    if (m_options.relayId.empty() || m_mosq == nullptr || !m_subscribed) {
        return false;
    }
    const std::string topic = claimTopic(m_options.link.room);
    return m_api->publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
}

bool RoomClient::relayReceived(std::string_view topic, std::string_view payload) {
    const std::optional<RelayAddress> address = parseRelayTopic(topic, m_options.link.room);
    if (!address) {
        return false;
    }
    // Members that relay nothing read these through earlier versions' filter; they pass.
    if (m_options.relayId.empty()) {
        return true;
    }
    if (address->claim) {
        m_listener.relayClaimHeard(std::string(payload));
    } else if (address->relayId != m_options.relayId) {
        m_listener.relayPresenceHeard(address->relayId, std::string(payload));
    }
    return true;
}

void RoomClient::disconnected(int rc) {
    bool refused = false;
    bool switching = false;
    bool retryRefused = false;
    int refusedDelay = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_connected = false;
        m_subscribed = false;
        m_probes.clear();
        m_markerMid = 0;
        m_relaySubscribeMid = 0;
        m_presencePublished = false; // the broker sent our will
        refused = m_state == RoomState::Refused;
        switching = m_switchingToMqtt5;
        m_switchingToMqtt5 = false;
        retryRefused = m_retryRefused;
        m_retryRefused = false;
        if (retryRefused) {
            refusedDelay = m_refusedDelaySeconds;
            m_refusedDelaySeconds = std::min(refusedDelay * 2, m_options.reconnectMaxSeconds);
        }
    }
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        // The next connection catches up again from the start.
        m_catchingUp = false;
        m_held.clear();
    }
    if (switching || retryRefused) {
        reconnectLater(refusedDelay, switching);
        return;
    }
    if (rc == MOSQ_ERR_TLS) {
        // The library gives up on TLS failures; the user has to change the settings.
        setState(RoomState::Refused, text::Message(text::MessageId::RoomTlsFailed));
        return;
    }
    if (std::optional<text::Message> reason = disconnectReason(rc, m_api->reasonString(rc))) {
        // The broker ended the connection itself (e.g. an administrator revoked or changed
        // this member). The library takes that as final; the keeper connects again, and the
        // broker's next answer tells whether it still takes us.
        setState(RoomState::Reconnecting, *reason);
        reconnectLater(m_options.reconnectMinSeconds);
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS && !refused) {
        setState(RoomState::Reconnecting, text::Message(text::MessageId::RoomConnectionLost));
    }
}

void RoomClient::reconnectLater(int seconds, bool mqtt5) {
    {
        const std::lock_guard keeperLock(m_keeperMutex);
        const std::lock_guard lock(m_mutex);
        // A connection the broker ended or refused is made anew over MQTT 3.1.1 first: the
        // room may have been upgraded meanwhile.
        m_nextMqtt5 = mqtt5;
        m_reconnectAfter = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        m_reconnect = true;
    }
    m_keeperWake.notify_all();
}

void RoomClient::logged(int level, const char* text) {
    // A failed TLS handshake ends the library's network thread without a disconnect
    // callback; its error log lines are the only sign, so they become the refusal.
    if (level != MOSQ_LOG_ERR) {
        return;
    }
    const std::string caFile = m_options.link.secure ? m_options.caFile : std::string();
    std::optional<text::Message> reason = tlsFailure(text, caFile);
    if (!reason) {
        return;
    }
    // One failure logs several lines, the library's own and then the TLS library's details;
    // a plain detail does not replace the reason the failure was already given.
    if (reason->id == text::MessageId::RoomTlsFailedDetail) {
        const std::lock_guard lock(m_mutex);
        if (m_state == RoomState::Refused) {
            return;
        }
    }
    setState(RoomState::Refused, *reason);
}

void RoomClient::acknowledged(int mid, int reasonCode) {
    std::vector<Outcome> outcomes;
    std::size_t pending = 0;
    bool roleLearned = false;
    std::optional<bool> needsUpgrade;
    bool syncRefused = false;
    bool acknowledgedMessage = false;
    RoomRole role = RoomRole::Unknown;
    {
        const std::lock_guard lock(m_mutex);
        if (const auto probe = m_probes.find(mid); probe != m_probes.end()) {
            m_probeAllowed[probe->second] = reasonCode < kFirstRefusal;
            m_probes.erase(probe);
            if (++m_probeAnswers == kProbeCount) {
                // A broker whose access list knows only the topics of earlier versions (as
                // set up for them) still makes a room, of earlier versions only.
                m_legacyOnly = !m_probeAllowed[kProbeUnmanaged] && !m_probeAllowed[kProbeOfficer] &&
                               !m_probeAllowed[kProbeRecorder] && m_probeAllowed[kProbeLegacy];
                role = m_probeAllowed[kProbeUnmanaged] || m_legacyOnly ? RoomRole::Unmanaged
                       : m_probeAllowed[kProbeOfficer]                 ? RoomRole::Officer
                       : m_probeAllowed[kProbeRecorder]                ? RoomRole::Recorder
                                                                       : RoomRole::Reader;
                roleLearned = true;
                // A room whose broker enforces roles would have granted the markers, had
                // the room script of this version made it.
                const bool outdated = role != RoomRole::Unmanaged;
                if (outdated != m_needsUpgrade) {
                    m_needsUpgrade = outdated;
                    needsUpgrade = outdated;
                }
                // Before subscribing, so that the officers' topics are read right.
                m_role = role;
                subscribeLocked();
            }
        } else if (mid == m_syncMid && m_syncMid != 0) {
            syncRefused = reasonCode >= kFirstRefusal;
            m_syncMid = 0;
        } else {
            const auto it =
                std::find_if(m_outbox.begin(), m_outbox.end(),
                             [mid](const auto& entry) { return entry.second.mid == mid; });
            if (it == m_outbox.end()) {
                return;
            }
            if (reasonCode >= kFirstRefusal) {
                if (it->second.kind == Kind::Mirror) {
                    // The room keeps no topics of earlier versions: stop sending there.
                    m_mirror = false;
                } else {
                    Outcome outcome;
                    outcome.kind = Outcome::Kind::SendRefused;
                    outcome.detail = it->second.kind == Kind::List      ? it->second.name
                                     : it->second.kind == Kind::Restart ? "restart"
                                                                        : describe(it->second.key);
                    outcome.reason = sendRefusal(reasonCode, m_api->reasonString(reasonCode));
                    outcomes.push_back(std::move(outcome));
                }
            }
            m_outbox.erase(it);
            pending = pendingLocked();
            acknowledgedMessage = true;
        }
    }
    if (roleLearned) {
        m_listener.roleChanged(role);
    }
    if (needsUpgrade) {
        m_listener.roomNeedsUpgrade(*needsUpgrade);
    }
    if (syncRefused) {
        // Nothing will come back: judge what came.
        finishCatchUp();
    }
    tell(outcomes);
    if (acknowledgedMessage) {
        m_listener.killsPending(pending);
    }
}

void RoomClient::received(const mosquitto_message& message) {
    const std::int64_t arrival = m_options.utcMillis();
    const std::string_view topic(message.topic != nullptr ? message.topic : "");
    const std::string_view payload(
        static_cast<const char*>(message.payload),
        message.payloadlen > 0 ? static_cast<std::size_t>(message.payloadlen) : 0);
    std::vector<Outcome> outcomes;
    const auto drop = [&](DropReason reason, std::string detail) {
        ++m_dropped;
        m_listener.messageDropped(reason, detail);
    };
    if (relayReceived(topic, payload)) {
        return;
    }
    if (isRoleMarkerTopic(topic)) {
        return; // a role marker: only a broker that enforces nothing lets anyone send there
    }
    std::optional<TopicAddress> address = parseTopic(topic, m_options.link.room);
    if (!address) {
        drop(DropReason::TopicMismatch, "the topic is none of the room's");
        return;
    }
    if (address->branch == Branch::Sync) {
        if (address->member == m_member && payload == m_senderId) {
            finishCatchUp();
        }
        return;
    }
    if (address->branch == Branch::Probe || payload.empty()) {
        return; // a question to the broker, or a cleared retained message
    }
    RoomMessage decoded;
    if (address->branch == Branch::Legacy) {
        DecodeResult result = decodeKillEvent(payload);
        if (result.event && result.event->boss != address->key.boss) {
            result.event.reset();
            result.reason = DropReason::TopicMismatch;
            result.detail = "the message names another boss than its topic";
        }
        if (!result.event) {
            drop(result.reason, result.detail);
            return;
        }
        decoded.kill = std::move(*result.event);
        decoded.kill.standing = Standing::Legacy;
    } else {
        MessageDecode result = decodeRoomMessage(payload);
        if (!result.message) {
            drop(result.reason, result.detail);
            return;
        }
        decoded = std::move(*result.message);
        const bool managed = role() != RoomRole::Unmanaged;
        const Branch branch = address->branch;
        bool fits = false;
        switch (decoded.type) {
        case MessageType::Kill:
            fits = (branch == Branch::Kill || branch == Branch::Officer) &&
                   keyOf(decoded.kill) == address->key;
            decoded.kill.member = address->member;
            decoded.kill.standing = !managed                    ? Standing::Unmanaged
                                    : branch == Branch::Officer ? Standing::Officer
                                                                : Standing::Member;
            break;
        case MessageType::Retraction:
            // On a kill topic: the member's own undo, of a kill of that key; on the
            // retractions' topic: of the event it names.
            fits = ((branch == Branch::Kill || branch == Branch::Officer) &&
                    decoded.retraction.targetMember == address->member &&
                    decoded.retraction.key == address->key) ||
                   (branch == Branch::Retract && address->name == decoded.retraction.targetEventId);
            break;
        case MessageType::List:
            fits = branch == Branch::List && address->name == decoded.list.name;
            break;
        case MessageType::Restart:
            fits = branch == Branch::Restart && decoded.restart.server == address->key.server;
            break;
        }
        if (!fits) {
            drop(DropReason::TopicMismatch, "the message does not belong on its topic");
            return;
        }
    }
    const std::string& sender = decoded.type == MessageType::Kill ? decoded.kill.senderId
                                : decoded.type == MessageType::Retraction
                                    ? decoded.retraction.senderId
                                : decoded.type == MessageType::Restart ? decoded.restart.senderId
                                                                       : decoded.list.senderId;
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        if (message.retain && decoded.type == MessageType::Kill) {
            // What the broker keeps, own kills included: healing sends what it lacks.
            auto& newest = m_heldNewest[keyOf(decoded.kill)];
            if (newest.eventId.empty() || newerThan(decoded.kill, newest)) {
                newest = decoded.kill;
            }
        }
        if (sender == m_senderId) {
            return; // our own message, back from the broker
        }
        if (m_catchingUp && message.retain && m_held.size() < kMaxHeld) {
            m_held.push_back({std::move(*address), std::move(decoded)});
            return;
        }
        // A retained message was sent whenever it was; only live ones, sent by their own
        // sender, say something about the sender's clock.
        if (!message.retain && decoded.type == MessageType::Kill && !decoded.kill.relayed) {
            if (auto skew = m_skew.observe(decoded.kill.senderId, decoded.kill.nickname,
                                           decoded.kill.sentUtcMillis, arrival)) {
                Outcome outcome;
                outcome.kind = Outcome::Kind::Skew;
                outcome.skew = *skew;
                outcomes.push_back(std::move(outcome));
            }
        }
        judgeLocked(*address, decoded, message.retain, arrival, outcomes);
    }
    tell(outcomes);
}

void RoomClient::judgeLocked(const TopicAddress& address, RoomMessage& message, bool retained,
                             std::int64_t arrival, std::vector<Outcome>& outcomes) {
    const bool managed = role() != RoomRole::Unmanaged;
    switch (message.type) {
    case MessageType::Kill: {
        const Judgement judgement = m_referee.judgeKill(message.kill, arrival, retained);
        if (judgement.verdict == Verdict::Apply) {
            Outcome outcome;
            outcome.kind = Outcome::Kind::Kill;
            outcome.kill = message.kill;
            outcome.retained = retained;
            outcomes.push_back(std::move(outcome));
        } else if (judgement.verdict == Verdict::Refused && judgement.refusal) {
            Outcome outcome;
            outcome.kind = Outcome::Kind::Refused;
            outcome.refused.kill = message.kill;
            outcome.refused.refusal = *judgement.refusal;
            outcome.refused.reason = judgement.reason;
            outcome.refused.sender =
                m_referee.member(message.kill.member, message.kill.standing, message.kill.senderId)
                    .value_or(MemberRecord{});
            outcomes.push_back(std::move(outcome));
        }
        return;
    }
    case MessageType::Retraction: {
        const Retraction& retraction = message.retraction;
        // An officer's retraction counts as one only where the broker enforces roles.
        const Standing standing =
            !managed ? Standing::Unmanaged
            : address.branch == Branch::Retract || address.branch == Branch::Officer
                ? Standing::Officer
                : Standing::Member;
        const RetractionJudgement judgement =
            m_referee.judgeRetraction(retraction, address.member, standing);
        Outcome outcome;
        if (judgement.verdict == Verdict::Apply) {
            outcome.kind = Outcome::Kind::Retracted;
            outcome.retracted = {retraction,       address.member,      standing,
                                 judgement.target, judgement.wasNewest, judgement.restored};
        } else if (judgement.verdict == Verdict::Refused && judgement.refusal) {
            outcome.kind = Outcome::Kind::Refused;
            KillEvent& target = outcome.refused.kill;
            target = judgement.target.value_or(KillEvent{});
            target.boss = retraction.key.boss;
            target.server = retraction.key.server;
            target.line = retraction.key.line;
            target.killUtcSeconds = retraction.killUtcSeconds;
            target.eventId = retraction.targetEventId;
            outcome.refused.retraction = true;
            outcome.refused.refusal = *judgement.refusal;
            outcome.refused.reason = judgement.reason;
            outcome.refused.sender = m_referee.member(address.member, standing, retraction.senderId)
                                         .value_or(MemberRecord{});
        } else {
            return;
        }
        outcomes.push_back(std::move(outcome));
        return;
    }
    case MessageType::Restart: {
        const Standing standing = !managed                    ? Standing::Unmanaged
                                  : address.name == "officer" ? Standing::Officer
                                                              : Standing::Member;
        const Judgement judgement =
            m_referee.judgeRestart(message.restart, address.member, standing, arrival);
        if (judgement.verdict != Verdict::Apply && judgement.verdict != Verdict::Refused) {
            return;
        }
        Outcome outcome;
        outcome.kind = Outcome::Kind::Restart;
        outcome.restart = {message.restart,
                           address.member,
                           standing,
                           judgement.refusal,
                           judgement.reason,
                           m_referee.member(address.member, standing, message.restart.senderId)
                               .value_or(MemberRecord{})};
        outcomes.push_back(std::move(outcome));
        return;
    }
    case MessageType::List: {
        Outcome outcome;
        outcome.kind = Outcome::Kind::List;
        outcome.list = message.list;
        outcome.member = address.member;
        outcome.standing = managed ? Standing::Officer : Standing::Unmanaged;
        outcomes.push_back(std::move(outcome));
        return;
    }
    }
}

// Judges the retained messages oldest first (retractions before kills, so that a kill
// retracted meanwhile never shows), then sends again what the broker lost.
void RoomClient::finishCatchUp() {
    std::vector<Outcome> outcomes;
    std::vector<KillEvent> lost;
    std::size_t retained = 0;
    std::size_t relayed = 0;
    {
        const std::lock_guard judgeLock(m_judgeMutex);
        if (!m_catchingUp) {
            return;
        }
        m_catchingUp = false;
        std::vector<Held> held = std::move(m_held);
        m_held.clear();
        retained = held.size();
        const auto rank = [](const Held& h) {
            const bool kill = h.message.type == MessageType::Kill;
            // A restart ranks with the retractions, by its instant: the kills after it, which
            // it leaves alone, come after it.
            const bool restart = h.message.type == MessageType::Restart;
            const std::int64_t instant = kill      ? h.message.kill.killUtcSeconds
                                         : restart ? h.message.restart.restartUtcSeconds
                                                   : h.message.retraction.sentUtcMillis / 1000;
            const std::string& id = kill      ? h.message.kill.eventId
                                    : restart ? h.message.restart.eventId
                                              : h.message.retraction.eventId;
            // At the same kill, a member's own topic before the topics of earlier versions.
            const bool legacy = h.address.branch == Branch::Legacy;
            return std::make_tuple(kill, instant, std::cref(id), legacy);
        };
        std::stable_sort(held.begin(), held.end(),
                         [&](const Held& a, const Held& b) { return rank(a) < rank(b); });
        const std::int64_t now = m_options.utcMillis();
        for (Held& h : held) {
            judgeLocked(h.address, h.message, true, now, outcomes);
        }
        if (role() != RoomRole::Reader && !legacyOnly()) {
            for (const KillEvent& kill : m_referee.newestOfEveryKey()) {
                const auto kept = m_heldNewest.find(keyOf(kill));
                if (kept == m_heldNewest.end() || newerThan(kill, kept->second)) {
                    lost.push_back(kill);
                }
            }
        }
        m_heldNewest.clear();
    }
    {
        const std::lock_guard lock(m_mutex);
        for (KillEvent kill : lost) {
            if (m_outbox.count(slotOf('k', keyOf(kill))) != 0) {
                // This member's own message of the key is on its way (or waits for its turn).
                continue;
            }
            ++relayed;
            // Another member's kill goes out marked relayed, on this member's topic: the
            // broker vouches for who relayed it, and receivers who have it ignore it.
            kill.relayed = kill.member != m_member || kill.senderId != m_senderId;
            Outgoing& queued = m_outbox[slotOf('k', keyOf(kill))] =
                Outgoing{Kind::Kill, keyOf(kill), {}, encodeKill(kill), true, 0, {}};
            if (m_subscribed) {
                sendLocked(queued);
            }
        }
    }
    tell(outcomes);
    m_listener.caughtUp(retained, relayed);
}

void RoomClient::tell(std::vector<Outcome>& outcomes) {
    for (Outcome& outcome : outcomes) {
        switch (outcome.kind) {
        case Outcome::Kind::Kill:
            m_listener.remoteKill(outcome.kill, outcome.retained);
            break;
        case Outcome::Kind::Refused:
            m_listener.messageRefused(outcome.refused);
            break;
        case Outcome::Kind::Retracted:
            m_listener.killRetracted(outcome.retracted);
            break;
        case Outcome::Kind::List:
            m_listener.listOffered(outcome.list, outcome.member, outcome.standing);
            break;
        case Outcome::Kind::Skew:
            m_listener.clockSkew(outcome.skew);
            break;
        case Outcome::Kind::SendRefused:
            m_listener.sendRefused(outcome.detail, outcome.reason);
            break;
        case Outcome::Kind::Restart:
            m_listener.serverRestarted(outcome.restart);
            break;
        }
    }
    outcomes.clear();
}

} // namespace zorvane::share
