#pragma once
// Brings the two INI files of a portable Zorvane folder into the folder where an
// installed Zorvane keeps its files.

#include <filesystem>
#include <string>
#include <vector>

namespace zorvane::config {

struct [[nodiscard]] ImportResult {
    bool ok = false;
    // The files created in the target folder (none when ok is false).
    std::vector<std::filesystem::path> copied;
    // What went wrong, as a sentence for the user; empty when ok.
    std::string error;
};

// Copies config.ini and confing.ini, those of them that exist in `sourceDir`, into
// `targetDir` (created when missing). All or nothing: when either file already exists
// in `targetDir`, or anything fails, nothing is copied and what was copied is removed
// again. Each copy appears whole or not at all; the source files are left as they are.
ImportResult importPortableFiles(const std::filesystem::path& sourceDir,
                                 const std::filesystem::path& targetDir);

} // namespace zorvane::config
