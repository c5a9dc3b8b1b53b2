#include "share/roomclient.h"

#include "share/mosquittoapi.h"

#include "text/textops.h"
#include "work/worker.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace zorvane::share {

namespace {

// OpenSSL's SSL_VERIFY_PEER, without including OpenSSL's headers for one constant.
constexpr int kVerifyPeer = 1;
// Where Debian keeps the system's trusted CAs, one file per CA with hash links.
constexpr const char* kSystemCaPath = "/etc/ssl/certs";

std::int64_t systemUtcMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

text::Message refusalReason(const MosquittoApi& api, int connackCode) {
    switch (connackCode) {
    case 4:
    case 5:
        // Brokers answer a wrong password with either code.
        return text::Message(text::MessageId::RoomNotAuthorised);
    default:
        return text::Message::literal(api.connackString(connackCode));
    }
}

} // namespace

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

RoomClient::RoomClient(RoomOptions options, RoomListener& listener)
    : m_options(std::move(options)), m_listener(listener), m_senderId(randomId()),
      m_filter(roomFilter(m_options.link.room)) {
    if (!m_options.utcMillis) {
        m_options.utcMillis = systemUtcMillis;
    }
}

RoomClient::~RoomClient() {
    stop();
}

bool RoomClient::start(text::Message& error) {
    if (m_mosq != nullptr) {
        error = text::Message(text::MessageId::RoomAlreadyStarted);
        return false;
    }
    std::string loadError;
    m_api = mosquittoApi(&loadError);
    if (m_api == nullptr) {
        error = text::Message(text::MessageId::RoomNoLibrary, {text::Message::literal(loadError)});
        return false;
    }
    // Short enough for brokers that hold MQTT 3.1.1's limit of 23 characters.
    const std::string clientId = "zorvane-" + m_senderId.substr(0, 15);
    m_mosq = m_api->create(clientId.c_str(), true, this);
    if (m_mosq == nullptr) {
        error = text::Message(text::MessageId::RoomNoClient);
        return false;
    }
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

    const RoomLink& link = m_options.link;
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
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    setState(RoomState::Connecting, {});
    m_starter = std::thread([this] { connectLoop(); });
    return true;
}

// The first connection resolves the host name and opens the socket, which may take a
// while; once the library has a socket, its own thread takes over (including reconnects).
void RoomClient::connectLoop() {
    work::nameThisThread("room starter");
    int delay = m_options.reconnectMinSeconds;
    while (true) {
        const int rc = m_api->connectAsync(m_mosq, m_options.link.host.c_str(), m_options.link.port,
                                           m_options.keepAliveSeconds);
        std::unique_lock lock(m_starterMutex);
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
        setState(RoomState::Reconnecting, rc == MOSQ_ERR_ERRNO
                                              ? text::Message(text::MessageId::RoomUnreachable)
                                              : text::Message::literal(m_api->strerror(rc)));
        lock.lock();
        m_starterWake.wait_for(lock, std::chrono::seconds(delay), [this] {
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

void RoomClient::stop() {
    if (m_mosq == nullptr) {
        return;
    }
    {
        const std::lock_guard starterLock(m_starterMutex);
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_starterWake.notify_all();
    if (m_starter.joinable()) {
        m_starter.join();
    }
    bool loopRunning = false;
    {
        const std::lock_guard lock(m_mutex);
        loopRunning = m_loopRunning;
    }
    if (loopRunning) {
        m_api->disconnect(m_mosq);
        m_api->loopStop(m_mosq, false);
    }
    m_api->destroy(m_mosq);
    m_mosq = nullptr;
    const std::lock_guard lock(m_mutex);
    m_loopRunning = false;
    m_connected = false;
    m_state = RoomState::Stopped;
    m_reason = {};
    for (auto& [topic, item] : m_outbox) {
        item.mid = 0;
    }
}

bool RoomClient::publishKill(const LocalKill& kill, std::string& error) {
    KillEvent event;
    event.boss = text::trim(kill.boss);
    event.periodMinutes = kill.periodMinutes;
    event.delayMinutes = kill.delayMinutes;
    event.killUtcSeconds = kill.killUtcSeconds;
    event.nickname = m_options.nickname;
    event.senderId = m_senderId;
    event.sentUtcMillis = m_options.utcMillis();
    event.eventId = randomId();
    error = checkKillEvent(event);
    if (!error.empty()) {
        return false;
    }
    Outgoing item{event.eventId, encodeKillEvent(event), 0};
    if (item.payload.size() > kMaxPayloadBytes) {
        error = "the message would be larger than " + std::to_string(kMaxPayloadBytes) + " bytes";
        return false;
    }
    const std::string topic = bossTopic(m_options.link.room, event.boss);
    const std::lock_guard lock(m_mutex);
    Outgoing& queued = m_outbox[topic] = std::move(item);
    if (m_connected) {
        sendLocked(topic, queued);
    }
    return true;
}

void RoomClient::sendLocked(const std::string& topic, Outgoing& item) {
    int mid = 0;
    const int rc =
        m_api->publish(m_mosq, &mid, topic.c_str(), static_cast<int>(item.payload.size()),
                       item.payload.data(), 1, true);
    // When the library refuses (e.g. the connection just dropped), the kill stays queued
    // with no id and goes out on the next connection.
    item.mid = rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

RoomState RoomClient::state() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

std::size_t RoomClient::pendingCount() const {
    const std::lock_guard lock(m_mutex);
    return m_outbox.size();
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

void RoomClient::onConnect(mosquitto*, void* self, int rc) {
    static_cast<RoomClient*>(self)->connected(rc);
}
void RoomClient::onDisconnect(mosquitto*, void* self, int rc) {
    static_cast<RoomClient*>(self)->disconnected(rc);
}
void RoomClient::onPublish(mosquitto*, void* self, int mid) {
    static_cast<RoomClient*>(self)->acknowledged(mid);
}
void RoomClient::onLog(mosquitto*, void* self, int level, const char* text) {
    static_cast<RoomClient*>(self)->logged(level, text != nullptr ? text : "");
}
void RoomClient::onSubscribe(mosquitto*, void* self, int, int count, const int* granted) {
    static_cast<RoomClient*>(self)->subscribed(count, granted);
}
void RoomClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    if (message != nullptr) {
        static_cast<RoomClient*>(self)->received(*message);
    }
}

void RoomClient::connected(int rc) {
    if (rc != 0) {
        setState(RoomState::Refused, refusalReason(*m_api, rc));
        return;
    }
    // A clean session forgets subscriptions; the retained kills come again with the
    // subscription, which is how a member catches up after a gap.
    m_api->subscribe(m_mosq, nullptr, m_filter.c_str(), 1);
    {
        const std::lock_guard lock(m_mutex);
        m_connected = true;
        // Every kill not yet acknowledged goes out again on a new connection, whether or
        // not the library had it before: a kill sent twice is recognised by its event id,
        // a kill never sent would be lost.
        for (auto& [topic, item] : m_outbox) {
            sendLocked(topic, item);
        }
    }
}

// Connected only once the broker confirmed the subscription: from then on no kill of the
// room is missed.
void RoomClient::subscribed(int count, const int* granted) {
    // 0x80 in place of a QoS is the broker's refusal (e.g. an access list).
    if (count < 1 || granted == nullptr || granted[0] > 2) {
        setState(RoomState::Refused, text::Message(text::MessageId::RoomTopicsRefused));
        return;
    }
    setState(RoomState::Connected, {});
}

void RoomClient::disconnected(int rc) {
    bool refused = false;
    {
        const std::lock_guard lock(m_mutex);
        m_connected = false;
        refused = m_state == RoomState::Refused;
    }
    if (rc == MOSQ_ERR_TLS) {
        // The library gives up on TLS failures; the user has to change the settings.
        setState(RoomState::Refused, text::Message(text::MessageId::RoomTlsFailed));
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS && !refused) {
        setState(RoomState::Reconnecting, text::Message(text::MessageId::RoomConnectionLost));
    }
}

void RoomClient::logged(int level, const char* text) {
    // A failed TLS handshake ends the library's network thread without a disconnect
    // callback; its error log line is the only sign, so it becomes the refusal.
    const std::string_view line(text);
    if (level == MOSQ_LOG_ERR && line.find("OpenSSL") != std::string_view::npos) {
        setState(RoomState::Refused, text::Message(text::MessageId::RoomTlsFailedDetail,
                                                   {text::Message::literal(std::string(line))}));
    }
}

void RoomClient::acknowledged(int mid) {
    std::size_t pending = 0;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_outbox.begin(), m_outbox.end(),
                                     [mid](const auto& entry) { return entry.second.mid == mid; });
        if (it == m_outbox.end()) {
            return;
        }
        m_outbox.erase(it);
        pending = m_outbox.size();
    }
    m_listener.killsPending(pending);
}

void RoomClient::received(const mosquitto_message& message) {
    const std::int64_t arrival = m_options.utcMillis();
    const std::string_view payload(
        static_cast<const char*>(message.payload),
        message.payloadlen > 0 ? static_cast<std::size_t>(message.payloadlen) : 0);
    DecodeResult result = decodeKillEvent(payload);
    if (result.event && !topicMatches(message.topic != nullptr ? message.topic : "",
                                      m_options.link.room, *result.event)) {
        result.event.reset();
        result.reason = DropReason::TopicMismatch;
        result.detail = "the message names another boss than its topic";
    }
    if (!result.event) {
        ++m_dropped;
        m_listener.messageDropped(result.reason, result.detail);
        return;
    }
    const KillEvent& event = *result.event;
    if (event.senderId == m_senderId) {
        return;
    }
    // A retained message was sent whenever the kill happened; only live ones say
    // something about the sender's clock.
    if (!message.retain) {
        if (auto skew =
                m_skew.observe(event.senderId, event.nickname, event.sentUtcMillis, arrival)) {
            m_listener.clockSkew(*skew);
        }
    }
    m_listener.remoteKill(event, message.retain);
}

} // namespace zorvane::share
