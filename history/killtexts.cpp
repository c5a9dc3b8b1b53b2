#include "history/killtexts.h"

#include "schedule/datetime.h"
#include "schedule/instant.h"

#include <array>
#include <cstdio>
#include <utility>

namespace zorvane::history {
namespace {

using schedule::KillSource;

struct SourceNames {
    KillSource source;
    std::string_view key;
    std::string_view label;
};

constexpr std::array<SourceNames, 7> kSources = {{
    {KillSource::DoubleClick, "double-click", "双击"},
    {KillSource::Typed, "typed", "输入"},
    {KillSource::RollOver, "roll-over", "自动轮换"},
    {KillSource::CommandLine, "command-line", "命令行"},
    {KillSource::Remote, "remote", "远程"},
    {KillSource::Keyboard, "keyboard", "快捷键"},
    {KillSource::Menu, "menu", "右键菜单"},
}};

const SourceNames* namesOf(KillSource source) {
    for (const SourceNames& names : kSources) {
        if (names.source == source) {
            return &names;
        }
    }
    return nullptr;
}

} // namespace

std::string_view sourceKey(KillSource source) {
    const SourceNames* names = namesOf(source);
    return names ? names->key : std::string_view("unknown");
}

std::optional<KillSource> sourceFromKey(std::string_view key) {
    for (const SourceNames& names : kSources) {
        if (names.key == key) {
            return names.source;
        }
    }
    return std::nullopt;
}

std::string_view sourceLabel(KillSource source) {
    const SourceNames* names = namesOf(source);
    return names ? names->label : std::string_view("未知");
}

std::string localTimeText(std::int64_t utcSeconds) {
    schedule::DateTimeParts p;
    if (!schedule::breakDown(schedule::toLocal(utcSeconds), p)) {
        return {};
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
    return buffer;
}

std::string utcTimeText(std::int64_t utcSeconds) {
    return schedule::utcText(utcSeconds);
}

std::string durationText(std::int64_t seconds) {
    std::string sign;
    std::uint64_t left = static_cast<std::uint64_t>(seconds);
    if (seconds < 0) {
        sign = "-";
        left = 0 - left;
    }
    const std::uint64_t days = left / 86400;
    const unsigned hours = static_cast<unsigned>(left / 3600 % 24);
    const unsigned minutes = static_cast<unsigned>(left / 60 % 60);
    const unsigned secs = static_cast<unsigned>(left % 60);
    char buffer[64];
    if (days > 0) {
        std::snprintf(buffer, sizeof buffer, "%llu天%02u时%02u分",
                      static_cast<unsigned long long>(days), hours, minutes);
    } else if (hours > 0) {
        std::snprintf(buffer, sizeof buffer, "%u时%02u分%02u秒", hours, minutes, secs);
    } else if (minutes > 0) {
        std::snprintf(buffer, sizeof buffer, "%u分%02u秒", minutes, secs);
    } else {
        std::snprintf(buffer, sizeof buffer, "%u秒", secs);
    }
    return sign + buffer;
}

} // namespace zorvane::history
