#include "share/referee.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace zorvane::share {
namespace {

constexpr std::int64_t kMinuteMillis = 60000;
// Kills remembered per member for the limit per minute.
constexpr std::size_t kRecentPerMember = 256;

bool newerThan(const KillEvent& a, const KillEvent& b) {
    return std::tie(a.killUtcSeconds, a.eventId) > std::tie(b.killUtcSeconds, b.eventId);
}

KillKey keyOf(const KillEvent& event) {
    return {event.server, event.boss, event.line};
}

// Who sent a message, as far as the room can tell members apart.
std::string memberKey(const std::string& member, Standing standing, const std::string& senderId) {
    switch (standing) {
    case Standing::Legacy:
        // Members of earlier versions are one: the broker names none of them.
        return "1";
    case Standing::Unmanaged:
        return "2" + member + "/" + senderId;
    case Standing::Member:
    case Standing::Officer:
        break;
    }
    return "0" + member;
}

std::string memberKey(const KillEvent& event) {
    return memberKey(event.member, event.standing, event.senderId);
}

// Whether the broker vouches for who sent it.
bool verified(Standing standing) {
    return standing != Standing::Legacy;
}

text::Message number(std::int64_t value) {
    return text::Message::literal(std::to_string(value));
}

} // namespace

const char* refusalKey(Refusal refusal) {
    switch (refusal) {
    case Refusal::InFuture:
        return "in-future";
    case Refusal::TooEarly:
        return "too-early";
    case Refusal::TooMany:
        return "too-many";
    case Refusal::NotTheirs:
        return "not-theirs";
    }
    return "unknown";
}

std::uint64_t MemberRecord::refusedTotal() const {
    return std::accumulate(refused.begin(), refused.end(), std::uint64_t{0});
}

Referee::Referee(RefereeRules rules) : m_rules(rules) {}

void Referee::setRules(std::map<std::string, int> bossRuleMinutes) {
    m_bossRules = std::move(bossRuleMinutes);
}

MemberRecord* Referee::record(const std::string& member, Standing standing,
                              const std::string& senderId, const std::string& nickname) {
    const std::string key = memberKey(member, standing, senderId);
    auto it = m_members.find(key);
    if (it == m_members.end()) {
        if (m_members.size() >= m_rules.maxMembers) {
            return nullptr;
        }
        MemberRecord fresh;
        fresh.member = standing == Standing::Legacy ? std::string() : member;
        fresh.standing = standing == Standing::Officer ? Standing::Member : standing;
        it = m_members.emplace(key, std::move(fresh)).first;
    }
    if (standing == Standing::Officer) {
        it->second.standing = Standing::Officer;
    }
    if (!nickname.empty()) {
        it->second.nickname = nickname;
    }
    return &it->second;
}

Judgement Referee::refuse(const KillEvent& event, Refusal refusal, text::Message reason) {
    if (MemberRecord* member =
            record(event.member, event.standing, event.senderId, event.nickname)) {
        ++member->refused[static_cast<std::size_t>(refusal)];
    }
    Judgement judgement;
    judgement.verdict = Verdict::Refused;
    judgement.refusal = refusal;
    judgement.reason = std::move(reason);
    return judgement;
}

bool Referee::rateExceeded(const KillEvent& event, std::int64_t atMillis) {
    // A relayed kill counts with the other kills its first sender relayed through this
    // member: a member that heals a room sends many members' kills at once.
    std::multiset<std::int64_t>& times =
        m_recent[memberKey(event) + (event.relayed ? "/" + event.senderId : std::string())];
    const auto first = times.lower_bound(atMillis - kMinuteMillis + 1);
    const auto last = times.lower_bound(atMillis + kMinuteMillis);
    const bool exceeded = std::distance(first, last) >= m_rules.killsPerMinute;
    // Refused ones count too: a member that keeps sending stays refused.
    times.insert(atMillis);
    if (times.size() > kRecentPerMember) {
        times.erase(times.begin());
    }
    return exceeded;
}

int Referee::ruleMinutes(const KillEvent& newer, const KillEvent& older) const {
    if (const auto rule = m_bossRules.find(newer.boss); rule != m_bossRules.end()) {
        return rule->second;
    }
    // Not in this member's table: the senders say; the shorter, so that a sender cannot
    // hold the boss by claiming a long rule.
    return std::min(newer.periodMinutes + newer.delayMinutes,
                    older.periodMinutes + older.delayMinutes);
}

void Referee::remember(std::unordered_set<std::string>& ids, std::deque<std::string>& order,
                       const std::string& id) {
    if (ids.insert(id).second) {
        order.push_back(id);
        if (order.size() > m_rules.rememberedIds) {
            ids.erase(order.front());
            order.pop_front();
        }
    }
}

void Referee::keep(KeyState& state, const KillEvent& event) {
    // Kept in order, so that a retraction puts back the kill that came before.
    auto at =
        std::upper_bound(state.kills.begin(), state.kills.end(), event,
                         [](const KillEvent& a, const KillEvent& b) { return newerThan(b, a); });
    const bool newest = at == state.kills.end();
    state.kills.insert(at, event);
    m_keyOfEvent[event.eventId] = keyOf(event);
    if (newest) {
        state.disputes.clear();
    }
    while (state.kills.size() > m_rules.keptPerKey) {
        m_keyOfEvent.erase(state.kills.front().eventId);
        state.kills.pop_front();
    }
}

Judgement Referee::judgeKill(const KillEvent& event, std::int64_t nowMillis, bool retained) {
    if (m_seen.count(event.eventId) != 0) {
        return {Verdict::Duplicate, std::nullopt, {}, false};
    }
    remember(m_seen, m_seenOrder, event.eventId);
    if (const auto retraction = m_retracted.find(event.eventId); retraction != m_retracted.end()) {
        const Issuer& issuer = retraction->second;
        const bool stands =
            issuer.standing == Standing::Officer ||
            (verified(issuer.standing) && verified(event.standing) &&
             memberKey(issuer.member, issuer.standing, issuer.senderId) == memberKey(event));
        if (stands) {
            return {Verdict::Retracted, std::nullopt, {}, false};
        }
        // Someone took back a kill that was not theirs before it arrived.
        if (MemberRecord* member = record(issuer.member, issuer.standing, issuer.senderId, {})) {
            ++member->refused[static_cast<std::size_t>(Refusal::NotTheirs)];
        }
        m_retracted.erase(retraction);
    }

    const std::int64_t tolerance = m_rules.skewToleranceSeconds;
    if (event.killUtcSeconds * 1000 > nowMillis + tolerance * 1000 ||
        event.killUtcSeconds * 1000 > event.sentUtcMillis + tolerance * 1000) {
        return refuse(event, Refusal::InFuture,
                      text::Message(text::MessageId::RoomRefusedFuture, {number(tolerance)}));
    }
    const bool officer = event.standing == Standing::Officer;
    // A kept or relayed message is old: its own sending places it.
    const std::int64_t at = retained || event.relayed ? event.sentUtcMillis : nowMillis;
    // Members of earlier versions have no identity to count by; their kills instead never
    // guard a row (below), so sending many of them holds nothing.
    if (!officer && verified(event.standing) && rateExceeded(event, at)) {
        return refuse(
            event, Refusal::TooMany,
            text::Message(text::MessageId::RoomRefusedTooMany, {number(m_rules.killsPerMinute)}));
    }

    const KillKey key = keyOf(event);
    auto found = m_keys.find(key);
    Judgement judgement;
    if (found != m_keys.end() && !found->second.kills.empty()) {
        KeyState& state = found->second;
        const KillEvent& newest = state.kills.back();
        const std::int64_t gap = event.killUtcSeconds - newest.killUtcSeconds;
        if (!newerThan(event, newest)) {
            // Kept all the same: it is the kill a retraction of the newer ones goes back to.
            keep(state, event);
            return {Verdict::Older, std::nullopt, {}, false};
        }
        // Only a newer kill well after the newest can be a re-kill; one of the newest's own
        // member is that member's own correction, and one from an officer stands.
        const bool sameMember = verified(event.standing) && verified(newest.standing) &&
                                memberKey(event) == memberKey(newest);
        const int rule = ruleMinutes(event, newest);
        if (gap > m_rules.sameKillSeconds && !officer && !sameMember && verified(newest.standing) &&
            rule > 0) {
            const std::int64_t slack = std::clamp<std::int64_t>(rule / 10, 3, 60);
            if (gap < (rule - slack) * 60) {
                state.disputes.insert(memberKey(event));
                if (static_cast<int>(state.disputes.size()) < m_rules.disputeQuorum) {
                    return refuse(event, Refusal::TooEarly,
                                  text::Message(text::MessageId::RoomRefusedEarly,
                                                {number(gap / 60), number(rule)}));
                }
                judgement.overruled = true;
            }
        }
        keep(state, event);
    } else if (m_keys.size() < m_rules.maxKeys) {
        keep(m_keys[key], event);
    }
    if (MemberRecord* member =
            record(event.member, event.standing, event.senderId, event.nickname)) {
        ++member->accepted;
    }
    return judgement;
}

void Referee::noteOwnKill(const KillEvent& event) {
    remember(m_seen, m_seenOrder, event.eventId);
    const KillKey key = keyOf(event);
    if (m_keys.count(key) != 0 || m_keys.size() < m_rules.maxKeys) {
        // In the same order as everyone else's kills: the others judge it by that order too.
        keep(m_keys[key], event);
    }
}

RetractionJudgement Referee::retract(const std::string& targetId, const Issuer& issuer) {
    RetractionJudgement judgement;
    m_retracted[targetId] = issuer;
    m_retractedOrder.push_back(targetId);
    if (m_retractedOrder.size() > m_rules.rememberedIds) {
        m_retracted.erase(m_retractedOrder.front());
        m_retractedOrder.pop_front();
    }
    const auto keyIt = m_keyOfEvent.find(targetId);
    if (keyIt == m_keyOfEvent.end()) {
        return judgement;
    }
    KeyState& state = m_keys[keyIt->second];
    const auto it = std::find_if(state.kills.begin(), state.kills.end(),
                                 [&](const KillEvent& k) { return k.eventId == targetId; });
    m_keyOfEvent.erase(keyIt);
    if (it == state.kills.end()) {
        return judgement;
    }
    judgement.target = *it;
    judgement.wasNewest = std::next(it) == state.kills.end();
    state.kills.erase(it);
    if (judgement.wasNewest) {
        state.disputes.clear();
        if (!state.kills.empty()) {
            judgement.restored = state.kills.back();
        }
    }
    return judgement;
}

RetractionJudgement Referee::judgeRetraction(const Retraction& retraction,
                                             const std::string& member, Standing standing) {
    if (m_seen.count(retraction.eventId) != 0) {
        RetractionJudgement duplicate;
        duplicate.verdict = Verdict::Duplicate;
        return duplicate;
    }
    remember(m_seen, m_seenOrder, retraction.eventId);
    const Issuer issuer{member, standing, retraction.senderId};
    if (standing != Standing::Officer) {
        // Anyone else only takes back its own kill; one not met yet is judged when it comes.
        const std::optional<KillEvent> target = find(retraction.targetEventId);
        const bool own =
            target ? verified(standing) && verified(target->standing) &&
                         memberKey(*target) == memberKey(member, standing, retraction.senderId)
                   : verified(standing) && retraction.targetMember == member;
        if (!own) {
            if (MemberRecord* record =
                    this->record(member, standing, retraction.senderId, retraction.nickname)) {
                ++record->refused[static_cast<std::size_t>(Refusal::NotTheirs)];
            }
            RetractionJudgement refused;
            refused.verdict = Verdict::Refused;
            refused.refusal = Refusal::NotTheirs;
            refused.reason = text::Message(text::MessageId::RoomRefusedNotTheirs);
            return refused;
        }
    }
    if (MemberRecord* record =
            this->record(member, standing, retraction.senderId, retraction.nickname)) {
        ++record->retractions;
    }
    return retract(retraction.targetEventId, issuer);
}

std::optional<KillEvent> Referee::newest(const KillKey& key) const {
    const auto found = m_keys.find(key);
    if (found == m_keys.end() || found->second.kills.empty()) {
        return std::nullopt;
    }
    return found->second.kills.back();
}

std::optional<KillEvent> Referee::find(const std::string& eventId) const {
    const auto keyIt = m_keyOfEvent.find(eventId);
    if (keyIt == m_keyOfEvent.end()) {
        return std::nullopt;
    }
    const auto state = m_keys.find(keyIt->second);
    if (state == m_keys.end()) {
        return std::nullopt;
    }
    for (const KillEvent& kill : state->second.kills) {
        if (kill.eventId == eventId) {
            return kill;
        }
    }
    return std::nullopt;
}

std::vector<KillEvent> Referee::newestOfEveryKey() const {
    std::vector<KillEvent> kills;
    kills.reserve(m_keys.size());
    for (const auto& [key, state] : m_keys) {
        if (!state.kills.empty()) {
            kills.push_back(state.kills.back());
        }
    }
    return kills;
}

std::vector<MemberRecord> Referee::members() const {
    std::vector<MemberRecord> records;
    records.reserve(m_members.size());
    for (const auto& [key, record] : m_members) {
        records.push_back(record);
    }
    return records;
}

std::optional<MemberRecord> Referee::member(const std::string& member, Standing standing,
                                            const std::string& senderId) const {
    const auto found = m_members.find(memberKey(member, standing, senderId));
    if (found == m_members.end()) {
        return std::nullopt;
    }
    return found->second;
}

Judgement Referee::judgeRestart(const ServerRestart& restart, const std::string& member,
                                Standing standing, std::int64_t nowMillis) {
    if (m_seen.count(restart.eventId) != 0) {
        return {Verdict::Duplicate, std::nullopt, {}};
    }
    const std::int64_t tolerance = m_rules.skewToleranceSeconds;
    if (restart.restartUtcSeconds * 1000 > nowMillis + tolerance * 1000 ||
        restart.restartUtcSeconds * 1000 > restart.sentUtcMillis + tolerance * 1000) {
        if (MemberRecord* sender = record(member, standing, restart.senderId, restart.nickname)) {
            ++sender->refused[static_cast<std::size_t>(Refusal::InFuture)];
        }
        return {Verdict::Refused, Refusal::InFuture,
                text::Message(text::MessageId::RoomRefusedFuture, {number(tolerance)})};
    }
    remember(m_seen, m_seenOrder, restart.eventId);
    const auto newest = m_restarts.find(restart.server);
    const std::pair<std::int64_t, std::string> mine{restart.restartUtcSeconds, restart.eventId};
    if (newest != m_restarts.end() && !(mine > newest->second)) {
        return {Verdict::Older, std::nullopt, {}};
    }
    m_restarts[restart.server] = mine;
    record(member, standing, restart.senderId, restart.nickname);
    return {};
}

void Referee::noteOwnRestart(const ServerRestart& restart) {
    remember(m_seen, m_seenOrder, restart.eventId);
    auto& newest = m_restarts[restart.server];
    newest = std::max(newest, std::pair{restart.restartUtcSeconds, restart.eventId});
}

} // namespace zorvane::share
