#include "share/roomlink.h"

#include <arpa/inet.h>

#include <cctype>

namespace zorvane::share {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// A host name as DNS allows it (letters, digits, '-' and '.'), or an IPv4 address.
bool isHostName(std::string_view host) {
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-') {
        return false;
    }
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '-' && c != '.') {
            return false;
        }
    }
    return host.find("..") == std::string_view::npos;
}

bool isIpv6(const std::string& host) {
    // inet_pton reads up to the first NUL; bytes after one would ride along unchecked.
    in6_addr address{};
    return host.find('\0') == std::string::npos &&
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

// User names are passed to the broker as they are; characters that would make the link
// ambiguous or hide a password are refused.
bool isUserName(std::string_view user) {
    for (const char c : user) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ' ' || c == ':' || c == '/' || c == '@' || c == '?' ||
            c == '#') {
            return false;
        }
    }
    return !user.empty();
}

// The room becomes one topic level after encoding; still, a room name that looks like a
// path, a query or a fragment is almost certainly a mistyped link.
text::Message roomProblem(std::string_view room) {
    if (room.empty()) {
        return text::Message(text::MessageId::LinkNoRoom);
    }
    if (room.size() > kMaxRoomBytes) {
        return text::Message(text::MessageId::RoomNameTooLong,
                             {text::Message::literal(std::to_string(kMaxRoomBytes))});
    }
    for (const char c : room) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ' ') {
            return text::Message(text::MessageId::RoomNameSpace);
        }
        if (c == '/' || c == '?' || c == '#' || c == '+' || c == '%') {
            return text::Message(text::MessageId::RoomNameChar,
                                 {text::Message::literal(std::string(1, c))});
        }
    }
    return {};
}

} // namespace

bool parseRoomLink(std::string_view text, RoomLink& link, text::Message& reason) {
    RoomLink parsed;
    std::string_view rest;
    if (startsWithNoCase(text, "mqtts://")) {
        parsed.secure = true;
        parsed.port = kTlsPort;
        rest = text.substr(8);
    } else if (startsWithNoCase(text, "mqtt://")) {
        rest = text.substr(7);
    } else {
        reason = text::Message(text::MessageId::LinkScheme);
        return false;
    }

    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        reason = text::Message(text::MessageId::LinkNoRoom);
        return false;
    }
    std::string_view authority = rest.substr(0, slash);
    const std::string_view room = rest.substr(slash + 1);

    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            reason = text::Message(text::MessageId::LinkPassword);
            return false;
        }
        if (!isUserName(user)) {
            reason = text::Message(text::MessageId::LinkBadUser);
            return false;
        }
        parsed.user = std::string(user);
        authority = authority.substr(at + 1);
    }

    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            reason = text::Message(text::MessageId::LinkIpv6Unclosed);
            return false;
        }
        parsed.host = std::string(authority.substr(1, close - 1));
        if (!isIpv6(parsed.host)) {
            reason =
                text::Message(text::MessageId::LinkNotIpv6, {text::Message::literal(parsed.host)});
            return false;
        }
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                reason = text::Message(text::MessageId::LinkAfterIpv6);
                return false;
            }
            portText = after.substr(1);
            if (portText.empty()) {
                reason = text::Message(text::MessageId::LinkEmptyPort);
                return false;
            }
        }
    } else {
        const std::size_t colon = authority.find(':');
        std::string_view host = authority;
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            portText = authority.substr(colon + 1);
            if (portText.empty()) {
                reason = text::Message(text::MessageId::LinkEmptyPort);
                return false;
            }
        }
        if (host.empty()) {
            reason = text::Message(text::MessageId::LinkNoHost);
            return false;
        }
        if (!isHostName(host)) {
            reason = text::Message(text::MessageId::LinkBadHost,
                                   {text::Message::literal(std::string(host))});
            return false;
        }
        parsed.host = std::string(host);
    }

    if (!portText.empty()) {
        long port = 0;
        for (const char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || portText.size() > 5) {
                reason = text::Message(text::MessageId::LinkBadPort);
                return false;
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            reason = text::Message(text::MessageId::LinkBadPort);
            return false;
        }
        parsed.port = static_cast<int>(port);
    }

    reason = roomProblem(room);
    if (!reason.empty()) {
        return false;
    }
    parsed.room = std::string(room);
    link = std::move(parsed);
    return true;
}

std::string formatRoomLink(const RoomLink& link) {
    std::string text = link.secure ? "mqtts://" : "mqtt://";
    if (!link.user.empty()) {
        text += link.user + "@";
    }
    if (link.host.find(':') != std::string::npos) {
        text += "[" + link.host + "]";
    } else {
        text += link.host;
    }
    if (link.port != (link.secure ? kTlsPort : kPlainPort)) {
        text += ":" + std::to_string(link.port);
    }
    return text + "/" + link.room;
}

} // namespace zorvane::share
