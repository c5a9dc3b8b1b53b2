#pragma once
// A real mosquitto broker on a free loopback port for the sharing tests, with an optional
// password file and TLS listener, and test certificates made with the openssl tool.

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace zorvane::testing {

struct BrokerOptions {
    // Users and passwords for a password file; empty: anonymous members allowed.
    std::string user;
    std::string password;
    // PEM files for a TLS listener; empty: plain.
    std::string certFile;
    std::string keyFile;
    // The shipped room set-up (packaging/broker/zorvane-room.conf): the dynamic-security
    // plugin with an administrator (kAdmin, kAdminPassword), durable persistence, the queue
    // and packet limits. Rooms and members are then made with roomScript().
    bool rooms = false;
    // Keep retained messages across restarts (in a file of the broker's directory).
    bool persistence = true;
    // The lines of an access list (mosquitto's acl_file); empty: none.
    std::string accessList = {};
};

inline constexpr const char* kAdmin = "admin";
inline constexpr const char* kAdminPassword = "admin-secret";

class LocalBroker {
public:
    explicit LocalBroker(BrokerOptions options = {});
    ~LocalBroker();
    LocalBroker(const LocalBroker&) = delete;
    LocalBroker& operator=(const LocalBroker&) = delete;

    // Starts the broker and waits until it accepts connections; false when it did not.
    bool start();
    // Stops it (SIGTERM, so that it saves its retained messages) and waits for it to end.
    void stop();
    // Kills it (SIGKILL: it saves nothing more) and waits for it to end.
    void crash();
    // Runs packaging/broker/zorvane-room against the broker as its administrator; true
    // when it succeeded. `output` receives what it printed (standard output and error).
    bool roomScript(const std::string& arguments, std::string* output = nullptr) const;
    int port() const { return m_port; }
    // The broker's process id while it runs; -1 otherwise.
    pid_t pid() const { return m_pid; }
    // Why start() failed, for the test's message.
    const std::string& error() const { return m_error; }

private:
    BrokerOptions m_options;
    std::filesystem::path m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
    std::string m_error;
};

// A test CA and a server certificate it signed for 127.0.0.1 and localhost.
class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    bool ok() const { return m_ok; }
    std::string caFile() const { return (m_dir / "ca.pem").string(); }
    std::string certFile() const { return (m_dir / "server.pem").string(); }
    std::string keyFile() const { return (m_dir / "server.key").string(); }
    // Another CA, which signed nothing the broker shows.
    std::string otherCaFile() const { return (m_dir / "other-ca.pem").string(); }

private:
    std::filesystem::path m_dir;
    bool m_ok = false;
};

// Runs a shell command; true when it exited with 0.
bool runCommand(const std::string& command);

} // namespace zorvane::testing
