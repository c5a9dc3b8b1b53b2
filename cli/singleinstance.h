#pragma once
// One instance per program directory and user. The first start listens on a local
// socket named after both; a later start in the same directory hands its command (raise
// the window, --kill, --list) to it and prints the reply. Programs in other
// directories, or of other users, have other names and run side by side.
//
// On Linux and other Unix systems the first start listens with a D-Bus server of its own
// (`QDBusServer`, no bus daemon) on the socket instanceServerName() names; a later start
// connects to it peer to peer and calls the method Run(as arguments) -> (i code, s text)
// of interface kInstanceInterface on object "/" with the command's arguments (see
// commandArguments); the connection then closes. libdbus lets only the same user (and
// root) in. QtNetwork is not used there: its libraries would cost memory in every idle
// window for a message a few times a day, while QtDBus is loaded anyway.
//
// On Windows the first start listens on a local socket (`QLocalServer`, named pipe); the
// request is one line of compact UTF-8 JSON, {"v":1,"args":[...]}, answered by one line
// {"code":N,"text":"..."}; the connection then closes.
//
// Either way the arguments are at most kMaxInstanceMessageBytes; a request that is too
// long, of the wrong shape, or not made within the server's time limit (kInstanceTimeoutMs
// unless set otherwise) of connecting is answered with exit code 2 (or an error) or
// dropped, and the server goes on serving.

#include "cli/commandline.h"

#ifndef Q_OS_UNIX
#include <QLockFile>
#endif
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#ifdef Q_OS_WIN
class QLocalServer;
class QLocalSocket;
#else
class QDBusConnection;
class QDBusServer;
#endif

namespace zorvane::app {

inline constexpr qsizetype kMaxInstanceMessageBytes = 64 * 1024;
inline constexpr int kInstanceTimeoutMs = 5000;
#ifndef Q_OS_WIN
inline constexpr char kInstanceInterface[] = "io.github.zorvane.Zorvane.Instance";
#endif

// Where the sockets and locks of this user's instances live: the user's runtime directory
// (/run/user/<uid>, else $XDG_RUNTIME_DIR), else a directory of the user's own in the
// temporary directory, made with mode 0700. A directory that is a link, belongs to somebody
// else or lets others in is never used: `path` is empty then and `problem` says why.
struct InstanceDirectory {
    QString path;
    QString problem;
};
InstanceDirectory instanceDirectory();

// The local server's name for `programDir` (its canonical path) and the current user; on
// Unix the absolute path of its socket, empty when instanceDirectory() has none.
QString instanceServerName(const QString& programDir);

// Held while a start finds out whether an instance runs and, when none does, either
// becomes it (listens) or changes the files; so a window never loads the files while a
// command line changes them, and two first starts never both listen. Waits up to
// `timeLimitMs` for another holder. On Unix it is a lock the system holds on an open file:
// it writes nothing to the disk, and a crashed holder's lock ends with its process (its
// empty file stays until the next holder lets go).
class InstanceLock {
public:
    explicit InstanceLock(const QString& programDir, int timeLimitMs = kInstanceTimeoutMs);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    bool isLocked() const;
    void unlock();
    // Why there is no lock to take: instanceDirectory()'s problem, or why the lock file
    // cannot be opened; empty when there is one.
    QString problem() const { return m_problem; }

private:
#ifdef Q_OS_UNIX
    QByteArray m_file;
    int m_fd = -1;
    bool m_locked = false;
#else
    std::unique_ptr<QLockFile> m_lock;
#endif
    QString m_problem;
};

// Sends the command to the instance listening on `serverName` and waits for its reply
// (at most `timeLimitMs` once connected). nullopt when no instance listens (or `serverName`
// is empty); a reply of kExitFailed saying so when one does but does not answer properly.
// Control characters of the reply other than line breaks and tabs are dropped. Needs no
// event loop.
std::optional<CommandResult> askRunningInstance(const QString& serverName,
                                                const QStringList& arguments,
                                                int timeLimitMs = kInstanceTimeoutMs);

// The running instance's end: answers each request with what the handler returns for
// its parsed command line (Kill, List, or OpenWindow for "raise the window"). Runs on the
// thread that owns it, in its event loop.
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<CommandResult(const CommandLine&)>;

    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens on `serverName`, replacing a socket a crashed instance left (the caller
    // holds the InstanceLock and found nobody listening). False with errorString().
    bool listen(const QString& serverName);
    QString errorString() const;
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // How long a client may stay connected without being answered; for connections made
    // after the call.
    void setTimeLimit(int milliseconds) { m_timeLimitMs = milliseconds; }
    int timeLimit() const { return m_timeLimitMs; }

    // The answer to a request with these arguments (the program name not among them).
    CommandResult answer(const QStringList& arguments) const;

private:
#ifdef Q_OS_WIN
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void reply(QLocalSocket* socket, const CommandResult& result);

    std::unique_ptr<QLocalServer> m_server;
#else
    void onNewConnection(const QDBusConnection& connection);

    std::unique_ptr<QDBusServer> m_server;
    QString m_error;
#endif
    Handler m_handler;
    int m_timeLimitMs = kInstanceTimeoutMs;
};

} // namespace zorvane::app
