// Handing back the pages of read-only file mappings after the start: only private,
// read-only mappings whose every page is the file's may go; a written page or a writable
// mapping would lose what is only in memory, so those stay as they are.
#include "work/residentcode.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zorvane::work {
namespace {

// Resident kilobytes of the mappings of `path` in this process.
std::size_t residentKbOf(const std::string& path) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    std::size_t total = 0;
    while (std::getline(smaps, line)) {
        if (line.find(" rw") != std::string::npos || line.find(" r-") != std::string::npos ||
            line.find(" --") != std::string::npos) {
            if (line.find('-') < line.find(' ')) {
                inside = line.size() >= path.size() &&
                         line.compare(line.size() - path.size(), path.size(), path) == 0;
                continue;
            }
        }
        if (inside && line.rfind("Rss:", 0) == 0) {
            total += std::stoul(line.substr(4));
        }
    }
    return total;
}

// Pointers the dynamic linker writes at start (relocated data, read-only afterwards).
const char* const kNames[] = {"one", "two", "three"};

std::string executablePath() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

// Something of the test's own code to run after its pages went.
int __attribute__((noinline)) sumTo(int n) {
    int sum = 0;
    for (int i = 1; i <= n; ++i) {
        sum += i;
    }
    return sum;
}

TEST(ResidentCode, TheExecutablesCodeGoesAndRunsOn) {
    const std::string exe = executablePath();
    ASSERT_FALSE(exe.empty());
    ASSERT_EQ(sumTo(100), 5050);
    const std::size_t before = residentKbOf(exe);
    const std::size_t released = releaseStartCode();
    EXPECT_GT(released, 0U);
    EXPECT_LT(residentKbOf(exe), before);
    // Its code and constants are mapped again from the file as they are used; its data,
    // written by the dynamic linker, stayed.
    EXPECT_EQ(sumTo(100), 5050);
    EXPECT_EQ(kNames[1], std::string("two"));
    EXPECT_EQ(std::string("still here"), "still here");
}

TEST(ResidentCode, OnlyCleanCodeMappingsGo) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("zorvane-residentcode-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const long page = sysconf(_SC_PAGESIZE);
    struct Case {
        const char* name;
        int finalProtection;
        bool writeFirst; // a page is written before the mapping is made read-only
        bool expectGone; // the pages are handed back
    };
    const Case cases[] = {
        {"clean code", PROT_READ | PROT_EXEC, false, true},
        {"code with a written page", PROT_READ | PROT_EXEC, true, false},
        {"writable data", PROT_READ | PROT_WRITE, true, false},
        {"read-only data", PROT_READ, false, true},
        {"read-only data with a written page", PROT_READ, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            (dir / (std::string("file-") + std::to_string(&c - cases))).string();
        {
            std::ofstream out(path, std::ios::binary);
            for (long i = 0; i < 4 * page; ++i) {
                out.put(static_cast<char>('a' + i % 26));
            }
        }
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        auto* mapped =
            static_cast<char*>(mmap(nullptr, static_cast<std::size_t>(4 * page),
                                    PROT_READ | PROT_WRITE, MAP_PRIVATE, fileno(file), 0));
        std::fclose(file);
        ASSERT_NE(mapped, MAP_FAILED);
        volatile char seen = 0;
        for (long i = 0; i < 4 * page; i += page) {
            seen = static_cast<char>(seen + mapped[i]);
        }
        if (c.writeFirst) {
            mapped[1] = '!';
        }
        ASSERT_EQ(mprotect(mapped, static_cast<std::size_t>(4 * page), c.finalProtection), 0);
        ASSERT_GT(residentKbOf(path), 0U);

        const std::size_t released = releaseMappingsOf(path);
        EXPECT_EQ(released > 0, c.expectGone);
        EXPECT_EQ(residentKbOf(path) == 0, c.expectGone);
        // What the mapping shows is unchanged either way.
        EXPECT_EQ(mapped[0], 'a');
        EXPECT_EQ(mapped[1], c.writeFirst ? '!' : 'b');
        EXPECT_EQ(mapped[2 * page + 3], static_cast<char>('a' + (2 * page + 3) % 26));
        munmap(mapped, static_cast<std::size_t>(4 * page));
    }
    std::filesystem::remove_all(dir);
}

TEST(ResidentCode, FontFilesAreFoundByTheirNames) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zorvane-fontfiles-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const struct {
        const char* name;
        bool font;
    } cases[] = {{"face.ttf", true},     {"FACE.TTC", true},  {"face.otf", true},
                 {"face.pfb", true},     {"face.txt", false}, {"ttf", false},
                 {"face.ttf.bak", false}};
    std::vector<std::pair<void*, std::size_t>> mapped;
    for (const auto& c : cases) {
        const auto file = dir / c.name;
        std::ofstream(file) << std::string(4096, 'x');
        const int fd = ::open(file.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << c.name;
        void* at = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        ASSERT_NE(at, MAP_FAILED) << c.name;
        mapped.emplace_back(at, 4096);
    }
    const std::vector<std::string> fonts = mappedFontFiles();
    for (const auto& c : cases) {
        const std::string path = (dir / c.name).string();
        EXPECT_EQ(std::count(fonts.begin(), fonts.end(), path), c.font ? 1 : 0) << c.name;
    }
    for (const auto& [at, size] : mapped) {
        munmap(at, size);
    }
    std::filesystem::remove_all(dir);
}

TEST(ResidentCode, AFileNotMappedReleasesNothing) {
    EXPECT_EQ(releaseMappingsOf("/no/such/file"), 0U);
    EXPECT_EQ(releaseMappingsOf(""), 0U);
}

} // namespace
} // namespace zorvane::work
