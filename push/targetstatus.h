#pragma once
// How a push target fares: what it delivered, what waits and why it last failed. Made by
// the pusher, read by the window through the helper's reports.

#include "text/message.h"

#include <cstdint>
#include <string>

namespace zorvane::push {

// How one target fares, as the window shows it.
struct TargetStatus {
    std::string targetId;
    std::string name;
    std::string shownUrl; // redactedUrl: never the secret
    int delivered = 0;    // alerts posted
    int waiting = 0;      // alerts queued now
    int failed = 0;       // alerts given up after errors or refused
    int dropped = 0;      // alerts out of date or over the queue limit
    int relayed = 0;      // room alerts another relay posted
    bool ok = true;       // the last attempt (or check) succeeded
    // Why the last failure happened, redacted; stays after a later success, with its time.
    text::Message lastError;
    std::int64_t lastErrorUtc = 0;
    std::int64_t lastDeliveredUtc = 0;
};

// "推送到“公会频道”失败：…": the status's last error as the window's notice words it.
text::Message failureNotice(const TargetStatus& status);

} // namespace zorvane::push
