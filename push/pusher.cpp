#include "push/pusher.h"

#include "net/httprequest.h"
#include "push/relay.h"
#include "text/codec.h"
#include "text/textops.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace zorvane::push {
namespace {

using Json = nlohmann::json;

// An answer's body is only read for its reason; a server that sends more is cut off.
constexpr std::size_t kMaxAnswerBytes = 1024 * 1024;
constexpr std::size_t kMaxDetailCodePoints = 160;

int statusCode(std::string_view headerBlock) {
    // "HTTP/1.1 204 No Content"
    const std::size_t space = headerBlock.find(' ');
    if (!headerBlock.starts_with("HTTP/") || space == std::string_view::npos) {
        return 0;
    }
    int code = 0;
    for (std::size_t i = space + 1; i < headerBlock.size() && i < space + 4; ++i) {
        if (headerBlock[i] < '0' || headerBlock[i] > '9') {
            return 0;
        }
        code = code * 10 + (headerBlock[i] - '0');
    }
    return code;
}

// The server's wish when to come back: Retry-After in seconds, or Discord's retry_after.
std::optional<std::chrono::milliseconds> retryAfter(const std::string& headerBlock,
                                                    const std::string& body) {
    std::optional<std::chrono::milliseconds> wait;
    for (const std::string& line : text::split(headerBlock, "\r\n")) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos ||
            !text::equals(text::trim(line.substr(0, colon)), "Retry-After", true)) {
            continue;
        }
        const std::string value = text::trim(line.substr(colon + 1));
        if (!value.empty() && value.size() < 9 &&
            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            wait = std::chrono::seconds(std::stol(value));
        }
    }
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_object()) {
        const auto it = json.find("retry_after");
        if (it != json.end() && it->is_number() && it->get<double>() >= 0 &&
            it->get<double>() < 86400) {
            const std::chrono::milliseconds fromBody(
                static_cast<long long>(std::ceil(it->get<double>() * 1000)));
            wait = wait ? std::max(*wait, fromBody) : fromBody;
        }
    }
    return wait;
}

// What the server said about its refusal: Discord's "message", ntfy's "error", or the
// start of a text answer; "" for an empty or binary one.
std::string serverDetail(const std::string& body) {
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_object()) {
        for (const char* key : {"message", "error"}) {
            const auto it = json.find(key);
            if (it != json.end() && it->is_string()) {
                return text::trim(it->get<std::string>()).substr(0, 400);
            }
        }
        return {}; // an object without words for people
    }
    if (!text::isValidUtf8(body)) {
        return {};
    }
    std::string detail;
    std::size_t codePoints = 0;
    for (const char c : body) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xc0) != 0x80 && ++codePoints > kMaxDetailCodePoints) {
            break;
        }
        detail += byte < 0x20 || byte == 0x7f ? ' ' : c;
    }
    return text::trim(detail);
}

std::string secondsText(std::chrono::milliseconds duration) {
    const long long tenths = (duration.count() + 50) / 100;
    return tenths % 10 == 0 ? std::to_string(tenths / 10)
                            : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

Pusher::Pusher(PusherOptions options)
    : m_options(std::move(options)),
      m_ownClock(m_options.clock != nullptr ? nullptr : std::make_unique<SystemPushClock>()),
      m_clock(m_options.clock != nullptr ? *m_options.clock : *m_ownClock),
      m_plan(m_options.policy), m_redactor(std::make_shared<Redactor>()),
      m_thread("zorvane-push", m_clock, [this] { return deliverDue(); }) {
    if (!m_options.wording) {
        m_options.wording = [](const text::Message& message) { return text::defaultText(message); };
    }
    if (!m_options.sentFile.empty()) {
        m_sentBefore = readSentFile(m_options.sentFile, m_clock.utcNow());
    }
}

Pusher::~Pusher() {
    m_stopping = true;
    m_thread.stop();
}

void Pusher::configure(const PushSettings& settings) {
    std::vector<text::Message> problems;
    auto redactor = std::make_shared<Redactor>();
    std::map<std::string, KindSet> channels;
    std::map<std::string, std::string, std::less<>> channelOf;
    for (const PushTarget& target : settings.targets) {
        problems.push_back(checkTargetUrl(target.kind, target.url));
        redactor->addUrl(target.url, target.kind);
        if (m_options.relays != nullptr && target.enabled && target.scope == TargetScope::Room &&
            problems.back().empty()) {
            const std::string channel = m_options.relays->channelFor(target.url);
            channelOf[target.id] = channel;
            KindSet& kinds = channels[channel];
            for (const AlertKind kind : kAlertKinds) {
                if (target.events.contains(kind)) {
                    kinds.insert(kind);
                }
            }
        }
    }
    bool anyTargets = false;
    {
        const std::lock_guard lock(m_mutex);
        anyTargets = !m_plan.statuses().empty();
        m_plan.configure(settings.targets, problems);
        m_plan.rememberSent(m_sentBefore);
        m_redactor = std::move(redactor);
        m_channels = std::move(channelOf);
        anyTargets = anyTargets || !m_plan.statuses().empty();
    }
    if (m_options.relays != nullptr) {
        std::vector<RelayChannel> own;
        for (const auto& [key, kinds] : channels) {
            own.push_back({key, kinds});
        }
        m_options.relays->setOwnChannels(std::move(own), m_clock.utcNow());
    }
    // The thread tells the listener of the new statuses; with no targets, before or now,
    // it is not even started.
    if (anyTargets) {
        m_thread.wake();
    }
}

void Pusher::enqueue(const AlertEvent& event) {
    enqueue(std::span<const AlertEvent>(&event, 1));
}

void Pusher::enqueue(std::span<const AlertEvent> events) {
    std::vector<std::string> ids;
    ids.reserve(events.size());
    for (const AlertEvent& event : events) {
        ids.push_back(eventId(event));
    }
    const PushClock::TimePoint now = m_clock.now();
    const std::int64_t utcNow = m_clock.utcNow();
    RelayBook* relays = m_options.relays;
    std::size_t added = 0;
    {
        const std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < events.size(); ++i) {
            const AlertEvent& event = events[i];
            const std::string& id = ids[i];
            DeliveryPlan::RoomDelay roomDelay;
            if (relays != nullptr) {
                roomDelay = [this, relays, &event, &id, utcNow](const PushTarget& target) {
                    return std::chrono::milliseconds(relays->delayFor(
                        id, channelOf(target), event.kind, utcNow, firesUtc(event)));
                };
            }
            added += m_plan.add(event, id, now, utcNow, roomDelay);
        }
    }
    if (added > 0) {
        m_thread.wake();
    }
}

const std::string& Pusher::channelOf(const PushTarget& target) const {
    static const std::string none;
    const auto it = m_channels.find(target.id);
    return it != m_channels.end() ? it->second : none;
}

std::vector<TargetStatus> Pusher::statuses() const {
    const std::lock_guard lock(m_mutex);
    return m_plan.statuses();
}

bool Pusher::waitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, limit, [this] { return !m_sending && m_plan.idle(); });
}

void Pusher::tell(const std::vector<TargetStatus>& changed) {
    // A request cancelled by the end of the pusher is no news for the window.
    if (m_options.listener == nullptr || m_stopping) {
        return;
    }
    for (const TargetStatus& status : changed) {
        m_options.listener->pushStatusChanged(status);
    }
}

std::optional<PushClock::TimePoint> Pusher::deliverDue() {
    RelayBook* relays = m_options.relays;
    const DeliveryPlan::ClaimedElsewhere claimedElsewhere =
        relays == nullptr ? DeliveryPlan::ClaimedElsewhere()
                          : [this, relays](const PushTarget& target, const AlertEvent& event,
                                           const std::string& id) {
                                const std::string& channel = channelOf(target);
                                return relays->claimedElsewhere(id, channel) ||
                                       relays->leftToEarlierRelay(
                                           channel, event.kind, firesUtc(event), m_clock.utcNow());
                            };
    while (!m_stopping) {
        std::unique_lock lock(m_mutex);
        const PushClock::TimePoint now = m_clock.now();
        const std::int64_t utcNow = m_clock.utcNow();
        auto step = m_plan.next(now, utcNow, claimedElsewhere);
        std::vector<TargetStatus> changed = m_plan.takeChanged();
        auto* attempt = std::get_if<DeliveryPlan::Attempt>(&step);
        if (attempt == nullptr) {
            if (m_plan.idle()) {
                m_idle.notify_all();
            }
            lock.unlock();
            tell(changed);
            if (const auto* at = std::get_if<PushClock::TimePoint>(&step)) {
                return *at;
            }
            return std::nullopt;
        }
        if (relays != nullptr && attempt->target.scope == TargetScope::Room) {
            // Said before posting, so the others stand back; an event another relay claimed
            // meanwhile is left to it.
            const std::string channel = channelOf(attempt->target);
            DeliveryPlan::Attempt mine = *attempt;
            mine.events.clear();
            mine.eventIds.clear();
            for (std::size_t i = 0; i < attempt->eventIds.size(); ++i) {
                const AlertEvent& event = attempt->events[i];
                if (!relays->leftToEarlierRelay(channel, event.kind, firesUtc(event), utcNow) &&
                    relays->claim(attempt->eventIds[i], channel, utcNow)) {
                    mine.events.push_back(attempt->events[i]);
                    mine.eventIds.push_back(attempt->eventIds[i]);
                } else {
                    m_plan.relayedElsewhere(attempt->target.id, attempt->eventIds[i]);
                }
            }
            *attempt = std::move(mine);
            if (attempt->events.empty()) {
                lock.unlock();
                tell(changed);
                continue;
            }
        }
        m_sending = true;
        const std::shared_ptr<const Redactor> redactor = m_redactor;
        lock.unlock();
        tell(changed);

        AttemptResult result;
        if (const auto request =
                buildRequest(attempt->target, attempt->events, utcNow, m_options.wording)) {
            result = post(*request, *redactor);
        } else {
            result.outcome = AttemptResult::Outcome::Refused;
            result.reason = checkTargetUrl(attempt->target.kind, attempt->target.url);
        }

        lock.lock();
        m_plan.finish(*attempt, result, m_clock.now(), m_clock.utcNow());
        changed = m_plan.takeChanged();
        std::vector<SentRecord> sent;
        const bool remember =
            !m_options.sentFile.empty() && result.outcome == AttemptResult::Outcome::Delivered;
        if (remember) {
            sent = m_plan.sent(m_clock.utcNow());
        }
        lock.unlock();
        if (remember) {
            // Only this thread writes the file. A failed write costs at most a repeated post
            // after the next start; nothing the player needs to act on.
            (void)writeSentFile(m_options.sentFile, sent);
        }
        lock.lock();
        m_sending = false;
        if (m_plan.idle()) {
            m_idle.notify_all();
        }
        lock.unlock();
        tell(changed);
    }
    return std::nullopt;
}

AttemptResult Pusher::post(const PushRequest& request, const Redactor& redactor) {
    using Outcome = AttemptResult::Outcome;
    const auto timeout = m_options.policy.timeout;
    net::HttpOptions options;
    options.method = net::kPost;
    options.postBytes = request.body;
    options.headers = request.headers;
    options.noRedirect = true;
    options.cookies = std::string(); // no cookies, and none shared with other requests
    options.mergeCookies = false;
    options.addDefaultHeaders = false;
    options.timeoutMilliseconds = static_cast<long>(timeout.count());
    const long wholeSeconds = std::max<long>(1, static_cast<long>((timeout.count() + 999) / 1000));
    options.connectTimeoutSeconds = wholeSeconds;
    options.stallTimeoutSeconds = wholeSeconds;
    options.maxBodyBytes = kMaxAnswerBytes;
    options.cancel = &m_stopping;
    options.caFile = m_options.caFile;

    const std::string body = net::httpRequest(request.url, options);
    AttemptResult result;
    if (!options.error.empty()) {
        result.outcome = Outcome::Retry;
        result.reason = options.timedOut
                            ? text::Message(text::MessageId::PushTimedOut,
                                            {text::Message::literal(secondsText(timeout))})
                            : redactor.apply(options.error);
        return result;
    }
    const int status = statusCode(options.returnedHeaders);
    if (status >= 200 && status < 300) {
        return result;
    }
    const std::string detail = redactor.apply(serverDetail(body));
    const text::Message code = text::Message::literal(std::to_string(status));
    result.reason = detail.empty() ? text::Message(text::MessageId::PushHttpStatus, {code})
                                   : text::Message(text::MessageId::PushHttpStatusDetail,
                                                   {code, text::Message::literal(detail)});
    const bool worthRetrying =
        status == 408 || status == 425 || status == 429 || status >= 500 || status == 0;
    result.outcome = worthRetrying ? Outcome::Retry : Outcome::Refused;
    if (worthRetrying) {
        result.retryAfter = retryAfter(options.returnedHeaders, body);
    }
    return result;
}

} // namespace zorvane::push
