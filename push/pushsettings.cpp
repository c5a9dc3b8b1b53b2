#include "push/pushsettings.h"

#include "text/fileio.h"

#include "push/jsontext.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <system_error>

namespace zorvane::push {
namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

constexpr int kFileVersion = 1;

Json encodeTarget(const PushTarget& target) {
    Json events = Json::array();
    for (const AlertKind kind : kAlertKinds) {
        if (target.events.contains(kind)) {
            events.push_back(kindName(kind));
        }
    }
    return {{"id", target.id},
            {"name", target.name},
            {"kind", targetKindName(target.kind)},
            {"url", target.url},
            {"scope", scopeName(target.scope)},
            {"events", std::move(events)},
            {"enabled", target.enabled}};
}

std::string textField(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The target, or why it cannot be read. A missing id is made, missing events mean all of
// them, names of events this version does not know are left out.
std::optional<PushTarget> decodeTarget(const Json& object, text::Message& problem) {
    if (!object.is_object()) {
        problem = text::Message(text::MessageId::PushUnknownKind, {text::Message::literal("")});
        return std::nullopt;
    }
    const std::string kindText = textField(object, "kind");
    const std::optional<TargetKind> kind = targetKindFromName(kindText);
    if (!kind) {
        problem =
            text::Message(text::MessageId::PushUnknownKind, {text::Message::literal(kindText)});
        return std::nullopt;
    }
    PushTarget target;
    target.kind = *kind;
    target.id = textField(object, "id");
    if (target.id.empty()) {
        target.id = newTargetId();
    }
    target.name = textField(object, "name");
    target.url = textField(object, "url");
    target.scope = scopeFromName(textField(object, "scope")).value_or(TargetScope::Player);
    if (const auto events = object.find("events"); events != object.end() && events->is_array()) {
        target.events = KindSet();
        for (const Json& name : *events) {
            if (name.is_string()) {
                if (const auto eventKind = kindFromName(name.get<std::string>())) {
                    target.events.insert(*eventKind);
                }
            }
        }
    }
    if (const auto enabled = object.find("enabled");
        enabled != object.end() && enabled->is_boolean()) {
        target.enabled = enabled->get<bool>();
    }
    return target;
}

void makeOwnerOnly(const fs::path& file) {
    std::error_code ec;
    const fs::perms perms = fs::status(file, ec).permissions();
    constexpr fs::perms kOthers = fs::perms::group_all | fs::perms::others_all;
    if (!ec && (perms & kOthers) != fs::perms::none) {
        fs::permissions(file, kOthers, fs::perm_options::remove, ec);
    }
}

} // namespace

std::string encodePushSettings(const PushSettings& settings) {
    Json targets = Json::array();
    for (const PushTarget& target : settings.targets) {
        targets.push_back(encodeTarget(target));
    }
    for (const std::string& kept : settings.keptAside) {
        targets.push_back(Json::parse(kept, nullptr, false));
    }
    return jsonText({{"v", kFileVersion}, {"targets", std::move(targets)}}, 2) + "\n";
}

PushSettingsRead decodePushSettings(std::string_view json, std::string_view fileName) {
    PushSettingsRead read;
    const Json document = Json::parse(json.begin(), json.end(), nullptr, false);
    const auto targets = document.is_object() ? document.find("targets") : document.end();
    if (document.is_discarded() || !document.is_object() ||
        (targets != document.end() && !targets->is_array())) {
        // nlohmann's own text quotes what it read last, which may be an address: only the
        // position is passed on (the first byte when the JSON is fine but not our object).
        std::size_t byte = 1;
        try {
            const Json strict = Json::parse(json.begin(), json.end());
        } catch (const Json::parse_error& error) {
            byte = error.byte;
        }
        read.problems.emplace_back(text::MessageId::PushSettingsNotJson,
                                   std::vector{text::Message::literal(std::string(fileName)),
                                               text::Message::literal(std::to_string(byte))});
        return read;
    }
    if (targets == document.end()) {
        return read;
    }
    int position = 0;
    for (const Json& entry : *targets) {
        ++position;
        text::Message problem;
        if (std::optional<PushTarget> target = decodeTarget(entry, problem)) {
            // Statuses are kept per id: a copied entry must not share its original's.
            const auto& known = read.settings.targets;
            if (std::any_of(known.begin(), known.end(),
                            [&](const PushTarget& other) { return other.id == target->id; })) {
                target->id = newTargetId();
            }
            read.settings.targets.push_back(std::move(*target));
            continue;
        }
        read.settings.keptAside.push_back(jsonText(entry));
        read.problems.emplace_back(text::MessageId::PushSettingsEntry,
                                   std::vector{text::Message::literal(std::string(fileName)),
                                               text::Message::literal(std::to_string(position)),
                                               problem});
    }
    return read;
}

PushSettingsRead readPushSettings(const fs::path& file) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) {
        return {};
    }
    makeOwnerOnly(file);
    const std::optional<std::string> content = text::readWholeFile(file);
    if (!content) {
        PushSettingsRead read;
        read.problems.emplace_back(text::MessageId::PushSettingsUnreadable,
                                   std::vector{text::Message::literal(text::utf8FromPath(file))});
        return read;
    }
    return decodePushSettings(*content, text::utf8FromPath(file));
}

bool writePushSettings(const fs::path& file, const PushSettings& settings, std::string* error) {
    if (const std::optional<std::string> old = text::readWholeFile(file);
        old && !Json::accept(*old)) {
        fs::path aside = file;
        aside += ".broken";
        std::error_code ec;
        fs::rename(file, aside, ec);
        makeOwnerOnly(aside);
    }
    return text::replaceFileAtomically(file, encodePushSettings(settings), error,
                                       text::FileAccess::OwnerOnly);
}

} // namespace zorvane::push
