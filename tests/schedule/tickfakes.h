#pragma once
// The settings, alarm and lock a tick under test runs with.

#include "schedule/tick.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::testing {

inline std::string numberText(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string("-");
}

// A spawn view in one line, for comparing passes.
inline std::string viewText(const schedule::SpawnView& v) {
    return " view " + std::to_string(static_cast<int>(v.phase)) + " " + numberText(v.earliest) +
           " " + numberText(v.latest) + " " + numberText(v.upSince) + " " +
           std::to_string(v.secondsLeft) + " " + std::to_string(v.upSeconds) + " " +
           std::to_string(v.fraction);
}

class FakeSettings final : public schedule::Settings {
public:
    std::string warnMinutesText() const override { return warn; }
    std::string soundPathText() const override { return ""; }
    std::vector<int> extraLeadMinutes() const override { return extra; }
    std::string warn = "5";
    std::vector<int> extra;
};

// Keeps every alert; `count` counts the chimes.
class RecordingAlarm final : public schedule::AlarmSink {
public:
    void alert(const schedule::Alert& alert) override {
        alerts.push_back(alert);
        if (!alert.chime) {
            return;
        }
        ++count;
        if (onSound) {
            onSound();
        }
    }
    std::vector<schedule::Alert> alerts;
    int count = 0;
    std::function<void()> onSound;
};

class CountingLock final : public schedule::TickLock {
public:
    void lock() override {
        m_mutex.lock();
        ++depth;
    }
    void unlock() override {
        --depth;
        m_mutex.unlock();
    }
    int depth = 0;

private:
    std::recursive_mutex m_mutex;
};

} // namespace zorvane::testing
