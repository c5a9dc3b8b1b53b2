#include "push/deliveryplan.h"

#include "push/payloads.h"
#include "push/pushurl.h"

#include <algorithm>

namespace zorvane::push {
namespace {

// Ids of delivered alerts each lane remembers, so the same alert fired twice posts once.
constexpr std::size_t kRecentIds = 256;

} // namespace

RateLimit rateLimitFor(TargetKind kind) {
    using std::chrono::milliseconds;
    switch (kind) {
    case TargetKind::Discord:
        return {5, milliseconds(2000)};
    case TargetKind::Ntfy:
        return {10, milliseconds(3000)};
    case TargetKind::Json:
        return {10, milliseconds(1000)};
    }
    return {1, milliseconds(1000)};
}

DeliveryPlan::Lane* DeliveryPlan::lane(const std::string& targetId) {
    for (Lane& lane : m_lanes) {
        if (lane.target.id == targetId) {
            return &lane;
        }
    }
    return nullptr;
}

void DeliveryPlan::configure(const std::vector<PushTarget>& targets,
                             const std::vector<text::Message>& problems) {
    std::vector<Lane> lanes;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const PushTarget& target = targets[i];
        if (!target.enabled) {
            continue;
        }
        Lane next;
        if (Lane* old = lane(target.id)) {
            next = std::move(*old);
        } else {
            next.status.targetId = target.id;
        }
        next.target = target;
        next.rate = rateLimitFor(target.kind);
        next.status.name = target.name;
        next.status.shownUrl = redactedUrl(target.url);
        const text::Message problem = i < problems.size() ? problems[i] : text::Message();
        next.usable = problem.empty();
        if (!next.usable) {
            next.queue.clear();
            next.status.ok = false;
            next.status.lastError = problem;
        }
        next.status.waiting = static_cast<int>(next.queue.size());
        next.changed = true;
        lanes.push_back(std::move(next));
    }
    m_lanes = std::move(lanes);
}

void DeliveryPlan::fail(Lane& lane, text::Message reason, std::int64_t utcNow) {
    lane.status.ok = false;
    lane.status.lastError = std::move(reason);
    lane.status.lastErrorUtc = utcNow;
    lane.changed = true;
}

void DeliveryPlan::enqueue(Lane& lane, Pending pending, std::int64_t utcNow) {
    if (lane.queue.size() >= m_policy.queueLimit) {
        lane.queue.pop_front();
        ++lane.status.dropped;
        fail(lane,
             text::Message(text::MessageId::PushQueueFull,
                           {text::Message::literal(std::to_string(lane.status.dropped))}),
             utcNow);
    }
    lane.queue.push_back(std::move(pending));
    lane.status.waiting = static_cast<int>(lane.queue.size());
    lane.changed = true;
}

std::size_t DeliveryPlan::add(const AlertEvent& event, const std::string& id, TimePoint now,
                              std::int64_t utcNow, const RoomDelay& roomDelay) {
    std::size_t added = 0;
    for (Lane& lane : m_lanes) {
        if (!lane.usable || !lane.target.events.contains(event.kind)) {
            continue;
        }
        const bool queued = std::any_of(lane.queue.begin(), lane.queue.end(),
                                        [&id](const Pending& p) { return p.id == id; });
        const bool delivered = std::any_of(lane.recent.begin(), lane.recent.end(),
                                           [&id](const auto& sent) { return sent.first == id; });
        if (queued || delivered) {
            continue;
        }
        const bool room = lane.target.scope == TargetScope::Room && roomDelay;
        enqueue(lane, Pending{event, id, room ? now + roomDelay(lane.target) : now}, utcNow);
        ++added;
    }
    return added;
}

std::vector<SentRecord> DeliveryPlan::sent(std::int64_t utcNow) const {
    std::vector<SentRecord> records;
    for (const Lane& lane : m_lanes) {
        for (const auto& [id, until] : lane.recent) {
            if (until > utcNow) {
                records.push_back({lane.target.id, id, until});
            }
        }
    }
    return records;
}

void DeliveryPlan::rememberSent(const std::vector<SentRecord>& records) {
    for (const SentRecord& record : records) {
        Lane* found = lane(record.targetId);
        if (found == nullptr ||
            std::any_of(found->recent.begin(), found->recent.end(),
                        [&](const auto& sent) { return sent.first == record.eventId; })) {
            continue;
        }
        found->recent.emplace_back(record.eventId, record.untilUtc);
        while (found->recent.size() > kRecentIds) {
            found->recent.pop_front();
        }
    }
}

std::chrono::milliseconds DeliveryPlan::backoff(int failures) const {
    std::chrono::milliseconds wait = m_policy.firstRetry;
    for (int i = 1; i < failures && wait < m_policy.maxRetry; ++i) {
        wait *= 2;
    }
    return std::min(wait, m_policy.maxRetry);
}

DeliveryPlan::TimePoint DeliveryPlan::readyAt(const Lane& lane) const {
    TimePoint ready = lane.queue.front().notBefore;
    for (const Pending& pending : lane.queue) {
        ready = std::min(ready, pending.notBefore);
    }
    if (lane.failures > 0) {
        ready = std::max(ready, lane.retryAt);
    }
    // The bucket holds `burst` posts: the next may go once the theoretical time of the one
    // after it lies no more than burst - 1 intervals ahead.
    const TimePoint rateFree = lane.nextFree - lane.rate.interval * (lane.rate.burst - 1);
    return std::max(ready, rateFree);
}

void DeliveryPlan::dropOutOfDate(Lane& lane, std::int64_t utcNow) {
    const std::size_t before = lane.queue.size();
    std::erase_if(lane.queue,
                  [utcNow](const Pending& pending) { return expiresUtc(pending.event) <= utcNow; });
    const std::size_t dropped = before - lane.queue.size();
    if (dropped > 0) {
        lane.status.dropped += static_cast<int>(dropped);
        lane.status.waiting = static_cast<int>(lane.queue.size());
        if (lane.queue.empty()) {
            lane.failures = 0;
        }
        fail(lane,
             text::Message(text::MessageId::PushTooLate,
                           {text::Message::literal(std::to_string(dropped))}),
             utcNow);
    }
}

void DeliveryPlan::dropClaimed(Lane& lane, TimePoint now,
                               const ClaimedElsewhere& claimedElsewhere) {
    if (!claimedElsewhere || lane.target.scope != TargetScope::Room) {
        return;
    }
    const std::size_t before = lane.queue.size();
    std::erase_if(lane.queue, [&](const Pending& pending) {
        return pending.notBefore <= now && claimedElsewhere(lane.target, pending.event, pending.id);
    });
    if (const std::size_t relayed = before - lane.queue.size(); relayed > 0) {
        lane.status.relayed += static_cast<int>(relayed);
        lane.status.waiting = static_cast<int>(lane.queue.size());
        lane.changed = true;
    }
}

std::variant<DeliveryPlan::Attempt, DeliveryPlan::TimePoint, DeliveryPlan::Idle>
DeliveryPlan::next(TimePoint now, std::int64_t utcNow, const ClaimedElsewhere& claimedElsewhere) {
    Lane* chosen = nullptr;
    TimePoint chosenAt = TimePoint::max();
    TimePoint earliest = TimePoint::max();
    for (Lane& lane : m_lanes) {
        dropOutOfDate(lane, utcNow);
        dropClaimed(lane, now, claimedElsewhere);
        if (lane.queue.empty()) {
            continue;
        }
        const TimePoint ready = readyAt(lane);
        if (ready <= now && ready < chosenAt) {
            chosen = &lane;
            chosenAt = ready;
        } else if (ready > now) {
            earliest = std::min(earliest, ready);
        }
    }
    if (chosen == nullptr) {
        if (earliest == TimePoint::max()) {
            return Idle{};
        }
        return earliest;
    }
    Attempt attempt;
    attempt.target = chosen->target;
    attempt.attempt = chosen->failures + 1;
    const std::size_t batch = maxBatch(chosen->target.kind);
    for (const Pending& pending : chosen->queue) {
        if (pending.notBefore <= now && attempt.events.size() < batch) {
            attempt.events.push_back(pending.event);
            attempt.eventIds.push_back(pending.id);
        }
    }
    chosen->nextFree = std::max(chosen->nextFree, now) + chosen->rate.interval;
    return attempt;
}

void DeliveryPlan::remove(Lane& lane, const std::vector<std::string>& ids) {
    std::erase_if(lane.queue, [&ids](const Pending& pending) {
        return std::find(ids.begin(), ids.end(), pending.id) != ids.end();
    });
    lane.status.waiting = static_cast<int>(lane.queue.size());
    lane.changed = true;
}

void DeliveryPlan::relayedElsewhere(const std::string& targetId, const std::string& eventId) {
    if (Lane* found = lane(targetId)) {
        remove(*found, {eventId});
        ++found->status.relayed;
    }
}

void DeliveryPlan::finish(const Attempt& attempt, const AttemptResult& result, TimePoint now,
                          std::int64_t utcNow) {
    Lane* found = lane(attempt.target.id);
    if (found == nullptr) {
        return; // the target was removed meanwhile
    }
    Lane& lane = *found;
    const int count = static_cast<int>(attempt.eventIds.size());
    switch (result.outcome) {
    case AttemptResult::Outcome::Delivered:
        remove(lane, attempt.eventIds);
        for (std::size_t i = 0; i < attempt.eventIds.size(); ++i) {
            lane.recent.emplace_back(attempt.eventIds[i], i < attempt.events.size()
                                                              ? expiresUtc(attempt.events[i])
                                                              : utcNow);
        }
        while (lane.recent.size() > kRecentIds) {
            lane.recent.pop_front();
        }
        lane.failures = 0;
        lane.status.delivered += count;
        lane.status.ok = true;
        lane.status.lastDeliveredUtc = utcNow;
        break;
    case AttemptResult::Outcome::Refused:
        remove(lane, attempt.eventIds);
        lane.failures = 0;
        lane.status.failed += count;
        fail(lane, result.reason, utcNow);
        break;
    case AttemptResult::Outcome::Retry:
        ++lane.failures;
        if (lane.failures >= m_policy.maxAttempts) {
            remove(lane, attempt.eventIds);
            lane.status.failed += count;
            fail(lane,
                 text::Message(
                     text::MessageId::PushGaveUp,
                     {text::Message::literal(std::to_string(lane.failures)), result.reason}),
                 utcNow);
            lane.failures = 0;
            break;
        }
        {
            std::chrono::milliseconds wait = backoff(lane.failures);
            if (result.retryAfter) {
                wait = std::max(wait, std::min(*result.retryAfter, m_policy.maxServerRetry));
            }
            lane.retryAt = now + wait;
        }
        fail(lane, result.reason, utcNow);
        break;
    }
    lane.changed = true;
}

bool DeliveryPlan::idle() const {
    return std::all_of(m_lanes.begin(), m_lanes.end(),
                       [](const Lane& lane) { return lane.queue.empty(); });
}

std::vector<TargetStatus> DeliveryPlan::statuses() const {
    std::vector<TargetStatus> out;
    out.reserve(m_lanes.size());
    for (const Lane& lane : m_lanes) {
        out.push_back(lane.status);
    }
    return out;
}

std::vector<TargetStatus> DeliveryPlan::takeChanged() {
    std::vector<TargetStatus> out;
    for (Lane& lane : m_lanes) {
        if (lane.changed) {
            out.push_back(lane.status);
            lane.changed = false;
        }
    }
    return out;
}

} // namespace zorvane::push
