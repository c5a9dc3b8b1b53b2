#pragma once
// A kill recorded by a process that does not stay in the room (--kill with no window
// running): which room the preferences name, whether the boss is shared there, and one
// publication that waits for the broker's acknowledgement before the process ends.

#include "schedule/bosstable.h"
#include "share/roomclient.h"
#include "text/message.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace zorvane::app {

class Preferences;

// How long a short-lived process waits for the broker to take a kill.
inline constexpr int kRoomPublishTimeoutMs = 10000;

// Whether kills of `boss` (trimmed) are shared: not when the user unshared it, else when
// its row is checked or the user shared it.
bool bossShared(const QStringList& shared, const QStringList& unshared, const std::string& boss,
                bool checked);
// The same decision for a table's rows: checked when any row of that name is.
bool bossShared(const Preferences& preferences, const std::vector<schedule::BossRow>& rows,
                const std::string& boss);

// The room options the preferences name; nullopt when they name no room (`problem`
// empty) or a link that cannot be used (`problem` says why).
std::optional<share::RoomOptions> roomOptionsFrom(const Preferences& preferences,
                                                  text::Message& problem);

// Connects, publishes the kill (QoS 1, retained) and waits until the broker acknowledged
// it, at most `timeoutMs`. Empty on success, else why the kill did not reach the room
// (the connection's own reason when it was refused or could not be made).
QString publishKillAndWait(const share::RoomOptions& options, const share::LocalKill& kill,
                           int timeoutMs = kRoomPublishTimeoutMs);

} // namespace zorvane::app
