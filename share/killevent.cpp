#include "share/killevent.h"

#include "share/payloadfields.h"
#include "text/textops.h"

#include <random>
#include <tuple>

namespace zorvane::share {

namespace fields {

std::optional<Failure> readVersion(const Json& object, int expected) {
    std::int64_t version = 0;
    if (auto failure = readInteger(object, "v", 0, 1000000, version)) {
        failure->reason = DropReason::WrongVersion;
        return failure;
    }
    if (version != expected) {
        return Failure{DropReason::WrongVersion, "version " + std::to_string(version)};
    }
    return std::nullopt;
}

std::optional<Failure> readKillFields(const Json& object, KillEvent& event) {
    std::int64_t period = 0;
    std::int64_t delay = 0;
    for (const auto& [key, target] : {std::pair<const char*, std::string*>{"boss", &event.boss},
                                      {"nick", &event.nickname},
                                      {"from", &event.senderId},
                                      {"id", &event.eventId}}) {
        if (auto failure = fields::readText(object, key, *target)) {
            return failure;
        }
    }
    if (auto failure = fields::readInteger(object, "period", 0, kMaxMinutes, period)) {
        return failure;
    }
    if (auto failure = fields::readInteger(object, "delay", 0, kMaxMinutes, delay)) {
        return failure;
    }
    if (auto failure = fields::readInteger(object, "kill", kEarliestUtcSeconds, kLatestUtcSeconds,
                                           event.killUtcSeconds)) {
        return failure;
    }
    if (auto failure = fields::readInteger(object, "sent", kEarliestUtcSeconds * 1000,
                                           kLatestUtcSeconds * 1000, event.sentUtcMillis)) {
        return failure;
    }
    event.periodMinutes = static_cast<int>(period);
    event.delayMinutes = static_cast<int>(delay);
    DropReason reason{};
    std::string problem = checkKillEvent(event, &reason);
    if (!problem.empty()) {
        return Failure{reason, std::move(problem)};
    }
    return std::nullopt;
}

} // namespace fields

using fields::Failure;
using fields::Json;

namespace {
constexpr std::string_view kTopicRoot = "zorvane/v1/";
} // namespace

const char* describe(DropReason reason) {
    switch (reason) {
    case DropReason::TooLarge:
        return "message too large";
    case DropReason::NotJson:
        return "not a JSON object";
    case DropReason::WrongVersion:
        return "unknown message version";
    case DropReason::MissingField:
        return "field missing";
    case DropReason::WrongType:
        return "field of the wrong type";
    case DropReason::OutOfRange:
        return "number out of range";
    case DropReason::BadText:
        return "bad text";
    case DropReason::BadId:
        return "bad id";
    case DropReason::TopicMismatch:
        return "topic does not match";
    case DropReason::UnknownType:
        return "unknown message type";
    }
    return "unknown";
}

std::string checkKillEvent(const KillEvent& event, DropReason* reason) {
    const auto fail = [reason](DropReason why, std::string detail) {
        if (reason != nullptr) {
            *reason = why;
        }
        return detail;
    };
    for (const auto& [field, text, limit, mayBeEmpty] :
         {std::tuple{"boss", &event.boss, kMaxBossBytes, false},
          std::tuple{"server", &event.server, kMaxServerBytes, true},
          std::tuple{"line", &event.line, kMaxLineBytes, true},
          std::tuple{"nick", &event.nickname, kMaxNicknameBytes, false}}) {
        if (auto problem = fields::textProblem(field, *text, limit, mayBeEmpty); !problem.empty()) {
            return fail(DropReason::BadText, std::move(problem));
        }
    }
    if (!fields::isHexId(event.senderId)) {
        return fail(DropReason::BadId, "from is not 32 lower-case hex digits");
    }
    if (!fields::isHexId(event.eventId)) {
        return fail(DropReason::BadId, "id is not 32 lower-case hex digits");
    }
    if (event.periodMinutes < 0 || event.periodMinutes > kMaxMinutes || event.delayMinutes < 0 ||
        event.delayMinutes > kMaxMinutes) {
        return fail(DropReason::OutOfRange, "period or delay is out of range");
    }
    if (event.killUtcSeconds < kEarliestUtcSeconds || event.killUtcSeconds > kLatestUtcSeconds ||
        event.sentUtcMillis < kEarliestUtcSeconds * 1000 ||
        event.sentUtcMillis > kLatestUtcSeconds * 1000) {
        return fail(DropReason::OutOfRange, "kill or sent is out of range");
    }
    return {};
}

std::string encodeKillEvent(const KillEvent& event) {
    Json object = {
        {"v", kEventVersion},
        {"boss", event.boss},
        {"period", event.periodMinutes},
        {"delay", event.delayMinutes},
        {"kill", event.killUtcSeconds},
        {"nick", event.nickname},
        {"from", event.senderId},
        {"sent", event.sentUtcMillis},
        {"id", event.eventId},
    };
    return fields::dump(object);
}

DecodeResult decodeKillEvent(std::string_view payload) noexcept {
    DecodeResult result;
    try {
        Json object;
        std::optional<Failure> failure = fields::parseObject(payload, kMaxPayloadBytes, object);
        KillEvent event;
        if (!failure) {
            failure = fields::readVersion(object, kEventVersion);
        }
        if (!failure) {
            failure = fields::readKillFields(object, event);
        }
        if (failure) {
            result.reason = failure->reason;
            result.detail = std::move(failure->detail);
            return result;
        }
        result.event = std::move(event);
    } catch (const std::exception& error) {
        // Only memory exhaustion can get here; the message is dropped like any bad one.
        result.event.reset();
        result.reason = DropReason::NotJson;
        result.detail = error.what();
    }
    return result;
}

std::string randomId() {
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id(32, '0');
    for (int half = 0; half < 2; ++half) {
        std::uint64_t bits = engine();
        for (int i = 0; i < 16; ++i) {
            id[static_cast<std::size_t>(half * 16 + i)] = kDigits[bits & 0xf];
            bits >>= 4;
        }
    }
    return id;
}

std::string encodeTopicLevel(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            c == '-' || c == '_' || c == '.') {
            out += c;
        } else {
            out += '%';
            out += kDigits[u >> 4];
            out += kDigits[u & 0xf];
        }
    }
    return out;
}

std::string bossTopic(std::string_view room, std::string_view boss) {
    return std::string(kTopicRoot) + encodeTopicLevel(room) + "/" +
           encodeTopicLevel(text::trim(boss));
}

std::string roomFilter(std::string_view room) {
    return std::string(kTopicRoot) + encodeTopicLevel(room) + "/+";
}

bool topicMatches(std::string_view topic, std::string_view room, const KillEvent& event) {
    return topic == bossTopic(room, event.boss);
}

} // namespace zorvane::share
