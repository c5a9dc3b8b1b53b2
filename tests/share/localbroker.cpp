#include "tests/share/localbroker.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace zorvane::testing {

namespace {

std::filesystem::path freshDirectory(const char* kind) {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("zorvane-" + std::string(kind) + "-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter.fetch_add(1)));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

} // namespace

bool runCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

LocalBroker::LocalBroker(BrokerOptions options)
    : m_options(std::move(options)), m_dir(freshDirectory("broker")), m_port(freePort()) {
    std::ofstream conf(m_dir / "mosquitto.conf");
    // Stays the user that runs the tests (root included), so it can use the directory.
    if (::getuid() == 0) {
        conf << "user root\n";
    }
    conf << "listener " << m_port << " 127.0.0.1\n";
    conf << "persistence_location " << m_dir.string() << "/\n";
    conf << "log_dest file " << (m_dir / "broker.log").string() << "\n";
    conf << "log_type all\n";
    if (m_options.rooms) {
        // The shipped settings, with the members' file in the broker's own directory.
        std::ifstream shipped(std::string(ZORVANE_SOURCE_DIR) +
                              "/packaging/broker/zorvane-room.conf");
        if (!shipped) {
            m_error = "packaging/broker/zorvane-room.conf cannot be read";
        }
        for (std::string line; std::getline(shipped, line);) {
            const bool persistenceLine =
                line.rfind("persistence", 0) == 0 || line.rfind("autosave", 0) == 0;
            if (line.rfind("plugin_opt_config_file", 0) == 0) {
                conf << "plugin_opt_config_file " << (m_dir / "dynsec.json").string() << "\n";
            } else if (!(persistenceLine && !m_options.persistence)) {
                conf << line << "\n";
            }
        }
        if (!runCommand("mosquitto_ctrl dynsec init " + quoted(m_dir / "dynsec.json") + " " +
                        kAdmin + " " + kAdminPassword + " >/dev/null 2>&1")) {
            m_error = "mosquitto_ctrl dynsec init failed";
        }
    } else if (m_options.persistence) {
        conf << "persistence true\n";
    }
    if (!m_options.persistence) {
        conf << "persistence false\n";
    }
    if (!m_options.certFile.empty()) {
        conf << "certfile " << m_options.certFile << "\nkeyfile " << m_options.keyFile << "\n";
    }
    if (m_options.rooms) {
        return; // members come from the plugin
    }
    if (!m_options.accessList.empty()) {
        std::ofstream(m_dir / "acl") << m_options.accessList;
        conf << "acl_file " << (m_dir / "acl").string() << "\n";
    }
    if (!m_options.user.empty()) {
        const auto passwords = m_dir / "passwords";
        if (!runCommand("mosquitto_passwd -c -b " + quoted(passwords) + " '" + m_options.user +
                        "' '" + m_options.password + "' >/dev/null 2>&1")) {
            m_error = "mosquitto_passwd failed";
        }
        conf << "allow_anonymous false\npassword_file " << passwords.string() << "\n";
    } else {
        conf << "allow_anonymous true\n";
    }
}

LocalBroker::~LocalBroker() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

bool LocalBroker::start() {
    if (!m_error.empty() || m_port == 0) {
        return false;
    }
    const std::string conf = (m_dir / "mosquitto.conf").string();
    // Spawned rather than forked: the test process has network threads running.
    std::string arg0 = "mosquitto";
    std::string arg1 = "-c";
    std::string arg2 = conf;
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    if (::posix_spawnp(&m_pid, "mosquitto", nullptr, nullptr, argv, environ) != 0) {
        m_pid = -1;
        m_error = "cannot run mosquitto (is the package installed?)";
        return false;
    }
    // The broker opens its listener a moment after it starts; there is no other signal of
    // readiness than the listener itself.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "mosquitto ended at start; see its log";
            return false;
        }
        if (accepts(m_port)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_error = "mosquitto did not open its port";
    return false;
}

void LocalBroker::stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

void LocalBroker::crash() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

bool LocalBroker::roomScript(const std::string& arguments, std::string* output) const {
    const auto file = m_dir / ("script-" + std::to_string(::getpid()) + ".out");
    const bool ok = runCommand(std::string(ZORVANE_SOURCE_DIR) +
                               "/packaging/broker/zorvane-room -h 127.0.0.1 -p " +
                               std::to_string(m_port) + " -u " + kAdmin + " -P " + kAdminPassword +
                               " " + arguments + " >" + quoted(file) + " 2>&1");
    if (output != nullptr) {
        std::ifstream in(file);
        output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return ok;
}

TestCertificates::TestCertificates() : m_dir(freshDirectory("certs")) {
    const std::string dir = quoted(m_dir);
    const std::string ca = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -days 2 ";
    m_ok = runCommand("cd " + dir + " && " + ca +
                      "-keyout ca.key -out ca.pem -subj '/CN=Test CA' 2>/dev/null") &&
           runCommand("cd " + dir + " && " + ca +
                      "-keyout other-ca.key -out other-ca.pem -subj '/CN=Other CA' 2>/dev/null") &&
           runCommand("cd " + dir +
                      " && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                      "-nodes -keyout server.key -out server.csr -subj '/CN=localhost' "
                      "2>/dev/null") &&
           runCommand("cd " + dir +
                      " && printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext && "
                      "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key "
                      "-CAcreateserial -days 2 -extfile san.ext -out server.pem 2>/dev/null");
}

TestCertificates::~TestCertificates() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

} // namespace zorvane::testing
