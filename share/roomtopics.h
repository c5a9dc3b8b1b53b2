#pragma once
// Where a room's messages travel. Every message of a member goes under that member's own
// topic level, which the broker's access list ties to the member's user name, so the topic
// says who sent a message and the message itself cannot lie about it:
//
//   zorvane/v2/<room>/kill/<member>/<server>/<boss>/<line>     a member's kills (retained)
//   zorvane/v2/<room>/kill/<member>/<server>/restart           a member's restart (retained)
//   zorvane/v2/<room>/officer/<member>/<server>/<boss>/<line>  an officer's kills (retained)
//   zorvane/v2/<room>/officer/<member>/<server>/restart        an officer's restart (retained)
//   zorvane/v2/<room>/retract/<member>/<event id>              an officer's retraction (retained)
//   zorvane/v2/<room>/list/<member>/<name>                     an officer's boss list (retained)
//   zorvane/v2/<room>/sync/<member>                            its own end-of-catch-up mark
//   zorvane/v2/<room>/probe/<member>                           allowed to nobody by a managed room
//   zorvane/v1/<room>/probe/<member>                           allowed where earlier versions send
//   zorvane/v1/<room>/~relay/<relay id>                        a push relay's presence (retained)
//   zorvane/v1/<room>/~claim                                   a push relay's claims
//
// An empty server or line level stands for none: a table without servers and lines keys
// its kills as (server "", boss, line ""). The topics of earlier versions,
// zorvane/v1/<room>/<boss>, carry the same kills as (server "", boss, line "") from a
// member the broker does not name. Every level is written with encodeTopicLevel.
//
// A restart travels one level short of a kill, under the sender's kill (or officer) level:
// whoever may send kills may tell of a restart, and members that know no restarts never
// receive one, since their kill filters are a level deeper.

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::share {

// What a kill is of.
struct KillKey {
    std::string server; // "" when the table has no servers
    std::string boss;   // trimmed
    std::string line;   // "" when the boss has no lines

    auto operator<=>(const KillKey&) const = default;
};

// The key as one line of text for logs and tests: "boss", "boss 3 @ server".
std::string describe(const KillKey& key);

enum class Branch {
    Kill,    // a recorder's (or an unmanaged room member's) kills
    Officer, // an officer's kills: trusted over the early re-kill check
    Retract, // an officer's retraction of any member's kill
    List,    // an officer's boss list
    Sync,    // the end of the retained messages a member receives when it subscribes
    Probe,   // granted to nobody where the broker enforces roles
    Legacy,  // kills of earlier versions, sender unknown to the broker
    Restart, // a server restart, on a member's kill or officer level
};

// A topic of the room, read back.
struct TopicAddress {
    Branch branch = Branch::Kill;
    std::string member; // the sender's member level, decoded; empty for Legacy
    KillKey key;        // Kill, Officer, Legacy; Restart: the server only
    std::string name;   // Retract: the retracted event's id; List: the list's name;
                        // Restart: the level it came on, "kill" or "officer"

    bool operator==(const TopicAddress&) const = default;
};

// The topic level of a user name (encodeTopicLevel); "" for a member without a user name.
std::string memberLevel(std::string_view user);

std::string killTopic(std::string_view room, Branch branch, std::string_view member,
                      const KillKey& key);
// Where a member tells of a restart of `server` (`branch` Officer for an officer's).
std::string restartTopic(std::string_view room, Branch branch, std::string_view member,
                         std::string_view server);
std::string retractTopic(std::string_view room, std::string_view member, std::string_view eventId);
std::string listTopic(std::string_view room, std::string_view member, std::string_view name);
// A member's own level of a branch: its sync and probe topics, and the topics a role
// probe asks about (an access list that grants .../kill/<member>/# grants this too).
std::string memberTopic(std::string_view room, Branch branch, std::string_view member);
std::string syncTopic(std::string_view room, std::string_view member);
std::string probeTopic(std::string_view room, std::string_view member);
std::string legacyTopic(std::string_view room, std::string_view boss);
// A topic of earlier versions' room that none of their members reads (one level deeper
// than their kills): a broker that takes a message there knows those topics.
std::string legacyProbeTopic(std::string_view room, std::string_view member);

// Topics nobody sends on. A room made by the room script grants each member the
// subscription of the markers of what it may do; a refused subscription is the one answer
// an MQTT 3.1.1 broker gives about access, so the member learns its role from these. They
// lie outside the room's own topics, whose subscription every member is granted.
enum class RoleMarker {
    Member,   // every member of a room whose access list has markers
    Recorder, // may send kills
    Officer,  // may send an officer's kills, retractions and boss lists
    Legacy,   // may send on the topics of earlier versions
    Nobody,   // granted to nobody: a broker that grants it enforces nothing by subscriptions
};
inline constexpr int kRoleMarkerCount = 5;
// zorvane/roles/<room>/<member|recorder|officer|legacy|nobody>
std::string roleMarkerTopic(std::string_view room, RoleMarker marker);
bool isRoleMarkerTopic(std::string_view topic);

// The filters a member subscribes to, retractions first so that a member catching up
// meets a retraction before the kill it retracts wherever the broker keeps that order.
// The indices tell where the kills' filter, the earlier versions' filter and the member's
// own sync topic are in the list.
struct Subscription {
    std::vector<std::string> filters;
    std::size_t killFilterIndex = 0;
    std::size_t legacyFilterIndex = 0;
    std::size_t syncFilterIndex = 0;
    std::size_t restartFilterIndex = 0; // the members' restarts; the officers' follow it
};
Subscription roomSubscription(std::string_view room, std::string_view member);

// The topics of the room's push relays (push/relay.h reads their payloads). "~" never
// starts a boss's level (encodeTopicLevel escapes it), so they meet no kill's topic.
std::string relayTopic(std::string_view room, std::string_view relayId);
std::string relayFilter(std::string_view room);
std::string claimTopic(std::string_view room);
// What a topic of the room's relays is: the presence of the relay named, or a claim.
struct RelayAddress {
    bool claim = false;
    std::string relayId; // a presence's
};
// nullopt for every other topic, and for a relay id other than 1 to 64 letters and digits.
std::optional<RelayAddress> parseRelayTopic(std::string_view topic, std::string_view room);

// Reads a level written by encodeTopicLevel; nullopt for anything encodeTopicLevel does not
// write (a lower-case or broken escape, an escaped letter), so that two topics never name
// the same thing.
std::optional<std::string> decodeTopicLevel(std::string_view level);

// Reads a topic of the room; nullopt when it is none of the room's topics.
std::optional<TopicAddress> parseTopic(std::string_view topic, std::string_view room);

} // namespace zorvane::share
