#include "cli/singleinstance.h"
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "schedule/clock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

using namespace zorvane;
using app::CommandResult;

namespace {

// Runs `work` on a thread of its own while this thread's event loop goes on, so a server
// in this process can answer a blocking call.
template <class Work> auto whileServing(Work work) {
    std::future<decltype(work())> result = std::async(std::launch::async, std::move(work));
    (void)QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        3 * app::kInstanceTimeoutMs);
    return result.get();
}

QString uniqueConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("test-client-%1").arg(++counter);
}

// Calls `member` of the instance interface on the server at `socketPath` with any
// arguments, as a client other than askRunningInstance might.
QDBusMessage rawCall(const QString& socketPath, const QString& member,
                     const QVariantList& arguments) {
    return whileServing([=] {
        const QString name = uniqueConnectionName();
        QDBusMessage reply;
        {
            QDBusConnection connection =
                QDBusConnection::connectToPeer(QStringLiteral("unix:path=") + socketPath, name);
            QDBusMessage call = QDBusMessage::createMethodCall(
                QString(), QStringLiteral("/"), QLatin1String(app::kInstanceInterface), member);
            call.setArguments(arguments);
            reply = connection.call(call, QDBus::Block, app::kInstanceTimeoutMs);
        }
        QDBusConnection::disconnectFromPeer(name);
        return reply;
    });
}

std::optional<CommandResult> ask(const QString& socketPath, const QStringList& arguments,
                                 int timeLimitMs = app::kInstanceTimeoutMs) {
    return whileServing(
        [=] { return app::askRunningInstance(socketPath, arguments, timeLimitMs); });
}

// The time limit the tests give a server in place of kInstanceTimeoutMs, so that they do
// not wait seconds for a client to be dropped.
constexpr int kShortLimitMs = 1000;

// A Unix socket bound at `path`; listening but never accepting when `listening`, else
// closed at once as a crashed process leaves it. -1 when that fails.
int bindSocket(const QString& path, bool listening) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof(address.sun_path) - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        (listening && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return -1;
    }
    if (!listening) {
        ::close(fd);
        return 0;
    }
    return fd;
}

// A raw connection to the socket at `path` that never says a word; -1 when it fails.
int connectSilently(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the other end has closed `fd` (whatever it sent before is read and ignored).
bool closedByPeer(int fd) {
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, 0) > 0) {
        char buffer[256];
        if (::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT) <= 0) {
            return true;
        }
    }
    return false;
}

// An instance that answers Run in a shape of its own.
class OtherShapeInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.zorvane.Zorvane.Instance")
public slots:
    Q_SCRIPTABLE QString Run(const QStringList&) { return QStringLiteral("done"); }
};

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// A portable copy of the built program in a directory of its own, with a table.
class Copy {
public:
    explicit Copy(const char* table) : m_dir(QStringLiteral(ZORVANE_TEST_TEMP "/copy-XXXXXX")) {
        const QByteArray exe = program().toLocal8Bit();
        // A hard link: the program directory is the link's, as with a copied program.
        if (::link(ZORVANE_BINARY, exe.constData()) != 0) {
            QFile::copy(QStringLiteral(ZORVANE_BINARY), program());
        }
        writeTable(table);
    }
    QString dir() const { return m_dir.path(); }
    QString program() const { return m_dir.filePath("zorvane"); }
    QString serverName() const { return app::instanceServerName(dir()); }

    Run
    run(const QStringList& args,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) const {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program(), args);
        Run result;
        if (process.waitForFinished(20000)) {
            result.exitCode = process.exitCode();
        }
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    void writeTable(const char* table) const {
        QFile ini(m_dir.filePath("config.ini"));
        if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            ini.write(QByteArray("\xEF\xBB\xBF") + table);
        }
    }
    // Starts the window and waits until it answers over its socket.
    bool start(QProcess& window) const {
        window.start(program(), {});
        return QTest::qWaitFor(
            [&] {
                const auto reply = app::askRunningInstance(serverName(), {"--list"});
                return reply && reply->exitCode == 0;
            },
            20000);
    }
    std::optional<schedule::BossRow> row(int index) const {
        schedule::BossTable table;
        config::loadTable(table, dir().toStdString());
        return table.row(table.rowId(index));
    }

private:
    QTemporaryDir m_dir;
};

constexpr const char* kTableA = "[序号]\n1=1\n2=2\n[BOSS事件]\n1=Dragon\n2=Hydra\n"
                                "[周期]\n1=30\n2=60\n[上次时间]\n1=\n2=\n[下次时间]\n1=\n2=\n";
constexpr const char* kTableB = "[序号]\n1=1\n[BOSS事件]\n1=Egg\n[周期]\n1=45\n";
// Two checked rows and one not checked.
constexpr const char* kTableC = "[序号]\n1=1\n2=2\n3=3\n[使用]\n1=真\n2=真\n3=假\n"
                                "[BOSS事件]\n1=火龙\n2=Dragon\n3=Egg\n[周期]\n1=30\n2=60\n3=45\n";

schedule::UtcSeconds nowUtc() {
    return schedule::toUtc(schedule::SystemClock().now());
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Sockets and locks live in a runtime directory of the test's own unless the
        // machine has /run/user/<uid>.
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", "/dev/null");
    }

    void requestsAreAnsweredOrRefusedAndTheServerGoesOn_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<bool>("handlerSet");
        QTest::addColumn<int>("code"); // -1: a D-Bus error named by `expected`
        QTest::addColumn<QString>("expected");
        const auto run = [](const QStringList& args) { return QVariantList{args}; };
        const qsizetype limit = app::kMaxInstanceMessageBytes;
        const QString unknown = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");

        QTest::newRow("raise") << "Run" << run({}) << true << 0 << "raise";
        QTest::newRow("list") << "Run" << run({"--list"}) << true << 0 << "list";
        QTest::newRow("kill") << "Run" << run({"--kill", "Dragon", "5"}) << true << 0
                              << "kill Dragon 5";
        QTest::newRow("exactly at the limit")
            << "Run" << run({"--kill", QString(limit - 6, 'a')}) << true << 0 << "kill aaaaaa 0";
        QTest::newRow("unknown method") << "Quit" << run({"--list"}) << true << -1 << unknown;
        QTest::newRow("arguments not texts")
            << "Run" << QVariantList{QVariant::fromValue(QList<int>{1, 2})} << true << -1
            << unknown;
        QTest::newRow("one text, not a list")
            << "Run" << QVariantList{QStringLiteral("--list")} << true << -1 << unknown;
        QTest::newRow("two lists")
            << "Run" << QVariantList{QStringList{"--list"}, QStringList{}} << true << -1 << unknown;
        QTest::newRow("no arguments at all") << "Run" << QVariantList{} << true << -1 << unknown;
        QTest::newRow("import is not handed over")
            << "Run" << run({"--import", "/x"}) << true << 2 << "only";
        QTest::newRow("stray argument") << "Run" << run({"bogus"}) << true << 2 << "'bogus'";
        QTest::newRow("room is not handed over")
            << "Run" << run({"--room", "none"}) << true << 2 << "only";
        QTest::newRow("bad minutes") << "Run" << run({"--kill", "a", "x"}) << true << 2 << "'x'";
        QTest::newRow("one argument too long")
            << "Run" << run({"--kill", QString(limit + 100, 'a')}) << true << 2 << "too long";
        QTest::newRow("too long together")
            << "Run" << run({"--kill", QString(limit / 2, 'a'), QString(limit / 2, 'b')}) << true
            << 2 << "too long";
        QTest::newRow("counted in UTF-8 bytes")
            << "Run" << run({"--kill", QString(limit / 2, QChar(0x9F8D))}) << true << 2
            << "too long";
        QTest::newRow("no handler yet") << "Run" << run({"--list"}) << false << 1 << "starting";
    }

    void requestsAreAnsweredOrRefusedAndTheServerGoesOn() {
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(bool, handlerSet);
        QFETCH(int, code);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        app::InstanceServer server;
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        QStringList handled;
        const auto handler = [&](const app::CommandLine& command) {
            QString text;
            switch (command.action) {
            case app::CommandLine::Action::Kill:
                text = QStringLiteral("kill %1 %2")
                           .arg(command.killName.left(6))
                           .arg(command.minutesAgo);
                break;
            case app::CommandLine::Action::List:
                text = QStringLiteral("list");
                break;
            default:
                text = QStringLiteral("raise");
            }
            handled << text;
            return CommandResult{0, text};
        };
        if (handlerSet) {
            server.setHandler(handler);
        }

        const QDBusMessage reply = rawCall(name, member, arguments);
        if (code < 0) {
            QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
            QCOMPARE(reply.errorName(), expected);
        } else {
            QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
            QCOMPARE(reply.signature(), QStringLiteral("is"));
            QCOMPARE(reply.arguments().at(0).toInt(), code);
            const QString text = reply.arguments().at(1).toString();
            QVERIFY2(code == 0 ? text == expected : text.contains(expected), qPrintable(text));
        }
        QCOMPARE(handled.size(), code == 0 ? 1 : 0);

        // The server goes on, for this client and the next.
        server.setHandler(handler);
        const std::optional<CommandResult> listed = ask(name, {"--list"});
        QVERIFY(listed);
        QCOMPARE(listed->exitCode, 0);
        QCOMPARE(listed->text, QStringLiteral("list"));
    }

    // A client that connects and never calls Run is dropped after the time limit; others
    // are served meanwhile.
    void idleClientsAreDroppedWhileOthersAreServed_data() {
        QTest::addColumn<bool>("authenticates");
        QTest::newRow("raw socket, never authenticates") << false;
        QTest::newRow("D-Bus client, never calls") << true;
    }

    void idleClientsAreDroppedWhileOthersAreServed() {
        QFETCH(bool, authenticates);
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        app::InstanceServer server;
        server.setTimeLimit(kShortLimitMs);
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        server.setHandler([](const app::CommandLine&) { return CommandResult{0, "listed"}; });

        const QString connectionName = uniqueConnectionName();
        int fd = -1;
        std::function<bool()> dropped;
        if (authenticates) {
            const QDBusConnection idle =
                QDBusConnection::connectToPeer(QStringLiteral("unix:path=") + name, connectionName);
            QVERIFY2(idle.isConnected(), qPrintable(idle.lastError().message()));
            dropped = [connectionName] { return !QDBusConnection(connectionName).isConnected(); };
        } else {
            fd = connectSilently(name);
            QVERIFY(fd >= 0);
            dropped = [fd] { return closedByPeer(fd); };
        }
        QElapsedTimer since;
        since.start();

        for (int i = 0; i < 3; ++i) {
            const std::optional<CommandResult> listed = ask(name, {"--list"});
            QVERIFY(listed);
            QCOMPARE(listed->text, QStringLiteral("listed"));
        }
        // Still connected while inside the limit (a machine too busy to get here in time
        // cannot tell).
        if (since.elapsed() < kShortLimitMs * 9 / 10) {
            QVERIFY(!dropped());
        }
        QVERIFY(QTest::qWaitFor(dropped, 10 * kShortLimitMs));
        // Timers may fire a little early, never much.
        QVERIFY2(since.elapsed() >= kShortLimitMs * 9 / 10,
                 qPrintable(QString::number(since.elapsed())));
        QCOMPARE(ask(name, {"--list"})->text, QStringLiteral("listed"));
        QDBusConnection::disconnectFromPeer(connectionName);
        if (fd >= 0) {
            ::close(fd);
        }
    }

    // A window that takes longer than the time limit (in an event loop of its own) is not
    // pulled away under its answer; the late client is told, and the server goes on.
    void aSlowAnswerOutlivesTheTimeLimit() {
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        app::InstanceServer server;
        server.setTimeLimit(kShortLimitMs / 4);
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        int answered = 0;
        server.setHandler([&](const app::CommandLine& command) {
            if (command.action == app::CommandLine::Action::Kill) {
                QTest::qWait(kShortLimitMs);
            }
            ++answered;
            return CommandResult{0, "done"};
        });
        const std::optional<CommandResult> slow =
            ask(name, {"--kill", "Dragon"}, kShortLimitMs / 4);
        QVERIFY(slow);
        QCOMPARE(slow->exitCode, 1);
        QVERIFY2(slow->text.contains("did not answer."), qPrintable(slow->text));
        QTRY_COMPARE(answered, 1);
        QCOMPARE(ask(name, {"--list"}).value_or(CommandResult{}).text, QStringLiteral("done"));
    }

    // What a start makes of the socket path: nobody there, or somebody who does not answer.
    void askingFindsNobodyOrReportsAFailure_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("code"); // -1: nobody runs
        QTest::addColumn<QString>("textPart");
        QTest::newRow("no socket") << "none" << -1 << "";
        QTest::newRow("socket left by a crash") << "stale" << -1 << "";
        QTest::newRow("a file of another kind") << "file" << -1 << "";
        QTest::newRow("listens but never accepts") << "hung" << 1 << "did not answer.";
        QTest::newRow("answers in another shape") << "other" << 1 << "did not answer.";
        QTest::newRow("a path too long for a socket") << "long" << 1 << "cannot be reached: ";
    }

    void askingFindsNobodyOrReportsAFailure() {
        QFETCH(QString, what);
        QFETCH(int, code);
        QFETCH(QString, textPart);
        QTemporaryDir dir;
        QString name = app::instanceServerName(dir.path());
        int fd = -1;
        OtherShapeInstance other;
        std::unique_ptr<QDBusServer> otherServer;
        if (what == "stale") {
            QCOMPARE(bindSocket(name, false), 0);
        } else if (what == "file") {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (what == "hung") {
            fd = bindSocket(name, true);
            QVERIFY(fd >= 0);
        } else if (what == "other") {
            otherServer = std::make_unique<QDBusServer>(QStringLiteral("unix:path=") + name);
            QVERIFY(otherServer->isConnected());
            connect(otherServer.get(), &QDBusServer::newConnection, this,
                    [&other](QDBusConnection connection) {
                        connection.registerObject("/", &other,
                                                  QDBusConnection::ExportScriptableSlots);
                    });
        } else if (what == "long") {
            // There is a file, but no socket address can name it.
            name = dir.filePath(QString(120, 'x'));
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        const std::optional<CommandResult> reply = ask(name, {"--list"}, kShortLimitMs);
        if (code < 0) {
            QVERIFY2(!reply, qPrintable(reply ? reply->text : QString()));
        } else {
            QVERIFY(reply);
            QCOMPARE(reply->exitCode, code);
            QVERIFY2(reply->text.startsWith("The running Zorvane ") &&
                         reply->text.contains(textPart),
                     qPrintable(reply->text));
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    void aSocketLeftByACrashIsReplaced() {
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        QVERIFY(QDir::isAbsolutePath(name));
        // A bound socket whose process is gone: the file stays, nobody accepts.
        QCOMPARE(bindSocket(name, false), 0);
        QVERIFY(QFile::exists(name));

        QVERIFY(!ask(name, {"--list"}));
        {
            app::InstanceServer server;
            QVERIFY2(server.listen(name), qPrintable(server.errorString()));
            // Only the user may even open the socket.
            QCOMPARE(QFileInfo(name).permissions() & (QFile::ReadGroup | QFile::WriteGroup |
                                                      QFile::ReadOther | QFile::WriteOther),
                     QFile::Permissions());
            server.setHandler([](const app::CommandLine&) { return CommandResult{0, "here"}; });
            QCOMPARE(ask(name, {}).value_or(CommandResult{}).text, QStringLiteral("here"));
        }
        // A server that ends in order takes its socket along (on QtDBus's thread).
        QTRY_VERIFY(!QFile::exists(name));
    }

    // Where listening fails, the reason is told, and no file that is not a socket is lost.
    void listenFailsWithItsReason_data() {
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<QString>("textPart");
        QTest::newRow("no such directory") << false << "No such file or directory";
        QTest::newRow("a file of another kind at the path") << true << "Address already in use";
    }

    void listenFailsWithItsReason() {
        QFETCH(bool, fileThere);
        QFETCH(QString, textPart);
        QTemporaryDir dir;
        QString name = app::instanceServerName(dir.path());
        if (fileThere) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me");
        } else {
            name = dir.filePath("gone/socket");
        }
        app::InstanceServer server;
        QVERIFY(!server.listen(name));
        QVERIFY2(server.errorString().contains(name) && server.errorString().contains(textPart),
                 qPrintable(server.errorString()));
        if (fileThere) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("keep me"));
        }
    }

    // Without a runtime directory the sockets and locks go to a directory of the user's own
    // in the temporary directory; one planted by somebody else, or left open, is refused.
    void theTemporaryFallbackIsPrivateOrRefused_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("problem"); // empty: used
        QTest::newRow("nothing there yet") << ""
                                           << "";
        QTest::newRow("ours, closed") << "dir 0700"
                                      << "";
        QTest::newRow("ours, open to others") << "dir 0777"
                                              << "others may enter it (mode 0777)";
        QTest::newRow("ours, readable by the group") << "dir 0750"
                                                     << "(mode 0750)";
        QTest::newRow("another user's") << "owned 0700"
                                        << "it belongs to user 4242";
        QTest::newRow("a link to a closed directory") << "link"
                                                      << "it is a symbolic link";
        QTest::newRow("a plain file") << "file"
                                      << "it is not a directory";
    }

    void theTemporaryFallbackIsPrivateOrRefused() {
        QFETCH(QString, planted);
        QFETCH(QString, problem);
        if (QFileInfo(QStringLiteral("/run/user/%1").arg(::getuid())).isDir()) {
            QSKIP("this machine has a runtime directory, which is used instead");
        }
        QTemporaryDir temp;
        const QString dir = temp.filePath(QStringLiteral("zorvane-%1").arg(::getuid()));
        const QByteArray path = QFile::encodeName(dir);
        if (planted.startsWith("dir") || planted.startsWith("owned")) {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QCOMPARE(::chmod(path.constData(), planted.section(' ', 1).toUInt(nullptr, 8)), 0);
            if (planted.startsWith("owned")) {
                if (::chown(path.constData(), 4242, 4242) != 0) {
                    QSKIP("only root can plant a directory of another user here");
                }
            }
        } else if (planted == "link") {
            QVERIFY(QDir(temp.path()).mkdir("elsewhere"));
            QCOMPARE(::chmod(QFile::encodeName(temp.filePath("elsewhere")).constData(), 0700), 0);
            QVERIFY(QFile::link(temp.filePath("elsewhere"), dir));
        } else if (planted == "file") {
            QFile file(dir);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray tmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        const app::InstanceDirectory found = app::instanceDirectory();
        const QString name = app::instanceServerName(temp.path());
        const app::InstanceLock lock(temp.path());
        const Copy copy(kTableA);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const Run listed = copy.run({"--list"}, environment);
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmp);

        if (problem.isEmpty()) {
            QCOMPARE(found.path, dir);
            QVERIFY(found.problem.isEmpty());
            QCOMPARE(QFileInfo(dir).permissions() &
                         ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser | QFile::ReadOwner |
                           QFile::WriteOwner | QFile::ExeOwner),
                     QFile::Permissions());
            QVERIFY(name.startsWith(dir + "/zorvane-"));
            QVERIFY(lock.isLocked());
            QCOMPARE(listed.exitCode, 0);
        } else {
            QVERIFY(found.path.isEmpty());
            QVERIFY2(found.problem.startsWith(dir + " is not safe to use: ") &&
                         found.problem.contains(problem),
                     qPrintable(found.problem));
            QVERIFY(name.isEmpty());
            QVERIFY(!lock.isLocked());
            QCOMPARE(lock.problem(), found.problem);
            // A command does not touch the files when it cannot tell whether a window runs.
            QCOMPARE(listed.exitCode, 1);
            QVERIFY2(listed.err.contains("cannot look for a running Zorvane: " + found.problem),
                     qPrintable(listed.err));
            // Nothing was made or changed in the planted place.
            QVERIFY(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        }
    }

    // A runtime directory named by the environment that others may enter is passed over.
    void anOpenRuntimeDirectoryIsNotUsed() {
        if (QFileInfo(QStringLiteral("/run/user/%1").arg(::getuid())).isDir()) {
            QSKIP("this machine has a runtime directory, which is used instead");
        }
        QTemporaryDir open;
        QTemporaryDir temp;
        QCOMPARE(::chmod(QFile::encodeName(open.path()).constData(), 0777), 0);
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("XDG_RUNTIME_DIR", open.path().toLocal8Bit());
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        const app::InstanceDirectory found = app::instanceDirectory();
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmp);
        QCOMPARE(found.path, temp.filePath(QStringLiteral("zorvane-%1").arg(::getuid())));
    }

    // What a running instance answers is printed to a terminal: no escape sequences or other
    // control characters get through, line breaks and tabs do.
    void controlCharactersOfAReplyAreDropped_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("printed");
        QTest::newRow("plain") << "Dragon\t10:00\nHydra"
                               << "Dragon\t10:00\nHydra";
        QTest::newRow("colour and title escapes")
            << QStringLiteral("\x1b[31mred\x1b]0;title\x07 ") + QChar(0x9B) + QStringLiteral("2J")
            << "[31mred]0;title 2J";
        QTest::newRow("carriage return and delete")
            << QStringLiteral("a\rb\x7f\x08") + QStringLiteral("c") << "abc";
        QTest::newRow("Chinese stays") << "火龙 已记录"
                                       << "火龙 已记录";
    }

    void controlCharactersOfAReplyAreDropped() {
        QFETCH(QString, answer);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        app::InstanceServer server;
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        server.setHandler([&](const app::CommandLine&) { return CommandResult{0, answer}; });
        const std::optional<CommandResult> reply = ask(name, {"--list"});
        QVERIFY(reply);
        QCOMPARE(reply->text, printed);
    }

    // The real program, twice in one directory and once in another.
    void secondStartsHandTheirCommandToTheRunningWindow() {
        const Copy a(kTableA);
        const Copy b(kTableB);
        QVERIFY(a.serverName() != b.serverName());

        // No instance: the files.
        Run listed = b.run({"--list"});
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.out.contains("Egg"), qPrintable(listed.out));

        QProcess windowA;
        QProcess windowB;
        QVERIFY2(a.start(windowA), qPrintable(windowA.readAllStandardError()));
        QVERIFY2(b.start(windowB), qPrintable(windowB.readAllStandardError()));

        const schedule::UtcSeconds before = nowUtc();
        const Run killed = a.run({"--kill", "Dragon", "5"});
        const schedule::UtcSeconds after = nowUtc();
        QCOMPARE(killed.exitCode, 0);
        QVERIFY2(killed.out.startsWith("Recorded a kill of 'Dragon' (row 1) at "),
                 qPrintable(killed.out + killed.err));
        const std::optional<schedule::BossRow> dragon = a.row(1);
        QVERIFY(dragon && dragon->timing.lastUtc);
        QVERIFY(*dragon->timing.lastUtc >= before - 300 && *dragon->timing.lastUtc <= after - 300);
        history::SqliteKillLog history(std::filesystem::path(a.dir().toStdString()) /
                                       "history.sqlite");
        QTRY_COMPARE(history.allKills("Dragon").size(), std::size_t{1});
        QCOMPARE(history.allKills("Dragon").front().source, schedule::KillSource::CommandLine);

        // Each directory has its own instance and table.
        const Run wrongCopy = a.run({"--kill", "Egg"});
        QCOMPARE(wrongCopy.exitCode, 1);
        QVERIFY2(wrongCopy.err.contains("No boss named 'Egg'"), qPrintable(wrongCopy.err));
        QCOMPARE(b.run({"--kill", "Egg"}).exitCode, 0);
        QVERIFY(b.row(1)->timing.lastUtc);

        // Without a command a second start only brings the first forward.
        QCOMPARE(a.run({}).exitCode, 0);
        QCOMPARE(windowA.state(), QProcess::Running);
        listed = a.run({"--list"});
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(
            listed.out.contains(QString::fromStdString(dragon->text[schedule::kNextTimeColumn])),
            qPrintable(listed.out));

        // A crashed instance leaves its socket: commands fall back to the files, and the
        // next start takes the name over.
        windowA.kill();
        QVERIFY(windowA.waitForFinished());
        QVERIFY(QFile::exists(a.serverName()));
        const Run onFiles = a.run({"--kill", "Hydra"});
        QCOMPARE(onFiles.exitCode, 0);
        QVERIFY(a.row(2)->timing.lastUtc);
        QVERIFY2(a.start(windowA), qPrintable(windowA.readAllStandardError()));
        QCOMPARE(a.run({"--kill", "Hydra", "1"}).exitCode, 0);

        windowA.kill();
        windowB.kill();
        windowA.waitForFinished();
        windowB.waitForFinished();
    }

    // One holder at a time; the lock ends with its holder's unlock, its end, or its process,
    // however that ends, and leaves nothing a later start must clean up.
    void theInstanceLockHasOneHolder() {
        QTemporaryDir programDir;
        const QByteArray file =
            QFile::encodeName(app::instanceServerName(programDir.path()) + ".lock");
        const auto takenNow = [&] { return app::InstanceLock(programDir.path(), 0).isLocked(); };
        {
            app::InstanceLock first(programDir.path(), 0);
            QVERIFY(first.isLocked());
            QVERIFY(first.problem().isEmpty());
            QVERIFY(!takenNow());
            // Another program directory has a lock of its own.
            QTemporaryDir other;
            QVERIFY(app::InstanceLock(other.path(), 0).isLocked());
            first.unlock();
            QVERIFY(!first.isLocked());
            QVERIFY(!QFile::exists(QFile::decodeName(file)));
            QVERIFY(takenNow());
        }
        QVERIFY(takenNow());
        QVERIFY(!QFile::exists(QFile::decodeName(file)));

        // A holder killed without a chance to unlock: the system's lock on the file, taken by a
        // child that calls nothing but the system after the fork.
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // As a holder takes it: the file it locked must still be the one at the path (a
            // start meanwhile may have taken and removed it).
            for (;;) {
                const int fd = ::open(file.constData(), O_RDWR | O_CREAT, 0600);
                struct stat held {};
                struct stat named {};
                if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
                    ::_exit(3);
                }
                if (::fstat(fd, &held) == 0 && ::stat(file.constData(), &named) == 0 &&
                    held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
                    break;
                }
                ::close(fd);
            }
            ::pause();
            ::_exit(0);
        }
        auto reap = qScopeGuard([child] {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        });
        QVERIFY(QTest::qWaitFor([&] { return !takenNow(); }, 20000));
        QCOMPARE(::kill(child, SIGKILL), 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QVERIFY(takenNow());
        reap.dismiss();

        // A start waiting on the file while its holder removes it and lets go locks the file
        // at the path afterwards, not the removed one: else it and the next start would both
        // hold a lock.
        const int holder = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
        std::optional<app::InstanceLock> waiting;
        std::thread starter([&] { waiting.emplace(programDir.path(), 20000); });
        // Once the waiting start has the file open too.
        const auto openedTwice = [&] {
            int opened = 0;
            for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList()) {
                opened += fd.symLinkTarget() == QFile::decodeName(file) ? 1 : 0;
            }
            return opened == 2;
        };
        QVERIFY(QTest::qWaitFor(openedTwice, 20000));
        QCOMPARE(::unlink(file.constData()), 0);
        ::close(holder);
        starter.join();
        QVERIFY(waiting->isLocked());
        QVERIFY(QFile::exists(QFile::decodeName(file)));
        QVERIFY(!takenNow());
        waiting.reset();
        QVERIFY(takenNow());
    }

    // Second starts made while the first is still building its window (it holds the lock)
    // wait for it and are answered by it: none fails for a window still starting, and none
    // becomes a window of its own.
    void startsRightAfterTheFirstHandOver() {
        const Copy a(kTableA);
        const auto held = [&] { return !app::InstanceLock(a.dir(), 0).isLocked(); };
        QProcess window;
        window.start(a.program(), {});
        QVERIFY(QTest::qWaitFor(held, 20000));
        const struct {
            QStringList args;
            const char* out;
        } starts[] = {
            {{}, ""},
            {{"--kill", "Dragon", "5"}, "Recorded a kill of 'Dragon' (row 1) at "},
            {{"--list"}, "Dragon"},
        };
        for (const auto& start : starts) {
            const Run run = a.run(start.args);
            QVERIFY2(run.exitCode == 0, qPrintable(start.args.join(' ') + ": " + run.err));
            QVERIFY2(run.out.contains(QString::fromUtf8(start.out)),
                     qPrintable(start.args.join(' ') + ": " + run.out));
            QCOMPARE(window.state(), QProcess::Running);
        }
        QVERIFY(!held());
        history::SqliteKillLog history(std::filesystem::path(a.dir().toStdString()) /
                                       "history.sqlite");
        QTRY_COMPARE(history.allKills("Dragon").size(), std::size_t{1});
        window.kill();
        window.waitForFinished();
    }

    // --say-next has the running window speak the next checked bosses and answers with the
    // words; with no window running it says so and fails.
    void sayNextSpeaksThroughTheRunningWindowOnly() {
        const Copy c(kTableC);
        const Run alone = c.run({"--say-next"});
        QCOMPARE(alone.exitCode, 1);
        QVERIFY2(alone.err.contains("no Zorvane is running") && alone.out.isEmpty(),
                 qPrintable(alone.err));

        QProcess window;
        QVERIFY2(c.start(window), qPrintable(window.readAllStandardError()));
        const Run none = c.run({"--say-next"});
        QCOMPARE(none.exitCode, 0);
        // The terminal's answer is English, as every command's; the speech is the window's.
        QCOMPARE(none.out, QStringLiteral("No checked boss is counting.\n"));

        QCOMPARE(c.run({"--kill", "Dragon", "10"}).exitCode, 0);
        QCOMPARE(c.run({"--kill", "火龙", "5"}).exitCode, 0);
        QCOMPARE(c.run({"--kill", "Egg", "1"}).exitCode, 0);
        // Soonest first, each as an alert says it; the unchecked row is left out.
        const QRegularExpression said(QStringLiteral("^火龙 in 2[45] minutes?( [0-9]+ seconds?)?, "
                                                     "Dragon in [45][09] minutes?( [0-9]+ "
                                                     "seconds?)?\n$"));
        QTRY_VERIFY_WITH_TIMEOUT(said.match(c.run({"--say-next"}).out).hasMatch(), 5000);
        const Run spoken = c.run({"--say-next"});
        QCOMPARE(spoken.exitCode, 0);
        QVERIFY2(!spoken.out.contains("Egg"), qPrintable(spoken.out));
        QCOMPARE(window.state(), QProcess::Running);
        window.kill();
        window.waitForFinished();
    }

    // A command from a shell without the desktop's session bus (ssh, cron) reaches the
    // window as well as one from the desktop: the hand-over needs no bus.
    void commandsReachTheWindowWithOrWithoutASessionBus() {
        const QString bus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY2(!bus.isEmpty(), "run under dbus-run-session");
        const Copy a(kTableA);
        QProcess window;
        QVERIFY2(a.start(window), qPrintable(window.readAllStandardError()));
        // The files now say otherwise: only the window still lists Dragon.
        a.writeTable(kTableB);

        const struct {
            const char* name;
            std::optional<QString> address;
        } shells[] = {
            {"the desktop's session bus", bus},
            {"no session bus", std::nullopt},
            {"a session bus that is gone", "unix:path=/nonexistent/zorvane-no-bus"},
        };
        for (const auto& shell : shells) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            if (shell.address) {
                environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), *shell.address);
            }
            const Run listed = a.run({"--list"}, environment);
            QVERIFY2(listed.exitCode == 0 && listed.out.contains("Dragon") &&
                         !listed.out.contains("Egg"),
                     qPrintable(QString::fromLatin1(shell.name) + ": " + listed.out + listed.err));
            const Run raised = a.run({}, environment);
            QVERIFY2(raised.exitCode == 0, qPrintable(QString::fromLatin1(shell.name)));
        }
        QCOMPARE(window.state(), QProcess::Running);
        window.kill();
        window.waitForFinished();
    }

private:
    QTemporaryDir m_runtime;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
