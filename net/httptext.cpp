#include "net/httptext.h"

#include "text/codec.h"
#include "text/textops.h"

namespace zorvane::net {
namespace {

bool isLowerAscii(char c) {
    return c >= 'a' && c <= 'z';
}

char upperAscii(char c) {
    return isLowerAscii(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string textBetween(std::string_view source, std::string_view left, std::string_view right) {
    const std::string leftMarker = text::replaceAll(left, "#引号", "\"");
    const std::string rightMarker = text::replaceAll(right, "#引号", "\"");
    const long found = text::find(source, leftMarker);
    if (found < 0) {
        return {};
    }
    const long start = found + static_cast<long>(leftMarker.size());
    const long end = text::find(source, rightMarker, start);
    if (end < 0) {
        return {};
    }
    return std::string(
        source.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::string textAfterColon(std::string_view text) {
    const long colon = text::find(text, ":");
    if (colon < 0) {
        return {};
    }
    return text::trim(text.substr(static_cast<std::size_t>(colon) + 1));
}

std::string textBefore(std::string_view text, std::string_view separator) {
    const long found = text::find(text, separator);
    if (found < 0) {
        return {};
    }
    return std::string(text.substr(0, static_cast<std::size_t>(found)));
}

std::string normalizeHeaderNames(std::string_view headers) {
    std::string result;
    for (const std::string& line : text::split(headers, "\r\n")) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = capitalizeFirst(std::string_view(line).substr(0, colon));
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (name[i - 1] == '-') {
                name[i] = upperAscii(name[i]);
            }
        }
        result += name;
        result.append(line, colon);
        result += "\r\n";
    }
    if (!result.empty()) {
        result.resize(result.size() - 2);
    }
    return result;
}

std::string capitalizeFirst(std::string_view text) {
    std::string result(text);
    if (!result.empty()) {
        result[0] = upperAscii(result[0]);
    }
    return result;
}

std::string urlHost(std::string_view address, bool keepPort) {
    std::string lowered = text::toLowerAscii(address);
    if (!lowered.ends_with('/')) {
        lowered += '/';
    }
    std::string host;
    if (lowered.starts_with("https://")) {
        host = textBetween(lowered, "https://", "/");
    } else {
        // Only a leading scheme counts: an address such as "a.com/?u=http://b/" has none.
        if (!lowered.starts_with("http://")) {
            lowered.insert(0, "http://");
        }
        host = textBetween(lowered, "http://", "/");
    }
    if (!keepPort) {
        const std::size_t colon = host.find(':');
        if (colon != std::string::npos) {
            host.resize(colon);
        }
    }
    return host;
}

int urlPort(std::string_view address) {
    const std::string host = urlHost(address, true);
    const long colon = text::findLast(host, ":");
    if (colon >= 0) {
        int port = 0;
        for (std::size_t i = static_cast<std::size_t>(colon) + 1;
             i < host.size() && host[i] >= '0' && host[i] <= '9'; ++i) {
            port = port * 10 + (host[i] - '0');
            if (port > 65535) {
                // Out of range either way; stop before the value can overflow.
                return 65536;
            }
        }
        return port;
    }
    return text::toLowerAscii(address.substr(0, 5)) == "https" ? 443 : 80;
}

std::string urlPath(std::string_view address) {
    const std::string host = urlHost(address);
    // The host is looked for after the scheme, so that a host such as "t" is not
    // found inside "http://" itself.
    long from = 0;
    const std::string lowered = text::toLowerAscii(address.substr(0, 8));
    if (lowered.starts_with("https://")) {
        from = 8;
    } else if (lowered.starts_with("http://")) {
        from = 7;
    }
    long hostAt = text::find(address, host, from, true);
    if (hostAt < 0) {
        hostAt = from;
    }
    const long slash = text::find(address, "/", hostAt, true);
    if (slash < 0) {
        return "/";
    }
    return std::string(address.substr(static_cast<std::size_t>(slash)));
}

std::string mergeCookieTexts(std::string& oldCookies, std::string& newCookies) {
    for (std::string* cookies : {&oldCookies, &newCookies}) {
        *cookies = text::trim(*cookies);
        if (cookies->ends_with(';')) {
            *cookies += ' ';
        }
    }
    const std::vector<std::string> oldItems = text::split(oldCookies, "; ");
    std::vector<std::string> items = text::split(newCookies, "; ");
    for (const std::string& item : oldItems) {
        if (!hasCookieName(items, cookieName(item))) {
            items.push_back(item);
        }
    }
    oldCookies.clear();
    for (const std::string& item : items) {
        if (!item.ends_with("=deleted")) {
            oldCookies += item;
            oldCookies += "; ";
        }
    }
    if (oldCookies.size() >= 2) {
        oldCookies.resize(oldCookies.size() - 2);
    }
    oldCookies = removeDuplicateItems(oldCookies, "; ");
    return oldCookies;
}

std::string cookieName(std::string_view item) {
    const long equals = text::find(item, "=");
    if (equals < 0) {
        return text::trim(item);
    }
    return text::trim(item.substr(0, static_cast<std::size_t>(equals)));
}

bool hasCookieName(const std::vector<std::string>& items, std::string_view name) {
    for (const std::string& item : items) {
        if (cookieName(item) == name) {
            return true;
        }
    }
    return false;
}

std::string removeDuplicateItems(std::string_view text, std::string_view separator) {
    if (separator.empty()) {
        return std::string(text);
    }
    std::vector<std::string> seen;
    std::string result;
    for (std::string& piece : text::split(text, separator)) {
        if (indexOfItem(seen, piece) < 0) {
            result += piece;
            result += separator;
            seen.push_back(std::move(piece));
        }
    }
    result.resize(result.size() >= separator.size() ? result.size() - separator.size() : 0);
    return result;
}

long indexOfItem(const std::vector<std::string>& items, std::string_view item) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == item) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

std::string utf8ToText(std::string_view body) {
    const std::size_t zero = body.find('\0');
    return text::repairUtf8(body.substr(0, zero));
}

} // namespace zorvane::net
