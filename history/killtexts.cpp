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
    text::MessageId message; // its default text is the label files keep
};

constexpr std::array<SourceNames, 8> kSources = {{
    {KillSource::DoubleClick, "double-click", text::MessageId::SourceDoubleClick},
    {KillSource::Typed, "typed", text::MessageId::SourceTyped},
    {KillSource::RollOver, "roll-over", text::MessageId::SourceRollOver},
    {KillSource::CommandLine, "command-line", text::MessageId::SourceCommandLine},
    {KillSource::Remote, "remote", text::MessageId::SourceRemote},
    {KillSource::Keyboard, "keyboard", text::MessageId::SourceKeyboard},
    {KillSource::Menu, "menu", text::MessageId::SourceMenu},
    {KillSource::Restart, "restart", text::MessageId::SourceRestart},
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

text::Message sourceMessage(KillSource source) {
    const SourceNames* names = namesOf(source);
    return text::Message(names ? names->message : text::MessageId::SourceUnknown);
}

std::string_view sourceLabel(KillSource source) {
    const SourceNames* names = namesOf(source);
    return text::messageTemplate(names ? names->message : text::MessageId::SourceUnknown);
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

text::Message durationMessage(std::int64_t seconds) {
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
    const auto number = [](unsigned long long value, bool pad) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, pad ? "%02llu" : "%llu", value);
        return text::Message::literal(buffer);
    };
    // The sign goes with the first number, so every wording keeps it in front.
    const auto first = [&sign](text::Message number) {
        return text::Message::literal(sign + number.literalText());
    };
    if (days > 0) {
        return text::Message(
            text::MessageId::DurationDays,
            {first(number(days, false)), number(hours, true), number(minutes, true)});
    }
    if (hours > 0) {
        return text::Message(
            text::MessageId::DurationHours,
            {first(number(hours, false)), number(minutes, true), number(secs, true)});
    }
    if (minutes > 0) {
        return text::Message(text::MessageId::DurationMinutes,
                             {first(number(minutes, false)), number(secs, true)});
    }
    return text::Message(text::MessageId::DurationSeconds, {first(number(secs, false))});
}

std::string durationText(std::int64_t seconds) {
    return text::defaultText(durationMessage(seconds));
}

} // namespace zorvane::history
