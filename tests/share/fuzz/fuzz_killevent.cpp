// Feeds arbitrary bytes to the kill-event decoder and checks what must hold for any input:
// it never throws or crashes, a drop always has a reason, and an accepted event is valid
// and survives encoding and decoding unchanged.

#include "share/killevent.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace zorvane::share;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const DecodeResult result = decodeKillEvent(payload);
    if (!result.event) {
        check(!result.detail.empty(), "a drop without detail");
        check(size <= kMaxPayloadBytes || result.reason == DropReason::TooLarge,
              "an oversized payload dropped for another reason");
        return 0;
    }
    check(size <= kMaxPayloadBytes, "an oversized payload accepted");
    check(checkKillEvent(*result.event).empty(), "an accepted event fails the check");
    const DecodeResult again = decodeKillEvent(encodeKillEvent(*result.event));
    check(again.event && *again.event == *result.event, "an event does not survive encoding");
    const std::string topic = bossTopic("room", result.event->boss);
    check(topic.find_first_of(std::string_view("+#\0", 3)) == std::string::npos,
          "a wildcard or NUL in a topic");
    check(topicMatches(topic, "room", *result.event), "an event does not match its own topic");
    return 0;
}
