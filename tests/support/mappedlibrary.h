#pragma once
// Whether this process has a library mapped: for tests that check a library is opened
// only when it is needed. Linux only (/proc/self/maps).

#include <fstream>
#include <string>

namespace zorvane::testing {

inline bool libraryMapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace zorvane::testing
