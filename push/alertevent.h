#pragma once
// One alert as it leaves the desktop: what happens to which boss (on which line and
// server) at which instant, with an id that every member of a room derives alike, and its
// wording for a phone or a channel.

#include "text/message.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::push {

// What an alert says. New kinds go at the end: their names are stored in push.json and
// travel between members.
enum class AlertKind : std::uint8_t {
    LeadTime,   // a lead time before the spawn was reached
    WindowOpen, // the spawn window opened
    Spawn,      // the boss is due
    Unrecorded, // the boss has been due for some minutes and no kill was recorded
};

inline constexpr std::array kAlertKinds = {AlertKind::LeadTime, AlertKind::WindowOpen,
                                           AlertKind::Spawn, AlertKind::Unrecorded};

// "lead", "window", "spawn", "unrecorded": the names in push.json, the JSON body and the
// relays' presence.
std::string_view kindName(AlertKind kind);
std::optional<AlertKind> kindFromName(std::string_view name);

// A set of kinds.
class KindSet {
public:
    constexpr KindSet() = default;
    static constexpr KindSet all() {
        KindSet set;
        for (const AlertKind kind : kAlertKinds) {
            set.insert(kind);
        }
        return set;
    }
    constexpr void insert(AlertKind kind) { m_bits |= bit(kind); }
    constexpr bool contains(AlertKind kind) const { return (m_bits & bit(kind)) != 0; }
    constexpr bool empty() const { return m_bits == 0; }
    friend constexpr bool operator==(KindSet, KindSet) = default;

private:
    static constexpr std::uint32_t bit(AlertKind kind) {
        return std::uint32_t{1} << static_cast<unsigned>(kind);
    }
    std::uint32_t m_bits = 0;
};

struct AlertEvent {
    AlertKind kind = AlertKind::Spawn;
    // LeadTime: the lead minutes reached; Unrecorded: the minutes after the spawn at which
    // it fires; 0 for the others.
    int minutes = 0;
    std::string boss;
    std::string line;   // "3线"; empty when the boss has no lines
    std::string server; // "二区"; empty when the player names none
    // The instant the alert is about, seconds since 1970 UTC: the spawn for LeadTime, Spawn
    // and Unrecorded, the window's opening for WindowOpen. It must come from the shared
    // kill instant and the cycle (never from a local reading of the clock), so that every
    // member computes the same id.
    std::int64_t dueUtc = 0;
};

// 32 lower-case hex digits of the SHA-256 of the kind, minutes, trimmed boss, line and
// server, and the due instant: the same event on two members' machines has the same id,
// and nothing local (row numbers, the moment it fired) goes into it.
std::string eventId(const AlertEvent& event);

// "黑龙 3线 @ 二区": the boss, its line after a space, the server after " @ ".
std::string bossLabel(const AlertEvent& event);

// The instant the alert fires on every member's machine: the lead time before the spawn,
// the spawn or the window's opening, or the minutes after the spawn for an unrecorded one.
std::int64_t firesUtc(const AlertEvent& event);

// When the event stops being worth sending: a lead time once the spawn has come, a spawn
// a quarter of an hour after it, an open window or an unrecorded spawn half an hour later.
std::int64_t expiresUtc(const AlertEvent& event);

// The time left until `dueUtc` as the phone shows it: whole minutes (rounded) from a
// minute on, seconds below.
text::Message timeLeftText(std::int64_t secondsLeft);

// The alert's one-line title at `nowUtc` ("黑龙 3线 @ 二区 5 分钟后刷新"), with the true time
// left or passed at that moment, not the one it fired with.
text::Message eventTitle(const AlertEvent& event, std::int64_t nowUtc);

// "刷新时间 21:35": the due instant on this machine's clock.
text::Message dueAtText(const AlertEvent& event);

} // namespace zorvane::push
