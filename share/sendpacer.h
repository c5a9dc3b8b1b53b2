#pragma once
// When this member's next kill may go out, so that every other member's limit per minute
// (referee.h) takes it. Receivers count a member's kills by their own clocks as they
// arrive; a sender that let more out within a minute would keep a kill the others refuse,
// and the room would disagree about the row. Kills over the limit wait for their turn
// instead, with a margin for the time they take to arrive. Pure: times in, times out.

#include <cstdint>
#include <deque>

namespace zorvane::share {

class SendPacer {
public:
    // `perMinute` kills within any minute plus `marginMillis`; 0 or less lets nothing out.
    SendPacer(int perMinute, std::int64_t marginMillis);

    // The earliest moment (UTC milliseconds, `nowMillis` or later) the next kill may go.
    std::int64_t nextAllowed(std::int64_t nowMillis) const;
    // A kill went out at `atMillis`.
    void sent(std::int64_t atMillis);

private:
    int m_perMinute;
    std::int64_t m_windowMillis;
    std::deque<std::int64_t> m_sent; // the latest sendings within a window, oldest first
};

} // namespace zorvane::share
