#include "services/roomkill.h"

#include "services/coretexts.h"
#include "services/preferences.h"
#include "share/roomlink.h"
#include "text/textops.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zorvane::app {
namespace {

// Wakes the waiting process on every change that may end the wait.
class Waiter final : public share::RoomListener {
public:
    void roomStateChanged(share::RoomState state, const text::Message& reason) override {
        {
            const std::lock_guard lock(m_mutex);
            m_state = state;
            if (!reason.empty()) {
                m_reason = reason;
            }
        }
        m_wake.notify_all();
    }
    void remoteKill(const share::KillEvent&, bool) override {}
    void messageDropped(share::DropReason, const std::string&) override {}
    void clockSkew(const share::MemberSkew&) override {}
    void killsPending(std::size_t) override {
        // Taken and released, so a waiter that just found the kill pending is already
        // waiting when told.
        { const std::lock_guard lock(m_mutex); }
        m_wake.notify_all();
    }

    // Waits until `done` holds or the state is Refused; false on timeout or refusal.
    template <typename Done> bool waitFor(int timeoutMs, Done done) {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return m_state == share::RoomState::Refused || done();
        }) && m_state != share::RoomState::Refused;
    }
    text::Message reason() const {
        const std::lock_guard lock(m_mutex);
        return m_reason;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    share::RoomState m_state = share::RoomState::Stopped;
    text::Message m_reason;
};

} // namespace

bool bossShared(const QStringList& shared, const QStringList& unshared, const std::string& boss,
                bool checked) {
    const QString name = QString::fromStdString(text::trim(boss));
    if (unshared.contains(name)) {
        return false;
    }
    return checked || shared.contains(name);
}

bool bossShared(const Preferences& preferences, const std::vector<schedule::BossRow>& rows,
                const std::string& boss) {
    const std::string name = text::trim(boss);
    bool checked = false;
    for (const schedule::BossRow& row : rows) {
        if (row.use && text::trim(row.text[schedule::kNameColumn]) == name) {
            checked = true;
            break;
        }
    }
    return bossShared(preferences.sharedBosses.get(), preferences.unsharedBosses.get(), name,
                      checked);
}

std::optional<share::RoomOptions> roomOptionsFrom(const Preferences& preferences,
                                                  text::Message& problem) {
    problem = {};
    const QString linkText = preferences.roomLink.get().trimmed();
    if (linkText.isEmpty()) {
        return std::nullopt;
    }
    share::RoomOptions options;
    if (!share::parseRoomLink(linkText.toStdString(), options.link, problem)) {
        return std::nullopt;
    }
    options.password = preferences.roomPassword.get().toStdString();
    options.caFile = preferences.roomCaFile.get().trimmed().toStdString();
    const QString nickname = preferences.roomNickname.get().trimmed();
    options.nickname = nickname.isEmpty() ? preferences.roomNickname.defaultValue().toStdString()
                                          : nickname.toStdString();
    return options;
}

QString publishKillAndWait(const share::RoomOptions& options, const share::LocalKill& kill,
                           int timeoutMs) {
    Waiter waiter;
    share::RoomClient client(options, waiter);
    if (text::Message error; !client.start(error)) {
        return messageText(error);
    }
    if (std::string error; !client.publishKill(kill, error)) {
        return QString::fromStdString(error);
    }
    const bool acknowledged = waiter.waitFor(timeoutMs, [&] { return client.pendingCount() == 0; });
    // Stopping first: no listener call comes after it, so the reason read is final.
    client.stop();
    if (acknowledged) {
        return {};
    }
    const text::Message reason = waiter.reason();
    // The command line speaks English; the connection's reason comes in the program's words.
    return reason.empty() ? QStringLiteral("the broker did not acknowledge the kill within %1 s")
                                .arg(timeoutMs / 1000)
                          : messageText(reason);
}

} // namespace zorvane::app
