#include "push/pushurl.h"

#include "push/digest.h"
#include "text/textops.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <memory>

namespace zorvane::push {
namespace {

constexpr std::string_view kHidden = "…";
constexpr std::size_t kMinSecretBytes = 3;
// Path words of generic webhook addresses that are nobody's secret and that messages use.
constexpr std::array<std::string_view, 14> kCommonSegments = {
    "api", "hook",   "hooks", "webhook", "webhooks", "services", "v1",
    "v2",  "notify", "push",  "send",    "message",  "messages", "alert"};

struct UrlCleanup {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

// A part of the parsed address, raw or percent-decoded; "" when it has none.
std::string part(CURLU* handle, CURLUPart which, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, flags) != CURLUE_OK || value == nullptr) {
        return {};
    }
    std::string out(value);
    curl_free(value);
    return out;
}

std::string percentDecoded(std::string_view text) {
    int length = 0;
    char* decoded =
        curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
    if (decoded == nullptr) {
        return std::string(text);
    }
    std::string out(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    return out;
}

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Letters, digits, '-' and '_': what webhook tokens and ntfy topics are made of.
bool isTokenText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

// The path's segments, an empty last one (a trailing '/') dropped.
std::vector<std::string> segments(std::string_view path) {
    std::vector<std::string> out = text::split(path.substr(path.starts_with('/') ? 1 : 0), "/");
    if (!out.empty() && out.back().empty()) {
        out.pop_back();
    }
    return out;
}

bool isDiscordWebhookPath(std::string_view path) {
    std::vector<std::string> parts = segments(path);
    // /api/webhooks/<id>/<token>, also with an API version: /api/v10/webhooks/...
    if (parts.size() == 5 && parts[1].size() >= 2 && parts[1][0] == 'v' &&
        isDigits(std::string_view(parts[1]).substr(1))) {
        parts.erase(parts.begin() + 1);
    }
    return parts.size() == 4 && parts[0] == "api" && parts[1] == "webhooks" && isDigits(parts[2]) &&
           isTokenText(parts[3]);
}

bool isNtfyTopicPath(std::string_view path) {
    constexpr std::size_t kMaxTopicBytes = 64;
    const std::vector<std::string> parts = segments(path);
    return parts.size() == 1 && parts[0].size() <= kMaxTopicBytes && isTokenText(parts[0]);
}

} // namespace

std::optional<UrlParts> splitUrl(std::string_view url) {
    const std::unique_ptr<CURLU, UrlCleanup> handle(curl_url());
    if (!handle || url.find('\0') != std::string_view::npos ||
        curl_url_set(handle.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    UrlParts parts;
    parts.scheme = text::toLowerAscii(part(handle.get(), CURLUPART_SCHEME));
    parts.host = part(handle.get(), CURLUPART_HOST);
    if ((parts.scheme != "http" && parts.scheme != "https") || parts.host.empty()) {
        return std::nullopt;
    }
    parts.user = part(handle.get(), CURLUPART_USER);
    parts.password = part(handle.get(), CURLUPART_PASSWORD);
    parts.port = part(handle.get(), CURLUPART_PORT);
    parts.path = part(handle.get(), CURLUPART_PATH);
    if (parts.path.empty()) {
        parts.path = "/";
    }
    parts.query = part(handle.get(), CURLUPART_QUERY);
    parts.fragment = part(handle.get(), CURLUPART_FRAGMENT);
    return parts;
}

std::string requestUrl(const UrlParts& parts) {
    std::string url = parts.scheme + "://" + parts.host;
    if (!parts.port.empty()) {
        url += ':' + parts.port;
    }
    url += parts.path;
    if (!parts.query.empty()) {
        url += '?' + parts.query;
    }
    return url;
}

std::string basicAuthorization(const UrlParts& parts) {
    if (parts.user.empty() && parts.password.empty()) {
        return {};
    }
    return "Authorization: Basic " +
           base64(percentDecoded(parts.user) + ':' + percentDecoded(parts.password));
}

std::string normaliseTargetUrl(std::string_view typed) {
    std::string url = text::trim(typed);
    if (!url.empty() && url.find("://") == std::string::npos) {
        url.insert(0, "https://");
    }
    return url;
}

text::Message checkTargetUrl(TargetKind kind, std::string_view url) {
    const std::optional<UrlParts> parts = splitUrl(text::trim(url));
    if (!parts) {
        return text::Message(text::MessageId::PushNotHttp);
    }
    switch (kind) {
    case TargetKind::Discord:
        if (!isDiscordWebhookPath(parts->path)) {
            return text::Message(text::MessageId::PushDiscordAddress);
        }
        break;
    case TargetKind::Ntfy:
        if (!isNtfyTopicPath(parts->path) || !parts->query.empty()) {
            return text::Message(text::MessageId::PushNtfyAddress);
        }
        break;
    case TargetKind::Json:
        break;
    }
    return {};
}

std::string redactedUrl(std::string_view url) {
    const std::optional<UrlParts> parts = splitUrl(text::trim(url));
    if (!parts) {
        return std::string(kHidden);
    }
    std::string shown = parts->scheme + "://" + parts->host;
    if (!parts->port.empty()) {
        shown += ':' + parts->port;
    }
    const bool hasMore = parts->path != "/" || !parts->query.empty() || !parts->fragment.empty() ||
                         !parts->user.empty() || !parts->password.empty();
    shown += hasMore ? "/" + std::string(kHidden) : "/";
    return shown;
}

void Redactor::addSecret(std::string_view secret) {
    for (const std::string& form : {std::string(secret), percentDecoded(secret)}) {
        if (form.size() < kMinSecretBytes ||
            std::find(m_secrets.begin(), m_secrets.end(), form) != m_secrets.end()) {
            continue;
        }
        m_secrets.push_back(form);
    }
    std::stable_sort(
        m_secrets.begin(), m_secrets.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

void Redactor::addUrl(std::string_view url, TargetKind kind) {
    addSecret(url);
    addSecret(text::trim(url));
    const std::optional<UrlParts> parts = splitUrl(text::trim(url));
    if (!parts) {
        // Not an address: every piece between slashes might be the secret.
        for (const std::string& piece : text::split(url, "/")) {
            addSecret(piece);
        }
        return;
    }
    addSecret(parts->user + ':' + parts->password);
    addSecret(parts->user);
    addSecret(parts->password);
    if (parts->path != "/") {
        addSecret(parts->path);
    }
    const std::vector<std::string> pieces = segments(parts->path);
    // A Discord address keeps its secret after "webhooks": /api/webhooks/<id>/<token>.
    const auto webhooks = std::find(pieces.begin(), pieces.end(), "webhooks");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string& segment = pieces[i];
        bool secret = true;
        if (kind == TargetKind::Discord) {
            secret = webhooks == pieces.end() || pieces.begin() + static_cast<long>(i) > webhooks;
        } else if (kind == TargetKind::Json) {
            secret = std::find(kCommonSegments.begin(), kCommonSegments.end(),
                               text::toLowerAscii(segment)) == kCommonSegments.end();
        }
        if (secret) {
            addSecret(segment);
        }
    }
    addSecret(parts->query);
    for (const std::string& item : text::split(parts->query, "&")) {
        addSecret(item);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos) {
            addSecret(std::string_view(item).substr(equals + 1));
        }
    }
    addSecret(parts->fragment);
}

std::string Redactor::apply(std::string_view input) const {
    std::string out(input);
    for (const std::string& secret : m_secrets) {
        out = text::replaceAll(out, secret, kHidden);
    }
    return out;
}

text::Message Redactor::apply(const text::Message& message) const {
    if (message.id == text::MessageId::Literal) {
        return text::Message::literal(apply(message.literalText()));
    }
    text::Message out(message.id);
    out.args.reserve(message.args.size());
    for (const text::Message& arg : message.args) {
        out.args.push_back(apply(arg));
    }
    return out;
}

} // namespace zorvane::push
