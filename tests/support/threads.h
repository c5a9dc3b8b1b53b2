#pragma once
// The names of this process's threads as the system shows them (/proc/self/task/*/comm), for
// tests of which threads the program starts and what it calls them.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zorvane::testing {

inline std::vector<std::string> threadNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name)) {
            names.push_back(name);
        }
    }
    return names;
}

inline bool hasThreadNamed(const std::string& name) {
    const std::vector<std::string> names = threadNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace zorvane::testing
