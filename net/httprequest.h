#pragma once
// One blocking HTTP or HTTPS request on libcurl.

#include "text/message.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::net {

// Verb codes; any other value means GET.
enum HttpVerb : int {
    kGet = 0,
    kPost = 1,
    kHead = 2,
    kPut = 3,
    kOptions = 4,
    kDelete = 5,
    kTrace = 6,
    kConnect = 7,
};

// The agent sent when the caller's headers name none.
inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Everything a request may take besides its address, and what it hands back.
// Members marked in/out or out are written by httpRequest.
struct HttpOptions {
    // Verb code (HttpVerb).
    int method = kGet;
    // Body as text; used only when postBytes is empty.
    std::string postText;
    // in/out. Cookie items "n=v; n=v" to send. When set (even to ""), the process-wide
    // cookie store is left out of the request and, with mergeCookies, this receives
    // the merged cookie text.
    std::optional<std::string> cookies;
    // out. The cookies the final response sets, "n=v; n=v".
    std::string returnedCookies;
    // Extra request header lines separated by CR LF.
    std::string headers;
    // out. The header block of the final response: status line first, CR LF between
    // lines, no trailing line break; empty when no response arrived.
    std::string returnedHeaders;
    bool noRedirect = false;
    // in/out. Body as bytes; takes precedence over postText, and receives postText's
    // bytes when it was empty and the verb carries a body.
    std::string postBytes;
    // "host:port" of an HTTP proxy used for plain and secure requests; empty: direct.
    std::string proxy;
    bool mergeCookies = true;
    bool addDefaultHeaders = true;
    bool normalizeHeaders = true;

    // Certificates are always verified; this names a PEM file of trusted authorities
    // to use instead of the system's (empty: the system's).
    std::string caFile;
    long connectTimeoutSeconds = 60;
    // A transfer that receives nothing for this long fails.
    long stallTimeoutSeconds = 30;
    // The whole request (connection, sending, answer) must end within this; 0: no limit.
    long timeoutMilliseconds = 0;
    // A larger body fails the request; 0 means no limit.
    std::size_t maxBodyBytes = 0;
    // When it becomes true the request ends (within about a second) as failed.
    const std::atomic<bool>* cancel = nullptr;

    // out. Why the request failed ("" when a response arrived, error statuses included).
    text::Message error;
    // out. The request failed because one of the time limits above ran out.
    bool timedOut = false;
};

// Sends the request and returns the response body (error pages included). A request
// that cannot be made, or fails, times out, is cancelled or exceeds maxBodyBytes,
// gives an empty body, with the reason in options.error. Redirects to http and https are followed
// unless noRedirect. Safe to call from several threads at once.
std::string httpRequest(std::string_view url, HttpOptions& options);

// The address alone: a GET with the default agent and headers.
std::string httpRequest(std::string_view url);

} // namespace zorvane::net
