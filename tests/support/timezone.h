#pragma once
// Runs a test in a named time zone: TZ is set for the scope and restored afterwards, so a
// test can walk through the changes of the clocks of real zones whatever zone the
// machine is in.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace zorvane::testing {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            m_old = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (m_old) {
            ::setenv("TZ", m_old->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_old;
};

} // namespace zorvane::testing
