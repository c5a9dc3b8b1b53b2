// zorvane-announcement URL PROGRAM-DIR
//
// The announcement download as a short-lived process of its own, so that the window's
// process never loads the network and TLS libraries nor parses a downloaded page. It
// downloads URL, writes PROGRAM-DIR/1.htm exactly as the in-process job does, and
// writes the page the viewer may show (sanitised, UTF-8) to standard output. Why the
// job failed goes to standard error as one line, and the exit status is then 1. The
// window ends the process when it closes; the page file is replaced atomically, so a
// kill at any moment leaves either the old or the new file.

#include "net/announcement.h"
#include "net/htmlsanitizer.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: zorvane-announcement URL PROGRAM-DIR\n", stderr);
        return 2;
    }
#ifdef __linux__
    // Should the window's process die without ending this one, end with it.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        return 1;
    }
#endif
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    zorvane::text::Message error;
    const std::string page = zorvane::net::fetchAnnouncement(argv[1], argv[2], nullptr, {}, &error);
    const std::string shown = zorvane::net::sanitizeHtml(page);
    const bool written = std::fwrite(shown.data(), 1, shown.size(), stdout) == shown.size() &&
                         std::fflush(stdout) == 0;
    if (!error.empty()) {
        // As a message, so the window words it in its own language.
        std::fprintf(stderr, "%s\n", zorvane::text::messageLine(error).c_str());
    }
    return error.empty() && written ? 0 : 1;
}
