#include "share/roommessage.h"

#include "share/payloadfields.h"

#include <tuple>

namespace zorvane::share {
namespace {

using fields::Failure;
using fields::Json;

// The fields every sender adds: who (as it calls itself), its client and the message id.
struct Envelope {
    std::string* nickname;
    std::string* senderId;
    std::int64_t* sentUtcMillis;
    std::string* eventId;
};

std::optional<Failure> readEnvelope(const Json& object, const Envelope& envelope) {
    for (const auto& [key, target] :
         {std::pair<const char*, std::string*>{"nick", envelope.nickname},
          {"from", envelope.senderId},
          {"id", envelope.eventId}}) {
        if (auto failure = fields::readText(object, key, *target)) {
            return failure;
        }
    }
    return fields::readInteger(object, "sent", kEarliestUtcSeconds * 1000, kLatestUtcSeconds * 1000,
                               *envelope.sentUtcMillis);
}

std::string checkEnvelope(const std::string& nickname, const std::string& senderId,
                          std::int64_t sentUtcMillis, const std::string& eventId,
                          DropReason& reason) {
    if (auto problem = fields::textProblem("nick", nickname, kMaxNicknameBytes); !problem.empty()) {
        reason = DropReason::BadText;
        return problem;
    }
    if (!fields::isHexId(senderId) || !fields::isHexId(eventId)) {
        reason = DropReason::BadId;
        return "from or id is not 32 lower-case hex digits";
    }
    if (sentUtcMillis < kEarliestUtcSeconds * 1000 || sentUtcMillis > kLatestUtcSeconds * 1000) {
        reason = DropReason::OutOfRange;
        return "sent is out of range";
    }
    return {};
}

std::string checkKeyTexts(const KillKey& key, DropReason& reason) {
    for (const auto& [field, text, limit, mayBeEmpty] :
         {std::tuple{"boss", &key.boss, kMaxBossBytes, false},
          std::tuple{"server", &key.server, kMaxServerBytes, true},
          std::tuple{"line", &key.line, kMaxLineBytes, true}}) {
        if (auto problem = fields::textProblem(field, *text, limit, mayBeEmpty); !problem.empty()) {
            reason = DropReason::BadText;
            return problem;
        }
    }
    return {};
}

std::optional<Failure> readKey(const Json& object, KillKey& key) {
    for (const auto& [field, target] : {std::pair<const char*, std::string*>{"boss", &key.boss},
                                        {"server", &key.server},
                                        {"line", &key.line}}) {
        if (auto failure = fields::readText(object, field, *target)) {
            return failure;
        }
    }
    return std::nullopt;
}

std::optional<Failure> readKill(const Json& object, KillEvent& event) {
    KillKey key;
    if (auto failure = readKey(object, key)) {
        return failure;
    }
    event.server = key.server;
    event.line = key.line;
    if (const auto relay = object.find("relay"); relay != object.end()) {
        if (!relay->is_boolean()) {
            return Failure{DropReason::WrongType, "relay is not a boolean"};
        }
        event.relayed = relay->get<bool>();
    }
    return fields::readKillFields(object, event);
}

std::optional<Failure> readRetraction(const Json& object, Retraction& retraction) {
    if (auto failure = readKey(object, retraction.key)) {
        return failure;
    }
    for (const auto& [field, target] :
         {std::pair<const char*, std::string*>{"target", &retraction.targetEventId},
          {"of", &retraction.targetMember}}) {
        if (auto failure = fields::readText(object, field, *target)) {
            return failure;
        }
    }
    if (auto failure = fields::readInteger(object, "kill", kEarliestUtcSeconds, kLatestUtcSeconds,
                                           retraction.killUtcSeconds)) {
        return failure;
    }
    if (auto failure = readEnvelope(object, {&retraction.nickname, &retraction.senderId,
                                             &retraction.sentUtcMillis, &retraction.eventId})) {
        return failure;
    }
    DropReason reason{};
    if (std::string problem = checkRetraction(retraction, &reason); !problem.empty()) {
        return Failure{reason, std::move(problem)};
    }
    return std::nullopt;
}

std::optional<Failure> readList(const Json& object, BossListOffer& offer) {
    if (auto failure = fields::readText(object, "name", offer.name)) {
        return failure;
    }
    const auto list = object.find("list");
    if (list == object.end()) {
        return Failure{DropReason::MissingField, "list is missing"};
    }
    if (!list->is_object()) {
        return Failure{DropReason::WrongType, "list is not an object"};
    }
    offer.listJson = fields::dump(*list);
    if (auto failure = readEnvelope(
            object, {&offer.nickname, &offer.senderId, &offer.sentUtcMillis, &offer.eventId})) {
        return failure;
    }
    DropReason reason{};
    if (std::string problem = checkListOffer(offer, &reason); !problem.empty()) {
        return Failure{reason, std::move(problem)};
    }
    return std::nullopt;
}

std::optional<Failure> readRestart(const Json& object, ServerRestart& restart) {
    if (auto failure = fields::readText(object, "server", restart.server)) {
        return failure;
    }
    if (auto failure = fields::readInteger(object, "restart", kEarliestUtcSeconds,
                                           kLatestUtcSeconds, restart.restartUtcSeconds)) {
        return failure;
    }
    if (auto failure = readEnvelope(object, {&restart.nickname, &restart.senderId,
                                             &restart.sentUtcMillis, &restart.eventId})) {
        return failure;
    }
    DropReason reason{};
    if (std::string problem = checkRestart(restart, &reason); !problem.empty()) {
        return Failure{reason, std::move(problem)};
    }
    return std::nullopt;
}

Json envelopeJson(const char* type, const std::string& nickname, const std::string& senderId,
                  std::int64_t sentUtcMillis, const std::string& eventId) {
    return Json{{"v", kMessageVersion}, {"type", type},          {"nick", nickname},
                {"from", senderId},     {"sent", sentUtcMillis}, {"id", eventId}};
}

} // namespace

std::string checkRetraction(const Retraction& retraction, DropReason* reason) {
    DropReason why = DropReason::BadText;
    std::string problem = checkKeyTexts(retraction.key, why);
    if (problem.empty()) {
        problem = checkEnvelope(retraction.nickname, retraction.senderId, retraction.sentUtcMillis,
                                retraction.eventId, why);
    }
    if (problem.empty() && !fields::isHexId(retraction.targetEventId)) {
        why = DropReason::BadId;
        problem = "target is not 32 lower-case hex digits";
    }
    if (problem.empty()) {
        // A member level is a user name; an empty one is a member without one.
        problem = fields::textProblem("of", retraction.targetMember, kMaxNicknameBytes, true);
        why = DropReason::BadText;
    }
    if (problem.empty() && (retraction.killUtcSeconds < kEarliestUtcSeconds ||
                            retraction.killUtcSeconds > kLatestUtcSeconds)) {
        why = DropReason::OutOfRange;
        problem = "kill is out of range";
    }
    if (!problem.empty() && reason != nullptr) {
        *reason = why;
    }
    return problem;
}

std::string checkListOffer(const BossListOffer& offer, DropReason* reason) {
    DropReason why = DropReason::BadText;
    std::string problem = fields::textProblem("name", offer.name, kMaxListNameBytes);
    if (problem.empty()) {
        problem =
            checkEnvelope(offer.nickname, offer.senderId, offer.sentUtcMillis, offer.eventId, why);
    }
    if (problem.empty() && offer.listJson.size() > kMaxListBytes) {
        why = DropReason::TooLarge;
        problem = "the list is larger than " + std::to_string(kMaxListBytes) + " bytes";
    }
    if (problem.empty()) {
        const Json list = Json::parse(offer.listJson, nullptr, false);
        if (list.is_discarded() || !list.is_object()) {
            why = DropReason::NotJson;
            problem = "the list is not a JSON object";
        }
    }
    if (!problem.empty() && reason != nullptr) {
        *reason = why;
    }
    return problem;
}

std::string checkRestart(const ServerRestart& restart, DropReason* reason) {
    DropReason why = DropReason::BadText;
    std::string problem = fields::textProblem("server", restart.server, kMaxServerBytes, true);
    if (problem.empty()) {
        problem = checkEnvelope(restart.nickname, restart.senderId, restart.sentUtcMillis,
                                restart.eventId, why);
    }
    if (problem.empty() && (restart.restartUtcSeconds < kEarliestUtcSeconds ||
                            restart.restartUtcSeconds > kLatestUtcSeconds)) {
        why = DropReason::OutOfRange;
        problem = "restart is out of range";
    }
    if (!problem.empty() && reason != nullptr) {
        *reason = why;
    }
    return problem;
}

std::string encodeKill(const KillEvent& event) {
    Json object =
        envelopeJson("kill", event.nickname, event.senderId, event.sentUtcMillis, event.eventId);
    object["boss"] = event.boss;
    object["server"] = event.server;
    object["line"] = event.line;
    object["period"] = event.periodMinutes;
    object["delay"] = event.delayMinutes;
    object["kill"] = event.killUtcSeconds;
    if (event.relayed) {
        object["relay"] = true;
    }
    return fields::dump(object);
}

std::string encodeRetraction(const Retraction& retraction) {
    Json object = envelopeJson("retract", retraction.nickname, retraction.senderId,
                               retraction.sentUtcMillis, retraction.eventId);
    object["target"] = retraction.targetEventId;
    object["of"] = retraction.targetMember;
    object["boss"] = retraction.key.boss;
    object["server"] = retraction.key.server;
    object["line"] = retraction.key.line;
    object["kill"] = retraction.killUtcSeconds;
    return fields::dump(object);
}

std::string encodeListOffer(const BossListOffer& offer) {
    Json object =
        envelopeJson("list", offer.nickname, offer.senderId, offer.sentUtcMillis, offer.eventId);
    object["name"] = offer.name;
    object["list"] = Json::parse(offer.listJson, nullptr, false);
    return fields::dump(object);
}

std::string encodeRestart(const ServerRestart& restart) {
    Json object = envelopeJson("restart", restart.nickname, restart.senderId, restart.sentUtcMillis,
                               restart.eventId);
    object["server"] = restart.server;
    object["restart"] = restart.restartUtcSeconds;
    return fields::dump(object);
}

MessageDecode decodeRoomMessage(std::string_view payload) noexcept {
    MessageDecode result;
    try {
        Json object;
        // Lists may be larger than anything else; the others are checked once the type is known.
        std::optional<Failure> failure =
            fields::parseObject(payload, kMaxListBytes + kMaxPayloadBytes, object);
        if (!failure) {
            failure = fields::readVersion(object, kMessageVersion);
        }
        std::string type;
        if (!failure) {
            failure = fields::readText(object, "type", type);
        }
        RoomMessage message;
        if (!failure) {
            if (type == "kill" || type == "retract" || type == "restart") {
                if (payload.size() > kMaxPayloadBytes) {
                    failure =
                        Failure{DropReason::TooLarge, std::to_string(payload.size()) + " bytes"};
                } else if (type == "kill") {
                    message.type = MessageType::Kill;
                    failure = readKill(object, message.kill);
                } else if (type == "restart") {
                    message.type = MessageType::Restart;
                    failure = readRestart(object, message.restart);
                } else {
                    message.type = MessageType::Retraction;
                    failure = readRetraction(object, message.retraction);
                }
            } else if (type == "list") {
                message.type = MessageType::List;
                failure = readList(object, message.list);
            } else {
                failure = Failure{DropReason::UnknownType, "type " + type.substr(0, 32)};
            }
        }
        if (failure) {
            result.reason = failure->reason;
            result.detail = std::move(failure->detail);
            return result;
        }
        result.message = std::move(message);
    } catch (const std::exception& error) {
        // Only memory exhaustion can get here; the message is dropped like any bad one.
        result.message.reset();
        result.reason = DropReason::NotJson;
        result.detail = error.what();
    }
    return result;
}

} // namespace zorvane::share
