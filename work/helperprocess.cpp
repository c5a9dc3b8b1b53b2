#include "work/helperprocess.h"

#ifdef _WIN32
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#else
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace zorvane::work {
namespace {

// Standard error only carries a one-line reason; more is not kept.
constexpr std::size_t kMaxErrBytes = 64 * 1024;

} // namespace

#ifdef _WIN32

HelperOutcome runHelper(const std::string& program, const std::vector<std::string>& arguments,
                        const std::atomic<bool>& cancel, std::size_t maxOut, int pollMs) {
    // QProcess watches its pipes through the thread's event dispatcher; a thread not
    // made by Qt gets one when it first creates an event loop.
    const QEventLoop dispatcherForThisThread;
    QStringList args;
    for (const auto& argument : arguments) {
        args << QString::fromStdString(argument);
    }
    QProcess process;
    process.start(QString::fromStdString(program), args, QIODevice::ReadOnly);
    HelperOutcome outcome;
    if (!process.waitForStarted(-1)) {
        outcome.end = HelperOutcome::End::NotStarted;
        outcome.why = process.errorString().toStdString();
        return outcome;
    }
    while (process.state() != QProcess::NotRunning) {
        if (cancel.load()) {
            outcome.end = HelperOutcome::End::Cancelled;
        } else if (static_cast<std::size_t>(process.bytesAvailable()) > maxOut) {
            outcome.end = HelperOutcome::End::TooMuchOutput;
        }
        if (outcome.end != HelperOutcome::End::Exited) {
            process.kill();
            process.waitForFinished(-1);
            return outcome;
        }
        process.waitForFinished(pollMs);
    }
    outcome.out = process.readAllStandardOutput().toStdString();
    outcome.err = process.readAllStandardError().left(kMaxErrBytes).toStdString();
    outcome.end = process.exitStatus() == QProcess::NormalExit ? HelperOutcome::End::Exited
                                                               : HelperOutcome::End::Crashed;
    outcome.exitCode = process.exitCode();
    return outcome;
}

#else

namespace {

// Closes a descriptor once, when it goes out of scope or is let go early.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    return true;
}

// Reads what is there into `into`, keeping at most `keep` bytes and one more to mark that
// there was more; false at the end of the stream or on an error.
bool drain(int fd, std::string& into, std::size_t keep) {
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            const std::size_t room = keep + 1 > into.size() ? keep + 1 - into.size() : 0;
            into.append(buffer, std::min(room, static_cast<std::size_t>(got)));
            return true;
        }
        if (got == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN;
    }
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Waits for a helper that has closed its outputs, still ending it on `cancel`.
int waitUnlessCancelled(pid_t child, const std::atomic<bool>& cancel, int pollMs, bool& cancelled) {
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) {
            return status;
        }
        if (cancel.load()) {
            cancelled = true;
            ::kill(child, SIGKILL);
            return waitFor(child);
        }
        ::poll(nullptr, 0, pollMs);
    }
}

} // namespace

int startProcess(const std::string& program, const std::vector<std::string>& arguments, int in,
                 int out, int err, int* error, bool endWithCaller) {
    // Everything the child needs is made before the fork: after it, only calls that are
    // safe in a copy of a multi-threaded process may run there.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    Fd execRead, execWrite;
    if (!makePipe(execRead, execWrite)) {
        *error = errno;
        return -1;
    }
#ifdef __linux__
    const pid_t parent = ::getpid();
#else
    (void)endWithCaller;
#endif

    const pid_t child = ::fork();
    if (child < 0) {
        *error = errno;
        return -1;
    }
    if (child == 0) {
#ifdef __linux__
        // The helper ends with the program even when the program is killed; if the
        // program died between fork and here, the signal is never sent, so ask again.
        if (endWithCaller) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);
            }
        }
#endif
        // dup2 clears close-on-exec on the copies, so only these three stay open (a
        // descriptor that already is the one asked for keeps its flags).
        if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
            const int failure = errno;
            [[maybe_unused]] const auto written =
                ::write(execWrite.get(), &failure, sizeof failure);
            ::_exit(127);
        }
        ::execv(program.c_str(), argv.data());
        const int failure = errno;
        [[maybe_unused]] const auto written = ::write(execWrite.get(), &failure, sizeof failure);
        ::_exit(127);
    }

    execWrite.reset();
    // The exec pipe closes without a word when exec succeeded, or carries its errno.
    int execError = 0;
    ssize_t got = 0;
    do {
        got = ::read(execRead.get(), &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof execError)) {
        waitFor(child);
        *error = execError;
        return -1;
    }
    return child;
}

HelperOutcome runHelper(const std::string& program, const std::vector<std::string>& arguments,
                        const std::atomic<bool>& cancel, std::size_t maxOut, int pollMs) {
    HelperOutcome outcome;
    auto notStarted = [&outcome](int error) {
        outcome.end = HelperOutcome::End::NotStarted;
        outcome.why = std::strerror(error);
        return outcome;
    };

    Fd outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) {
        return notStarted(errno);
    }
    const Fd devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (devNull.get() < 0) {
        return notStarted(errno);
    }
    int error = 0;
    const pid_t child =
        startProcess(program, arguments, devNull.get(), outWrite.get(), errWrite.get(), &error);
    if (child < 0) {
        return notStarted(error);
    }
    outWrite.reset();
    errWrite.reset();

    ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
    ::fcntl(errRead.get(), F_SETFL, O_NONBLOCK);
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        if (cancel.load()) {
            outcome.end = HelperOutcome::End::Cancelled;
        } else if (outcome.out.size() > maxOut) {
            outcome.end = HelperOutcome::End::TooMuchOutput;
        }
        if (outcome.end != HelperOutcome::End::Exited) {
            ::kill(child, SIGKILL);
            waitFor(child);
            outcome.out.clear();
            return outcome;
        }
        pollfd watched[2] = {{outOpen ? outRead.get() : -1, POLLIN, 0},
                             {errOpen ? errRead.get() : -1, POLLIN, 0}};
        if (::poll(watched, 2, pollMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            outcome.end = HelperOutcome::End::Crashed;
            ::kill(child, SIGKILL);
            waitFor(child);
            return outcome;
        }
        if (outOpen && watched[0].revents != 0) {
            outOpen = drain(outRead.get(), outcome.out, maxOut);
        }
        if (errOpen && watched[1].revents != 0) {
            errOpen = drain(errRead.get(), outcome.err, kMaxErrBytes);
        }
    }
    if (outcome.out.size() > maxOut) {
        outcome.end = HelperOutcome::End::TooMuchOutput;
        outcome.out.clear();
        ::kill(child, SIGKILL);
        waitFor(child);
        return outcome;
    }
    outcome.err.resize(std::min(outcome.err.size(), kMaxErrBytes));
    bool cancelled = false;
    const int status = waitUnlessCancelled(child, cancel, pollMs, cancelled);
    if (cancelled) {
        outcome.end = HelperOutcome::End::Cancelled;
        outcome.out.clear();
    } else if (WIFEXITED(status)) {
        outcome.exitCode = WEXITSTATUS(status);
    } else {
        outcome.end = HelperOutcome::End::Crashed;
    }
    return outcome;
}

#endif

} // namespace zorvane::work
