// What the window pays when 50 alerts fire at once and go to push targets: the time until
// the 50 enqueue calls have returned, and the longest single call, while the pusher's own
// thread posts to a real local server (Discord, ntfy and a JSON address, the Discord one
// relayed for a room with three other relays present).

#include "push/pusher.h"
#include "push/relay.h"
#include "tests/net/localservers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace zorvane::push;

namespace {

constexpr int kAlerts = 50;

PushSettings targets(const std::string& base) {
    PushSettings settings;
    const struct {
        TargetKind kind;
        const char* path;
        TargetScope scope;
    } list[] = {{TargetKind::Discord, "/api/webhooks/1/bench", TargetScope::Room},
                {TargetKind::Ntfy, "/bench_topic", TargetScope::Player},
                {TargetKind::Json, "/hook", TargetScope::Player}};
    for (const auto& entry : list) {
        PushTarget target;
        target.id = std::string(targetKindName(entry.kind));
        target.kind = entry.kind;
        target.url = base + entry.path;
        target.scope = entry.scope;
        settings.targets.push_back(target);
    }
    return settings;
}

void Enqueue50(benchmark::State& state) {
    zorvane::testing::LocalHttpServer server;
    server.server().Post(
        ".*", [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
    server.start();
    const PushSettings settings = targets(server.base());

    RelayBook relays("guild");
    for (const char digit : {'1', '2', '3'}) {
        relays.presenceReceived({std::string(32, digit),
                                 {{relays.channelFor(settings.targets[0].url), KindSet::all()}}});
    }
    PusherOptions options;
    options.relays = &relays;

    const auto start = std::chrono::system_clock::now();
    const std::int64_t nowUtc =
        std::chrono::duration_cast<std::chrono::seconds>(start.time_since_epoch()).count();
    std::int64_t round = 0;
    std::vector<double> calls; // microseconds per enqueue call
    for (auto _ : state) {
        state.PauseTiming();
        // Fresh alerts every round (the same alert twice is skipped, which costs less).
        std::vector<AlertEvent> events;
        for (int n = 0; n < kAlerts; ++n) {
            events.push_back({n % 2 == 0 ? AlertKind::LeadTime : AlertKind::Spawn, 5,
                              "boss" + std::to_string(n), "3线", "二区", nowUtc + 3600 + round});
        }
        ++round;
        // A pusher of its own per round, its thread running, so no round starts behind the
        // rate limits of the one before (whose queues would take minutes to drain).
        auto pusher = std::make_unique<Pusher>(options);
        pusher->configure(settings);
        state.ResumeTiming();
        for (const AlertEvent& event : events) {
            const auto before = std::chrono::steady_clock::now();
            pusher->enqueue(event);
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - before;
            calls.push_back(took.count());
        }
        state.PauseTiming();
        pusher.reset();
        state.ResumeTiming();
    }
    // The longest call is what the window thread would wait for; on a loaded machine it is
    // mostly the scheduler's doing, so the 99th percentile is given beside it.
    std::sort(calls.begin(), calls.end());
    state.counters["median_call_us"] = calls[calls.size() / 2];
    state.counters["p99_call_us"] = calls[calls.size() * 99 / 100];
    state.counters["longest_call_us"] = calls.back();
}

} // namespace

BENCHMARK(Enqueue50)->Unit(benchmark::kMicrosecond)->Iterations(200);

BENCHMARK_MAIN();
