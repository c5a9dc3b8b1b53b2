// zorvane-push PUSH-JSON
//
// Posts the window's alerts to the targets in PUSH-JSON. Reads one line per alert on
// standard input (push/pushwire.h) and "reload" when the player changed the targets; writes
// each target's status and the file's problems on standard output as they change. At the
// end of its input it finishes what it holds (for at most kLingerAtEnd) and ends, so a
// window that quits right after an alert still gets it posted.
//
// libcurl and its TLS libraries live in this process, never in the window's.

#include "push/pusher.h"
#include "push/pushsettings.h"
#include "push/pushwire.h"
#include "push/wording.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

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
    PusherOptions options;
    options.listener = &listener;
    // The window's language: the posts' templates as it translated them.
    if (argc == 3) {
        options.wording =
            [templates = readTemplatesArgument(argv[2])](const zorvane::text::Message& message) {
                return wordedWith(templates, message);
            };
    }
    Pusher pusher(options);
    const auto load = [&] {
        PushSettingsRead read = readPushSettings(file);
        for (const zorvane::text::Message& problem : read.problems) {
            report(problemLine(problem));
        }
        pusher.configure(read.settings);
    };
    load();

    std::string line;
    while (std::getline(std::cin, line)) {
        const std::optional<HelperCommand> command = readCommand(line);
        if (!command) {
            std::fputs("zorvane-push: a line that is no command was skipped\n", stderr);
            continue;
        }
        if (command->kind == HelperCommand::Kind::Reload) {
            load();
        } else {
            pusher.enqueue(command->event);
        }
    }
    pusher.waitUntilIdle(kLingerAtEnd);
    return 0;
}
