// The window in a busy room: 49 other members (a process of their own, this program
// started with --senders) send 1,000 kill events a second over 200 bosses for 10 s
// through a real mosquitto broker, and the window (real widgets, offscreen) judges and
// applies them. With argument 2 every member also retracts its previous kill after each
// new one, so a burst of kills, retractions and refusals (far more than a member may send
// a minute) arrives at once, and rows go back as kills are taken back.
// Measures this process's CPU (the window, the room client's network thread, the tick and
// the history writer) and the longest gap of a 1 ms timer on the window thread, which is
// how long the window was blocked at most.

#include "periodic/globals.h"
#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "services/preferences.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "share/killevent.h"
#include "share/roomclient.h"
#include "tests/share/localbroker.h"
#include "widgets/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zorvane;

namespace {

constexpr int kMembers = 50; // the window and 49 senders
constexpr int kBosses = 200;
constexpr int kEventsPerSecond = 1000;
constexpr int kSeconds = 10;
// The senders' kills lie in the last kSpanSeconds and get later with every event; the rows
// start earlier still, with a period that keeps them from falling due during the run.
constexpr std::int64_t kSpanSeconds = 20000;
constexpr int kPeriodMinutes = 600;

std::int64_t firstKill() {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return now - kSpanSeconds;
}

std::string bossName(int index) {
    return "Boss " + std::to_string(index);
}

// CPU seconds (user and system) another process has used so far; -1 when unknown.
double otherProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // The fields after the command name, which ends with the last ')'.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return -1;
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The other members, in a process of their own so that their CPU is not counted. Either
// whole members (room clients that also receive every kill, as in a real room, so the
// broker fans out 50,000 messages a second) or bare publishers (libmosquitto clients that
// only send, so only the window receives).
class Member {
public:
    virtual ~Member() = default;
    virtual bool ready() const = 0;
    virtual void publish(const std::string& boss, std::int64_t killUtc) = 0;
    virtual std::int64_t pending() const = 0;
};

class RoomMember final : public Member, public share::RoomListener {
public:
    RoomMember(int port, int index, bool retracting)
        : m_client(options(port, index), *this), m_retracting(retracting) {
        text::Message error;
        if (!m_client.start(error)) {
            std::cerr << text::defaultText(error) << '\n';
        }
    }
    bool ready() const override { return m_connected; }
    void publish(const std::string& boss, std::int64_t killUtc) override {
        std::string error;
        std::string eventId;
        if (!m_client.publishKill({boss, kPeriodMinutes, 0, killUtc}, error, &eventId)) {
            std::cerr << "not sent: " << error << '\n';
        }
        if (m_retracting && !m_previous.empty()) {
            text::Message reason;
            if (!m_client.retractKill(m_previous, reason)) {
                std::cerr << "not retracted: " << text::defaultText(reason) << '\n';
            }
        }
        m_previous = eventId;
    }
    std::int64_t pending() const override {
        return static_cast<std::int64_t>(m_client.pendingCount());
    }

    void roomStateChanged(share::RoomState state, const text::Message&) override {
        m_connected = state == share::RoomState::Connected;
    }
    void remoteKill(const share::KillEvent&, bool) override {}
    void messageDropped(share::DropReason, const std::string&) override {}
    void clockSkew(const share::MemberSkew&) override {}

private:
    static share::RoomOptions options(int port, int index) {
        share::RoomOptions options;
        options.link.host = "127.0.0.1";
        options.link.port = port;
        options.link.room = "bench";
        options.nickname = "member" + std::to_string(index);
        // A load far beyond what members may send a minute: nothing held back.
        options.rules.killsPerMinute = std::numeric_limits<int>::max();
        return options;
    }
    std::atomic<bool> m_connected{false};
    share::RoomClient m_client;
    bool m_retracting = false;
    std::string m_previous; // the event id of this member's previous kill
};

class Publisher final : public Member {
public:
    Publisher(int port, int index)
        : m_mosq(mosquitto_new(nullptr, true, this)), m_nickname("member" + std::to_string(index)),
          m_senderId(share::randomId()) {
        mosquitto_connect_callback_set(m_mosq, [](mosquitto*, void* self, int rc) {
            static_cast<Publisher*>(self)->m_connected = rc == 0;
        });
        mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int) {
            ++static_cast<Publisher*>(self)->m_acknowledged;
        });
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS ||
            mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
            std::cerr << "a publisher could not connect\n";
        }
    }
    ~Publisher() override {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    bool ready() const override { return m_connected; }
    void publish(const std::string& boss, std::int64_t killUtc) override {
        const share::KillEvent event{boss,
                                     kPeriodMinutes,
                                     0,
                                     killUtc,
                                     m_nickname,
                                     m_senderId,
                                     std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count(),
                                     share::randomId()};
        const std::string payload = share::encodeKillEvent(event);
        const std::string topic = share::bossTopic("bench", boss);
        if (mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, true) == MOSQ_ERR_SUCCESS) {
            ++m_sent;
        }
    }
    std::int64_t pending() const override { return m_sent - m_acknowledged.load(); }

private:
    mosquitto* m_mosq;
    std::string m_nickname;
    std::string m_senderId;
    std::atomic<bool> m_connected{false};
    std::atomic<std::int64_t> m_acknowledged{0};
    std::int64_t m_sent = 0;
};

// mode 0: bare publishers; 1: room members; 2: room members that also retract.
int runSenders(int port, std::int64_t first, int mode) {
    std::vector<std::unique_ptr<Member>> members;
    for (int i = 1; i < kMembers; ++i) {
        if (mode > 0) {
            members.push_back(std::make_unique<RoomMember>(port, i, mode == 2));
        } else {
            members.push_back(std::make_unique<Publisher>(port, i));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::all_of(members.begin(), members.end(), [](const auto& m) { return m->ready(); })) {
        if (std::chrono::steady_clock::now() > deadline) {
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::cout << "ready" << std::endl;
    std::string go;
    std::getline(std::cin, go);
    // One event per millisecond, members and bosses in turn; each boss's kills get later.
    const auto start = std::chrono::steady_clock::now();
    const int total = kEventsPerSecond * kSeconds;
    for (int n = 0; n < total; ++n) {
        std::this_thread::sleep_until(start +
                                      std::chrono::microseconds(1000000LL * n / kEventsPerSecond));
        members[static_cast<std::size_t>(n % (kMembers - 1))]->publish(bossName(n % kBosses),
                                                                       first + n);
    }
    const auto pendingNow = [&] {
        return std::accumulate(members.begin(), members.end(), std::int64_t{0},
                               [](std::int64_t sum, const auto& m) { return sum + m->pending(); });
    };
    // Unacknowledged kills 5 s after the last send, and then how long the broker takes to
    // acknowledge the rest: a backlog drains, a lost kill would stay unacknowledged.
    const auto sentAll = std::chrono::steady_clock::now();
    const auto settle = sentAll + std::chrono::seconds(5);
    while (pendingNow() > 0 && std::chrono::steady_clock::now() < settle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::cout << "done " << pendingNow() << std::endl;
    const auto patience = sentAll + std::chrono::seconds(120);
    while (pendingNow() > 0 && std::chrono::steady_clock::now() < patience) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double drained =
        pendingNow() > 0
            ? -1
            : std::chrono::duration<double>(std::chrono::steady_clock::now() - sentAll).count();
    std::cout << "drained " << drained << std::endl;
    return 0;
}

// Times every event the window thread handles: the room's hand-offs apart, and the
// longest of all. Thread CPU time as well as wall time, since on a loaded machine the
// wall time also counts the moments the thread was not scheduled.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;

    QObject* watched = nullptr;
    std::int64_t longestWallNs = 0;
    std::int64_t longestCpuNs = 0;
    std::int64_t longestRoomWallNs = 0;
    std::int64_t longestRoomCpuNs = 0;
    std::int64_t roomCalls = 0;
    bool timing = false;
    std::string longestReceiver;
    int longestEventType = 0;
    std::map<std::string, int> slowEvents; // receiver class -> events over 5 ms

    void reset() {
        longestWallNs = longestCpuNs = longestRoomWallNs = longestRoomCpuNs = roomCalls = 0;
        longestReceiver.clear();
        slowEvents.clear();
    }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!timing || QThread::currentThread() != thread()) {
            return QApplication::notify(receiver, event);
        }
        const std::int64_t wall0 = nanos(CLOCK_MONOTONIC);
        const std::int64_t cpu0 = nanos(CLOCK_THREAD_CPUTIME_ID);
        const bool result = QApplication::notify(receiver, event);
        const std::int64_t wall = nanos(CLOCK_MONOTONIC) - wall0;
        const std::int64_t cpu = nanos(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        if (wall > longestWallNs) {
            longestWallNs = wall;
            longestReceiver = receiver->metaObject()->className();
            longestEventType = event->type();
        }
        if (wall > 5000000) {
            // A timer is named by its owner (the grid controller's is the table's save).
            const QObject* owner = receiver->parent();
            ++slowEvents[std::string(receiver->metaObject()->className()) +
                         (owner != nullptr ? std::string("/") + owner->metaObject()->className()
                                           : std::string())];
        }
        longestCpuNs = std::max(longestCpuNs, cpu);
        if (receiver == watched && event->type() == QEvent::MetaCall) {
            ++roomCalls;
            longestRoomWallNs = std::max(longestRoomWallNs, wall);
            longestRoomCpuNs = std::max(longestRoomCpuNs, cpu);
        }
        return result;
    }

private:
    static std::int64_t nanos(clockid_t clock) {
        timespec now{};
        clock_gettime(clock, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
};

TimedApplication* timedApplication = nullptr;

// Waits on the window thread, keeping its events going.
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void windowInABusyRoom(benchmark::State& state) {
    testing::LocalBroker broker;
    if (!broker.start()) {
        state.SkipWithError(broker.error().c_str());
        return;
    }
    const std::int64_t first = firstKill();
    QProcess senders;
    senders.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    senders.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--senders"), QString::number(broker.port()),
                   QString::number(first), QString::number(state.range(0))});
    if (!senders.waitForStarted() ||
        !waitFor([&] { return senders.readAllStandardOutput().contains("ready"); }, 60000)) {
        state.SkipWithError("the other members could not join");
        return;
    }

    QTemporaryDir dir;
    {
        app::Preferences preferences(dir.filePath(app::Preferences::fileName()));
        if (!preferences.roomLink.set(
                QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(broker.port())) ||
            !preferences.roomNickname.set(QStringLiteral("window"))) {
            state.SkipWithError("the preferences cannot be written");
            return;
        }
    }
    periodic::AppGlobals globals;
    const schedule::SystemClock clock;
    auto session = std::make_unique<app::Session>(
        app::SessionSetup::window(globals, clock, dir.path().toStdString()));
    auto window = std::make_unique<app::MainWindow>(*session);
    schedule::BossTable& table = session->table();
    // Just before the first kill, so no row falls due (and rolls over) during the run.
    const schedule::UtcSeconds earlier = first - 60;
    for (int b = 0; b < kBosses; ++b) {
        const int row = table.appendRow();
        const schedule::RowId id = table.rowId(row);
        table.setCellTexts(id, {{schedule::kNumberColumn, std::to_string(row)},
                                {schedule::kNameColumn, bossName(b)},
                                {schedule::kPeriodColumn, std::to_string(kPeriodMinutes)}});
        table.setDatedCellTextsIf(
            id, {},
            {{schedule::kLastTimeColumn, schedule::clockTimeText(schedule::toLocal(earlier))},
             {schedule::kNextTimeColumn, schedule::nextTimeText(earlier, kPeriodMinutes)}},
            earlier);
        table.setCheckState(row, true);
    }
    window->show();
    app::RoomConnection& room = *session->room();
    if (!waitFor([&] { return room.state() == share::RoomState::Connected; }, 60000)) {
        state.SkipWithError("the window could not join");
        return;
    }

    // The window thread's heartbeat: a 1 ms timer; a long gap is a blocked window.
    std::int64_t longestGapNs = 0;
    std::int64_t gapsOver5ms = 0;
    QElapsedTimer beat;
    beat.start();
    std::int64_t lastBeat = beat.nsecsElapsed();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const std::int64_t now = beat.nsecsElapsed();
        const std::int64_t gap = now - lastBeat;
        longestGapNs = std::max(longestGapNs, gap);
        gapsOver5ms += gap > 5000000 ? 1 : 0;
        lastBeat = now;
    });

    const std::uint64_t appliedBefore = room.appliedCount();
    const std::uint64_t receivedBefore = room.receivedCount();
    const int expected = kEventsPerSecond * kSeconds;
    timedApplication->watched = &room;
    for (auto _ : state) {
        timedApplication->reset();
        timedApplication->timing = true;
        heartbeat.start(1);
        lastBeat = beat.nsecsElapsed();
        const double cpuStart = processCpuSeconds();
        const double brokerStart = otherProcessCpuSeconds(broker.pid());
        const auto wallStart = std::chrono::steady_clock::now();
        senders.write("go\n");
        QString output;
        const bool sent = waitFor(
            [&] {
                output += QString::fromUtf8(senders.readAllStandardOutput());
                return output.contains(QStringLiteral("done"));
            },
            120000);
        // Kills of one boss from different members may pass each other at the broker; an
        // overtaken one is older and rightly changes nothing, so not all need to apply.
        const bool delivered = sent && waitFor(
                                           [&] {
                                               return room.appliedCount() - appliedBefore >=
                                                      static_cast<std::uint64_t>(expected);
                                           },
                                           3000);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
        const double cpu = processCpuSeconds() - cpuStart;
        // The broker is one thread: near 100 % of a core, it is what limits the room.
        state.counters["broker_cpu_percent_of_one_core"] =
            100.0 * (otherProcessCpuSeconds(broker.pid()) - brokerStart) / wall.count();
        heartbeat.stop();
        timedApplication->timing = false;
        if (!sent) {
            state.SkipWithError("the other members did not finish sending");
        }
        state.counters["all_applied"] = delivered ? 1 : 0;
        // Kills the other members still had unacknowledged when they stopped.
        const qsizetype done = output.indexOf(QStringLiteral("done "));
        state.counters["senders_unacknowledged_after_5s"] =
            done < 0 ? -1 : output.mid(done + 5).section(QLatin1Char('\n'), 0, 0).toDouble();
        // Seconds from the last send until the broker had acknowledged every kill; -1: some
        // never were within two minutes (they would be lost, not late).
        waitFor(
            [&] {
                output += QString::fromUtf8(senders.readAllStandardOutput());
                return output.contains(QStringLiteral("drained "));
            },
            130000);
        const qsizetype drained = output.indexOf(QStringLiteral("drained "));
        state.counters["senders_all_acknowledged_after_s"] =
            drained < 0 ? -2 : output.mid(drained + 8).section(QLatin1Char('\n'), 0, 0).toDouble();
        state.counters["events_sent"] = expected;
        state.counters["kills_applied"] = static_cast<double>(room.appliedCount() - appliedBefore);
        state.counters["kills_received"] =
            static_cast<double>(room.receivedCount() - receivedBefore);
        state.counters["dropped"] = static_cast<double>(room.droppedCount());
        std::uint64_t refused = 0;
        std::uint64_t retractions = 0;
        for (const auto& [key, member] : room.memberRecords()) {
            retractions += member.retractions;
            for (const std::uint64_t count : member.refused) {
                refused += count;
            }
        }
        state.counters["refused"] = static_cast<double>(refused);
        state.counters["retractions"] = static_cast<double>(retractions);
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall.count();
        state.counters["longest_window_gap_ms"] = static_cast<double>(longestGapNs) / 1e6;
        state.counters["gaps_over_5ms"] = static_cast<double>(gapsOver5ms);
        state.counters["longest_event_ms"] =
            static_cast<double>(timedApplication->longestWallNs) / 1e6;
        state.counters["longest_event_cpu_ms"] =
            static_cast<double>(timedApplication->longestCpuNs) / 1e6;
        state.counters["room_handoffs"] = static_cast<double>(timedApplication->roomCalls);
        state.counters["longest_room_handoff_ms"] =
            static_cast<double>(timedApplication->longestRoomWallNs) / 1e6;
        state.counters["longest_room_handoff_cpu_ms"] =
            static_cast<double>(timedApplication->longestRoomCpuNs) / 1e6;
        state.SetIterationTime(wall.count());
        std::string slow;
        for (const auto& [name, count] : timedApplication->slowEvents) {
            slow += " " + name + "=" + std::to_string(count);
        }
        state.SetLabel("longest event: " + timedApplication->longestReceiver + " type " +
                       std::to_string(timedApplication->longestEventType) + "; over 5 ms:" + slow);
    }
    window.reset();
    session.reset();
    senders.waitForFinished(30000);
}

} // namespace

// Argument: the other members also receive (1), and retract as well (2), or only send (0).
BENCHMARK(windowInABusyRoom)
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    // The other members' process never runs the benchmark itself, whatever it was given.
    if (argc >= 2 && std::strcmp(argv[1], "--senders") == 0) {
        if (argc != 5) {
            std::cerr << "usage: bench_room --senders PORT FIRST-KILL MODE\n";
            return 2;
        }
        return runSenders(std::atoi(argv[2]), std::atoll(argv[3]), std::atoi(argv[4]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TimedApplication application(argc, argv);
    timedApplication = &application;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
