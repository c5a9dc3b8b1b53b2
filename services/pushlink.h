#pragma once
// The window's side of the push helper (zorvane-push): starts it once push.json holds an
// enabled target, hands it the alerts and takes its reports of each target's status over to
// the window thread. The posting itself, with libcurl and its TLS, happens in the helper,
// never in the window's process; a helper that ends is started again by the next alert.
//
// Nothing runs while push.json has no enabled target: no thread, no process. Once there is
// one, the worker `push link` starts the helper and writes its lines, and `push reader`
// reads its reports; neither ever waits for the window thread.

#include "push/alertevent.h"
#include "push/pushwire.h"
#include "push/targetstatus.h"
#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "text/message.h"
#include "work/worker.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::app {

// The event a tick's alert is about, for the push targets: the lead time or the spawn, with
// the due instant taken from the row's last kill and cycle (a line's from the alert), so every
// member of a room derives the same instant and the same event id, and the line and server
// an alert about a line names. nullopt for a row that no longer exists.
std::optional<push::AlertEvent> pushEventOf(const schedule::Alert& alert,
                                            const schedule::BossRow& row,
                                            schedule::UtcSeconds nowUtc);

class PushLink;

// Where the room's connection hands what it hears of the room's push relays, from its own
// threads; it may outlive the link, which closes it when it goes.
class RelayInlet {
public:
    void tell(const push::RelayLine& line);

private:
    friend class PushLink;
    std::mutex m_mutex;
    PushLink* m_link = nullptr;
};

class PushLink : public QObject {
    Q_OBJECT
public:
    // `helper` is the zorvane-push program; `settingsFile` is push.json. Lives on the window
    // thread.
    PushLink(std::string helper, std::filesystem::path settingsFile, QObject* parent = nullptr);
    // The helper is told its input ended: it finishes the posts it holds on its own.
    ~PushLink() override;
    PushLink(const PushLink&) = delete;
    PushLink& operator=(const PushLink&) = delete;

    const std::filesystem::path& settingsFile() const { return m_settingsFile; }

    // Window thread: push.json changed (or at start). Starts the helper when the file has an
    // enabled target, has a running one read it again, lets it end when none is left.
    void reload();
    // Any thread; returns at once. Dropped while no target is enabled (as push.json read by
    // the reload before it says).
    void send(const push::AlertEvent& event);
    // Window thread, after reload() at start: a room is set, and its join comes once the room
    // connection starts, after the first paint. Alerts are held back until a join naming a
    // room comes (or `limit` has passed), so that the helper ranks the room's targets with the
    // room's relays rather than posting as though this member relayed alone: the alerts of what
    // came due while Zorvane was not running fire at once, and another relay may have posted them.
    void awaitJoin(std::chrono::milliseconds limit);
    // Any thread; returns at once. What the room says of its relays, and which room this
    // member relays in (a Join line, also told to every helper started later, with the
    // presences and latest claims heard since the room connection was last made).
    void relayHeard(const push::RelayLine& line);
    std::shared_ptr<RelayInlet> relayInlet() const { return m_relayInlet; }

    // Whether alerts are taken (push.json has an enabled target).
    bool active() const { return m_active; }
    // Whether an alert sent now may be taken: also while the reload of a start has not yet
    // read push.json. False only while push is off.
    bool mayTakeAlerts() const { return m_active || m_worker.running(); }

    // Window thread: the last status of each target by id, and what is wrong with push.json.
    const std::map<std::string, push::TargetStatus>& statuses() const { return m_statuses; }
    const std::vector<text::Message>& problems() const { return m_problems; }

    // Waits until every line handed over so far has been written to the helper.
    void flush() { m_worker.flush(); }

signals:
    // A target's status or the file's problems changed.
    void statusesChanged();
    // A target failed anew: what the notice line says ("推送到“公会频道”失败：…").
    void targetFailed(const text::Message& notice);
    // The helper has this relay's presence or claim to publish in the room.
    void relayToPublish(const push::RelayLine& line);

private:
    struct Helper {
        int pid = -1;
        int fd = -1;
        std::mutex mutex;
        bool closed = false; // fd closed by the reader
    };

    // Worker thread.
    void applySettings();
    bool ensureHelper();
    void write(const std::string& line);
    static bool sendAll(int fd, const std::string& line);
    void endHelper(bool now);
    void releaseHeld();
    // Any thread.
    void remember(const push::RelayLine& line);
    std::vector<std::string> remembered() const;
    // Reader thread.
    void readLoop(const std::shared_ptr<Helper>& helper);
    // Window thread.
    void takeStatus(const push::TargetStatus& status);
    void takeProblems(std::vector<std::string> targetIds, std::vector<text::Message> problems);

    const std::string m_program;
    const std::filesystem::path m_settingsFile;
    // The posts' templates in the window's language, for the helper; empty while the window
    // shows the Chinese ones.
    const std::string m_templates;
    std::atomic<bool> m_active{false};

    // Worker thread only.
    std::shared_ptr<Helper> m_helper;
    push::RelayLine m_join;          // the room this member relays in; none while the room is empty
    bool m_holding = false;          // alerts wait for the room's join (awaitJoin)
    std::vector<std::string> m_held; // alert lines held meanwhile, oldest first

    std::shared_ptr<RelayInlet> m_relayInlet = std::make_shared<RelayInlet>();

    // What the room said of the other relays, as relay lines: a helper started later (the
    // first room target enabled, a helper that ended) would otherwise rank itself first and
    // post what another relay claims, until the room connection is made anew.
    mutable std::mutex m_heardMutex;
    std::string m_heardRoom;
    std::map<std::string, std::string> m_presences; // by relay id
    std::deque<std::string> m_claims;               // the latest, oldest first

    std::mutex m_readersMutex;
    std::vector<std::thread> m_readers;

    // Window thread only.
    std::map<std::string, push::TargetStatus> m_statuses;
    std::vector<text::Message> m_problems;

    work::Worker m_worker{"push link"}; // last: stopped first
};

} // namespace zorvane::app
