#include "push/relay.h"

#include "push/digest.h"
#include "text/textops.h"

#include "push/jsontext.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace zorvane::push {
namespace {

using Json = nlohmann::json;

constexpr int kRelayVersion = 1;
// Claims are only needed while the take-over delays run; kept a while longer so a late one
// still counts.
constexpr std::int64_t kClaimLifeSeconds = 2 * 60 * 60;

bool isHex(std::string_view text, std::size_t digits) {
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The object of a payload of our version, or a discarded value.
Json versionedObject(std::string_view payload) {
    if (payload.size() > kMaxRelayPayloadBytes) {
        return Json(Json::value_t::discarded);
    }
    Json object = Json::parse(payload.begin(), payload.end(), nullptr, false);
    if (!object.is_object()) {
        return Json(Json::value_t::discarded);
    }
    const auto version = object.find("v");
    if (version == object.end() || !version->is_number_integer() ||
        version->get<std::int64_t>() != kRelayVersion) {
        return Json(Json::value_t::discarded);
    }
    return object;
}

std::optional<std::string> hexField(const Json& object, const char* key, std::size_t digits) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string() ||
        !isHex(it->get_ref<const std::string&>(), digits)) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

bool holds(const RelayPresence& relay, std::string_view channel, AlertKind kind) {
    return std::any_of(relay.channels.begin(), relay.channels.end(), [&](const RelayChannel& c) {
        return c.key == channel && c.kinds.contains(kind);
    });
}

std::uint64_t score(std::string_view eventId, std::string_view channel, std::string_view relayId) {
    std::string key(eventId);
    key += '\x1f';
    key += channel;
    key += '\x1f';
    key += relayId;
    return sha256Score(key);
}

std::string claimKey(std::string_view eventId, std::string_view channel) {
    return std::string(eventId) + '/' + std::string(channel);
}

} // namespace

std::string channelKey(std::string_view room, std::string_view url) {
    return sha256Hex("zorvane-relay-channel-v1\x1f" + std::string(room) + '\x1f' + text::trim(url),
                     16);
}

std::string encodePresence(const RelayPresence& presence) {
    Json channels = Json::array();
    for (const RelayChannel& channel : presence.channels) {
        Json kinds = Json::array();
        for (const AlertKind kind : kAlertKinds) {
            if (channel.kinds.contains(kind)) {
                kinds.push_back(kindName(kind));
            }
        }
        channels.push_back({{"key", channel.key}, {"kinds", std::move(kinds)}});
    }
    Json object = {{"v", kRelayVersion}, {"relay", presence.relayId}};
    if (presence.writtenUtc != 0) {
        object["at"] = presence.writtenUtc;
    }
    if (presence.sinceUtc != 0) {
        object["since"] = presence.sinceUtc;
    }
    object["channels"] = std::move(channels);
    return jsonText(object);
}

std::string encodeClaim(const RelayClaim& claim) {
    return jsonText({{"v", kRelayVersion},
                     {"relay", claim.relayId},
                     {"event", claim.eventId},
                     {"channel", claim.channel}});
}

std::optional<RelayPresence> decodePresence(std::string_view payload) {
    const Json object = versionedObject(payload);
    if (object.is_discarded()) {
        return std::nullopt;
    }
    RelayPresence presence;
    const std::optional<std::string> relay = hexField(object, "relay", 32);
    const auto channels = object.find("channels");
    if (!relay || channels == object.end() || !channels->is_array() ||
        channels->size() > kMaxRelayChannels) {
        return std::nullopt;
    }
    presence.relayId = *relay;
    if (const auto at = object.find("at"); at != object.end()) {
        if (!at->is_number_integer() || at->get<std::int64_t>() <= 0) {
            return std::nullopt;
        }
        presence.writtenUtc = at->get<std::int64_t>();
    }
    if (const auto since = object.find("since"); since != object.end()) {
        if (!since->is_number_integer() || since->get<std::int64_t>() <= 0) {
            return std::nullopt;
        }
        presence.sinceUtc = since->get<std::int64_t>();
    }
    for (const Json& entry : *channels) {
        if (!entry.is_object()) {
            return std::nullopt;
        }
        const std::optional<std::string> key = hexField(entry, "key", 16);
        const auto kinds = entry.find("kinds");
        if (!key || kinds == entry.end() || !kinds->is_array()) {
            return std::nullopt;
        }
        RelayChannel channel{*key, {}};
        for (const Json& name : *kinds) {
            // Kinds added by later versions are skipped, not refused.
            if (name.is_string()) {
                if (const auto kind = kindFromName(name.get<std::string>())) {
                    channel.kinds.insert(*kind);
                }
            }
        }
        presence.channels.push_back(std::move(channel));
    }
    return presence;
}

std::optional<RelayClaim> decodeClaim(std::string_view payload) {
    const Json object = versionedObject(payload);
    if (object.is_discarded()) {
        return std::nullopt;
    }
    const std::optional<std::string> relay = hexField(object, "relay", 32);
    const std::optional<std::string> event = hexField(object, "event", 32);
    const std::optional<std::string> channel = hexField(object, "channel", 16);
    if (!relay || !event || !channel) {
        return std::nullopt;
    }
    return RelayClaim{*relay, *event, *channel};
}

std::vector<std::string> relayOrder(std::string_view eventId, std::string_view channel,
                                    AlertKind kind, std::span<const RelayPresence> present) {
    std::vector<std::pair<std::uint64_t, std::string>> ranked;
    for (const RelayPresence& relay : present) {
        if (holds(relay, channel, kind) &&
            std::none_of(ranked.begin(), ranked.end(),
                         [&](const auto& entry) { return entry.second == relay.relayId; })) {
            ranked.emplace_back(score(eventId, channel, relay.relayId), relay.relayId);
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<std::string> order;
    order.reserve(ranked.size());
    for (auto& entry : ranked) {
        order.push_back(std::move(entry.second));
    }
    return order;
}

std::chrono::seconds relayDelay(std::string_view eventId, std::string_view channel, AlertKind kind,
                                std::string_view myId, std::span<const RelayPresence> present) {
    std::vector<RelayPresence> relays(present.begin(), present.end());
    const bool known = std::any_of(relays.begin(), relays.end(), [&](const RelayPresence& r) {
        return r.relayId == myId && holds(r, channel, kind);
    });
    if (!known) {
        relays.push_back({std::string(myId), {{std::string(channel), KindSet::all()}}, 0});
    }
    const std::vector<std::string> order = relayOrder(eventId, channel, kind, relays);
    const auto rank = std::find(order.begin(), order.end(), myId) - order.begin();
    return kTakeOverDelay * rank;
}

RelayBook::RelayBook(std::string room, std::string relayId, RelayTiming timing)
    : m_room(std::move(room)), m_relayId(relayId.empty() ? randomHex(32) : std::move(relayId)),
      m_timing(timing) {}

void RelayBook::setOutbox(RelayOutbox* outbox) {
    const std::lock_guard lock(m_mutex);
    m_outbox = outbox;
}

void RelayBook::setOwnChannels(std::vector<RelayChannel> channels, std::int64_t nowUtc) {
    RelayOutbox* outbox = nullptr;
    RelayPresence presence;
    {
        const std::lock_guard lock(m_mutex);
        if (channels == m_ownChannels) {
            return;
        }
        m_ownChannels = std::move(channels);
        m_ownWrittenUtc = nowUtc;
        if (m_ownSinceUtc == 0 && !m_ownChannels.empty()) {
            m_ownSinceUtc = nowUtc;
        }
        outbox = m_outbox;
        presence = {m_relayId, m_ownChannels, m_ownWrittenUtc, m_ownSinceUtc};
    }
    if (outbox != nullptr) {
        outbox->publishPresence(presence);
    }
}

RelayPresence RelayBook::ownPresence() const {
    const std::lock_guard lock(m_mutex);
    return {m_relayId, m_ownChannels, m_ownWrittenUtc, m_ownSinceUtc};
}

std::optional<std::int64_t> RelayBook::refreshPresence(std::int64_t nowUtc) {
    RelayOutbox* outbox = nullptr;
    RelayPresence presence;
    std::int64_t next = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_ownChannels.empty()) {
            return std::nullopt;
        }
        next = m_ownWrittenUtc + m_timing.refresh.count();
        // A clock set back by more than the life would otherwise wait that long.
        if (nowUtc < next && m_ownWrittenUtc <= nowUtc) {
            return next;
        }
        m_ownWrittenUtc = nowUtc;
        next = nowUtc + m_timing.refresh.count();
        outbox = m_outbox;
        presence = {m_relayId, m_ownChannels, m_ownWrittenUtc, m_ownSinceUtc};
    }
    if (outbox != nullptr) {
        outbox->publishPresence(presence);
    }
    return next;
}

void RelayBook::presenceReceived(const RelayPresence& presence) {
    if (presence.relayId == m_relayId) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    m_others[presence.relayId] = presence;
}

void RelayBook::relayLeft(std::string_view relayId) {
    const std::lock_guard lock(m_mutex);
    if (const auto it = m_others.find(relayId); it != m_others.end()) {
        m_others.erase(it);
    }
}

void RelayBook::forgetOthers() {
    const std::lock_guard lock(m_mutex);
    m_others.clear();
}

std::vector<RelayPresence> RelayBook::others() const {
    const std::lock_guard lock(m_mutex);
    std::vector<RelayPresence> out;
    out.reserve(m_others.size());
    for (const auto& [id, presence] : m_others) {
        out.push_back(presence);
    }
    return out;
}

void RelayBook::noteClaim(std::string key, std::int64_t nowUtc) {
    std::erase_if(m_claims, [nowUtc](const auto& entry) {
        return entry.second.first + kClaimLifeSeconds < nowUtc;
    });
    m_claims.emplace(std::move(key), std::pair{nowUtc, std::string()});
}

void RelayBook::claimReceived(const RelayClaim& claim, std::int64_t nowUtc) {
    if (claim.relayId == m_relayId) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    const std::string key = claimKey(claim.eventId, claim.channel);
    if (m_claims.find(key) == m_claims.end()) {
        noteClaim(key, nowUtc);
        m_claims[key].second = claim.relayId;
    }
}

bool RelayBook::presenceHeard(std::string_view topicRelayId, std::string_view payload) {
    if (payload.empty()) {
        relayLeft(topicRelayId);
        return true;
    }
    const std::optional<RelayPresence> presence = decodePresence(payload);
    // Each relay speaks on its own topic; a presence elsewhere would let one topic's
    // clearing leave a relay behind that nobody clears.
    if (!presence || presence->relayId != topicRelayId) {
        return false;
    }
    presenceReceived(*presence);
    return true;
}

bool RelayBook::claimHeard(std::string_view payload, std::int64_t nowUtc) {
    const std::optional<RelayClaim> claim = decodeClaim(payload);
    if (!claim) {
        return false;
    }
    claimReceived(*claim, nowUtc);
    return true;
}

bool RelayBook::isLive(const RelayPresence& presence, std::int64_t nowUtc) const {
    // Nobody has written it for so long that its relay is gone; it ranking first would hold
    // every post back by the take-over delay.
    return presence.writtenUtc == 0 || presence.writtenUtc + m_timing.life.count() >= nowUtc;
}

std::chrono::seconds RelayBook::delayFor(std::string_view eventId, std::string_view channel,
                                         AlertKind kind, std::int64_t nowUtc,
                                         std::optional<std::int64_t> firesUtc) const {
    std::vector<RelayPresence> relays;
    std::chrono::seconds settling{0};
    {
        const std::lock_guard lock(m_mutex);
        const bool late = firesUtc && m_ownSinceUtc != 0 && *firesUtc < m_ownSinceUtc;
        if (late) {
            settling = std::chrono::seconds(
                std::max<std::int64_t>(0, m_ownSinceUtc + m_timing.settle.count() - nowUtc));
        }
        relays.reserve(m_others.size() + 1);
        relays.push_back({m_relayId, m_ownChannels, m_ownWrittenUtc, m_ownSinceUtc});
        for (const auto& [id, presence] : m_others) {
            // A relay that began after the event fired leaves it to those that were there;
            // when this one began late too, all of them are late and rank alike.
            const bool cameLater = firesUtc && !late && presence.sinceUtc > *firesUtc;
            if (isLive(presence, nowUtc) && !cameLater) {
                relays.push_back(presence);
            }
        }
    }
    return std::max(settling, relayDelay(eventId, channel, kind, m_relayId, relays));
}

bool RelayBook::leftToEarlierRelay(std::string_view channel, AlertKind kind, std::int64_t firesUtc,
                                   std::int64_t nowUtc) const {
    const std::lock_guard lock(m_mutex);
    if (m_ownSinceUtc == 0 || firesUtc >= m_ownSinceUtc) {
        return false;
    }
    return std::any_of(m_others.begin(), m_others.end(), [&](const auto& entry) {
        const RelayPresence& presence = entry.second;
        return isLive(presence, nowUtc) && holds(presence, channel, kind) &&
               presence.sinceUtc <= firesUtc;
    });
}

bool RelayBook::claimedElsewhere(std::string_view eventId, std::string_view channel) const {
    const std::lock_guard lock(m_mutex);
    const auto it = m_claims.find(claimKey(eventId, channel));
    return it != m_claims.end() && it->second.second != m_relayId;
}

bool RelayBook::claim(std::string_view eventId, std::string_view channel, std::int64_t nowUtc) {
    RelayOutbox* outbox = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        const std::string key = claimKey(eventId, channel);
        if (const auto it = m_claims.find(key); it != m_claims.end()) {
            // Ours from an earlier attempt of the same post, or another relay's.
            return it->second.second == m_relayId;
        }
        noteClaim(key, nowUtc);
        m_claims[key].second = m_relayId;
        outbox = m_outbox;
    }
    if (outbox != nullptr) {
        outbox->publishClaim({m_relayId, std::string(eventId), std::string(channel)});
    }
    return true;
}

} // namespace zorvane::push
