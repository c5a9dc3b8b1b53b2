#include "tests/net/localservers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace zorvane::testing {
namespace {

constexpr int kPollMs = 50;

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Position just past the request's body, or npos while it is incomplete.
std::size_t requestEnd(const std::string& data) {
    const std::size_t headerEnd = data.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        return std::string::npos;
    }
    std::size_t bodyLength = 0;
    std::string lowered;
    for (std::size_t i = 0; i < headerEnd; ++i) {
        const char c = data[i];
        lowered += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::size_t field = lowered.find("\r\ncontent-length:");
    if (field != std::string::npos) {
        bodyLength = std::strtoul(lowered.c_str() + field + 17, nullptr, 10);
    }
    const std::size_t end = headerEnd + 4 + bodyLength;
    return data.size() >= end ? end : std::string::npos;
}

} // namespace

LocalHttpServer::LocalHttpServer() : m_server(std::make_unique<httplib::Server>()) {}

LocalHttpServer::LocalHttpServer(const std::string& certFile, const std::string& keyFile)
    : m_server(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
      m_secure(true) {}

void LocalHttpServer::start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        return;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() only works once the accept loop runs.
    for (int i = 0; i < 200 && !m_server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

LocalHttpServer::~LocalHttpServer() {
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

std::string LocalHttpServer::base() const {
    return std::string(m_secure ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

RawServer::RawServer(Responder responder, bool holdOpen)
    : m_responder(std::move(responder)), m_holdOpen(holdOpen) {
    m_listener = listenOnLoopback(m_port);
    if (m_listener >= 0) {
        m_thread = std::thread([this] { run(); });
    }
}

RawServer::~RawServer() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listener >= 0) {
        ::close(m_listener);
    }
}

std::string RawServer::base() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> RawServer::requests() const {
    const std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
}

bool RawServer::waitReadable(int fd) const {
    pollfd entry{fd, POLLIN, 0};
    while (!m_stop) {
        const int ready = ::poll(&entry, 1, kPollMs);
        if (ready > 0) {
            return true;
        }
    }
    return false;
}

void RawServer::run() {
    while (waitReadable(m_listener)) {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            serve(connection);
            ::close(connection);
        }
    }
}

void RawServer::serve(int connection) {
    std::string data;
    char buffer[4096];
    std::size_t end = std::string::npos;
    while (end == std::string::npos && waitReadable(connection)) {
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return;
        }
        data.append(buffer, static_cast<std::size_t>(got));
        end = requestEnd(data);
    }
    if (end == std::string::npos) {
        return;
    }
    data.resize(end);
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        m_requests.push_back(data);
    }
    const std::string response = m_responder(data);
    std::size_t sent = 0;
    while (sent < response.size()) {
        const ssize_t n =
            ::send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
    if (m_holdOpen) {
        // Read (and ignore) until the client gives up or the server is stopped.
        while (waitReadable(connection)) {
            if (::recv(connection, buffer, sizeof buffer, 0) <= 0) {
                return;
            }
        }
    }
}

SelfSignedCertificate::SelfSignedCertificate() {
    char pattern[] = "/tmp/zorvane-cert-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return;
    }
    m_dir = pattern;
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        keyFile() + "' -out '" + certFile() + "' >/dev/null 2>&1";
    m_ok = std::system(command.c_str()) == 0;
}

SelfSignedCertificate::~SelfSignedCertificate() {
    if (!m_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
}

int closedPort() {
    int port = 0;
    const int fd = listenOnLoopback(port);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

} // namespace zorvane::testing
