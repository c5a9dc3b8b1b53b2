#pragma once
// The window's side of a shared room: joins the room named in the preferences, publishes
// the kills recorded on shared rows and applies the kills other members send.
//
// It also keeps what the room's trust needs on the window's side: the role the broker gives
// this member, what every member did as this member saw it (kills taken, retractions,
// refusals by reason), the audit trail, and retractions: a retracted kill's rows go back to
// the kill before it (by the kill path), an undone kill of one's own is retracted for
// everyone, and an officer may retract any member's kill.
//
// The room client works on libmosquitto's own threads. What it reports is queued here and
// taken over by the window thread in slices (one hand-off per non-empty queue, at most
// kSliceEvents events and about kSliceBudget of applying kills per slice), so a flood of messages
// never holds up the window and the client never waits for it. Leaving or changing rooms stops the
// old client on a thread of its own, since stopping may wait for the network.

#include "config/bosslist.h"
#include "history/roomaudit.h"
#include "push/pushwire.h"
#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "schedule/services.h"
#include "share/roomclient.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
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

// The reasons in the trail for a received kill on a line this table lacks: an unknown boss,
// line or server.
inline constexpr const char* kUnknownLineKey = "unknown-line";
inline constexpr const char* kUnknownServerKey = "unknown-server";

// A refusal's reason key ("too-early", ...) as a short window text.
QString refusalText(const std::string& key);

// What one member did, as this member counted it since joining.
struct RoomMember {
    std::string member; // its member level; "" for members of earlier versions
    std::string nickname;
    share::Standing standing = share::Standing::Member;
    std::uint64_t accepted = 0;    // kills of it that were the newest of their key
    std::uint64_t retractions = 0; // retractions of it that stood
    std::array<std::uint64_t, share::kRefusalCount> refused{};
    text::Message lastRefusal; // why its latest refused message was refused
};

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
    // Applies a received kill on one line of a row (the kill path's applyRemoteOnLine): sets
    // `applied` when the line took it; returns Found when the line exists, else why not.
    using ApplyLineKill = std::function<schedule::LineLookup(
        schedule::RowId, const std::string& server, const std::string& line, schedule::UtcSeconds,
        const std::string& sender, bool& applied)>;
    // Puts a row back from a retracted kill (its instant) to the kill before it: the room's
    // newest after the retraction, when it knows one (the kill path's restore).
    using RestoreKill = std::function<bool(schedule::RowId, schedule::UtcSeconds retracted,
                                           std::optional<schedule::UtcSeconds> roomNewest)>;

    // Starts the rows again from a server restart a member told of (instant in UTC); returns
    // how many rows moved. Only rows `takes` accepts (the shared ones) may move.
    using ApplyRestart = std::function<std::size_t(
        schedule::UtcSeconds, const std::function<bool(const schedule::BossRow&)>& takes)>;

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
    // Where the room's audit trail goes; nullptr for nowhere. Must outlive the connection.
    void setAuditLog(history::RoomAuditLog* log) { m_auditLog = log; }
    history::RoomAuditLog* auditLog() const { return m_auditLog; }
    // "Now" in UTC milliseconds for the room's checks and the trail (the session's clock);
    // without it the system clock. Takes effect at the next join.
    void setUtcMillis(std::function<std::int64_t()> clock) { m_utcMillis = std::move(clock); }
    // Puts a line of a row back from a retracted kill on it, named by the sender's server and
    // label, when the line shows that kill (the kill path's restoreOnLine).
    using RestoreLineKill = std::function<bool(
        schedule::RowId, const std::string& server, const std::string& line,
        schedule::UtcSeconds retracted, std::optional<schedule::UtcSeconds> roomNewest)>;
    // How retracted kills' rows go back; without it they stay as they are.
    void setRestoreKill(RestoreKill restore) { m_restoreKill = std::move(restore); }
    // How retracted kills' lines go back; without it they stay as they are.
    void setRestoreLineKill(RestoreLineKill restore) { m_restoreLineKill = std::move(restore); }
    // How received kills on a line reach the line; without it they are refused as lines this
    // table lacks, and never move the boss's row.
    void setApplyLineKill(ApplyLineKill apply) { m_applyLineKill = std::move(apply); }
    // Where what the room says of its push relays goes, and which room this member relays
    // in (a Join line at every join); called on the room client's threads. Set before
    // joining.
    using RelayNews = std::function<void(const push::RelayLine&)>;
    void setRelayNews(RelayNews news) { m_relayNews = std::move(news); }
    // Window thread: this relay's presence or claim, published in the current room.
    void publishRelay(const push::RelayLine& line);
    // How a restart a member told of reaches the rows; without it they stay as they are.
    void setApplyRestart(ApplyRestart apply) { m_applyRestart = std::move(apply); }
    // Tells the room that the game server restarted at `instant`, when a room is joined:
    // true when it was sent (or queued for the connection), false when there is no room, and
    // false with the reason when this member may not tell it. Window thread.
    bool publishRestart(schedule::UtcSeconds instant, QString& error);
    // The latest restart a member told of: who and when, for the state line; empty for none.
    const QString& lastRemoteRestart() const { return m_remoteRestart; }
    // Passes every recorded kill on to the history and publishes the local ones (double
    // click, typed, command line) of shared rows. Any thread.
    void recordKill(const schedule::KillRecord& record) override;
    // Passes an undo or redo on to the history; taking a shared kill back is ownKillUndone's.
    void setUndone(const schedule::KillRecord& record, bool undone) override {
        if (m_killLog != nullptr) {
            m_killLog->setUndone(record, undone);
        }
    }

    // Joins the room the preferences name (leaving the current one), or leaves when they
    // name none. Also called on every change of the room's preferences.
    void rejoin();

    // Whether kills of the boss are shared: the preferences' choice for it, else whether
    // its row is checked. Window thread.
    bool isShared(const std::string& boss) const;

    bool inRoom() const { return m_client != nullptr || !m_problem.isEmpty(); }
    // The room's name as the link gives it.
    const QString& roomName() const { return m_room; }
    // What the broker lets this member do, and that as a word ("" while unknown).
    share::RoomRole role() const { return m_role; }
    // The room enforces roles but was made by an earlier room script (RoomListener::
    // roomNeedsUpgrade); empty otherwise: the advice for the panel.
    QString upgradeAdvice() const;
    QString roleText() const;
    // Every member this member heard from or refused, by member and client.
    const std::map<std::string, RoomMember>& memberRecords() const { return m_members; }

    // Whether this member may retract the newest kill of the boss for everyone: an officer
    // who knows a kill of it. Window thread.
    bool canRetract(const std::string& boss) const;
    // Retracts the newest kill of the boss for everyone; false with the reason when it
    // cannot. Window thread.
    bool retractNewest(const std::string& boss, QString& error);
    // A kill of one's own, of the boss's row or on one of its lines (`line`), was undone:
    // when it was shared, it is retracted for everyone (`undone`), or shared again when the
    // undo is redone. Window thread.
    void ownKillUndone(const std::string& boss, const schedule::LineKey& line,
                       schedule::UtcSeconds instant, bool undone);
    share::RoomState state() const { return m_state; }
    // The state line: the room, its state and reason, members whose clocks differ and
    // offered bosses. Empty when no room is joined.
    QString statusText() const;
    // Every detail for the line's tooltip.
    QString statusDetails() const;
    // The state line's parts: the room and its state, then each note.
    QStringList statusParts() const;
    // Whether the line shows a problem (refused, a bad link, a kill that could not be sent).
    bool statusIsProblem() const;

    // At most this many bosses are on offer; kills of further unknown bosses are dropped
    // (and counted) until offers are added or the room is left.
    static constexpr std::size_t kMaxOffers = 500;
    // Bosses not in the table that members killed, latest kill each, by name.
    const std::map<std::string, RoomOffer>& offers() const { return m_offers; }
    // Kills of unknown bosses dropped because kMaxOffers were on offer, since the join.
    std::uint64_t droppedOffers() const { return m_droppedOffers; }
    // Adds an offered boss as a new shared row with its kill; false when it is not offered.
    // A boss that meanwhile has a row gets the kill instead of a second row.
    bool addOffered(const std::string& boss);
    // The same for many at once, in one pass over the table and one change of the
    // preferences; returns how many were on offer.
    std::size_t addOffered(const std::vector<std::string>& bosses);

    // A boss list a member offered the room (the newest), as this member read it.
    struct ListOffer {
        QString nickname;
        std::string eventId;
        config::BossList list;
    };
    // The offer the player has not taken or put aside yet; nullopt for none.
    const std::optional<ListOffer>& listOffer() const { return m_listOffer; }
    // The player took or put aside the offer: it leaves the state line (until a newer one).
    void setListOfferHandled();
    // Whether this member may offer a boss list: an officer, or any member where the broker
    // enforces no roles. Window thread.
    bool canOfferList() const;
    // Offers the list to the room (retained, replacing this member's earlier offer); false
    // with the reason when it cannot. Window thread.
    bool offerList(const config::BossList& list, QString& error);

    // Messages dropped as malformed since the room was joined.
    std::uint64_t droppedCount() const { return m_dropped; }
    // Valid kills received from the room, and those applied to rows, since start.
    std::uint64_t receivedCount() const { return m_received; }
    std::uint64_t appliedCount() const { return m_applied; }

signals:
    // The state line's text or details changed.
    void statusChanged();
    // These bosses were offered, their offer changed, or it was taken or withdrawn (each
    // named once): whoever lists the offers updates just them.
    void offersChanged(const QStringList& bosses);
    // A boss list came on offer, or the offer was handled.
    void listOfferChanged();

private:
    class Relay;
    struct Incoming {
        enum class Kind {
            State,
            Kill,
            Dropped,
            Skew,
            Pending,
            Role,
            Upgrade,
            Refused,
            Retracted,
            Restart,
            List
        } kind = Kind::Kill;
        std::uint64_t session = 0;
        share::RoomState state = share::RoomState::Stopped;
        text::Message stateReason; // of a state
        std::string detail;        // of a dropped message
        share::KillEvent event;
        share::MemberSkew skew;
        std::size_t pending = 0;
        share::RoomRole role = share::RoomRole::Unknown;
        bool needsUpgrade = false; // of an Upgrade
        std::shared_ptr<const share::RefusedMessage> refused;
        std::shared_ptr<const share::RetractedKill> retracted;
        std::shared_ptr<const share::ReceivedRestart> restart;
        std::shared_ptr<const share::BossListOffer> list;
    };

    // Network threads: queue and, when the queue was empty, hand the slice over.
    void post(Incoming item);
    // Window thread: takes over one slice.
    void takeSlice();
    void noteRefused(const share::RefusedMessage& refused);
    // A member's restart: applied to the rows, or its refusal counted.
    void takeRestart(const share::ReceivedRestart& restart);
    // A member's boss list: kept for the player when it reads as one, its refusal told.
    void takeList(const share::BossListOffer& offer);
    // The table's rows by name and the sharing choices, read once per slice.
    struct SliceView;
    SliceView sliceView() const;
    void applyRetraction(const share::RetractedKill& retracted, SliceView& view);
    // A received kill on a line: applied to the line of the boss's shared rows, or refused
    // in the trail with the reason when this table lacks the line. Never moves a row.
    void takeLineKill(const share::KillEvent& event, SliceView& view);
    void audit(history::AuditKind kind, const share::KillEvent& kill, const std::string& member,
               const std::string& nickname, bool officer, const std::string& detail = {});
    // Gives the client the rule of every boss of the table, for its early re-kill check.
    void tellBossRules();
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
    ApplyLineKill m_applyLineKill;
    schedule::KillLog* m_killLog = nullptr;
    history::RoomAuditLog* m_auditLog = nullptr;
    RestoreKill m_restoreKill;
    RestoreLineKill m_restoreLineKill;
    ApplyRestart m_applyRestart;
    std::function<std::int64_t()> m_utcMillis;
    RelayNews m_relayNews;

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
    QString m_remoteRestart;
    std::optional<ListOffer> m_listOffer;
    std::string m_handledListEvent;                   // the offer the player took or put aside
    QString m_listProblem;                            // why the newest offer could not be read
    std::map<std::string, share::MemberSkew> m_skews; // sender id -> skewed member
    std::map<std::string, RoomOffer> m_offers;
    std::uint64_t m_droppedOffers = 0;
    std::unordered_set<std::string> m_seen;
    std::deque<std::string> m_seenOrder;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_received = 0;
    std::uint64_t m_applied = 0;
    std::size_t m_pending = 0;
    share::RoomRole m_role = share::RoomRole::Unknown;
    bool m_needsUpgrade = false;
    std::map<std::string, RoomMember> m_members;
    // This member's shared kills by key (a row's: no server and line): the instant and event
    // id of each, to retract the one an undo takes back (a few per key).
    std::map<share::KillKey, std::deque<std::pair<schedule::UtcSeconds, std::string>>> m_ownKills;
};

} // namespace zorvane::app
