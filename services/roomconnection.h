#pragma once
// The window's side of a shared room: joins the room named in the preferences, publishes
// the kills recorded on shared rows and applies the kills other members send.
//
// The room client works on libmosquitto's own threads. What it reports is queued here and
// taken over by the window thread in slices (one hand-off per non-empty queue, at most
// kSliceEvents events and about kSliceBudget of applying kills per slice), so a flood of messages
// never holds up the window and the client never waits for it. Leaving or changing rooms stops the
// old client on a thread of its own, since stopping may wait for the network.

#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "share/roomclient.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace zorvane::app {

class Preferences;

// A kill of a boss that is not in the table, offered to the user.
struct RoomOffer {
    std::string boss;
    int periodMinutes = 0;
    int delayMinutes = 0;
    std::int64_t killUtcSeconds = 0;
    std::string nickname;
};

class RoomConnection final : public QObject, public schedule::KillLog {
    Q_OBJECT
public:
    // Applies a received kill to a row (the grid controller's applyRemoteKill).
    using ApplyKill =
        std::function<bool(schedule::RowId, schedule::UtcSeconds, const std::string& sender)>;

    // Events taken over per slice on the window thread, and how long a slice may apply
    // kills before it leaves the rest to the next slice.
    static constexpr std::size_t kSliceEvents = 64;
    static constexpr std::chrono::microseconds kSliceBudget{2000};

    // Everything passed in must outlive the connection; lives on the window thread.
    RoomConnection(schedule::BossTable& table, Preferences& preferences, ApplyKill applyKill,
                   QObject* parent = nullptr);
    // Stops the client; no report of it arrives afterwards.
    ~RoomConnection() override;

    // Where recorded kills go besides the room (the history); nullptr for nowhere.
    void setKillLog(schedule::KillLog* log) { m_killLog = log; }
    // Passes every recorded kill on to the history and publishes the local ones (double
    // click, typed, command line) of shared rows. Any thread.
    void recordKill(const schedule::KillRecord& record) override;

    // Joins the room the preferences name (leaving the current one), or leaves when they
    // name none. Also called on every change of the room's preferences.
    void rejoin();

    // Whether kills of the boss are shared: the preferences' choice for it, else whether
    // its row is checked. Window thread.
    bool isShared(const std::string& boss) const;

    bool inRoom() const { return m_client != nullptr || !m_problem.isEmpty(); }
    share::RoomState state() const { return m_state; }
    // The state line: the room, its state and reason, members whose clocks differ and
    // offered bosses. Empty when no room is joined.
    QString statusText() const;
    // Every detail for the line's tooltip.
    QString statusDetails() const;
    // Whether the line shows a problem (refused, a bad link, a kill that could not be sent).
    bool statusIsProblem() const;

    // Bosses not in the table that members killed, latest kill each, by name.
    const std::map<std::string, RoomOffer>& offers() const { return m_offers; }
    // Adds an offered boss as a new shared row with its kill; false when it is not offered.
    // A boss that meanwhile has a row gets the kill instead of a second row.
    bool addOffered(const std::string& boss);

    // Messages dropped as malformed since the room was joined.
    std::uint64_t droppedCount() const { return m_dropped; }
    // Valid kills received from the room, and those applied to rows, since start.
    std::uint64_t receivedCount() const { return m_received; }
    std::uint64_t appliedCount() const { return m_applied; }

signals:
    // The state line's text or details changed.
    void statusChanged();
    // A boss was offered or an offer was taken.
    void offersChanged();

private:
    class Relay;
    struct Incoming {
        enum class Kind { State, Kill, Dropped, Skew, Pending } kind = Kind::Kill;
        std::uint64_t session = 0;
        share::RoomState state = share::RoomState::Stopped;
        text::Message stateReason; // of a state
        std::string detail;        // of a dropped message
        share::KillEvent event;
        share::MemberSkew skew;
        std::size_t pending = 0;
    };

    // Network threads: queue and, when the queue was empty, hand the slice over.
    void post(Incoming item);
    // Window thread: takes over one slice.
    void takeSlice();
    void handleKill(const share::KillEvent& event);
    // Returns the kills of the slice from `from` on to the front of the queue.
    void putBack(std::vector<Incoming>& slice, std::size_t from);
    void publishLocal(const schedule::KillRecord& record);
    void leave();
    void setProblem(const QString& problem);
    // Whether the event id was met before; remembers it (a bounded number of them).
    bool seenBefore(const std::string& eventId);

    schedule::BossTable& m_table;
    Preferences& m_preferences;
    ApplyKill m_applyKill;
    schedule::KillLog* m_killLog = nullptr;

    // The current room: its client and the relay the client reports to.
    std::unique_ptr<Relay> m_relay;
    std::unique_ptr<share::RoomClient> m_client;
    std::uint64_t m_session = 0;
    QString m_room;
    // Stops of earlier clients, joined at the latest by the destructor.
    std::vector<std::thread> m_retiring;

    std::mutex m_inboxMutex;
    std::deque<Incoming> m_inbox;

    // Window thread only.
    share::RoomState m_state = share::RoomState::Stopped;
    text::Message m_reason;
    QString m_problem;   // a link that cannot be used or a client that cannot start
    QString m_sendError; // the latest kill that could not be sent
    std::map<std::string, share::MemberSkew> m_skews; // sender id -> skewed member
    std::map<std::string, RoomOffer> m_offers;
    std::unordered_set<std::string> m_seen;
    std::deque<std::string> m_seenOrder;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_received = 0;
    std::uint64_t m_applied = 0;
    std::size_t m_pending = 0;
};

} // namespace zorvane::app
