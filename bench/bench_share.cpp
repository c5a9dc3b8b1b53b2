// Kill events through a real mosquitto broker: one member records kills for 200 bosses,
// the others receive them. Measures the members' CPU time per delivered event (all
// clients live in this process; the broker is another) and the longest publishKill call,
// which is what the window thread would wait for.

#include "share/roomclient.h"
#include "tests/share/localbroker.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

using namespace zorvane::share;

namespace {

constexpr int kBosses = 200;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Counter final : public RoomListener {
public:
    void roomStateChanged(RoomState state, const zorvane::text::Message&) override {
        const std::lock_guard lock(m_mutex);
        m_connected = state == RoomState::Connected;
        m_changed.notify_all();
    }
    void remoteKill(const KillEvent&, bool retained) override {
        if (retained) {
            return;
        }
        const std::lock_guard lock(m_mutex);
        ++m_kills;
        m_changed.notify_all();
    }
    void messageDropped(DropReason, const std::string&) override {}
    void clockSkew(const MemberSkew&) override {}

    bool waitConnected() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_connected; });
    }
    bool waitKills(std::uint64_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_kills >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_connected = false;
    std::uint64_t m_kills = 0;
};

struct Member {
    explicit Member(int port) : client(options(port), counter) {}
    static RoomOptions options(int port) {
        RoomOptions options;
        options.link.host = "127.0.0.1";
        options.link.port = port;
        options.link.room = "bench";
        options.nickname = "member";
        // Throughput: one member sends far more kills a minute than a member may.
        options.rules.killsPerMinute = std::numeric_limits<int>::max();
        return options;
    }
    Counter counter;
    RoomClient client;
};

void killsThroughTheBroker(benchmark::State& state) {
    const int members = static_cast<int>(state.range(0));
    zorvane::testing::LocalBroker broker;
    if (!broker.start()) {
        state.SkipWithError(broker.error().c_str());
        return;
    }
    std::vector<std::unique_ptr<Member>> room;
    for (int i = 0; i < members; ++i) {
        room.push_back(std::make_unique<Member>(broker.port()));
        zorvane::text::Message error;
        if (!room.back()->client.start(error) || !room.back()->counter.waitConnected()) {
            state.SkipWithError("a member could not join");
            return;
        }
    }
    std::vector<std::string> bosses;
    for (int b = 0; b < kBosses; ++b) {
        bosses.push_back("Boss " + std::to_string(b));
    }
    Member& sender = *room.front();
    std::int64_t kill = 1796000000;
    std::uint64_t sent = 0;
    double longestCall = 0;
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        for (const std::string& boss : bosses) {
            std::string error;
            const auto before = std::chrono::steady_clock::now();
            sender.client.publishKill({boss, 60, 0, ++kill}, error);
            const std::chrono::duration<double> call = std::chrono::steady_clock::now() - before;
            longestCall = std::max(longestCall, call.count());
        }
        sent += kBosses;
        for (std::size_t i = 1; i < room.size(); ++i) {
            if (!room[i]->counter.waitKills(sent)) {
                state.SkipWithError("kills were lost");
                return;
            }
        }
    }
    const double cpu = processCpuSeconds() - cpuStart;
    const double deliveries = static_cast<double>(sent) * (members - 1);
    state.counters["events"] = static_cast<double>(sent);
    state.counters["events_per_s"] =
        benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
    state.counters["cpu_us_per_delivery"] = cpu * 1e6 / deliveries;
    state.counters["longest_publish_call_us"] = longestCall * 1e6;
}

} // namespace

BENCHMARK(killsThroughTheBroker)
    ->Arg(2)
    ->Arg(10)
    ->Arg(50)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
