#pragma once
// Real servers on 127.0.0.1 for the network tests: an HTTP(S) server on cpp-httplib,
// a raw socket server that records requests byte for byte (and can stall), and a
// self-signed certificate made with the openssl tool.

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::testing {

// Runs an httplib server (plain or TLS) on a free loopback port until destroyed.
class LocalHttpServer {
public:
    // Plain HTTP.
    LocalHttpServer();
    // HTTPS with the given PEM certificate and key.
    LocalHttpServer(const std::string& certFile, const std::string& keyFile);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Register handlers before start().
    httplib::Server& server() { return *m_server; }
    void start();
    int port() const { return m_port; }
    // "http://127.0.0.1:port" (or https).
    std::string base() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    bool m_secure = false;
    int m_port = 0;
    std::thread m_thread;
};

// A one-connection-at-a-time server that records each request as received and
// answers with what the responder returns. With holdOpen the connection stays open
// after the answer until the server is destroyed, like a server that stalls.
class RawServer {
public:
    using Responder = std::function<std::string(const std::string& request)>;

    explicit RawServer(Responder responder, bool holdOpen = false);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return m_port; }
    std::string base() const;
    std::vector<std::string> requests() const;

private:
    void run();
    void serve(int connection);
    bool waitReadable(int fd) const;

    Responder m_responder;
    bool m_holdOpen;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A self-signed certificate for 127.0.0.1 and its key, in a fresh temporary directory
// that is removed with the object.
class SelfSignedCertificate {
public:
    SelfSignedCertificate();
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    bool ok() const { return m_ok; }
    std::string certFile() const { return m_dir + "/cert.pem"; }
    std::string keyFile() const { return m_dir + "/key.pem"; }

private:
    std::string m_dir;
    bool m_ok = false;
};

// A loopback port nothing listens on (bound, then released).
int closedPort();

} // namespace zorvane::testing
