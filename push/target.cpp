#include "push/target.h"

#include "push/digest.h"

#include <array>

namespace zorvane::push {
namespace {

constexpr std::array<std::string_view, 3> kKindNames = {"discord", "ntfy", "json"};
constexpr std::array<std::string_view, 2> kScopeNames = {"player", "room"};

template <typename Enum, std::size_t N>
std::optional<Enum> fromName(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

} // namespace

std::string_view targetKindName(TargetKind kind) {
    return kKindNames[static_cast<std::size_t>(kind) % kKindNames.size()];
}

std::optional<TargetKind> targetKindFromName(std::string_view name) {
    return fromName<TargetKind>(kKindNames, name);
}

std::string_view scopeName(TargetScope scope) {
    return kScopeNames[static_cast<std::size_t>(scope) % kScopeNames.size()];
}

std::optional<TargetScope> scopeFromName(std::string_view name) {
    return fromName<TargetScope>(kScopeNames, name);
}

std::string newTargetId() {
    return randomHex(16);
}

} // namespace zorvane::push
