#include "share/killevent.h"

#include "text/codec.h"
#include "text/textops.h"

#include <nlohmann/json.hpp>

#include <random>

namespace zorvane::share {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kTopicRoot = "zorvane/v1/";

bool isHexId(std::string_view id) {
    if (id.size() != 32) {
        return false;
    }
    for (const char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// Empty when the text is fine.
std::string textProblem(const char* field, std::string_view text, std::size_t maxBytes) {
    const std::string name(field);
    if (text.empty()) {
        return name + " is empty";
    }
    if (text.size() > maxBytes) {
        return name + " is longer than " + std::to_string(maxBytes) + " bytes";
    }
    if (!text::isValidUtf8(text)) {
        return name + " is not valid UTF-8";
    }
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return name + " contains a control character";
        }
    }
    if (text::trim(text) != text) {
        return name + " has leading or trailing spaces";
    }
    return {};
}

struct Failure {
    DropReason reason;
    std::string detail;
};

// Reads an integer field within [low, high]; nlohmann keeps large positive numbers
// unsigned and fractions as floating point, both of which are checked here rather than
// converted silently.
std::optional<Failure> readInteger(const Json& object, const char* key, std::int64_t low,
                                   std::int64_t high, std::int64_t& out) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return Failure{DropReason::MissingField, std::string(key) + " is missing"};
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(high)) {
            return Failure{DropReason::OutOfRange, std::string(key) + " is out of range"};
        }
        out = static_cast<std::int64_t>(value);
    } else if (it->is_number_integer()) {
        out = it->get<std::int64_t>();
    } else {
        return Failure{DropReason::WrongType, std::string(key) + " is not an integer"};
    }
    if (out < low || out > high) {
        return Failure{DropReason::OutOfRange, std::string(key) + " is out of range"};
    }
    return std::nullopt;
}

std::optional<Failure> readText(const Json& object, const char* key, std::string& out) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return Failure{DropReason::MissingField, std::string(key) + " is missing"};
    }
    if (!it->is_string()) {
        return Failure{DropReason::WrongType, std::string(key) + " is not a string"};
    }
    out = it->get_ref<const std::string&>();
    return std::nullopt;
}

std::optional<Failure> readEvent(const Json& object, KillEvent& event) {
    std::int64_t version = 0;
    if (auto failure = readInteger(object, "v", 0, 1000000, version)) {
        failure->reason = DropReason::WrongVersion;
        return failure;
    }
    if (version != kEventVersion) {
        return Failure{DropReason::WrongVersion, "version " + std::to_string(version)};
    }
    std::int64_t period = 0;
    std::int64_t delay = 0;
    for (const auto& [key, target] : {std::pair<const char*, std::string*>{"boss", &event.boss},
                                      {"nick", &event.nickname},
                                      {"from", &event.senderId},
                                      {"id", &event.eventId}}) {
        if (auto failure = readText(object, key, *target)) {
            return failure;
        }
    }
    if (auto failure = readInteger(object, "period", 0, kMaxMinutes, period)) {
        return failure;
    }
    if (auto failure = readInteger(object, "delay", 0, kMaxMinutes, delay)) {
        return failure;
    }
    if (auto failure = readInteger(object, "kill", kEarliestUtcSeconds, kLatestUtcSeconds,
                                   event.killUtcSeconds)) {
        return failure;
    }
    if (auto failure = readInteger(object, "sent", kEarliestUtcSeconds * 1000,
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
    if (auto problem = textProblem("boss", event.boss, kMaxBossBytes); !problem.empty()) {
        return fail(DropReason::BadText, std::move(problem));
    }
    if (auto problem = textProblem("nick", event.nickname, kMaxNicknameBytes); !problem.empty()) {
        return fail(DropReason::BadText, std::move(problem));
    }
    if (!isHexId(event.senderId)) {
        return fail(DropReason::BadId, "from is not 32 lower-case hex digits");
    }
    if (!isHexId(event.eventId)) {
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
    // Replacing rather than throwing: a checked event has valid UTF-8 anyway.
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

DecodeResult decodeKillEvent(std::string_view payload) noexcept {
    DecodeResult result;
    if (payload.size() > kMaxPayloadBytes) {
        result.reason = DropReason::TooLarge;
        result.detail = std::to_string(payload.size()) + " bytes";
        return result;
    }
    // The parser would take a NUL byte for the end of the input and ignore what follows.
    if (payload.find('\0') != std::string_view::npos) {
        result.reason = DropReason::NotJson;
        result.detail = "contains a NUL byte";
        return result;
    }
    try {
        const Json object = Json::parse(payload.begin(), payload.end(), nullptr, false);
        if (object.is_discarded() || !object.is_object()) {
            result.reason = DropReason::NotJson;
            result.detail = object.is_discarded() ? "not JSON" : "JSON but not an object";
            return result;
        }
        KillEvent event;
        if (auto failure = readEvent(object, event)) {
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
