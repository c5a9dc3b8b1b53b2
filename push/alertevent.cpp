#include "push/alertevent.h"

#include "push/digest.h"
#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "text/textops.h"

#include <algorithm>

namespace zorvane::push {
namespace {

constexpr std::int64_t kSpawnRelevantSeconds = 15 * 60;
constexpr std::int64_t kLongRelevantSeconds = 30 * 60;

} // namespace

std::string eventId(const AlertEvent& event) {
    // Unit separators between the fields, so that no two different events give the same
    // text ("a b" + "c" against "a" + "b c").
    std::string key = "zorvane-alert-v1";
    for (const std::string& field :
         {std::string(kindName(event.kind)), std::to_string(event.minutes), text::trim(event.boss),
          text::trim(event.line), text::trim(event.server), std::to_string(event.dueUtc)}) {
        key += '\x1f';
        key += field;
    }
    return sha256Hex(key, 32);
}

std::int64_t firesUtc(const AlertEvent& event) {
    const std::int64_t minutes = std::int64_t{std::max(event.minutes, 0)} * 60;
    switch (event.kind) {
    case AlertKind::LeadTime:
        return event.dueUtc - minutes;
    case AlertKind::Unrecorded:
        return event.dueUtc + minutes;
    case AlertKind::WindowOpen:
    case AlertKind::Spawn:
        break;
    }
    return event.dueUtc;
}

std::string bossLabel(const AlertEvent& event) {
    std::string label = text::trim(event.boss);
    if (const std::string line = text::trim(event.line); !line.empty()) {
        label += ' ' + line;
    }
    if (const std::string server = text::trim(event.server); !server.empty()) {
        label += " @ " + server;
    }
    return label;
}

std::int64_t expiresUtc(const AlertEvent& event) {
    switch (event.kind) {
    case AlertKind::LeadTime:
        return event.dueUtc;
    case AlertKind::Spawn:
        return event.dueUtc + kSpawnRelevantSeconds;
    case AlertKind::WindowOpen:
        return event.dueUtc + kLongRelevantSeconds;
    case AlertKind::Unrecorded:
        return event.dueUtc + std::int64_t{std::max(event.minutes, 0)} * 60 + kLongRelevantSeconds;
    }
    return event.dueUtc;
}

text::Message timeLeftText(std::int64_t secondsLeft) {
    using text::Message;
    const std::int64_t seconds = std::max<std::int64_t>(secondsLeft, 0);
    if (seconds >= 60) {
        return Message(text::MessageId::PushMinutes,
                       {Message::literal(std::to_string((seconds + 30) / 60))});
    }
    return Message(text::MessageId::PushSeconds, {Message::literal(std::to_string(seconds))});
}

text::Message eventTitle(const AlertEvent& event, std::int64_t nowUtc) {
    using text::Message;
    using text::MessageId;
    const Message label = Message::literal(bossLabel(event));
    switch (event.kind) {
    case AlertKind::LeadTime:
        return Message(MessageId::PushLeadTitle, {label, timeLeftText(event.dueUtc - nowUtc)});
    case AlertKind::WindowOpen:
        return Message(MessageId::PushWindowTitle, {label});
    case AlertKind::Spawn:
        return Message(MessageId::PushSpawnTitle, {label});
    case AlertKind::Unrecorded: {
        const std::int64_t minutes = std::max<std::int64_t>((nowUtc - event.dueUtc) / 60, 0);
        return Message(MessageId::PushUnrecordedTitle,
                       {label, Message::literal(std::to_string(minutes))});
    }
    }
    return label;
}

text::Message dueAtText(const AlertEvent& event) {
    const std::string clock = schedule::clockTimeText(schedule::toLocal(event.dueUtc));
    return text::Message(
        text::MessageId::PushDueAt,
        {text::Message::literal(clock.substr(0, std::min<std::size_t>(5, clock.size())))});
}

} // namespace zorvane::push
