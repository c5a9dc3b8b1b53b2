#pragma once
// What the pusher sends when: one lane per target with its queue, its rate limit (a bucket
// of posts that refills at a steady pace), its exponential back-off after a failure, and
// its status. Pure bookkeeping: it never touches the network, and time comes in as
// arguments.

#include "push/alertevent.h"
#include "push/pushclock.h"
#include "push/sentfile.h"
#include "push/target.h"
#include "push/targetstatus.h"
#include "text/message.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zorvane::push {

struct DeliveryPolicy {
    int maxAttempts = 5;
    std::chrono::milliseconds firstRetry{2000}; // doubled after every further failure
    std::chrono::milliseconds maxRetry{std::chrono::minutes(2)};
    // The longest a server's own "retry after" is honoured.
    std::chrono::milliseconds maxServerRetry{std::chrono::minutes(10)};
    std::chrono::milliseconds timeout{10000}; // one request, from connecting to the answer
    std::size_t queueLimit = 100;             // alerts waiting per target
};

// `burst` posts at once, then one per `interval`.
struct RateLimit {
    int burst = 1;
    std::chrono::milliseconds interval{1000};
};

// Discord allows a webhook 30 messages a minute (5 per 2 s); ntfy.sh refills a visitor's
// requests every few seconds; any other server gets one post a second after a burst.
RateLimit rateLimitFor(TargetKind kind);

// How one request ended.
struct AttemptResult {
    enum class Outcome { Delivered, Retry, Refused };
    Outcome outcome = Outcome::Delivered;
    text::Message reason; // empty when delivered
    // The server's own wish (Retry-After, Discord's retry_after), if it gave one.
    std::optional<std::chrono::milliseconds> retryAfter;
};

class DeliveryPlan {
public:
    using TimePoint = PushClock::TimePoint;

    explicit DeliveryPlan(DeliveryPolicy policy = {}) : m_policy(policy) {}

    // The enabled targets from now on. Lanes of targets that stay (by id) keep their queue,
    // rate and status; `problems` holds, per target, why its address cannot serve (empty if
    // it can), and a target with a problem queues nothing.
    void configure(const std::vector<PushTarget>& targets,
                   const std::vector<text::Message>& problems);

    // Queues the event for every target that posts its kind, room targets not before
    // `roomDelay` has passed, skipping an event a lane already holds or delivered lately.
    // Gives the number of targets it was queued for.
    using RoomDelay = std::function<std::chrono::milliseconds(const PushTarget&)>;
    std::size_t add(const AlertEvent& event, const std::string& id, TimePoint now,
                    std::int64_t utcNow, const RoomDelay& roomDelay);

    // One request to make.
    struct Attempt {
        PushTarget target;
        std::vector<AlertEvent> events;
        std::vector<std::string> eventIds;
        int attempt = 1; // counted from 1
    };
    struct Idle {};
    // Whether another relay has already posted the event to the room target, or it is
    // another's to post.
    using ClaimedElsewhere = std::function<bool(const PushTarget& target, const AlertEvent& event,
                                                const std::string& eventId)>;
    // The request due now, else when the next one will be, else Idle. Out-of-date alerts, and
    // room alerts another relay has posted, are dropped on the way.
    std::variant<Attempt, TimePoint, Idle> next(TimePoint now, std::int64_t utcNow,
                                                const ClaimedElsewhere& claimedElsewhere = {});

    // Takes an event out of a lane without sending it: another relay posts it.
    void relayedElsewhere(const std::string& targetId, const std::string& eventId);

    void finish(const Attempt& attempt, const AttemptResult& result, TimePoint now,
                std::int64_t utcNow);

    // What was delivered and is still worth remembering at `utcNow`, for the next run.
    std::vector<SentRecord> sent(std::int64_t utcNow) const;
    // What an earlier run delivered: not queued again for the targets configured now.
    void rememberSent(const std::vector<SentRecord>& records);

    bool idle() const;
    std::vector<TargetStatus> statuses() const;
    // The statuses changed since the last call.
    std::vector<TargetStatus> takeChanged();

private:
    struct Pending {
        AlertEvent event;
        std::string id;
        TimePoint notBefore;
    };
    struct Lane {
        PushTarget target;
        bool usable = true;
        RateLimit rate;
        TimePoint nextFree{}; // the rate limit's theoretical time of the next post
        int failures = 0;     // of the head of the queue
        TimePoint retryAt{};
        std::deque<Pending> queue;
        // ids delivered lately with when they stop mattering, oldest first
        std::deque<std::pair<std::string, std::int64_t>> recent;
        TargetStatus status;
        bool changed = false;
    };

    Lane* lane(const std::string& targetId);
    void enqueue(Lane& lane, Pending pending, std::int64_t utcNow);
    void fail(Lane& lane, text::Message reason, std::int64_t utcNow);
    TimePoint readyAt(const Lane& lane) const;
    void dropOutOfDate(Lane& lane, std::int64_t utcNow);
    void dropClaimed(Lane& lane, TimePoint now, const ClaimedElsewhere& claimedElsewhere);
    void remove(Lane& lane, const std::vector<std::string>& ids);
    std::chrono::milliseconds backoff(int failures) const;

    DeliveryPolicy m_policy;
    std::vector<Lane> m_lanes;
};

} // namespace zorvane::push
