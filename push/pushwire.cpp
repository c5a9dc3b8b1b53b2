#include "push/pushwire.h"

#include "push/jsontext.h"

#include <nlohmann/json.hpp>

namespace zorvane::push {
namespace {

using Json = nlohmann::json;

Json parseObject(std::string_view line) {
    if (line.size() > kMaxWireLine) {
        return Json();
    }
    Json json = Json::parse(line, nullptr, false);
    return json.is_object() ? json : Json();
}

template <typename T> bool take(const Json& object, const char* key, T& out) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return false;
    }
    if constexpr (std::is_same_v<T, std::string>) {
        if (!it->is_string()) {
            return false;
        }
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!it->is_boolean()) {
            return false;
        }
    } else {
        if (!it->is_number_integer()) {
            return false;
        }
    }
    out = it->get<T>();
    return true;
}

constexpr const char* kRelayKinds[] = {"join", "presence", "claim", "lost"};

std::optional<RelayLine> readRelay(const Json& json) {
    const auto relay = json.find("relay");
    if (relay == json.end() || !relay->is_object()) {
        return std::nullopt;
    }
    RelayLine out;
    std::string kind;
    if (!take(*relay, "kind", kind) || !take(*relay, "room", out.room) ||
        !take(*relay, "id", out.relayId) || !take(*relay, "payload", out.payload)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < std::size(kRelayKinds); ++i) {
        if (kind == kRelayKinds[i]) {
            out.kind = static_cast<RelayLine::Kind>(i);
            return out;
        }
    }
    return std::nullopt;
}

} // namespace

std::string relayLine(const RelayLine& relay) {
    const Json json = {{"kind", kRelayKinds[static_cast<std::size_t>(relay.kind)]},
                       {"room", relay.room},
                       {"id", relay.relayId},
                       {"payload", relay.payload}};
    return jsonText(Json{{"relay", json}}) + "\n";
}

std::string alertLine(const AlertEvent& event) {
    const Json alert = {{"kind", kindName(event.kind)}, {"minutes", event.minutes},
                        {"boss", event.boss},           {"line", event.line},
                        {"server", event.server},       {"due", event.dueUtc}};
    return jsonText(Json{{"alert", alert}}) + "\n";
}

std::string reloadLine() {
    return jsonText(Json{{"reload", true}}) + "\n";
}

std::optional<HelperCommand> readCommand(std::string_view line) {
    const Json json = parseObject(line);
    if (json.is_null()) {
        return std::nullopt;
    }
    HelperCommand command;
    if (json.contains("reload")) {
        command.kind = HelperCommand::Kind::Reload;
        return command;
    }
    if (json.contains("relay")) {
        const std::optional<RelayLine> relay = readRelay(json);
        if (!relay) {
            return std::nullopt;
        }
        command.kind = HelperCommand::Kind::Relay;
        command.relay = *relay;
        return command;
    }
    const auto alert = json.find("alert");
    if (alert == json.end() || !alert->is_object()) {
        return std::nullopt;
    }
    std::string kind;
    AlertEvent& event = command.event;
    if (!take(*alert, "kind", kind) || !take(*alert, "minutes", event.minutes) ||
        !take(*alert, "boss", event.boss) || !take(*alert, "line", event.line) ||
        !take(*alert, "server", event.server) || !take(*alert, "due", event.dueUtc)) {
        return std::nullopt;
    }
    const std::optional<AlertKind> alertKind = kindFromName(kind);
    if (!alertKind) {
        return std::nullopt;
    }
    event.kind = *alertKind;
    return command;
}

std::string statusLine(const TargetStatus& status) {
    const Json json = {
        {"target", status.targetId},
        {"name", status.name},
        {"url", status.shownUrl},
        {"delivered", status.delivered},
        {"waiting", status.waiting},
        {"failed", status.failed},
        {"dropped", status.dropped},
        {"relayed", status.relayed},
        {"ok", status.ok},
        // No failure yet: "" (messageLine has no form for the empty message).
        {"error", status.lastError.empty() ? std::string() : text::messageLine(status.lastError)},
        {"errorUtc", status.lastErrorUtc},
        {"deliveredUtc", status.lastDeliveredUtc}};
    return jsonText(Json{{"status", json}}) + "\n";
}

std::string problemLine(const text::Message& problem) {
    return jsonText(Json{{"problem", text::messageLine(problem)}}) + "\n";
}

std::optional<HelperReport> readReport(std::string_view line) {
    const Json json = parseObject(line);
    if (json.is_null()) {
        return std::nullopt;
    }
    HelperReport report;
    if (json.contains("relay")) {
        const std::optional<RelayLine> relay = readRelay(json);
        if (!relay) {
            return std::nullopt;
        }
        report.kind = HelperReport::Kind::Relay;
        report.relay = *relay;
        return report;
    }
    std::string problem;
    if (take(json, "problem", problem)) {
        const std::optional<text::Message> message = text::readMessage(problem);
        if (!message) {
            return std::nullopt;
        }
        report.kind = HelperReport::Kind::Problem;
        report.problem = *message;
        return report;
    }
    const auto status = json.find("status");
    if (status == json.end() || !status->is_object()) {
        return std::nullopt;
    }
    TargetStatus& out = report.status;
    std::string error;
    if (!take(*status, "target", out.targetId) || !take(*status, "name", out.name) ||
        !take(*status, "url", out.shownUrl) || !take(*status, "delivered", out.delivered) ||
        !take(*status, "waiting", out.waiting) || !take(*status, "failed", out.failed) ||
        !take(*status, "dropped", out.dropped) || !take(*status, "relayed", out.relayed) ||
        !take(*status, "ok", out.ok) || !take(*status, "error", error) ||
        !take(*status, "errorUtc", out.lastErrorUtc) ||
        !take(*status, "deliveredUtc", out.lastDeliveredUtc)) {
        return std::nullopt;
    }
    if (!error.empty()) {
        const std::optional<text::Message> lastError = text::readMessage(error);
        if (!lastError) {
            return std::nullopt;
        }
        out.lastError = *lastError;
    }
    return report;
}

} // namespace zorvane::push
