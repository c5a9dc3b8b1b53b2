// A guild room on a broker with the shipped set-up (packaging/broker/zorvane-room.conf),
// against the plain settings it replaces:
//   - CrashAfterKills: a member records 480 kills, the broker is SIGKILLed 5 s later and
//     restarted; how many kills a member who joins then receives;
//   - JoinRoom: five members record 480 kills each; how many of the 2,400 a member who
//     joins receives;
//   - RetractionReach: an officer retracts a kill in a room of 50 members; how long until
//     the last of them has it.
// The figures are counters; run build/bench/bench/bench_roomtrust.

#include "share/roomclient.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane;
using namespace zorvane::share;
using testing::LocalBroker;
using testing::RoomMember;

namespace {

constexpr std::int64_t kNowSeconds = testing::kRoomNow / 1000;

// The shipped set-up with room "guild" and the given members, or a plain broker with its
// default settings (members anonymous).
std::unique_ptr<LocalBroker>
startBroker(bool shipped, const std::vector<std::pair<std::string, std::string>>& members,
            std::string& error) {
    testing::BrokerOptions options;
    options.rooms = shipped;
    auto broker = std::make_unique<LocalBroker>(options);
    if (!broker->start()) {
        error = broker->error();
        return nullptr;
    }
    if (shipped) {
        std::string output;
        if (!broker->roomScript("create guild", &output)) {
            error = output;
            return nullptr;
        }
        for (const auto& [user, role] : members) {
            if (!broker->roomScript(
                    "add guild " + user + " " + role + " --password " + user + "-pw", &output)) {
                error = output;
                return nullptr;
            }
        }
    }
    return broker;
}

RoomOptions memberOptions(const LocalBroker& broker, bool shipped, const std::string& user,
                          std::function<std::int64_t()> clock = {}) {
    RoomOptions options = shipped ? testing::roomOptions(broker, user, user, user + "-pw")
                                  : testing::roomOptions(broker, user);
    if (clock) {
        options.utcMillis = std::move(clock);
    }
    return options;
}

// Records `count` kills of distinct bosses as the member, 20 s of its clock apart (well
// within the limit per minute), and waits until the broker has them all; returns the
// seconds that took, or a negative number when it did not happen. A broker that saves
// after every change takes its time over a burst: patience is long.
double recordKills(RoomMember& member, const std::string& prefix, int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        std::string error;
        if (!member.client.publishKill(
                {prefix + std::to_string(i), 600, 0, kNowSeconds - 86400 + i}, error)) {
            return -1;
        }
    }
    const auto deadline = start + std::chrono::minutes(10);
    while (member.client.pendingCount() > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Joins, waits for the catch-up, and returns how many distinct bosses arrived.
std::size_t bossesReceivedOnJoining(const LocalBroker& broker, bool shipped,
                                    const std::string& user) {
    RoomMember late(memberOptions(broker, shipped, user));
    if (!late.join() ||
        !late.recorder.waitFor([&] { return late.recorder.catchUpCountLocked() > 0; })) {
        return 0;
    }
    std::vector<std::string> bosses;
    for (const KillEvent& kill : late.recorder.kills()) {
        bosses.push_back(kill.boss);
    }
    std::sort(bosses.begin(), bosses.end());
    return static_cast<std::size_t>(std::unique(bosses.begin(), bosses.end()) - bosses.begin());
}

void CrashAfterKills(benchmark::State& state) {
    const bool shipped = state.range(0) != 0;
    constexpr int kKills = 480;
    for (auto _ : state) {
        std::string error;
        auto broker = startBroker(shipped, {{"rita", "recorder"}, {"rex", "reader"}}, error);
        if (!broker) {
            state.SkipWithError(error.c_str());
            return;
        }
        {
            RoomMember rita(
                memberOptions(*broker, shipped, "rita",
                              testing::steppingClock(testing::kRoomNow - 86400000, 20000)));
            const double took = rita.join() ? recordKills(rita, "Boss ", kKills) : -1;
            if (took < 0) {
                state.SkipWithError("the kills were not acknowledged");
                return;
            }
            state.counters["acknowledged_per_s"] = kKills / took;
            rita.client.stop();
        }
        std::this_thread::sleep_for(std::chrono::seconds(5));
        broker->crash();
        if (!broker->start()) {
            state.SkipWithError("the broker did not start again");
            return;
        }
        const std::size_t kept = bossesReceivedOnJoining(*broker, shipped, "rex");
        state.counters["kills"] = kKills;
        state.counters["kept"] = static_cast<double>(kept);
    }
}
BENCHMARK(CrashAfterKills)
    ->ArgName("shipped")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void JoinRoom(benchmark::State& state) {
    const bool shipped = state.range(0) != 0;
    constexpr int kMembers = 5;
    constexpr int kKillsEach = 480;
    for (auto _ : state) {
        std::vector<std::pair<std::string, std::string>> members = {{"rex", "reader"}};
        for (int m = 0; m < kMembers; ++m) {
            members.emplace_back("m" + std::to_string(m), "recorder");
        }
        std::string error;
        auto broker = startBroker(shipped, members, error);
        if (!broker) {
            state.SkipWithError(error.c_str());
            return;
        }
        for (int m = 0; m < kMembers; ++m) {
            RoomMember member(
                memberOptions(*broker, shipped, "m" + std::to_string(m),
                              testing::steppingClock(testing::kRoomNow - 86400000, 20000)));
            if (!member.join() ||
                recordKills(member, "B" + std::to_string(m) + "-", kKillsEach) < 0) {
                state.SkipWithError("the kills were not acknowledged");
                return;
            }
        }
        const auto start = std::chrono::steady_clock::now();
        const std::size_t received = bossesReceivedOnJoining(*broker, shipped, "rex");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.counters["kept_kills"] = kMembers * kKillsEach;
        state.counters["received"] = static_cast<double>(received);
        state.counters["join_s"] = took.count();
    }
}
BENCHMARK(JoinRoom)->ArgName("shipped")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

void RetractionReach(benchmark::State& state) {
    constexpr int kMembers = 50;
    for (auto _ : state) {
        std::string error;
        auto broker = startBroker(
            true, {{"olga", "officer"}, {"rita", "recorder"}, {"rex", "reader"}}, error);
        if (!broker) {
            state.SkipWithError(error.c_str());
            return;
        }
        // Fifty members; the readers share one account, as the broker allows.
        RoomMember olga(memberOptions(*broker, true, "olga"));
        RoomMember rita(memberOptions(*broker, true, "rita"));
        std::vector<std::unique_ptr<RoomMember>> readers;
        bool joined = olga.join() && rita.join();
        for (int i = 0; joined && i < kMembers - 2; ++i) {
            readers.push_back(std::make_unique<RoomMember>(memberOptions(*broker, true, "rex")));
            joined = readers.back()->join();
        }
        std::string error2;
        std::string bad;
        joined =
            joined && rita.client.publishKill({"Dragon", 60, 0, kNowSeconds - 60}, error2, &bad);
        for (const auto& reader : readers) {
            joined = joined && reader->recorder.waitForKillOf("Dragon", kNowSeconds - 60);
        }
        joined = joined && olga.recorder.waitForKillOf("Dragon", kNowSeconds - 60);
        if (!joined) {
            state.SkipWithError("the members did not join or hear the kill");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        text::Message reason;
        if (!olga.client.retractKill(bad, reason)) {
            state.SkipWithError("the officer could not retract");
            return;
        }
        std::chrono::steady_clock::time_point last = start;
        int reached = 0;
        for (RoomMember* member : [&] {
                 std::vector<RoomMember*> all{&rita};
                 for (const auto& reader : readers) {
                     all.push_back(reader.get());
                 }
                 return all;
             }()) {
            if (member->recorder.waitFor(
                    [&] { return member->recorder.retractionCountLocked() > 0; })) {
                ++reached;
                last = std::max(last, std::chrono::steady_clock::now());
            }
        }
        state.counters["members"] = kMembers - 1;
        state.counters["reached"] = reached;
        state.counters["last_ms"] = std::chrono::duration<double, std::milli>(last - start).count();
    }
}
BENCHMARK(RetractionReach)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
