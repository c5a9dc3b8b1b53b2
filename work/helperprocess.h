#pragma once
// Runs a helper program to its end from a worker thread and collects what it prints.
//
// On Unix the helper is started with a plain fork() and exec: Qt's QProcess starts
// children with a vfork-like clone that shares the parent's memory, which
// ThreadSanitizer cannot follow, so every window test would report races that are not
// there. A plain fork is also what a sanitiser-free build gets from glibc anyway.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace zorvane::work {

struct HelperOutcome {
    enum class End { Exited, Crashed, NotStarted, Cancelled, TooMuchOutput };
    End end = End::Exited;
    int exitCode = 0;
    std::string out; // standard output, at most the cap given
    std::string err; // the start of standard error
    std::string why; // NotStarted: the system's reason
};

// Starts `program` with `arguments` (no shell), standard input empty, and waits for it,
// reading both outputs as they come. Ends the helper (SIGKILL) as soon as `cancel` is
// true, looking at it every `pollMs` milliseconds, or when it prints more than
// `maxOut` bytes. On Linux the helper also ends with this process.
HelperOutcome runHelper(const std::string& program, const std::vector<std::string>& arguments,
                        const std::atomic<bool>& cancel, std::size_t maxOut, int pollMs = 20);

#ifndef _WIN32
// Starts `program` with `arguments` (no shell, the environment inherited) with the given
// descriptors as its standard input, output and error, and returns its process id; the
// caller waits for it. -1 when it could not be started, with the errno in `error`. With
// `endWithCaller` the helper is killed on Linux when the calling thread ends (the kernel ties
// it to the thread, not the process), so only a thread that waits for the helper asks for it;
// a helper that outlives its starter must notice the end of its input instead.
int startProcess(const std::string& program, const std::vector<std::string>& arguments, int in,
                 int out, int err, int* error, bool endWithCaller = true);
#endif

} // namespace zorvane::work
