#include "push/sentfile.h"

#include "push/jsontext.h"
#include "text/fileio.h"

#include <nlohmann/json.hpp>

namespace zorvane::push {
namespace {

using Json = nlohmann::json;

constexpr int kSentVersion = 1;
// Far more than a file of kMaxSentRecords needs.
constexpr std::uintmax_t kMaxSentFileBytes = 1024 * 1024;

bool shortText(const Json& value) {
    return value.is_string() && !value.get_ref<const std::string&>().empty() &&
           value.get_ref<const std::string&>().size() <= 64;
}

} // namespace

std::filesystem::path sentFileFor(const std::filesystem::path& settingsFile) {
    return settingsFile.parent_path() / "push-sent.json";
}

std::vector<SentRecord> readSentFile(const std::filesystem::path& file, std::int64_t nowUtc) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > kMaxSentFileBytes) {
        return {};
    }
    const std::optional<std::string> bytes = text::readWholeFile(file);
    if (!bytes) {
        return {};
    }
    const Json object = Json::parse(*bytes, nullptr, false);
    if (!object.is_object() || object.value("v", 0) != kSentVersion) {
        return {};
    }
    const auto sent = object.find("sent");
    if (sent == object.end() || !sent->is_array()) {
        return {};
    }
    std::vector<SentRecord> records;
    for (const Json& entry : *sent) {
        if (records.size() == kMaxSentRecords) {
            break;
        }
        if (!entry.is_object()) {
            continue;
        }
        const auto target = entry.find("target");
        const auto event = entry.find("event");
        const auto until = entry.find("until");
        if (target == entry.end() || event == entry.end() || until == entry.end() ||
            !shortText(*target) || !shortText(*event) || !until->is_number_integer() ||
            until->get<std::int64_t>() <= nowUtc) {
            continue;
        }
        records.push_back(
            {target->get<std::string>(), event->get<std::string>(), until->get<std::int64_t>()});
    }
    return records;
}

bool writeSentFile(const std::filesystem::path& file, const std::vector<SentRecord>& records,
                   std::string* error) {
    Json sent = Json::array();
    for (const SentRecord& record : records) {
        if (sent.size() == kMaxSentRecords) {
            break;
        }
        sent.push_back(
            {{"target", record.targetId}, {"event", record.eventId}, {"until", record.untilUtc}});
    }
    return text::replaceFileAtomically(file, jsonText({{"v", kSentVersion}, {"sent", sent}}),
                                       error);
}

} // namespace zorvane::push
