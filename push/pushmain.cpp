// zorvane-push PUSH-JSON [TEMPLATES]
//
// Posts the window's alerts to the targets in PUSH-JSON. Reads one line per alert on
// standard input (push/pushwire.h) and "reload" when the player changed the targets; writes
// each target's status and the file's problems on standard output as they change. At the
// end of its input it finishes what it holds (for at most kLingerAtEnd) and ends, so a
// window that quits right after an alert still gets it posted.
//
// In a room, the window hands over what the room's broker says of its push relays and
// publishes this relay's presence and claims from our lines, so that the room's targets
// are posted once per room (relay.h).
//
// libcurl and its TLS libraries live in this process, never in the window's.

#include "push/pusher.h"
#include "push/pushsettings.h"
#include "push/pushwire.h"
#include "push/relay.h"
#include "push/wording.h"

#ifdef __linux__
#include <pthread.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace zorvane::push;

constexpr std::chrono::seconds kLingerAtEnd{15};

std::mutex outputMutex;

void report(const std::string& line) {
    const std::lock_guard lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

class OutputListener final : public PushListener {
public:
    void pushStatusChanged(const TargetStatus& status) override { report(statusLine(status)); }
};

// What this relay says to the room goes out through the window's connection.
class OutputRelay final : public RelayOutbox {
public:
    void publishPresence(const RelayPresence& presence) override {
        // A relay left without room targets has nothing to say: its topic is cleared.
        report(relayLine({RelayLine::Kind::Presence, "", presence.relayId,
                          presence.channels.empty() ? std::string() : encodePresence(presence)}));
    }
    void publishClaim(const RelayClaim& claim) override {
        report(relayLine({RelayLine::Kind::Claim, "", "", encodeClaim(claim)}));
    }
};

std::int64_t utcNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Writes the book's presence again whenever it is due, on a thread of its own, so that the
// other relays can tell this live one from a presence left behind.
class PresenceRefresher {
public:
    explicit PresenceRefresher(RelayBook& book) : m_thread([this, &book] { run(book); }) {}
    ~PresenceRefresher() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    PresenceRefresher(const PresenceRefresher&) = delete;
    PresenceRefresher& operator=(const PresenceRefresher&) = delete;

private:
    void run(RelayBook& book) {
#ifdef __linux__
        pthread_setname_np(pthread_self(), "relay presence");
#endif
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            const std::int64_t now = utcNow();
            const std::optional<std::int64_t> next = book.refreshPresence(now);
            // Without a room target there is nothing to write; a reload may bring one.
            const std::int64_t wait = next ? std::max<std::int64_t>(*next - now, 1) : 60;
            m_wake.wait_for(lock, std::chrono::seconds(wait), [this] { return m_stopping; });
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread; // last: started once the rest is there
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: zorvane-push PUSH-JSON [TEMPLATES]\n", stderr);
        return 2;
    }
    // A window that went away must not end us in the middle of a post.
    std::signal(SIGPIPE, SIG_IGN);
    const std::filesystem::path file = argv[1];

    OutputListener listener;
    OutputRelay outbox;
    // The window's language: the posts' templates as it translated them.
    Wording wording;
    if (argc == 3) {
        wording = [templates =
                       readTemplatesArgument(argv[2])](const zorvane::text::Message& message) {
            return wordedWith(templates, message);
        };
    }
    // The pusher ranks the room's targets with the book of the room joined last; a new
    // room (or none) makes both anew. The book outlives its pusher.
    std::unique_ptr<RelayBook> book;
    std::unique_ptr<Pusher> pusher;
    std::unique_ptr<PresenceRefresher> refresher;
    const auto load = [&] {
        PushSettingsRead read = readPushSettings(file);
        for (const zorvane::text::Message& problem : read.problems) {
            report(problemLine(problem));
        }
        pusher->configure(read.settings);
    };
    const auto makePusher = [&](std::unique_ptr<RelayBook> relays) {
        refresher.reset();
        pusher.reset();
        book = std::move(relays);
        PusherOptions options;
        options.listener = &listener;
        options.wording = wording;
        options.sentFile = zorvane::push::sentFileFor(file);
        if (book) {
            book->setOutbox(&outbox);
            options.relays = book.get();
        }
        pusher = std::make_unique<Pusher>(options);
        load();
        if (book) {
            refresher = std::make_unique<PresenceRefresher>(*book);
        }
    };
    makePusher(nullptr);

    std::string line;
    while (std::getline(std::cin, line)) {
        const std::optional<HelperCommand> command = readCommand(line);
        if (!command) {
            std::fputs("zorvane-push: a line that is no command was skipped\n", stderr);
            continue;
        }
        if (command->kind == HelperCommand::Kind::Reload) {
            load();
        } else if (command->kind == HelperCommand::Kind::Alert) {
            pusher->enqueue(command->event);
        } else {
            const RelayLine& relay = command->relay;
            switch (relay.kind) {
            case RelayLine::Kind::Join:
                if (relay.room.empty()) {
                    if (book) {
                        makePusher(nullptr);
                    }
                } else if (!book || book->room() != relay.room ||
                           book->relayId() != relay.relayId) {
                    makePusher(std::make_unique<RelayBook>(relay.room, relay.relayId));
                }
                break;
            case RelayLine::Kind::Presence:
                if (book) {
                    book->presenceHeard(relay.relayId, relay.payload);
                }
                break;
            case RelayLine::Kind::Claim:
                if (book) {
                    book->claimHeard(relay.payload, utcNow());
                }
                break;
            case RelayLine::Kind::Lost:
                if (book) {
                    book->forgetOthers();
                }
                break;
            }
        }
    }
    refresher.reset();
    pusher->waitUntilIdle(kLingerAtEnd);
    return 0;
}
