#include "net/httprequest.h"

#include "tests/net/localservers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace zorvane::net;
using zorvane::testing::closedPort;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::RawServer;
using zorvane::testing::SelfSignedCertificate;

namespace {

std::string okResponse(const std::string& body, const std::string& extraLines = {}) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extraLines + "Connection: close\r\n\r\n" + body;
}

RawServer::Responder answer(const std::string& response) {
    return [response](const std::string&) { return response; };
}

std::string requestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

std::string bodyOf(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

int countOf(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(HttpRequest, AddressAloneSendsGetWithAgentAndDefaultLinesOnly) {
    RawServer server(answer(okResponse("hi", "X-A: 1\r\n")));
    const std::string url = server.base() + "/path?q=1";
    HttpOptions options;
    EXPECT_EQ(httpRequest(url, options), "hi");
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(server.requests()[0], "GET /path?q=1 HTTP/1.1\r\n"
                                    "Host: 127.0.0.1:" +
                                        port +
                                        "\r\n"
                                        "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows "
                                        "NT 6.1)\r\n"
                                        "Accept: */*\r\n"
                                        "Referer: " +
                                        url +
                                        "\r\n"
                                        "Accept-Language: zh-cn\r\n\r\n");
    EXPECT_EQ(options.returnedHeaders,
              "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-A: 1\r\nConnection: close");
    EXPECT_EQ(options.returnedCookies, "");
}

TEST(HttpRequest, VerbCodesOutsideTheTableSendGet) {
    RawServer server(answer(okResponse("ok")));
    for (const int code : {9, -1}) {
        HttpOptions options;
        options.method = code;
        options.postText = "ignored";
        EXPECT_EQ(httpRequest(server.base() + "/v", options), "ok");
        EXPECT_TRUE(options.postBytes.empty());
    }
    ASSERT_EQ(server.requests().size(), 2u);
    for (const std::string& request : server.requests()) {
        EXPECT_EQ(requestLine(request), "GET /v HTTP/1.1");
        EXPECT_EQ(bodyOf(request), "");
        EXPECT_EQ(request.find("Content-Length"), std::string::npos);
    }
}

TEST(HttpRequest, CallerHeadersAreNormalisedAndNameTheAgent) {
    RawServer server(answer(okResponse("")));
    HttpOptions options;
    options.headers = "user-agent: X\r\naccept: text/html\r\nx-requested-with:1";
    httpRequest(server.base() + "/", options);
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string request = server.requests()[0];
    EXPECT_EQ(countOf(request, "User-Agent:"), 1);
    EXPECT_NE(request.find("\r\nUser-Agent: X\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nAccept: text/html\r\n"), std::string::npos);
    EXPECT_EQ(countOf(request, "Accept:"), 1);
    EXPECT_NE(request.find("\r\nX-Requested-With:1\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nReferer: " + server.base() + "/\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nAccept-Language: zh-cn\r\n"), std::string::npos);
}

TEST(HttpRequest, LoneLineBreaksCannotSmuggleLinesOrRequests) {
    RawServer server(answer(okResponse("")));
    HttpOptions options;
    options.addDefaultHeaders = false;
    options.normalizeHeaders = false;
    options.headers = "x-a: 1\nx-b: 2\rx-c: 3";
    options.cookies = std::string("k=v\r\n\r\nGET /second HTTP/1.1");
    httpRequest(server.base() + "/", options);
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(server.requests()[0],
              "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                  "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
                  "x-a: 1\r\nx-b: 2\r\nx-c: 3\r\nCookie: k=v\r\n\r\n");
}

TEST(HttpRequest, WithoutDefaultsOnlyTheCallerLinesAreSent) {
    RawServer server(answer(okResponse("")));
    HttpOptions options;
    options.addDefaultHeaders = false;
    options.normalizeHeaders = false;
    options.method = kPost;
    options.postText = "b";
    options.headers = "x-mine: 1";
    httpRequest(server.base() + "/", options);
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(server.requests()[0],
              "POST / HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                  "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
                  "x-mine: 1\r\nContent-Length: 1\r\n\r\nb");
}

TEST(HttpRequest, PostSendsTextBodyWithFormTypeAndFillsCallerBytes) {
    RawServer server(answer(okResponse("done")));
    HttpOptions options;
    options.method = kPost;
    options.postText = "a=1";
    EXPECT_EQ(httpRequest(server.base() + "/form", options), "done");
    EXPECT_EQ(options.postBytes, "a=1");

    HttpOptions bytesFirst;
    bytesFirst.method = kPost;
    bytesFirst.postText = "a=1";
    bytesFirst.postBytes = std::string("x\0y", 3);
    bytesFirst.headers = "Content-Type: text/plain";
    httpRequest(server.base() + "/form", bytesFirst);

    ASSERT_EQ(server.requests().size(), 2u);
    const std::string first = server.requests()[0];
    EXPECT_EQ(requestLine(first), "POST /form HTTP/1.1");
    EXPECT_EQ(bodyOf(first), "a=1");
    EXPECT_NE(first.find("\r\nContent-Length: 3\r\n"), std::string::npos);
    EXPECT_EQ(countOf(first, "Content-Type:"), 1);
    EXPECT_NE(first.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    const std::string second = server.requests()[1];
    EXPECT_EQ(bodyOf(second), std::string("x\0y", 3));
    EXPECT_EQ(countOf(second, "Content-Type:"), 1);
    EXPECT_NE(second.find("\r\nContent-Type: text/plain\r\n"), std::string::npos);
}

TEST(HttpRequest, OtherVerbsSendBodiesWithoutContentTypeAndHeadNone) {
    RawServer server(answer(okResponse("body")));
    HttpOptions put;
    put.method = kPut;
    put.postText = "payload";
    EXPECT_EQ(httpRequest(server.base() + "/p", put), "body");
    HttpOptions remove;
    remove.method = kDelete;
    httpRequest(server.base() + "/d", remove);
    HttpOptions head;
    head.method = kHead;
    head.postText = "unused";
    EXPECT_EQ(httpRequest(server.base() + "/h", head), "");
    EXPECT_TRUE(head.returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n"));

    ASSERT_EQ(server.requests().size(), 3u);
    const std::string putRequest = server.requests()[0];
    EXPECT_EQ(requestLine(putRequest), "PUT /p HTTP/1.1");
    EXPECT_EQ(bodyOf(putRequest), "payload");
    EXPECT_EQ(putRequest.find("Content-Type"), std::string::npos);
    EXPECT_EQ(requestLine(server.requests()[1]), "DELETE /d HTTP/1.1");
    EXPECT_EQ(server.requests()[1].find("Content-Type"), std::string::npos);
    EXPECT_EQ(requestLine(server.requests()[2]), "HEAD /h HTTP/1.1");
    EXPECT_EQ(bodyOf(server.requests()[2]), "");
}

TEST(HttpRequest, SuppliedCookiesAreSentAsTheCallerWroteThem) {
    RawServer server(answer(okResponse("", "Set-Cookie: n=1\r\n")));
    HttpOptions empty;
    empty.cookies = "";
    httpRequest(server.base() + "/", empty);
    // No Cookie line, yet merging ran into the caller's variable.
    EXPECT_EQ(empty.returnedCookies, "n=1");
    EXPECT_EQ(empty.cookies, "n=1");

    HttpOptions plain;
    plain.cookies = "a=1";
    httpRequest(server.base() + "/", plain);
    HttpOptions line;
    line.cookies = "Cookie: a=1";
    httpRequest(server.base() + "/", line);

    ASSERT_EQ(server.requests().size(), 3u);
    EXPECT_EQ(server.requests()[0].find("Cookie"), std::string::npos);
    EXPECT_EQ(countOf(server.requests()[1], "Cookie"), 1);
    EXPECT_NE(server.requests()[1].find("\r\nCookie: a=1\r\n"), std::string::npos);
    EXPECT_EQ(countOf(server.requests()[2], "Cookie"), 1);
    EXPECT_NE(server.requests()[2].find("\r\nCookie: a=1\r\n"), std::string::npos);
}

TEST(HttpRequest, SetCookieLinesYieldFirstItemsOnly) {
    RawServer server(answer(okResponse("", "Set-Cookie: sid=abc; path=/; HttpOnly\r\n"
                                           "set-cookie: x=1\r\n"
                                           "Set-Cookie:y=1\r\n"
                                           "Set-Cookie: theme=dark\r\n")));
    HttpOptions options;
    options.cookies = "";
    options.mergeCookies = false;
    httpRequest(server.base() + "/", options);
    EXPECT_EQ(options.returnedCookies, "sid=abc; theme=dark");
    EXPECT_EQ(options.cookies, "");
}

TEST(HttpRequest, ResponseCookiesMergeIntoTheCallersJar) {
    RawServer server(answer(okResponse("", "Set-Cookie: b=deleted; Max-Age=0\r\n"
                                           "Set-Cookie: c=3; Path=/\r\n")));
    HttpOptions merged;
    merged.cookies = "a=1; b=2";
    httpRequest(server.base() + "/", merged);
    EXPECT_EQ(merged.returnedCookies, "c=3; a=1");
    EXPECT_EQ(merged.cookies, "c=3; a=1");

    HttpOptions unmerged;
    unmerged.cookies = "a=1; b=2";
    unmerged.mergeCookies = false;
    httpRequest(server.base() + "/", unmerged);
    EXPECT_EQ(unmerged.returnedCookies, "b=deleted; c=3");
    EXPECT_EQ(unmerged.cookies, "a=1; b=2");
}

namespace {

// Cookies under /store go only with requests below /store, so other tests in the
// process never see them.
void addCookieRoutes(LocalHttpServer& server) {
    server.server().Get(
        "/store/set", [](const httplib::Request& request, httplib::Response& response) {
            response.set_header("Set-Cookie", request.get_param_value("c") + "; Path=/store");
            response.set_content("set", "text/plain");
        });
    server.server().Get("/store/echo",
                        [](const httplib::Request& request, httplib::Response& response) {
                            response.set_content(request.get_header_value("Cookie"), "text/plain");
                        });
}

} // namespace

TEST(HttpRequest, RequestsWithoutSuppliedCookiesShareOneStore) {
    LocalHttpServer server;
    addCookieRoutes(server);
    server.start();
    const std::string base = server.base();

    EXPECT_EQ(httpRequest(base + "/store/set?c=shared%3D1"), "set");
    EXPECT_EQ(httpRequest(base + "/store/echo"), "shared=1");

    // With supplied cookies the store is neither read nor written.
    HttpOptions supplied;
    supplied.cookies = "";
    EXPECT_EQ(httpRequest(base + "/store/echo", supplied), "");
    HttpOptions setsPrivately;
    setsPrivately.cookies = "";
    EXPECT_EQ(httpRequest(base + "/store/set?c=private%3D9", setsPrivately), "set");
    EXPECT_EQ(setsPrivately.cookies, "private=9");
    EXPECT_EQ(httpRequest(base + "/store/echo"), "shared=1");

    // Threads use the store at the same time.
    std::vector<std::thread> threads;
    std::atomic<int> matches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&base, &matches, t] {
            for (int i = 0; i < 3; ++i) {
                httpRequest(base + "/store/set?c=t" + std::to_string(t) + "%3D" +
                            std::to_string(i));
                const std::string sent = httpRequest(base + "/store/echo");
                if (sent.find("t" + std::to_string(t) + "=" + std::to_string(i)) !=
                    std::string::npos) {
                    ++matches;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(matches.load(), 12);
}

namespace {

void addRedirectRoutes(LocalHttpServer& server) {
    server.server().Get("/r1", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/r2");
        response.set_content("moved once", "text/plain");
    });
    server.server().Get("/r2", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "hop=2");
        response.set_redirect("/final", 301);
    });
    server.server().Get("/final", [](const httplib::Request& request, httplib::Response& response) {
        response.set_header("Set-Cookie", "fin=1; Path=/");
        response.set_content("done " + request.get_header_value("Referer"), "text/plain");
    });
    server.server().Get("/elsewhere", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/hostname");
    });
    server.server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("no such page", "text/plain");
    });
    server.server().Get("/broken", [](const httplib::Request&, httplib::Response& response) {
        response.status = 500;
        response.set_content("server trouble", "text/plain");
    });
}

} // namespace

TEST(HttpRequest, RedirectsAreFollowedUnlessRefused) {
    LocalHttpServer server;
    addRedirectRoutes(server);
    server.start();

    HttpOptions follow;
    follow.cookies = "";
    EXPECT_EQ(httpRequest(server.base() + "/r1", follow), "done " + server.base() + "/r1");
    EXPECT_TRUE(follow.returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(follow.returnedHeaders.find("302"), std::string::npos);
    EXPECT_EQ(follow.returnedHeaders.find("Location"), std::string::npos);
    EXPECT_FALSE(follow.returnedHeaders.ends_with("\r\n"));
    EXPECT_EQ(follow.returnedCookies, "fin=1");

    HttpOptions stay;
    stay.noRedirect = true;
    stay.cookies = "";
    EXPECT_EQ(httpRequest(server.base() + "/r1", stay), "moved once");
    EXPECT_TRUE(stay.returnedHeaders.starts_with("HTTP/1.1 302 Found\r\n"));
    EXPECT_NE(stay.returnedHeaders.find("\r\nLocation: /r2"), std::string::npos);
    EXPECT_EQ(stay.returnedCookies, "");

    // Redirects lead only to http and https.
    HttpOptions refused;
    EXPECT_EQ(httpRequest(server.base() + "/elsewhere", refused), "");
}

TEST(HttpRequest, ErrorStatusesStillDeliverTheirPages) {
    LocalHttpServer server;
    addRedirectRoutes(server);
    server.start();
    HttpOptions missing;
    EXPECT_EQ(httpRequest(server.base() + "/missing", missing), "no such page");
    EXPECT_TRUE(missing.returnedHeaders.starts_with("HTTP/1.1 404 Not Found\r\n"));
    HttpOptions broken;
    EXPECT_EQ(httpRequest(server.base() + "/broken", broken), "server trouble");
    EXPECT_TRUE(broken.returnedHeaders.starts_with("HTTP/1.1 500 Internal Server Error\r\n"));
}

TEST(HttpRequest, UnreachableServerGivesEmptyResultsAndStillMerges) {
    const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
    HttpOptions options;
    options.returnedHeaders = "stale";
    options.returnedCookies = "stale";
    options.cookies = "a=1;";
    EXPECT_EQ(httpRequest(url, options), "");
    EXPECT_EQ(options.returnedHeaders, "");
    EXPECT_EQ(options.returnedCookies, "a=1");
    EXPECT_EQ(options.cookies, "a=1");

    // An address that names no usable port is not attempted; outputs stay.
    HttpOptions badPort;
    badPort.returnedHeaders = "kept";
    badPort.method = kPost;
    badPort.postText = "x";
    EXPECT_EQ(httpRequest("http://127.0.0.1:70000/", badPort), "");
    EXPECT_EQ(badPort.returnedHeaders, "kept");
    EXPECT_EQ(badPort.postBytes, "");
}

TEST(HttpRequest, StalledTransferTimesOutOrIsCancelled) {
    RawServer server(answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"), true);
    HttpOptions stalled;
    stalled.stallTimeoutSeconds = 1;
    EXPECT_EQ(httpRequest(server.base() + "/slow", stalled), "");
    EXPECT_TRUE(stalled.returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n"));

    RawServer second(answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"), true);
    std::atomic<bool> cancel{false};
    HttpOptions cancelled;
    cancelled.cancel = &cancel;
    const auto started = std::chrono::steady_clock::now();
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    EXPECT_EQ(httpRequest(second.base() + "/slow", cancelled), "");
    canceller.join();
    // Far below the 30 s stall limit: the flag ended it.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

    // A request started after the flag is set does not even connect.
    EXPECT_EQ(httpRequest(second.base() + "/slow", cancelled), "");
    EXPECT_EQ(second.requests().size(), 1u);
}

TEST(HttpRequest, BodiesBeyondTheCapFail) {
    LocalHttpServer server;
    server.server().Get("/fixed", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(11, 'x'), "text/plain");
    });
    server.server().Get("/chunked", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
            sink.write("xxxxxx", 6);
            sink.write("xxxxx", 5);
            sink.done();
            return true;
        });
    });
    server.start();
    for (const std::string path : {"/fixed", "/chunked"}) {
        HttpOptions exact;
        exact.maxBodyBytes = 11;
        EXPECT_EQ(httpRequest(server.base() + path, exact), std::string(11, 'x')) << path;
        HttpOptions over;
        over.maxBodyBytes = 10;
        EXPECT_EQ(httpRequest(server.base() + path, over), "") << path;
    }
}

TEST(HttpRequest, ProxyCarriesPlainAndSecureRequests) {
    RawServer proxy([](const std::string& request) {
        if (request.starts_with("CONNECT ")) {
            return std::string("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
        }
        return okResponse("via proxy");
    });
    const std::string target = "127.0.0.1:" + std::to_string(closedPort());
    HttpOptions plain;
    plain.proxy = "127.0.0.1:" + std::to_string(proxy.port());
    EXPECT_EQ(httpRequest("http://" + target + "/p?x=1", plain), "via proxy");
    HttpOptions secure;
    secure.proxy = plain.proxy;
    EXPECT_EQ(httpRequest("https://" + target + "/s", secure), "");

    // An empty or zero port is the scheme's own.
    HttpOptions defaultPort;
    defaultPort.proxy = plain.proxy;
    EXPECT_EQ(httpRequest("http://127.0.0.1:0/d", defaultPort), "via proxy");
    EXPECT_EQ(httpRequest("http://127.0.0.1:/e", defaultPort), "via proxy");

    ASSERT_EQ(proxy.requests().size(), 4u);
    EXPECT_EQ(requestLine(proxy.requests()[0]), "GET http://" + target + "/p?x=1 HTTP/1.1");
    EXPECT_EQ(requestLine(proxy.requests()[1]), "CONNECT " + target + " HTTP/1.1");
    EXPECT_EQ(requestLine(proxy.requests()[2]), "GET http://127.0.0.1/d HTTP/1.1");
    EXPECT_EQ(requestLine(proxy.requests()[3]), "GET http://127.0.0.1/e HTTP/1.1");
}

TEST(HttpRequest, CertificatesAreVerified) {
    const SelfSignedCertificate certificate;
    ASSERT_TRUE(certificate.ok());
    LocalHttpServer server(certificate.certFile(), certificate.keyFile());
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secure page", "text/plain");
    });
    server.start();
    ASSERT_GT(server.port(), 0);

    HttpOptions untrusted;
    EXPECT_EQ(httpRequest(server.base() + "/", untrusted), "");
    EXPECT_EQ(untrusted.returnedHeaders, "");

    HttpOptions trusted;
    trusted.caFile = certificate.certFile();
    EXPECT_EQ(httpRequest(server.base() + "/", trusted), "secure page");
    EXPECT_TRUE(trusted.returnedHeaders.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST(HttpRequest, FailuresSayWhy) {
    RawServer notFound(answer("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"));
    RawServer large(answer(okResponse(std::string(100, 'x'))));
    LocalHttpServer slow;
    slow.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        response.set_content("late", "text/plain");
    });
    slow.start();
    const SelfSignedCertificate certificate;
    ASSERT_TRUE(certificate.ok());
    LocalHttpServer secure(certificate.certFile(), certificate.keyFile());
    secure.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secret", "text/plain");
    });
    secure.start();
    const std::atomic<bool> cancelled{true};

    struct Case {
        std::string url;
        std::size_t maxBodyBytes;
        const std::atomic<bool>* cancel;
        std::string body;
        std::string errorStart;
    };
    const std::vector<Case> cases = {
        // An error status is an answer, not a failure.
        {notFound.base() + "/", 0, nullptr, "gone", ""},
        {"http://127.0.0.1:" + std::to_string(closedPort()) + "/", 0, nullptr, "",
         "Couldn't connect to server"},
        {"http:///nohost", 0, nullptr, "", "地址里没有主机名"},
        {large.base() + "/", 10, nullptr, "", "回答大于 10 字节"},
        {slow.base() + "/", 0, &cancelled, "", "已取消"},
        {secure.base() + "/", 0, nullptr, "", "SSL peer certificate"},
    };
    for (const Case& c : cases) {
        HttpOptions options;
        options.error = zorvane::text::Message::literal("stale");
        options.maxBodyBytes = c.maxBodyBytes;
        options.cancel = c.cancel;
        EXPECT_EQ(httpRequest(c.url, options), c.body) << c.url;
        const std::string error = zorvane::text::defaultText(options.error);
        EXPECT_EQ(error.substr(0, c.errorStart.size()), c.errorStart) << c.url;
        EXPECT_EQ(error.empty(), c.errorStart.empty()) << c.url << ": " << error;
    }
}
