#include "work/residentcode.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>
#endif

namespace zorvane::work {

#ifdef __linux__
namespace {

struct CodeMapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::size_t residentKb = 0;
    // A page of it exists only in memory (written, so no longer the file's).
    bool written = false;
};

// What /proc/self/pagemap says of the pages of `mapping`: how many are resident, and
// whether any of them is not the file's. 64 bits a page: bit 63 present, bit 61 a page of
// a file (or shared); a private page that was written is neither of the file nor shared.
// Readable without privileges (only the frame numbers are hidden).
bool readPages(int pagemap, CodeMapping& mapping) {
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    constexpr std::uint64_t kPresent = std::uint64_t{1} << 63;
    constexpr std::uint64_t kFilePage = std::uint64_t{1} << 61;
    std::vector<std::uint64_t> entries(256);
    std::size_t resident = 0;
    for (std::uintptr_t page = mapping.start / pageSize; page < mapping.end / pageSize;) {
        const std::size_t count =
            std::min<std::uintptr_t>(entries.size(), mapping.end / pageSize - page);
        const ssize_t read = pread(pagemap, entries.data(), count * sizeof(std::uint64_t),
                                   static_cast<off_t>(page * sizeof(std::uint64_t)));
        if (read != static_cast<ssize_t>(count * sizeof(std::uint64_t))) {
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if ((entries[i] & kPresent) != 0) {
                ++resident;
                mapping.written = mapping.written || (entries[i] & kFilePage) == 0;
            }
        }
        page += count;
    }
    mapping.residentKb = resident * (pageSize / 1024);
    return true;
}

// The private, read-only mappings of the files at `paths` (executable or not), with what
// is resident of them and whether a page was written. The list of mappings comes from
// /proc/self/maps and the pages from /proc/self/pagemap, for these mappings only: smaps
// would have the kernel walk the pages of every mapping of the process, milliseconds for
// the window's hundreds. A mapping whose pages cannot be read counts as written.
std::vector<CodeMapping> readOnlyMappingsOf(const std::vector<std::string>& paths) {
    std::vector<CodeMapping> found;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        // "start-end perms offset device inode path".
        std::istringstream fields(line);
        std::string range;
        std::string perms;
        std::string offset;
        std::string device;
        std::string inode;
        std::string mapped;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, mapped);
        const auto dash = range.find('-');
        if (dash == std::string::npos ||
            range.find_first_not_of("0123456789abcdef-") != std::string::npos ||
            (perms != "r-xp" && perms != "r--p") ||
            std::find(paths.begin(), paths.end(), mapped) == paths.end()) {
            continue;
        }
        found.push_back({std::stoull(range.substr(0, dash), nullptr, 16),
                         std::stoull(range.substr(dash + 1), nullptr, 16), 0, false});
    }
    if (found.empty()) {
        return found;
    }
    const int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    for (CodeMapping& mapping : found) {
        if (pagemap < 0 || !readPages(pagemap, mapping)) {
            mapping.written = true;
        }
    }
    if (pagemap >= 0) {
        close(pagemap);
    }
    return found;
}

} // namespace

std::size_t releaseMappingsOf(const std::string& path) {
    return releaseMappingsOf(std::vector<std::string>{path});
}

std::size_t releaseMappingsOf(const std::vector<std::string>& paths) {
    std::size_t released = 0;
    for (const CodeMapping& mapping : readOnlyMappingsOf(paths)) {
        // A written page exists only in memory (relocated data made read-only after the
        // dynamic linker wrote it, a debugger's breakpoint): keep the mapping.
        if (mapping.written || mapping.end <= mapping.start) {
            continue;
        }
        // MADV_DONTNEED on a private file mapping whose pages are all the file's drops
        // them from this process only; the next access maps them again from the file.
        if (madvise(reinterpret_cast<void*>(mapping.start), mapping.end - mapping.start,
                    MADV_DONTNEED) == 0) {
            released += mapping.residentKb;
        }
    }
    return released;
}

std::vector<std::string> mappedFontFiles() {
    std::vector<std::string> files;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        // "start-end perms offset dev inode   path"
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos) {
            continue;
        }
        std::string path = line.substr(slash);
        const std::size_t dot = path.rfind('.');
        if (dot == std::string::npos) {
            continue;
        }
        std::string extension = path.substr(dot + 1);
        for (char& c : extension) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        const bool font = extension == "ttf" || extension == "ttc" || extension == "otf" ||
                          extension == "otc" || extension == "pfb";
        if (font && std::find(files.begin(), files.end(), path) == files.end()) {
            files.push_back(std::move(path));
        }
    }
    return files;
}

std::string executablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::size_t releaseStartCode() {
    const std::string exe = executablePath();
    return exe.empty() ? 0 : releaseMappingsOf(exe);
}

#else

std::size_t releaseMappingsOf(const std::string&) {
    return 0;
}
std::size_t releaseMappingsOf(const std::vector<std::string>&) {
    return 0;
}
std::string executablePath() {
    return {};
}
std::vector<std::string> mappedFontFiles() {
    return {};
}
std::size_t releaseStartCode() {
    return 0;
}

#endif

} // namespace zorvane::work
