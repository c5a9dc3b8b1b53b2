// A room member in a process of its own, so that it can run in another time zone (TZ) than
// the test: it records a kill typed as a local date and time, converted to an instant as
// the window converts it, and prints the newest kill of the boss it ends with.
//
//   room_member PORT NOW_MS BOSS "YYYY-MM-DD HH:MM:SS" first|second
//
// "first" records at once and waits for another member's kill; "second" waits until it has
// caught up with the room, then records. Each prints "newest <event id> <instant>".

#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "share/roomclient.h"
#include "tests/share/roommembers.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zorvane;

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: room_member PORT NOW_MS BOSS LOCAL_TIME first|second\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const std::int64_t now = std::atoll(argv[2]);
    const std::string boss = argv[3];
    schedule::DateTimeParts parts;
    if (std::sscanf(argv[4], "%d-%d-%d %d:%d:%d", &parts.year, &parts.month, &parts.day,
                    &parts.hour, &parts.minute, &parts.second) != 6) {
        std::fprintf(stderr, "not a local time: %s\n", argv[4]);
        return 2;
    }
    const bool first = std::string(argv[5]) == "first";
    const schedule::UtcSeconds kill = schedule::toUtc(schedule::makeDateTime(parts));

    share::RoomOptions options;
    options.link.host = "127.0.0.1";
    options.link.port = port;
    options.link.room = "guild";
    options.nickname = first ? "first" : "second";
    options.utcMillis = [now] { return now; };
    testing::Recorder recorder;
    share::RoomClient client(options, recorder);
    text::Message error;
    if (!client.start(error) || !recorder.waitForState(share::RoomState::Connected)) {
        std::fprintf(stderr, "cannot join: %s\n", text::defaultText(error).c_str());
        return 1;
    }
    const share::KillKey key{"", boss, ""};
    if (!first && !recorder.waitFor([&] { return client.newestKill(key).has_value(); })) {
        std::fprintf(stderr, "the first member's kill never came\n");
        return 1;
    }
    if (!client.publishKill({boss, 60, 0, kill}, error)) {
        std::fprintf(stderr, "cannot record: %s\n", text::defaultText(error).c_str());
        return 1;
    }
    const bool done = first ? recorder.waitFor([&] { return recorder.killCountLocked() > 0; })
                            : recorder.waitFor([&] { return client.pendingCount() == 0; });
    if (!done) {
        std::fprintf(stderr, "the room did not answer\n");
        return 1;
    }
    const std::optional<share::KillEvent> newest = client.newestKill(key);
    std::printf("newest %s %lld\n", newest ? newest->eventId.c_str() : "-",
                newest ? static_cast<long long>(newest->killUtcSeconds) : 0LL);
    client.stop();
    return 0;
}
