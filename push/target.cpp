#include "push/target.h"

#include <array>
#include <random>

namespace zorvane::push {
namespace {

constexpr std::array<std::string_view, 3> kKindNames = {"discord", "ntfy", "json"};
constexpr std::array<std::string_view, 2> kScopeNames = {"player", "room"};
constexpr std::array<std::string_view, kAlertKinds.size()> kAlertKindNames = {
    "lead", "window", "spawn", "unrecorded"};

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

std::string_view kindName(AlertKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < kAlertKindNames.size() ? kAlertKindNames[index] : std::string_view();
}

std::optional<AlertKind> kindFromName(std::string_view name) {
    return fromName<AlertKind>(kAlertKindNames, name);
}

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
    // Only needs to differ from the other targets' ids; the window, which makes them, links
    // no cryptographic library.
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::random_device device;
    std::string id;
    for (int i = 0; i < 16; ++i) {
        id += kHex[device() % kHex.size()];
    }
    return id;
}

} // namespace zorvane::push
