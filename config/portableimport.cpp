#include "config/portableimport.h"

#include "config/configfiles.h"
#include "text/fileio.h"

#include <string_view>
#include <system_error>

namespace zorvane::config {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path) {
    return "\"" + text::utf8FromPath(path) + "\"";
}

ImportResult failure(std::string error) {
    ImportResult result;
    result.error = std::move(error);
    return result;
}

struct PendingCopy {
    fs::path source;
    fs::path target;
    std::string bytes;
};

} // namespace

ImportResult importPortableFiles(const fs::path& sourceDir, const fs::path& targetDir) {
    std::error_code ec;
    if (!fs::is_directory(sourceDir, ec)) {
        return failure(quoted(sourceDir) + " is not a folder.");
    }
    if (fs::exists(targetDir, ec) && fs::equivalent(sourceDir, targetDir, ec)) {
        return failure(quoted(sourceDir) + " is already the folder Zorvane keeps its files in.");
    }

    // Everything is checked and read before the first file is written.
    std::vector<PendingCopy> copies;
    for (const std::string_view name : {kTableFileName, kSoundFileName}) {
        const fs::path source = sourceDir / fs::path(name);
        const fs::file_status status = fs::status(source, ec);
        if (!fs::exists(status)) {
            continue;
        }
        if (!fs::is_regular_file(status)) {
            return failure(quoted(source) + " is not a file. Nothing was imported.");
        }
        const fs::path target = targetDir / fs::path(name);
        if (fs::exists(fs::symlink_status(target, ec))) {
            return failure(quoted(target) +
                           " already exists. Nothing was imported; move that file away first "
                           "if the portable folder's files should take its place.");
        }
        std::string reason;
        auto bytes = text::readWholeFile(source, &reason);
        if (!bytes) {
            // The file and the system's reason.
            return failure("Cannot read " + reason + ". Nothing was imported.");
        }
        copies.push_back({source, target, std::move(*bytes)});
    }
    if (copies.empty()) {
        return failure("Neither config.ini nor confing.ini is in " + quoted(sourceDir) +
                       ". Nothing was imported.");
    }
    fs::create_directories(targetDir, ec);
    if (!fs::is_directory(targetDir, ec)) {
        return failure(quoted(targetDir) + " cannot be created. Nothing was imported.");
    }

    ImportResult result;
    for (const PendingCopy& copy : copies) {
        const text::CreateResult created = text::createFileAtomically(copy.target, copy.bytes);
        if (created != text::CreateResult::Created) {
            // Leave the target folder as it was found.
            for (const fs::path& done : result.copied) {
                fs::remove(done, ec);
            }
            return failure(quoted(copy.target) +
                           (created == text::CreateResult::AlreadyExists
                                ? " appeared while importing. Nothing was imported."
                                : " cannot be written. Nothing was imported."));
        }
        result.copied.push_back(copy.target);
    }
    result.ok = true;
    return result;
}

} // namespace zorvane::config
