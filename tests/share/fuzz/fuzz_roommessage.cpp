// Feeds arbitrary bytes to the room message decoder and the topic reader, and checks what
// must hold for any input: nothing throws or crashes, a drop always has a reason, an
// accepted message survives encoding and decoding unchanged, and a topic read back is the
// one its parts write.

#include "share/roommessage.h"
#include "share/roomtopics.h"
#include "text/textops.h"

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

void checkTopic(std::string_view topic) {
    const std::optional<TopicAddress> address = parseTopic(topic, "room");
    if (!address) {
        return;
    }
    std::string again;
    switch (address->branch) {
    case Branch::Kill:
    case Branch::Officer:
        again = killTopic("room", address->branch, address->member, address->key);
        break;
    case Branch::Retract:
        again = retractTopic("room", address->member, address->name);
        break;
    case Branch::List:
        again = listTopic("room", address->member, address->name);
        break;
    case Branch::Sync:
    case Branch::Probe:
        again = memberTopic("room", address->branch, address->member);
        break;
    case Branch::Legacy:
        again = legacyTopic("room", address->key.boss);
        break;
    }
    // Kill topics trim the boss; every other part is written back as it was read.
    check(again == topic || zorvane::text::trim(address->key.boss) != address->key.boss,
          "a topic read back differs from what its parts write");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkTopic(input);
    const MessageDecode result = decodeRoomMessage(input);
    if (!result.message) {
        check(!result.detail.empty(), "a drop without detail");
        return 0;
    }
    const RoomMessage& message = *result.message;
    switch (message.type) {
    case MessageType::Kill: {
        check(size <= kMaxPayloadBytes, "an oversized kill accepted");
        check(checkKillEvent(message.kill).empty(), "an accepted kill fails the check");
        const MessageDecode again = decodeRoomMessage(encodeKill(message.kill));
        check(again.message && again.message->kill == message.kill,
              "a kill does not survive encoding");
        break;
    }
    case MessageType::Retraction: {
        check(checkRetraction(message.retraction).empty(),
              "an accepted retraction fails the check");
        const MessageDecode again = decodeRoomMessage(encodeRetraction(message.retraction));
        check(again.message && again.message->retraction == message.retraction,
              "a retraction does not survive encoding");
        break;
    }
    case MessageType::List: {
        check(message.list.listJson.size() <= kMaxListBytes, "an oversized list accepted");
        const MessageDecode again = decodeRoomMessage(encodeListOffer(message.list));
        check(again.message && again.message->list == message.list,
              "a list does not survive encoding");
        break;
    }
    }
    return 0;
}
