#pragma once
// What a member makes of every kill and retraction it receives from a room: the sanity
// checks, the order of kills, who may take a kill back, and per member what was accepted
// and refused. Pure decisions on instants (UTC seconds): no clock, no zone, no network.
//
// The order of kills is total and the same on every member: a kill is newer than another
// when its instant is later, or, at the same instant, when its event id is greater. So two
// members who record the same boss within the same second end with the same last kill.
//
// Not thread-safe: one thread at a time (the room client holds it under its lock).

#include "share/killevent.h"
#include "share/roommessage.h"
#include "share/roomtopics.h"
#include "text/message.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zorvane::share {

struct RefereeRules {
    // A kill later than now plus this is refused (and so is one later than its own sending).
    std::int64_t skewToleranceSeconds = 60;
    // A member (officers and members of earlier versions aside) may send this many kills
    // within any minute; more are refused.
    int killsPerMinute = 6;
    // Kills of one key this close are one kill told twice: the newer of them stands, and
    // neither is a re-kill.
    std::int64_t sameKillSeconds = 60;
    // This many members other than the one who sent a key's newest kill, each refused as too
    // early against it, overrule it: so no single member can hold a row for the others.
    int disputeQuorum = 2;
    // Kills kept per key, for putting a row back when its newest kill is retracted.
    std::size_t keptPerKey = 8;
    // Event ids remembered to recognise a message met before, and retractions kept.
    std::size_t rememberedIds = 20000;
    // Keys and members followed at most; beyond, a message is judged without being kept.
    std::size_t maxKeys = 50000;
    std::size_t maxMembers = 10000;
};

enum class Refusal {
    InFuture,  // later than now (or than its own sending) plus the tolerance
    TooEarly,  // a re-kill much earlier than the boss's rule allows, not from an officer
    TooMany,   // more kills within a minute than a member may send
    NotTheirs, // a retraction of another member's kill by one who is not an officer
};
inline constexpr std::size_t kRefusalCount = 4;

// A short stable key of a refusal, for the history and logs: "in-future", "too-early",
// "too-many", "not-theirs".
const char* refusalKey(Refusal refusal);

enum class Verdict {
    Apply,     // kill: the newest of its key, rows of the key take it; retraction: it stands
    Older,     // kill: not newer than the newest of its key; nothing changes
    Duplicate, // met before; nothing changes
    Retracted, // kill: taken back before it arrived; nothing changes
    Refused,   // see the refusal; nothing changes
};

struct Judgement {
    Verdict verdict = Verdict::Apply;
    std::optional<Refusal> refusal;
    text::Message reason; // why it was refused, for the user
    // Apply: more members than the quorum disputed the newest kill, which this one replaces.
    bool overruled = false;
};

struct RetractionJudgement {
    Verdict verdict = Verdict::Apply; // Apply, Duplicate or Refused
    std::optional<Refusal> refusal;
    text::Message reason;
    std::optional<KillEvent> target;   // the retracted kill, when this member had it
    bool wasNewest = false;            // it was the newest of its key
    std::optional<KillEvent> restored; // then the key's newest kill after it, if any is kept
};

// What one member did in the room, as this member saw it.
struct MemberRecord {
    std::string member; // the member level ("" for a member without a user name)
    // Legacy: the members of earlier versions, together; Unmanaged: one client of an account
    // members may share.
    Standing standing = Standing::Member;
    std::string nickname;       // the latest it used
    std::uint64_t accepted = 0; // kills that were the newest of their key
    std::array<std::uint64_t, kRefusalCount> refused{};
    std::uint64_t retractions = 0; // retractions it sent that stood

    std::uint64_t refusedTotal() const;
};

class Referee {
public:
    explicit Referee(RefereeRules rules = {});

    const RefereeRules& rules() const { return m_rules; }

    // The rule of each boss in this member's table: period plus delay, in minutes. A boss
    // without one is judged by the shorter rule of the two kills compared.
    void setRules(std::map<std::string, int> bossRuleMinutes);

    // A kill received from the room, with its member and standing filled in. `nowMillis` is
    // this member's clock; `retained` whether the broker kept it (then it may be old, and
    // its own sending time places it for the limit per minute).
    Judgement judgeKill(const KillEvent& event, std::int64_t nowMillis, bool retained);
    // A kill this member recorded itself (never refused here: it was seen happen).
    void noteOwnKill(const KillEvent& event);
    // A retraction received from `member` (standing as for kills), or sent by this member.
    RetractionJudgement judgeRetraction(const Retraction& retraction, const std::string& member,
                                        Standing standing);

    // A server restart received from `member` (standing as for kills): refused when later
    // than now, or than its own sending, beyond the tolerance; Older when not later than the
    // newest restart of its server met before (members who catch up again meet the same
    // restarts), Duplicate when met before. Restarts count against no limit per minute: a
    // member tells of one per server and the newest stands.
    Judgement judgeRestart(const ServerRestart& restart, const std::string& member,
                           Standing standing, std::int64_t nowMillis);
    // A restart this member told the room of.
    void noteOwnRestart(const ServerRestart& restart);

    // The newest kill of a key, if any.
    std::optional<KillEvent> newest(const KillKey& key) const;
    // A kept kill by its event id.
    std::optional<KillEvent> find(const std::string& eventId) const;
    // The newest kill of every key.
    std::vector<KillEvent> newestOfEveryKey() const;
    // Every member met, in the order of their member level.
    std::vector<MemberRecord> members() const;
    // One member's record, if met (`senderId` tells members apart where the broker sets no
    // roles).
    std::optional<MemberRecord> member(const std::string& member, Standing standing,
                                       const std::string& senderId = {}) const;

private:
    struct KeyState {
        std::deque<KillEvent> kills;    // oldest first; the back is the newest
        std::set<std::string> disputes; // members refused as too early against the back
    };
    struct Issuer {
        std::string member;
        Standing standing = Standing::Member;
        std::string senderId;
    };

    Judgement refuse(const KillEvent& event, Refusal refusal, text::Message reason);
    bool rateExceeded(const KillEvent& event, std::int64_t atMillis);
    int ruleMinutes(const KillEvent& newer, const KillEvent& older) const;
    void keep(KeyState& state, const KillEvent& event);
    void remember(std::unordered_set<std::string>& ids, std::deque<std::string>& order,
                  const std::string& id);
    MemberRecord* record(const std::string& member, Standing standing, const std::string& senderId,
                         const std::string& nickname);
    RetractionJudgement retract(const std::string& targetId, const Issuer& issuer);

    RefereeRules m_rules;
    std::map<std::string, int> m_bossRules;
    std::map<KillKey, KeyState> m_keys;
    std::unordered_map<std::string, KillKey> m_keyOfEvent; // kept kills by event id
    std::unordered_set<std::string> m_seen;
    std::deque<std::string> m_seenOrder;
    std::unordered_map<std::string, Issuer> m_retracted; // retracted event id -> who
    std::deque<std::string> m_retractedOrder;
    std::map<std::string, MemberRecord> m_members;               // by standing and member level
    std::map<std::string, std::multiset<std::int64_t>> m_recent; // kills per member, by time
    // The newest restart met per server: its instant and event id.
    std::map<std::string, std::pair<std::int64_t, std::string>> m_restarts;
};

} // namespace zorvane::share
