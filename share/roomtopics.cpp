#include "share/roomtopics.h"

#include "share/killevent.h"
#include "text/textops.h"

#include <algorithm>
#include <array>

namespace zorvane::share {
namespace {

constexpr std::string_view kRoot = "zorvane/v2/";
constexpr std::string_view kLegacyRoot = "zorvane/v1/";
constexpr std::string_view kRolesRoot = "zorvane/roles/";
// The last level of a restart's topic, where a kill's topic has the boss and the line.
constexpr std::string_view kRestartLevel = "restart";

struct BranchName {
    Branch branch;
    std::string_view level;
};
constexpr std::array<BranchName, 6> kBranches = {{
    {Branch::Kill, "kill"},
    {Branch::Officer, "officer"},
    {Branch::Retract, "retract"},
    {Branch::List, "list"},
    {Branch::Sync, "sync"},
    {Branch::Probe, "probe"},
}};

std::string_view branchLevel(Branch branch) {
    for (const BranchName& entry : kBranches) {
        if (entry.branch == branch) {
            return entry.level;
        }
    }
    return "kill";
}

std::string roomPrefix(std::string_view room) {
    return std::string(kRoot) + encodeTopicLevel(room) + "/";
}

std::string branchPrefix(std::string_view room, Branch branch, std::string_view member) {
    return roomPrefix(room) + std::string(branchLevel(branch)) + "/" + encodeTopicLevel(member);
}

bool keepsAsIs(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1; // lower case is not what encodeTopicLevel writes
}

std::vector<std::string_view> splitLevels(std::string_view topic) {
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = topic.find('/', start);
        if (slash == std::string_view::npos) {
            levels.push_back(topic.substr(start));
            return levels;
        }
        levels.push_back(topic.substr(start, slash - start));
        start = slash + 1;
    }
}

// Decodes the levels into `out`; false when one is not a canonical level.
bool decodeAll(const std::vector<std::string_view>& levels, std::size_t from,
               std::vector<std::string>& out) {
    for (std::size_t i = from; i < levels.size(); ++i) {
        std::optional<std::string> decoded = decodeTopicLevel(levels[i]);
        if (!decoded) {
            return false;
        }
        out.push_back(std::move(*decoded));
    }
    return true;
}

} // namespace

std::string describe(const KillKey& key) {
    std::string text = key.boss;
    if (!key.line.empty()) {
        text += " " + key.line;
    }
    if (!key.server.empty()) {
        text += " @ " + key.server;
    }
    return text;
}

std::string memberLevel(std::string_view user) {
    return encodeTopicLevel(user);
}

std::string killTopic(std::string_view room, Branch branch, std::string_view member,
                      const KillKey& key) {
    return branchPrefix(room, branch == Branch::Officer ? Branch::Officer : Branch::Kill, member) +
           "/" + encodeTopicLevel(key.server) + "/" + encodeTopicLevel(text::trim(key.boss)) + "/" +
           encodeTopicLevel(key.line);
}

std::string restartTopic(std::string_view room, Branch branch, std::string_view member,
                         std::string_view server) {
    return branchPrefix(room, branch == Branch::Officer ? Branch::Officer : Branch::Kill, member) +
           "/" + encodeTopicLevel(server) + "/" + std::string(kRestartLevel);
}

std::string retractTopic(std::string_view room, std::string_view member, std::string_view eventId) {
    return branchPrefix(room, Branch::Retract, member) + "/" + encodeTopicLevel(eventId);
}

std::string listTopic(std::string_view room, std::string_view member, std::string_view name) {
    return branchPrefix(room, Branch::List, member) + "/" + encodeTopicLevel(name);
}

std::string memberTopic(std::string_view room, Branch branch, std::string_view member) {
    return branchPrefix(room, branch, member);
}

std::string syncTopic(std::string_view room, std::string_view member) {
    return branchPrefix(room, Branch::Sync, member);
}

std::string probeTopic(std::string_view room, std::string_view member) {
    return branchPrefix(room, Branch::Probe, member);
}

std::string legacyTopic(std::string_view room, std::string_view boss) {
    return bossTopic(room, boss);
}

std::string legacyProbeTopic(std::string_view room, std::string_view member) {
    return bossTopic(room, "probe") + "/" + encodeTopicLevel(member);
}

std::string relayTopic(std::string_view room, std::string_view relayId) {
    return std::string(kLegacyRoot) + encodeTopicLevel(room) + "/~relay/" + std::string(relayId);
}

std::string relayFilter(std::string_view room) {
    return relayTopic(room, "+");
}

std::string claimTopic(std::string_view room) {
    return std::string(kLegacyRoot) + encodeTopicLevel(room) + "/~claim";
}

std::optional<RelayAddress> parseRelayTopic(std::string_view topic, std::string_view room) {
    if (topic == claimTopic(room)) {
        return RelayAddress{true, {}};
    }
    const std::string prefix = relayTopic(room, "");
    if (!topic.starts_with(prefix)) {
        return std::nullopt;
    }
    const std::string_view id = topic.substr(prefix.size());
    const bool plain =
        !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        });
    if (!plain) {
        return std::nullopt;
    }
    return RelayAddress{false, std::string(id)};
}

std::string roleMarkerTopic(std::string_view room, RoleMarker marker) {
    std::string_view word = "nobody";
    switch (marker) {
    case RoleMarker::Member:
        word = "member";
        break;
    case RoleMarker::Recorder:
        word = "recorder";
        break;
    case RoleMarker::Officer:
        word = "officer";
        break;
    case RoleMarker::Legacy:
        word = "legacy";
        break;
    case RoleMarker::Nobody:
        break;
    }
    return std::string(kRolesRoot) + encodeTopicLevel(room) + "/" + std::string(word);
}

bool isRoleMarkerTopic(std::string_view topic) {
    return topic.substr(0, kRolesRoot.size()) == kRolesRoot;
}

Subscription roomSubscription(std::string_view room, std::string_view member) {
    const std::string prefix = roomPrefix(room);
    Subscription subscription;
    subscription.filters = {
        prefix + "retract/+/+",
        prefix + "kill/+/+/+/+",
        prefix + "officer/+/+/+/+",
        prefix + "list/+/+",
        roomFilter(room), // the kills of members of earlier versions
        syncTopic(room, member),
        prefix + "kill/+/+/" + std::string(kRestartLevel),
        prefix + "officer/+/+/" + std::string(kRestartLevel),
    };
    subscription.killFilterIndex = 1;
    subscription.legacyFilterIndex = 4;
    subscription.syncFilterIndex = 5;
    subscription.restartFilterIndex = 6;
    return subscription;
}

std::optional<std::string> decodeTopicLevel(std::string_view level) {
    std::string out;
    out.reserve(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) {
        const auto c = static_cast<unsigned char>(level[i]);
        if (keepsAsIs(c)) {
            out += static_cast<char>(c);
            continue;
        }
        if (c != '%' || i + 2 >= level.size()) {
            return std::nullopt;
        }
        const int high = hexValue(level[i + 1]);
        const int low = hexValue(level[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        const auto byte = static_cast<unsigned char>(high * 16 + low);
        if (keepsAsIs(byte)) {
            return std::nullopt; // written plainly by encodeTopicLevel
        }
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

std::optional<TopicAddress> parseTopic(std::string_view topic, std::string_view room) {
    const std::vector<std::string_view> levels = splitLevels(topic);
    const std::string roomLevel = encodeTopicLevel(room);
    TopicAddress address;
    std::vector<std::string> decoded;
    if (levels.size() == 4 &&
        std::string(levels[0]) + "/" + std::string(levels[1]) + "/" == kLegacyRoot) {
        if (levels[2] != roomLevel || !decodeAll(levels, 3, decoded)) {
            return std::nullopt;
        }
        address.branch = Branch::Legacy;
        address.key.boss = decoded[0];
        return address;
    }
    if (levels.size() < 5 || std::string(levels[0]) + "/" + std::string(levels[1]) + "/" != kRoot ||
        levels[2] != roomLevel) {
        return std::nullopt;
    }
    const BranchName* branch = nullptr;
    for (const BranchName& entry : kBranches) {
        if (levels[3] == entry.level) {
            branch = &entry;
        }
    }
    if (branch == nullptr || !decodeAll(levels, 4, decoded)) {
        return std::nullopt;
    }
    address.branch = branch->branch;
    address.member = decoded[0];
    const std::size_t rest = decoded.size() - 1;
    switch (branch->branch) {
    case Branch::Kill:
    case Branch::Officer:
        if (rest == 2 && levels.back() == kRestartLevel) {
            address.branch = Branch::Restart;
            address.key.server = decoded[1];
            address.name = std::string(branch->level); // an officer's or a member's
            return address;
        }
        if (rest != 3 || decoded[2].empty()) {
            return std::nullopt;
        }
        address.key = {decoded[1], decoded[2], decoded[3]};
        return address;
    case Branch::Retract:
    case Branch::List:
        if (rest != 1 || decoded[1].empty()) {
            return std::nullopt;
        }
        address.name = decoded[1];
        return address;
    case Branch::Sync:
    case Branch::Probe:
        if (rest != 0) {
            return std::nullopt;
        }
        return address;
    case Branch::Legacy:
    case Branch::Restart:
        break;
    }
    return std::nullopt;
}

} // namespace zorvane::share
