#pragma once
// Small text operations the HTTP client is built from: cutting texts between
// markers, rewriting header names, taking addresses apart and merging cookie
// texts. Positions and indices are 0-based; -1 means "not found".

#include <string>
#include <string_view>
#include <vector>

namespace zorvane::net {

// The text after the first `left` and before the next `right`; empty when either is
// missing. In both markers "#引号" stands for a double quote (see the glossary in ARCHITECTURE.md).
std::string textBetween(std::string_view source, std::string_view left, std::string_view right);

// The text after the first ":", trimmed; empty when there is no colon.
std::string textAfterColon(std::string_view text);

// The text before the first occurrence of `separator`; empty when it does not occur.
std::string textBefore(std::string_view text, std::string_view separator);

// Header lines (CR LF separated) with the first letter of each name, and every letter
// after a "-" in it, upper-cased; lines without a colon are dropped.
std::string normalizeHeaderNames(std::string_view headers);

// The text with its first byte upper-cased when it is an ASCII letter a..z.
std::string capitalizeFirst(std::string_view text);

// The host of an address, lower-cased; with keepPort its ":port" suffix stays.
// An address without a scheme is read as "http://".
std::string urlHost(std::string_view address, bool keepPort = false);

// The port of an address: the explicit one (0 when it has no digits, 65536 for any
// value beyond 65535), else 443 for "https" addresses and 80 for the rest.
int urlPort(std::string_view address);

// The path with query and fragment, starting with "/"; "/" when the address has none.
std::string urlPath(std::string_view address);

// Merges cookie texts ("n=v; n=v"): the new items first, then the old items whose
// names the new ones do not mention; items ending in "=deleted" are dropped, as are
// exact repeats. Both variables are trimmed in place and `oldCookies` receives the result.
std::string mergeCookieTexts(std::string& oldCookies, std::string& newCookies);

// The trimmed text before the first "=" of a cookie item (the whole item without one).
std::string cookieName(std::string_view item);

// True when some item's cookieName equals `name` byte for byte.
bool hasCookieName(const std::vector<std::string>& items, std::string_view name);

// The text with repeated items (whole, byte for byte) removed, first copies kept in order.
std::string removeDuplicateItems(std::string_view text, std::string_view separator);

// Index of the first element equal to `item` byte for byte; -1 when absent.
long indexOfItem(const std::vector<std::string>& items, std::string_view item);

// A downloaded UTF-8 body as a text: ill-formed sequences become U+FFFD and the text
// ends at the first zero byte.
std::string utf8ToText(std::string_view body);

} // namespace zorvane::net
