// The helper runner against real child processes (/bin/sh scripts): how each way a
// helper can end is reported, and that cancel and the output cap end it promptly.

#include "work/helperprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zorvane::work {
namespace {

using End = HelperOutcome::End;

HelperOutcome runScript(const std::string& script, std::size_t maxOut = 1024) {
    const std::atomic<bool> cancel{false};
    return runHelper("/bin/sh", {"-c", script}, cancel, maxOut, 5);
}

struct EndCase {
    const char* name;
    const char* script;
    End end;
    int exitCode;
    std::string out;
    const char* err;
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.name;
}

class HelperEnds : public testing::TestWithParam<EndCase> {};

TEST_P(HelperEnds, AreReportedWithWhatTheHelperPrinted) {
    const EndCase& c = GetParam();
    const HelperOutcome outcome = runScript(c.script);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperEnds,
    testing::Values(EndCase{"success", "printf 'page'", End::Exited, 0, "page", ""},
                    EndCase{"failure", "printf 'partial'; echo 'no route' >&2; exit 3", End::Exited,
                            3, "partial", "no route\n"},
                    EndCase{"stdinIsEmpty", "cat; printf done", End::Exited, 0, "done", ""},
                    EndCase{"crash", "kill -SEGV $$", End::Crashed, 0, "", ""},
                    EndCase{"exactlyTheCap", "head -c 1024 /dev/zero | tr '\\0' x", End::Exited, 0,
                            std::string(1024, 'x'), ""},
                    EndCase{"overTheCap", "head -c 1025 /dev/zero", End::TooMuchOutput, 0, "", ""},
                    EndCase{"endlessOutput", "cat /dev/zero", End::TooMuchOutput, 0, "", ""}),
    [](const testing::TestParamInfo<EndCase>& info) { return info.param.name; });

TEST(HelperProcess, StandardErrorIsCutNotGrownWithoutBound) {
    const HelperOutcome outcome = runScript("head -c 1000000 /dev/zero >&2; exit 1");
    EXPECT_EQ(outcome.end, End::Exited);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err.size(), 64u * 1024u);
}

TEST(HelperProcess, AProgramThatCannotRunSaysWhy) {
    const auto dir = std::filesystem::temp_directory_path() / "zorvane-helperprocess";
    std::filesystem::create_directories(dir);
    const auto notExecutable = dir / "plain-file";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    std::filesystem::permissions(notExecutable, std::filesystem::perms::owner_read);
    const std::atomic<bool> cancel{false};
    for (const auto& [program, reason] :
         {std::pair{(dir / "missing").string(), std::string("No such file or directory")},
          std::pair{notExecutable.string(), std::string("Permission denied")}}) {
        const HelperOutcome outcome = runHelper(program, {}, cancel, 1024, 5);
        EXPECT_EQ(outcome.end, End::NotStarted) << program;
        EXPECT_EQ(outcome.why, reason) << program;
    }
    std::filesystem::remove_all(dir);
}

TEST(HelperProcess, CancelEndsAHelperThatWouldRunForAMinute) {
    // Printing and then sleeping, and sleeping with its outputs closed: both are ended.
    for (const char* script : {"printf x; sleep 60", "exec >&- 2>&-; sleep 60"}) {
        std::atomic<bool> cancel{false};
        std::thread canceller([&cancel] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            cancel = true;
        });
        const HelperOutcome outcome = runHelper("/bin/sh", {"-c", script}, cancel, 1024, 5);
        canceller.join();
        EXPECT_EQ(outcome.end, End::Cancelled) << script;
        EXPECT_TRUE(outcome.out.empty()) << script;
    }
}

} // namespace
} // namespace zorvane::work
