#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <utility>
#include <variant>

namespace zorvane::app {
namespace {

constexpr int kProtocolVersion = 1;
// A socket path longer than this does not fit a Unix socket address.
constexpr qsizetype kLongestSocketPath = 100;

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

// The user's own runtime directory (only the user can reach it), else the temporary
// directory. /run/user/<uid> is taken by name before $XDG_RUNTIME_DIR (which names it in
// a desktop session), so a command from a shell without that variable (ssh, cron) still
// finds the instance the desktop started.
QString runtimeDirectory() {
#ifdef Q_OS_UNIX
    const QFileInfo standard(QStringLiteral("/run/user/%1").arg(::getuid()));
    if (standard.isDir() && standard.ownerId() == ::getuid()) {
        return standard.filePath();
    }
#endif
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !dir.isEmpty() && QFileInfo(dir).isDir() ? QDir::cleanPath(dir) : QString();
}

QByteArray jsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

CommandResult failure(const QString& text) {
    return {kExitFailed, text};
}

// The request line's command line, or what is wrong with it.
std::variant<CommandLine, QString> readRequest(const QByteArray& line) {
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
    QStringList arguments{QStringLiteral("zorvane")};
    for (const QJsonValue& arg : args.toArray()) {
        if (!arg.isString()) {
            return QStringLiteral("The request is not understood.");
        }
        arguments << arg.toString();
    }
    CommandLine command = parseCommandLine(arguments);
    const bool raise = command.action == CommandLine::Action::OpenWindow && arguments.size() == 1;
    if (raise || command.action == CommandLine::Action::Kill ||
        command.action == CommandLine::Action::List) {
        return command;
    }
    return command.action == CommandLine::Action::Error
               ? command.text
               : QStringLiteral("The running Zorvane takes only --kill and --list.");
}

} // namespace

QString instanceServerName(const QString& programDir) {
    const QString base = instanceBaseName(programDir);
#ifdef Q_OS_UNIX
    const QString runtime = runtimeDirectory();
    if (!runtime.isEmpty() && runtime.size() + base.size() + 1 <= kLongestSocketPath) {
        return runtime + QLatin1Char('/') + base;
    }
#endif
    return base;
}

InstanceLock::InstanceLock(const QString& programDir) {
    QString dir = runtimeDirectory();
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    m_lock = std::make_unique<QLockFile>(dir + QLatin1Char('/') + instanceBaseName(programDir) +
                                         QStringLiteral(".lock"));
    m_lock->tryLock(kInstanceTimeoutMs);
}

void InstanceLock::unlock() {
    if (m_lock) {
        m_lock->unlock();
    }
}

std::optional<CommandResult> askRunningInstance(const QString& serverName,
                                                const QStringList& arguments) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kInstanceTimeoutMs)) {
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
    const QDeadlineTimer deadline(kInstanceTimeoutMs);
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
    const int exitCode = code.toInt(kExitFailed);
    return CommandResult{exitCode >= kExitDone && exitCode <= kExitNotUnderstood ? exitCode
                                                                                 : kExitFailed,
                         text.toString()};
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
        QTimer::singleShot(kInstanceTimeoutMs, socket, [socket] {
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
    const std::variant<CommandLine, QString> request = readRequest(buffer.left(end));
    if (const auto* problem = std::get_if<QString>(&request)) {
        reply(socket, {kExitNotUnderstood, *problem});
    } else if (!m_handler) {
        reply(socket, failure(QStringLiteral("The running Zorvane is still starting; try again.")));
    } else {
        reply(socket, m_handler(std::get<CommandLine>(request)));
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

} // namespace zorvane::app
