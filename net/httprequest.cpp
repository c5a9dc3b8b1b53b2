#include "net/httprequest.h"

#include "net/httptext.h"
#include "text/textops.h"

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace zorvane::net {
namespace {

constexpr std::array<std::string_view, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                    "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr long kMaxRedirects = 20;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The cookie store that every request without caller-supplied cookies shares, so
// that cookies set by one response go with the later requests of the process.
class SharedCookieStore {
public:
    SharedCookieStore() : m_share(curl_share_init()) {
        if (m_share) {
            curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &SharedCookieStore::lock);
            curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &SharedCookieStore::unlock);
            curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
            curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        }
    }
    ~SharedCookieStore() {
        if (m_share) {
            curl_share_cleanup(m_share);
        }
    }
    SharedCookieStore(const SharedCookieStore&) = delete;
    SharedCookieStore& operator=(const SharedCookieStore&) = delete;

    CURLSH* handle() const { return m_share; }

    static SharedCookieStore& instance() {
        static SharedCookieStore store;
        return store;
    }

private:
    std::mutex& mutexFor(curl_lock_data data) {
        const auto index = static_cast<std::size_t>(data);
        return m_mutexes[index < m_mutexes.size() ? index : 0];
    }
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<SharedCookieStore*>(user)->mutexFor(data).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<SharedCookieStore*>(user)->mutexFor(data).unlock();
    }

    CURLSH* m_share;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_mutexes;
};

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

// What one transfer collects while it runs.
struct Transfer {
    std::string body;
    std::vector<std::string> headerLines;
    std::size_t maxBodyBytes = 0;
    const std::atomic<bool>* cancel = nullptr;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->maxBodyBytes != 0 && transfer->body.size() + bytes > transfer->maxBodyBytes) {
        return 0; // fails the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    // Every response (redirects, interim 1xx answers, a proxy's tunnel answer) starts
    // with its status line; only the last one's block is kept.
    if (line.starts_with("HTTP/")) {
        transfer->headerLines.clear();
    }
    if (!line.empty()) {
        transfer->headerLines.emplace_back(line);
    }
    return bytes;
}

bool cancelled(const Transfer& transfer) {
    return transfer.cancel && transfer.cancel->load();
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return cancelled(*static_cast<const Transfer*>(user)) ? 1 : 0;
}

// Runs the transfer, waking at least every tenth of a second so that a cancel
// request ends it promptly even while the server sends nothing.
CURLcode perform(CURL* easy, const Transfer& transfer) {
    constexpr int kWakeMs = 100;
    if (cancelled(transfer)) {
        return CURLE_ABORTED_BY_CALLBACK;
    }
    const MultiHandle multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (running > 0 && !cancelled(transfer)) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK ||
            (running > 0 &&
             curl_multi_poll(multi.get(), nullptr, 0, kWakeMs, nullptr) != CURLM_OK)) {
            result = CURLE_RECV_ERROR;
            running = -1;
        }
    }
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}

// Why a transfer failed, in words: the cap and the cancel are ours, the rest is
// libcurl's own text (with its detail, such as the host or the certificate problem).
text::Message failureReason(CURLcode result, const char* detail, const Transfer& transfer) {
    if (cancelled(transfer) || result == CURLE_ABORTED_BY_CALLBACK) {
        return text::Message(text::MessageId::AnnouncementCancelled);
    }
    if (result == CURLE_FILESIZE_EXCEEDED ||
        (result == CURLE_WRITE_ERROR && transfer.maxBodyBytes != 0)) {
        return text::Message(text::MessageId::HttpTooLarge,
                             {text::Message::literal(std::to_string(transfer.maxBodyBytes))});
    }
    std::string reason = curl_easy_strerror(result);
    if (detail[0] != '\0') {
        reason += ": ";
        reason += detail;
    }
    return text::Message::literal(std::move(reason));
}

// The agent: the caller's User-Agent value, or the default when the headers name none.
std::string userAgent(const std::string& headers) {
    if (text::find(headers, "User-Agent:", 0, true) < 0) {
        return std::string(kDefaultUserAgent);
    }
    std::string agent = text::trim(textBetween(headers + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty()) {
        agent = textAfterColon(headers);
    }
    // The agent is one header value; never let it carry further lines.
    const std::size_t lineBreak = agent.find_first_of("\r\n");
    if (lineBreak != std::string::npos) {
        agent.resize(lineBreak);
    }
    return agent;
}

void addDefaultHeaders(std::string& headers, std::string_view url, int verb) {
    if (headers.empty()) {
        headers = "Accept: */*";
    }
    if (text::find(headers, "Accept:", 0, true) < 0) {
        headers += "\r\nAccept: */*";
    }
    if (text::find(headers, "Referer:", 0, true) < 0) {
        headers += "\r\nReferer: ";
        headers += url;
    }
    if (text::find(headers, "Accept-Language:", 0, true) < 0) {
        headers += "\r\nAccept-Language: zh-cn";
    }
    if (verb == kPost && text::find(headers, "Content-Type:", 0, true) < 0) {
        headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
}

// The lines of a header text. A lone CR or LF also ends a line, so that no value can
// smuggle a line of its own (or a second request) past curl, which sends entries as given.
std::vector<std::string> headerLines(std::string_view headers) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= headers.size(); ++i) {
        if (i == headers.size() || headers[i] == '\r' || headers[i] == '\n') {
            if (i > start) {
                lines.emplace_back(headers.substr(start, i - start));
            }
            start = i + 1;
        }
    }
    return lines;
}

// The header lines for curl. Headers curl would add on its own are switched off
// unless the caller's lines name them, so that the server gets exactly these lines
// (besides Host and the body's length).
HeaderList headerList(const std::string& headers, bool hasBody) {
    curl_slist* list = nullptr;
    bool hasAccept = false;
    bool hasExpect = false;
    bool hasContentType = false;
    for (const std::string& line : headerLines(headers)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            // Not a header line; sent as it is it would only corrupt the request.
            continue;
        }
        const std::string name = text::trim(line.substr(0, colon));
        hasAccept = hasAccept || text::equals(name, "Accept", true);
        hasExpect = hasExpect || text::equals(name, "Expect", true);
        hasContentType = hasContentType || text::equals(name, "Content-Type", true);
        std::string entry = line;
        // curl reads "Name:" as "remove this header"; "Name;" sends it with no value.
        if (text::trim(line.substr(colon + 1)).empty()) {
            entry = line.substr(0, colon) + ";";
        }
        list = curl_slist_append(list, entry.c_str());
    }
    if (!hasAccept) {
        list = curl_slist_append(list, "Accept:");
    }
    if (!hasExpect) {
        list = curl_slist_append(list, "Expect:");
    }
    if (hasBody && !hasContentType) {
        list = curl_slist_append(list, "Content-Type:");
    }
    return HeaderList(list);
}

std::string cookiesOfResponse(const std::string& headerBlock) {
    std::string cookies;
    for (const std::string& line : text::split(headerBlock, "\r\n")) {
        if (textBefore(line, ": ") != "Set-Cookie") {
            continue;
        }
        std::string value;
        if (line.find(';') != std::string::npos) {
            value = text::trim(textBetween(line, "Set-Cookie:", ";"));
        } else {
            value = text::trim(text::replaceAll(line, "Set-Cookie:", "", true));
        }
        cookies += value;
        cookies += "; ";
    }
    if (cookies.size() >= 2) {
        cookies.resize(cookies.size() - 2);
    }
    return cookies;
}

} // namespace

std::string httpRequest(std::string_view url, HttpOptions& options) {
    std::string headers = options.headers;
    if (options.normalizeHeaders) {
        headers = normalizeHeaderNames(headers);
    }
    const int verb = options.method >= kGet && options.method <= kConnect ? options.method : kGet;
    const bool secure = text::toLowerAscii(url.substr(0, 8)) == "https://";
    const std::string agent = userAgent(headers);

    const std::string host = urlHost(url);
    int port = urlPort(url);
    if (port == 0) {
        // An empty or unreadable port means the scheme's own, as "port 0" always has.
        port = secure ? 443 : 80;
    }
    options.error = {};
    options.timedOut = false;
    if (host.empty() || port < 0 || port > 65535) {
        options.error = text::Message(text::MessageId::HttpBadAddress);
        return {};
    }
    const std::string target = std::string(secure ? "https://" : "http://") + host + ":" +
                               std::to_string(port) + urlPath(url);

    initialiseCurlOnce();
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        options.error = text::Message(text::MessageId::HttpNoSetup);
        return {};
    }
    CURL* handle = easy.get();

    if (options.addDefaultHeaders) {
        addDefaultHeaders(headers, url, verb);
    }
    if (options.cookies && !options.cookies->empty()) {
        // A caller who wrote a whole "Cookie:" line gets it sent as it is.
        headers += text::find(*options.cookies, "Cookie:") < 0 ? "\r\nCookie: " : "\r\n";
        headers += *options.cookies;
    }
    if (verb != kGet && options.postBytes.empty()) {
        options.postBytes = options.postText;
    }
    const bool sendsBody = verb != kGet && verb != kHead;
    const HeaderList list = headerList(headers, sendsBody);

    Transfer transfer;
    transfer.maxBodyBytes = options.maxBodyBytes;
    transfer.cancel = options.cancel;

    std::array<char, CURL_ERROR_SIZE> detail{};
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail.data());
    curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, options.noRedirect ? 0L : 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    // An empty proxy text switches the proxy off, also against proxy variables in the
    // environment; an empty exception list keeps every address going through it.
    curl_easy_setopt(handle, CURLOPT_PROXY, options.proxy.c_str());
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, options.stallTimeoutSeconds);
    if (options.timeoutMilliseconds > 0) {
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, options.timeoutMilliseconds);
    }
    if (options.maxBodyBytes != 0) {
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(options.maxBodyBytes));
    }
    if (!options.cookies) {
        curl_easy_setopt(handle, CURLOPT_SHARE, SharedCookieStore::instance().handle());
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, ""); // cookie engine on, no file
    }

    if (verb == kGet) {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else if (verb == kHead) {
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    } else {
        if (verb == kPost) {
            curl_easy_setopt(handle, CURLOPT_POST, 1L);
        } else {
            const std::string_view name = kVerbs[static_cast<std::size_t>(verb)];
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, name.data());
        }
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(options.postBytes.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, options.postBytes.data());
    }

    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &onHeaderLine);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode result = perform(handle, transfer);

    std::string body;
    if (result == CURLE_OK) {
        body = std::move(transfer.body);
    } else {
        options.error = failureReason(result, detail.data(), transfer);
        options.timedOut = result == CURLE_OPERATION_TIMEDOUT;
    }
    options.returnedHeaders.clear();
    for (std::size_t i = 0; i < transfer.headerLines.size(); ++i) {
        if (i != 0) {
            options.returnedHeaders += "\r\n";
        }
        options.returnedHeaders += transfer.headerLines[i];
    }
    options.returnedCookies = cookiesOfResponse(options.returnedHeaders);
    if (options.mergeCookies && options.cookies) {
        options.returnedCookies = mergeCookieTexts(*options.cookies, options.returnedCookies);
    }
    return body;
}

std::string httpRequest(std::string_view url) {
    HttpOptions options;
    return httpRequest(url, options);
}

} // namespace zorvane::net
