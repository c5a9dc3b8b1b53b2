#include "work/residentcode.h"

#ifdef __linux__
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
    std::size_t anonymousKb = 0;
};

// The private, read-only mappings of the files at `paths` (executable or not), with what
// /proc says of their pages. One pass over smaps, whose hundreds of mappings take the kernel
// and this parser milliseconds to list: the lines about pages are looked at only for the
// mappings wanted.
std::vector<CodeMapping> readOnlyMappingsOf(const std::vector<std::string>& paths) {
    std::vector<CodeMapping> found;
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    CodeMapping* current = nullptr;
    while (std::getline(smaps, line)) {
        // A mapping's first line starts with its address in lower-case hex; the lines about
        // its pages start with a capitalised name ("Rss:").
        const bool first = !line.empty() && ((line[0] >= '0' && line[0] <= '9') ||
                                             (line[0] >= 'a' && line[0] <= 'f'));
        if (!first && current == nullptr) {
            continue;
        }
        std::istringstream fields(line);
        std::string range;
        std::string perms;
        if (first) {
            fields >> range >> perms;
        }
        const auto dash = range.find('-');
        // "start-end perms offset device inode path".
        if (first && dash != std::string::npos && perms.size() == 4 &&
            range.find_first_not_of("0123456789abcdef-") == std::string::npos) {
            current = nullptr;
            std::string offset;
            std::string device;
            std::string inode;
            std::string mapped;
            fields >> offset >> device >> inode;
            std::getline(fields >> std::ws, mapped);
            if ((perms == "r-xp" || perms == "r--p") &&
                std::find(paths.begin(), paths.end(), mapped) != paths.end()) {
                found.push_back({std::stoull(range.substr(0, dash), nullptr, 16),
                                 std::stoull(range.substr(dash + 1), nullptr, 16), 0, 0});
                current = &found.back();
            }
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        std::size_t kb = 0;
        std::istringstream value(line.substr(line.find(':') + 1));
        if (line.rfind("Rss:", 0) == 0 && (value >> kb)) {
            current->residentKb = kb;
        } else if (line.rfind("Anonymous:", 0) == 0 && (value >> kb)) {
            current->anonymousKb = kb;
        }
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
        if (mapping.anonymousKb != 0 || mapping.end <= mapping.start) {
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
