#pragma once
// Posts alerts to the player's push targets without ever making the caller wait: alerts go
// into the delivery plan under a short lock and a thread of the pusher's own makes the
// requests, with the plan's rate limits and back-off, a time-out per request, and each
// target's status told to a listener. Room targets go through the relay book, so a room
// with several relays posts each event once. Every reason that reaches a status is cleaned
// of the targets' secrets first.

#include "push/deliveryplan.h"
#include "push/deliverythread.h"
#include "push/payloads.h"
#include "push/pushsettings.h"
#include "push/pushurl.h"
#include "push/sentfile.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace zorvane::push {

class RelayBook;

// Told when a target's status changes, on the pusher's thread; hands over and returns.
class PushListener {
public:
    virtual ~PushListener() = default;
    virtual void pushStatusChanged(const TargetStatus& status) = 0;
};

struct PusherOptions {
    DeliveryPolicy policy;
    Wording wording;             // empty: the Chinese wording (text::defaultText)
    PushClock* clock = nullptr;  // null: the system's clocks
    RelayBook* relays = nullptr; // null: room targets post like the player's own
    PushListener* listener = nullptr;
    std::string caFile; // PEM file of trusted authorities; empty: the system's
    // Where what was delivered is remembered across runs (sentfile.h); empty: nowhere.
    std::filesystem::path sentFile;
};

class Pusher {
public:
    // Whatever the options point to must outlive the pusher.
    explicit Pusher(PusherOptions options = {});
    // Cancels a request under way and drops what still waits.
    ~Pusher();
    Pusher(const Pusher&) = delete;
    Pusher& operator=(const Pusher&) = delete;

    // Any thread. The targets from now on; queued alerts of targets that stay are kept.
    void configure(const PushSettings& settings);
    // Any thread; returns at once. Each event goes to every enabled target that posts its kind.
    void enqueue(const AlertEvent& event);
    void enqueue(std::span<const AlertEvent> events);

    std::vector<TargetStatus> statuses() const;
    // Waits, at most `limit`, until nothing is queued or being sent; true when that happened.
    // For the end of the program and for tests.
    bool waitUntilIdle(std::chrono::milliseconds limit);

private:
    std::optional<PushClock::TimePoint> deliverDue();
    AttemptResult post(const PushRequest& request, const Redactor& redactor);
    void tell(const std::vector<TargetStatus>& changed);
    // The relay channel of a room target, computed once per configure; m_mutex held.
    const std::string& channelOf(const PushTarget& target) const;

    PusherOptions m_options;
    std::unique_ptr<PushClock> m_ownClock;
    PushClock& m_clock;
    std::atomic<bool> m_stopping{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    DeliveryPlan m_plan;
    std::shared_ptr<const Redactor> m_redactor;
    std::map<std::string, std::string, std::less<>> m_channels; // target id -> relay channel
    std::vector<SentRecord> m_sentBefore;                       // what earlier runs delivered
    bool m_sending = false;

    DeliveryThread m_thread; // last: stopped first
};

} // namespace zorvane::push
