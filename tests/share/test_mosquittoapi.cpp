// Built without linking libmosquitto, as the program is.
#include "share/mosquittoapi.h"
#include "share/roomclient.h"
#include "share/roomlink.h"
#include "tests/support/mappedlibrary.h"

#include <gtest/gtest.h>

using namespace zorvane;

namespace {

class QuietListener final : public share::RoomListener {
public:
    void roomStateChanged(share::RoomState, const text::Message&) override {}
    void remoteKill(const share::KillEvent&, bool) override {}
    void messageDropped(share::DropReason, const std::string&) override {}
    void clockSkew(const share::MemberSkew&) override {}
};

// The MQTT library and the TLS libraries it needs are mapped only once a room is joined.
TEST(MosquittoApi, TheLibraryIsOpenedWhenARoomIsJoined) {
    ASSERT_FALSE(zorvane::testing::libraryMapped("libmosquitto"))
        << "each test runs in its own process";
    share::RoomOptions options;
    text::Message reason;
    ASSERT_TRUE(share::parseRoomLink("mqtt://127.0.0.1:1/guild", options.link, reason));
    QuietListener listener;
    share::RoomClient client(options, listener);
    EXPECT_FALSE(zorvane::testing::libraryMapped("libmosquitto"));

    text::Message error;
    ASSERT_TRUE(client.start(error)) << text::defaultText(error);
    EXPECT_TRUE(zorvane::testing::libraryMapped("libmosquitto"));
    client.stop();

    std::string loadError;
    const share::MosquittoApi* api = share::mosquittoApi(&loadError);
    ASSERT_NE(api, nullptr) << loadError;
    EXPECT_EQ(api, share::mosquittoApi()) << "opened once for the whole process";
    EXPECT_STREQ(api->strerror(MOSQ_ERR_NOMEM), "Out of memory.");
}

} // namespace
