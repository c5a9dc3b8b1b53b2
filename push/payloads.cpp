#include "push/payloads.h"

#include "push/pushurl.h"
#include "schedule/instant.h"
#include "text/textops.h"

#include "push/jsontext.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#ifndef ZORVANE_VERSION
#define ZORVANE_VERSION "0"
#endif

namespace zorvane::push {
namespace {

using Json = nlohmann::json;

constexpr int kBodyVersion = 1;
constexpr std::size_t kDiscordEmbeds = 10;      // Discord's own limit per message
constexpr std::size_t kDiscordTitleChars = 256; // Discord's limit for an embed title

// At most `limit` code points of a UTF-8 text, never cutting one in half.
std::string firstCodePoints(std::string_view text, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xc0) != 0x80 && count++ == limit) {
            return std::string(text.substr(0, i));
        }
    }
    return std::string(text);
}

// A boss name such as "*炎*" must not turn the title bold or strike it through.
std::string discordEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (std::string_view("\\*_~`|>[]()#").find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string commonHeaders(const UrlParts& parts) {
    std::string headers = "Content-Type: application/json\r\nUser-Agent: Zorvane/" ZORVANE_VERSION;
    if (const std::string authorization = basicAuthorization(parts); !authorization.empty()) {
        headers += "\r\n" + authorization;
    }
    return headers;
}

std::string discordBody(std::span<const AlertEvent> events, std::int64_t nowUtc,
                        const Wording& wording) {
    Json embeds = Json::array();
    for (const AlertEvent& event : events.first(std::min(events.size(), kDiscordEmbeds))) {
        const std::string due = std::to_string(event.dueUtc);
        // Discord shows <t:…:t> as the clock time in each reader's own zone and <t:…:R> as a
        // live "in 5 minutes".
        embeds.push_back({
            {"title", firstCodePoints(discordEscaped(wording(eventTitle(event, nowUtc))),
                                      kDiscordTitleChars)},
            {"description", wording(text::Message(text::MessageId::PushDueAt,
                                                  {text::Message::literal("<t:" + due + ":t>")})) +
                                " · <t:" + due + ":R>"},
            {"color", discordColour(event.kind)},
            {"timestamp", schedule::utcText(event.dueUtc)},
        });
    }
    return jsonText({{"username", "Zorvane"},
                     {"allowed_mentions", {{"parse", Json::array()}}},
                     {"embeds", std::move(embeds)}});
}

std::string_view ntfyTag(AlertKind kind) {
    switch (kind) {
    case AlertKind::LeadTime:
        return "hourglass_flowing_sand";
    case AlertKind::WindowOpen:
        return "door";
    case AlertKind::Spawn:
        return "crossed_swords";
    case AlertKind::Unrecorded:
        return "question";
    }
    return "bell";
}

std::string ntfyBody(const AlertEvent& event, std::string_view topic, std::int64_t nowUtc,
                     const Wording& wording) {
    return jsonText({{"topic", topic},
                     {"title", wording(eventTitle(event, nowUtc))},
                     {"message", wording(dueAtText(event))},
                     {"priority", ntfyPriority(event.kind)},
                     {"tags", {ntfyTag(event.kind)}}});
}

std::string jsonBody(const AlertEvent& event, std::int64_t nowUtc, const Wording& wording) {
    return jsonText({{"v", kBodyVersion},
                     {"source", "zorvane"},
                     {"id", eventId(event)},
                     {"kind", kindName(event.kind)},
                     {"minutes", event.minutes},
                     {"boss", text::trim(event.boss)},
                     {"line", text::trim(event.line)},
                     {"server", text::trim(event.server)},
                     {"due", schedule::utcText(event.dueUtc)},
                     {"dueUtc", event.dueUtc},
                     {"secondsLeft", event.dueUtc - nowUtc},
                     {"title", wording(eventTitle(event, nowUtc))},
                     {"text", wording(dueAtText(event))}});
}

} // namespace

std::size_t maxBatch(TargetKind kind) {
    return kind == TargetKind::Discord ? kDiscordEmbeds : 1;
}

int ntfyPriority(AlertKind kind) {
    switch (kind) {
    case AlertKind::LeadTime:
    case AlertKind::WindowOpen:
        return 4;
    case AlertKind::Spawn:
        return 5;
    case AlertKind::Unrecorded:
        return 3;
    }
    return 3;
}

std::uint32_t discordColour(AlertKind kind) {
    switch (kind) {
    case AlertKind::LeadTime:
        return 0xe67e22; // orange
    case AlertKind::WindowOpen:
        return 0x3498db; // blue
    case AlertKind::Spawn:
        return 0xe74c3c; // red
    case AlertKind::Unrecorded:
        return 0x95a5a6; // grey
    }
    return 0;
}

std::optional<PushRequest> buildRequest(const PushTarget& target,
                                        std::span<const AlertEvent> events, std::int64_t nowUtc,
                                        const Wording& wording) {
    const std::string url = text::trim(target.url);
    const std::optional<UrlParts> parts = splitUrl(url);
    if (events.empty() || !parts || !checkTargetUrl(target.kind, url).empty()) {
        return std::nullopt;
    }
    PushRequest request;
    request.headers = commonHeaders(*parts);
    switch (target.kind) {
    case TargetKind::Discord:
        request.url = requestUrl(*parts);
        request.body = discordBody(events, nowUtc, wording);
        break;
    case TargetKind::Ntfy: {
        // The JSON form goes to the server's root and names the topic inside.
        UrlParts root = *parts;
        std::string topic = parts->path.substr(1);
        if (topic.ends_with('/')) {
            topic.pop_back();
        }
        root.path = "/";
        request.url = requestUrl(root);
        request.body = ntfyBody(events.front(), topic, nowUtc, wording);
        break;
    }
    case TargetKind::Json:
        request.url = requestUrl(*parts);
        request.body = jsonBody(events.front(), nowUtc, wording);
        break;
    }
    return request;
}

} // namespace zorvane::push
