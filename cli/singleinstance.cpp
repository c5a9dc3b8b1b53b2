#include "cli/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#ifdef Q_OS_WIN
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#else
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServer>

#include <atomic>
#endif

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <variant>

namespace zorvane::app {
namespace {

// How often a start waiting for the instance lock tries again.
constexpr qint64 kLockPollMs = 10;
// A socket path longer than this does not fit a Unix socket address.
constexpr qsizetype kLongestSocketPath = 100;
// The length of instanceBaseName(): "zorvane-" and 32 hex digits.
constexpr qsizetype kBaseNameLength = 40;

QString userKey() {
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

// "zorvane-" and a hash of the directory and the user: the same for every start of one
// copy by one user, different for another folder or another user.
QString instanceBaseName(const QString& programDir) {
    QString dir = QFileInfo(programDir).canonicalFilePath();
    if (dir.isEmpty()) {
        dir = QDir::cleanPath(QFileInfo(programDir).absoluteFilePath());
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(dir.toUtf8());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(userKey().toUtf8());
    return QStringLiteral("zorvane-") + QString::fromLatin1(hash.result().toHex().left(32));
}

#ifdef Q_OS_UNIX
// Why `dir` may not hold the socket and the lock, or empty when it may: it must be a
// directory itself (not a link to one), this user's, and closed to everybody else, so
// that nobody else can plant a server, a socket or a lock there.
QString untrustedBecause(const QString& dir) {
    struct stat status {};
    if (::lstat(QFile::encodeName(dir).constData(), &status) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (S_ISLNK(status.st_mode)) {
        return QStringLiteral("it is a symbolic link");
    }
    if (!S_ISDIR(status.st_mode)) {
        return QStringLiteral("it is not a directory");
    }
    if (status.st_uid != ::getuid()) {
        return QStringLiteral("it belongs to user %1").arg(status.st_uid);
    }
    if ((status.st_mode & 077) != 0) {
        return QStringLiteral("others may enter it (mode %1)")
            .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    return {};
}
#endif

// The user's own runtime directory (only the user can reach it), or empty. /run/user/<uid>
// is taken by name before $XDG_RUNTIME_DIR (which names it in a desktop session), so a
// command from a shell without that variable (ssh, cron) still finds the instance the
// desktop started.
QString runtimeDirectory() {
#ifdef Q_OS_UNIX
    const QString standard = QStringLiteral("/run/user/%1").arg(::getuid());
    if (untrustedBecause(standard).isEmpty()) {
        return standard;
    }
#endif
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        return {};
    }
#ifdef Q_OS_UNIX
    if (!untrustedBecause(dir).isEmpty()) {
        return {};
    }
#endif
    return QDir::cleanPath(dir);
}

CommandResult failure(const QString& text) {
    return {kExitFailed, text};
}

// The running instance's reply as this start's result; a code outside the known ones
// counts as a failure. The text goes to a terminal: control characters other than line
// breaks and tabs (escape sequences) are dropped.
CommandResult replied(int exitCode, const QString& text) {
    QString printable;
    printable.reserve(text.size());
    for (const QChar c : text) {
        const char32_t code = c.unicode();
        if (c == u'\n' || c == u'\t' ||
            (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0))) {
            printable += c;
        }
    }
    return {exitCode >= kExitDone && exitCode <= kExitNotUnderstood ? exitCode : kExitFailed,
            printable};
}

// The command line the running window takes from these arguments, or what is wrong with
// them: a kill, a list, a restart, the next bosses spoken, or nothing at all ("raise the
// window").
std::variant<CommandLine, QString> handedOverCommand(const QStringList& handedOver) {
    const QStringList arguments = QStringList{QStringLiteral("zorvane")} + handedOver;
    CommandLine command = parseCommandLine(arguments);
    const bool raise = command.action == CommandLine::Action::OpenWindow && arguments.size() == 1;
    if (raise || command.action == CommandLine::Action::Kill ||
        command.action == CommandLine::Action::List ||
        command.action == CommandLine::Action::Restart ||
        command.action == CommandLine::Action::SayNext) {
        return command;
    }
    return command.action == CommandLine::Action::Error
               ? command.text
               : QStringLiteral(
                     "The running Zorvane takes only --kill, --list, --restart and --say-next.");
}

#ifdef Q_OS_WIN
constexpr int kProtocolVersion = 1;

QByteArray jsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// The request line's arguments, or what is wrong with it.
std::variant<QStringList, QString> readRequest(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return QStringLiteral("The request is not understood.");
    }
    const QJsonObject request = document.object();
    if (request.value(QStringLiteral("v")).toInt(-1) != kProtocolVersion) {
        return QStringLiteral("The request is of a version this Zorvane does not know.");
    }
    const QJsonValue args = request.value(QStringLiteral("args"));
    if (!args.isArray()) {
        return QStringLiteral("The request is not understood.");
    }
    QStringList arguments;
    for (const QJsonValue& arg : args.toArray()) {
        if (!arg.isString()) {
            return QStringLiteral("The request is not understood.");
        }
        arguments << arg.toString();
    }
    return arguments;
}
#else
// A D-Bus address for the socket at `path`; bytes other than letters, digits and -_/. are
// written %XX.
QString dbusAddress(const QString& path) {
    QString address = QStringLiteral("unix:path=");
    for (const char byte : QFile::encodeName(path)) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '/' || c == '.') {
            address += QLatin1Char(byte);
        } else {
            address += QStringLiteral("%%1").arg(c, 2, 16, QLatin1Char('0'));
        }
    }
    return address;
}

QString uniqueClientName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("zorvane-instance-client-%1").arg(++counter);
}

// What a peer connection of the server sees: one object at "/" with the method Run, for
// one connection. It and the connection go after the server's time limit, called or not, so a
// client that connects and never calls (or never authenticates) holds nothing for long.
class InstancePeer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.zorvane.Zorvane.Instance")
public:
    InstancePeer(const InstanceServer& server, const QString& connectionName, QObject* parent)
        : QObject(parent), m_server(server), m_connectionName(connectionName) {
        QTimer::singleShot(m_server.timeLimit(), this, &InstancePeer::drop);
    }
    ~InstancePeer() override {
        QDBusConnection(m_connectionName).unregisterObject(QStringLiteral("/"));
        QDBusConnection::disconnectFromPeer(m_connectionName);
    }

public slots:
    // Named as the D-Bus method; `text` is the reply's second value.
    Q_SCRIPTABLE int Run(const QStringList& arguments, QString& text) {
        m_answering = true;
        const CommandResult result = m_server.answer(arguments);
        m_answering = false;
        text = result.text;
        return result.exitCode;
    }

private:
    // Not while the window answers (should it wait in an event loop of its own): this
    // object is on the stack then, and its caller still has to send the reply.
    void drop() {
        if (m_answering) {
            QTimer::singleShot(m_server.timeLimit(), this, &InstancePeer::drop);
        } else {
            deleteLater();
        }
    }

    bool m_answering = false;
    const InstanceServer& m_server;
    QString m_connectionName;
};
#endif

} // namespace

InstanceDirectory instanceDirectory() {
    const QString runtime = runtimeDirectory();
    // A runtime directory whose path leaves no room for the socket's name is passed over.
    if (!runtime.isEmpty() && runtime.size() + kBaseNameLength + 1 <= kLongestSocketPath) {
        return {runtime, {}};
    }
#ifdef Q_OS_UNIX
    // A directory of this user's own in the temporary directory, made closed to others; one
    // that another user made first, or opened, is never used.
    const QString dir = QDir::tempPath() + QStringLiteral("/zorvane-%1").arg(::getuid());
    if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST) {
        return {{},
                QStringLiteral("%1 cannot be made: %2")
                    .arg(dir, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (const QString because = untrustedBecause(dir); !because.isEmpty()) {
        return {{}, QStringLiteral("%1 is not safe to use: %2").arg(dir, because)};
    }
    return {dir, {}};
#else
    return {QDir::tempPath(), {}};
#endif
}

QString instanceServerName(const QString& programDir) {
    const QString base = instanceBaseName(programDir);
#ifdef Q_OS_UNIX
    const InstanceDirectory dir = instanceDirectory();
    return dir.path.isEmpty() ? QString() : dir.path + QLatin1Char('/') + base;
#else
    return base;
#endif
}

InstanceLock::InstanceLock(const QString& programDir, int timeLimitMs) {
    const InstanceDirectory dir = instanceDirectory();
    if (dir.path.isEmpty()) {
        m_problem = dir.problem;
        return;
    }
    const QString file =
        dir.path + QLatin1Char('/') + instanceBaseName(programDir) + QStringLiteral(".lock");
#ifdef Q_OS_UNIX
    // A lock file made by Qt's QLockFile holds a pid and is synced to the disk (milliseconds
    // of the start on a disk); the system's lock on the open file needs neither.
    m_file = QFile::encodeName(file);
    const QDeadlineTimer deadline(std::max(timeLimitMs, 0));
    while (m_fd < 0) {
        m_fd = ::open(m_file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_problem = QStringLiteral("%1 cannot be opened: %2")
                            .arg(file, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        for (;;) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                break;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                // A holder that does not let go in time, or a file system without such
                // locks: the start goes on without the lock, as before there was one.
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(
                std::min<qint64>(kLockPollMs, std::max<qint64>(deadline.remainingTime(), 1))));
        }
        // The holder removes the file before it lets go: a lock on a file no longer at the
        // path would be a second lock beside the next start's. Then the path is opened again.
        struct stat held {};
        struct stat named {};
        if (::fstat(m_fd, &held) != 0 || ::stat(m_file.constData(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    m_locked = true;
#else
    m_lock = std::make_unique<QLockFile>(file);
    m_lock->tryLock(timeLimitMs);
#endif
}

InstanceLock::~InstanceLock() {
    unlock();
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        ::close(m_fd);
    }
#endif
}

bool InstanceLock::isLocked() const {
#ifdef Q_OS_UNIX
    return m_locked;
#else
    return m_lock && m_lock->isLocked();
#endif
}

void InstanceLock::unlock() {
#ifdef Q_OS_UNIX
    if (m_locked) {
        // Removed while still held, so no start locks it any more (see the constructor), and
        // nothing is left behind once no one runs.
        ::unlink(m_file.constData());
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
        m_locked = false;
    }
#else
    if (m_lock) {
        m_lock->unlock();
    }
#endif
}

CommandResult InstanceServer::answer(const QStringList& arguments) const {
    qsizetype bytes = 0;
    for (const QString& argument : arguments) {
        bytes += argument.toUtf8().size();
    }
    if (bytes > kMaxInstanceMessageBytes) {
        return {kExitNotUnderstood, QStringLiteral("The request is too long.")};
    }
    const std::variant<CommandLine, QString> request = handedOverCommand(arguments);
    if (const auto* problem = std::get_if<QString>(&request)) {
        return {kExitNotUnderstood, *problem};
    }
    if (!m_handler) {
        return failure(QStringLiteral("The running Zorvane is still starting; try again."));
    }
    return m_handler(std::get<CommandLine>(request));
}

#ifndef Q_OS_WIN
namespace {

// The reply of the instance on `connection`, or nullopt when nobody listens there.
std::optional<CommandResult> askOver(QDBusConnection connection, const QStringList& arguments,
                                     int timeLimitMs) {
    if (!connection.isConnected()) {
        // No socket, or one a crashed instance left (it refuses): nobody runs. Anything
        // else means an instance is there but cannot be reached.
        const QDBusError error = connection.lastError();
        if (error.name() == QLatin1String("org.freedesktop.DBus.Error.FileNotFound") ||
            error.name() == QLatin1String("org.freedesktop.DBus.Error.NoServer")) {
            return std::nullopt;
        }
        return failure(
            QStringLiteral("The running Zorvane cannot be reached: %1").arg(error.message()));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString(), QStringLiteral("/"), QLatin1String(kInstanceInterface), QStringLiteral("Run"));
    call << arguments;
    // Blocks on QtDBus's own thread, so no event loop of ours has to run; the time covers
    // the authentication too.
    const QDBusMessage reply = connection.call(call, QDBus::Block, timeLimitMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("is")) {
        return failure(QStringLiteral("The running Zorvane did not answer."));
    }
    return replied(reply.arguments().at(0).toInt(), reply.arguments().at(1).toString());
}

} // namespace

std::optional<CommandResult> askRunningInstance(const QString& serverName,
                                                const QStringList& arguments, int timeLimitMs) {
    // Without a socket nobody runs, and QtDBus need not start its thread.
    if (serverName.isEmpty() || !QFileInfo::exists(serverName)) {
        return std::nullopt;
    }
    // A connection of our own, not the session bus: a shell without one (ssh, cron) works.
    const QString name = uniqueClientName();
    std::optional<CommandResult> result = askOver(
        QDBusConnection::connectToPeer(dbusAddress(serverName), name), arguments, timeLimitMs);
    QDBusConnection::disconnectFromPeer(name);
    return result;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString& serverName) {
    // libdbus replaces a socket file already at the path (left by a crashed instance: the
    // caller holds the InstanceLock and found nobody listening), never a file of another
    // kind. The socket file goes when the server does.
    m_server = std::make_unique<QDBusServer>(dbusAddress(serverName));
    if (!m_server->isConnected()) {
        m_error = m_server->lastError().message();
        if (m_error.isEmpty()) {
            m_error = QStringLiteral("Cannot listen on %1").arg(serverName);
        }
        m_server.reset();
        return false;
    }
    // libdbus authenticates each client before it passes on any message and then lets in
    // only our own user id (and root, who may open any socket anyway): EXTERNAL takes the
    // id the kernel reports for the socket's other end, DBUS_COOKIE_SHA1 a secret in the
    // user's home. Only ANONYMOUS would let any local user in; it stays refused.
    m_server->setAnonymousAuthenticationAllowed(false);
    // Not needed for that, but other users need not even open the socket (libdbus makes it
    // writable for all; in the temporary directory anyone could reach it).
    QFile::setPermissions(serverName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    connect(m_server.get(), &QDBusServer::newConnection, this, &InstanceServer::onNewConnection);
    return true;
}

QString InstanceServer::errorString() const {
    return m_error;
}

void InstanceServer::onNewConnection(const QDBusConnection& connection) {
    // QtDBus passes on the connection's messages only once this has returned, so the
    // object is there before the first call.
    auto* peer = new InstancePeer(*this, connection.name(), this);
    QDBusConnection(connection)
        .registerObject(QStringLiteral("/"), peer, QDBusConnection::ExportScriptableSlots);
}
#else
std::optional<CommandResult> askRunningInstance(const QString& serverName,
                                                const QStringList& arguments, int timeLimitMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeLimitMs)) {
        // No socket, or one a crashed instance left: nobody runs. Anything else means an
        // instance is there but cannot be reached.
        if (socket.error() == QLocalSocket::ServerNotFoundError ||
            socket.error() == QLocalSocket::ConnectionRefusedError) {
            return std::nullopt;
        }
        return failure(
            QStringLiteral("The running Zorvane cannot be reached: %1").arg(socket.errorString()));
    }
    socket.write(jsonLine({{QStringLiteral("v"), kProtocolVersion},
                           {QStringLiteral("args"), QJsonArray::fromStringList(arguments)}}));
    const QDeadlineTimer deadline(timeLimitMs);
    QByteArray buffer;
    while (!buffer.contains('\n') && buffer.size() <= kMaxInstanceMessageBytes) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        buffer += socket.read(kMaxInstanceMessageBytes + 1 - buffer.size());
    }
    const qsizetype end = buffer.indexOf('\n');
    const QJsonDocument document =
        end < 0 ? QJsonDocument() : QJsonDocument::fromJson(buffer.left(end));
    const QJsonObject reply = document.object();
    const QJsonValue code = reply.value(QStringLiteral("code"));
    const QJsonValue text = reply.value(QStringLiteral("text"));
    if (!code.isDouble() || !text.isString()) {
        return failure(QStringLiteral("The running Zorvane did not answer."));
    }
    return replied(code.toInt(kExitFailed), text.toString());
}

InstanceServer::InstanceServer(QObject* parent)
    : QObject(parent), m_server(std::make_unique<QLocalServer>()) {
    // Only this user may connect.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &InstanceServer::onNewConnection);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString& serverName) {
    if (m_server->listen(serverName)) {
        return true;
    }
    if (m_server->serverError() != QAbstractSocket::AddressInUseError) {
        return false;
    }
    QLocalServer::removeServer(serverName);
    return m_server->listen(serverName);
}

QString InstanceServer::errorString() const {
    return m_server->errorString();
}

void InstanceServer::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // A client that sends nothing, or never finishes its line, is dropped.
        QTimer::singleShot(m_timeLimitMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void InstanceServer::onReadyRead(QLocalSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property("request").toByteArray();
    while (socket->bytesAvailable() > 0 && !buffer.contains('\n') &&
           buffer.size() <= kMaxInstanceMessageBytes) {
        buffer += socket->read(kMaxInstanceMessageBytes + 1 - buffer.size());
    }
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() > kMaxInstanceMessageBytes) {
            reply(socket, {kExitNotUnderstood, QStringLiteral("The request is too long.")});
        } else {
            socket->setProperty("request", buffer);
        }
        return;
    }
    const std::variant<QStringList, QString> request = readRequest(buffer.left(end));
    if (const auto* problem = std::get_if<QString>(&request)) {
        reply(socket, {kExitNotUnderstood, *problem});
    } else {
        reply(socket, answer(std::get<QStringList>(request)));
    }
}

void InstanceServer::reply(QLocalSocket* socket, const CommandResult& result) {
    socket->setProperty("answered", true);
    socket->setProperty("request", QVariant());
    socket->write(jsonLine(
        {{QStringLiteral("code"), result.exitCode}, {QStringLiteral("text"), result.text}}));
    // Closes once the reply is written.
    socket->disconnectFromServer();
}

#endif

} // namespace zorvane::app

#ifndef Q_OS_WIN
#include "singleinstance.moc"
#endif
