#include "app/singleinstance.h"
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "schedule/clock.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>

using namespace zorvane;
using app::CommandResult;

namespace {

// Sends raw bytes to a server in this process and returns its reply line as JSON.
QJsonObject exchange(const QString& serverName, const QByteArray& bytes) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(2000)) {
        return {{"connect", socket.errorString()}};
    }
    socket.write(bytes);
    QByteArray reply;
    (void)QTest::qWaitFor(
        [&] {
            reply += socket.readAll();
            return reply.contains('\n') || socket.state() == QLocalSocket::UnconnectedState;
        },
        app::kInstanceTimeoutMs + 1000);
    return QJsonDocument::fromJson(reply.left(reply.indexOf('\n'))).object();
}

QByteArray request(const QStringList& args) {
    return QJsonDocument(QJsonObject{{"v", 1}, {"args", QJsonArray::fromStringList(args)}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

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
        QFile ini(m_dir.filePath("config.ini"));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(QByteArray("\xEF\xBB\xBF") + table);
        }
    }
    QString dir() const { return m_dir.path(); }
    QString program() const { return m_dir.filePath("zorvane"); }
    QString serverName() const { return app::instanceServerName(dir()); }

    Run run(const QStringList& args) const {
        QProcess process;
        process.start(program(), args);
        Run result;
        if (process.waitForFinished(20000)) {
            result.exitCode = process.exitCode();
        }
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
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

    void badRequestsAreRefusedAndTheServerGoesOn_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("textPart");
        QTest::newRow("not JSON") << QByteArray("hello\n") << "not understood";
        QTest::newRow("not an object") << QByteArray("[1,2]\n") << "not understood";
        QTest::newRow("bad UTF-8") << QByteArray("\xff\xfe{\n") << "not understood";
        QTest::newRow("NUL inside")
            << QByteArray("{\"v\":1,\0\"args\":[]}\n", 20) << "not understood";
        QTest::newRow("other version") << QByteArray("{\"v\":2,\"args\":[]}\n") << "version";
        QTest::newRow("arguments not texts")
            << QByteArray("{\"v\":1,\"args\":[\"--kill\",5]}\n") << "not understood";
        QTest::newRow("import is not handed over") << request({"--import", "/x"}) << "only";
        QTest::newRow("stray argument") << request({"bogus"}) << "only";
        QTest::newRow("bad minutes") << request({"--kill", "a", "x"}) << "'x'";
        QTest::newRow("endless line")
            << QByteArray(app::kMaxInstanceMessageBytes + 100, 'a') << "too long";
    }

    void badRequestsAreRefusedAndTheServerGoesOn() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, textPart);
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        app::InstanceServer server;
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        QList<app::CommandLine> handled;
        server.setHandler([&](const app::CommandLine& command) {
            handled << command;
            return CommandResult{0, "listed"};
        });
        const QJsonObject refused = exchange(name, bytes);
        QCOMPARE(refused.value("code").toInt(-1), 2);
        QVERIFY2(refused.value("text").toString().contains(textPart),
                 qPrintable(QJsonDocument(refused).toJson()));
        QVERIFY(handled.isEmpty());

        const QJsonObject listed = exchange(name, request({"--list"}));
        QCOMPARE(listed.value("text").toString(), QStringLiteral("listed"));
        QCOMPARE(handled.size(), 1);
        QCOMPARE(handled.front().action, app::CommandLine::Action::List);
    }

    void aSocketLeftByACrashIsReplaced() {
        QTemporaryDir dir;
        const QString name = app::instanceServerName(dir.path());
        QVERIFY(QDir::isAbsolutePath(name));
        // A bound socket whose process is gone: the file stays, nobody accepts.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, name.toLocal8Bit().constData(),
                     sizeof(address.sun_path) - 1);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFile::exists(name));

        QVERIFY(!app::askRunningInstance(name, {"--list"}));
        app::InstanceServer server;
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        server.setHandler([](const app::CommandLine&) { return CommandResult{0, "here"}; });
        QCOMPARE(exchange(name, request({})).value("text").toString(), QStringLiteral("here"));
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

private:
    QTemporaryDir m_runtime;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
