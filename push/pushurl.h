#pragma once
// Target addresses: read with libcurl's URL parser, checked for their kind, shown without
// their secret, and every text that could carry one of their secrets cleaned of it.

#include "push/target.h"
#include "text/message.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::push {

struct UrlParts {
    std::string scheme; // "http" or "https"
    std::string user;
    std::string password;
    std::string host;
    std::string port; // empty: the scheme's own
    std::string path; // "/" at least
    std::string query;
    std::string fragment;
};

// The parts of an absolute http or https address with a host; nullopt otherwise.
std::optional<UrlParts> splitUrl(std::string_view url);

// The address a request goes to: scheme, host, port, path and query; the user and the
// password travel in a header instead (basicAuthorization), the fragment never.
std::string requestUrl(const UrlParts& parts);

// "Authorization: Basic …" for the address's user and password; "" when it has none.
std::string basicAuthorization(const UrlParts& parts);

// The address as the player typed it, trimmed, with "https://" put in front when it names
// no scheme ("ntfy.sh/mytopic", as ntfy's own examples write it).
std::string normaliseTargetUrl(std::string_view typed);

// Why the address cannot serve a target of this kind, in words; empty when it can.
// Discord: …/api/webhooks/<digits>/<token>; ntfy: one topic of letters, digits, - and _.
text::Message checkTargetUrl(TargetKind kind, std::string_view url);

// The address as it may be shown, logged or stored anywhere but push.json: scheme, host and
// port, with everything after the host (where webhook tokens, topics and keys live) as "/…";
// "…" for a text that is no address.
std::string redactedUrl(std::string_view url);

// Takes the secrets of the target addresses out of any text: the whole address, its user and
// password, its query and its values, and the path segments that hold the secret (a
// Discord webhook's id and token, an ntfy topic, and for other addresses every segment but
// common words such as "hook"), each also percent-decoded, are replaced by "…". Pieces of
// fewer than three bytes are left: hiding them would blank out every message, and a secret
// that short is none.
class Redactor {
public:
    void addUrl(std::string_view url, TargetKind kind = TargetKind::Json);
    std::string apply(std::string_view text) const;
    text::Message apply(const text::Message& message) const;
    bool empty() const { return m_secrets.empty(); }

private:
    void addSecret(std::string_view secret);

    std::vector<std::string> m_secrets; // longest first, so no shorter one splits a longer
};

} // namespace zorvane::push
