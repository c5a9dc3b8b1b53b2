#include "services/session.h"

#include "config/sessionfile.h"
#include "history/killhistory.h"
#include "history/roomaudit.h"
#include "periodic/globals.h"
#include "push/pushsettings.h"
#include "schedule/instant.h"
#include "schedule/tableops.h"
#include "services/alertdispatch.h"
#include "services/bossnotebook.h"
#include "services/configwriter.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "services/preferences.h"
#include "services/programdir.h"
#include "services/pushlink.h"
#include "services/roomconnection.h"
#include "services/ticksupport.h"
#include "text/fileio.h"
#include "text/textops.h"
#include "work/worker.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <utility>

namespace zorvane::app {
namespace {

constexpr int kTickIntervalMs = 1000;
// How often the program notes that it is running: a crash loses at most this much, so
// cycles that came due in the last minute before a crash may be listed as missed.
constexpr int kLastSeenIntervalMs = 60 * 1000;
// The longest the alerts of a start wait for the room's join; it comes right after the
// first paint, or a second later when the window starts minimised.
constexpr std::chrono::seconds kRoomJoinWait{5};

std::optional<config::StoredTable> readStored(const std::filesystem::path& dir,
                                              schedule::UtcSeconds now, std::string& error) {
    std::optional<config::StoredTable> stored = config::readTable(dir, &error);
    if (stored) {
        // Every row's last time gets its instant now, before the first pass starts the
        // current cycles, so the missed cycles can still be counted.
        schedule::dateUndatedRows(stored->rows, now);
    }
    return stored;
}

} // namespace

SessionSetup SessionSetup::window(periodic::AppGlobals& globals, const schedule::Clock& clock,
                                  std::string programDir) {
    return {.clock = clock,
            .programDir = std::move(programDir),
            .globals = &globals,
            .room = true,
            .notifications = true,
            .notifierBusLater = true,
            .push = true,
            .readBeside = true};
}

Session::Session(SessionSetup setup, QObject* parent) : QObject(parent), m_setup(std::move(setup)) {
    if (m_setup.readBeside) {
        // Reading config.ini needs nothing of the rest: it runs on another core meanwhile.
        m_stored = std::async(std::launch::async, [dir = programPath(), &clock = m_setup.clock] {
            work::nameThisThread("config reader");
            std::string error;
            std::optional<config::StoredTable> stored = readStored(dir, clock.instant(), error);
            return Stored{std::move(stored), std::move(error)};
        });
    }
    m_writer = std::make_unique<ConfigWriter>(programPath(), &m_notices);

    const std::filesystem::path historyFile =
        programPath() / text::pathFromUtf8(history::kHistoryFileName);
    m_history = std::make_unique<history::SqliteKillLog>(historyFile);
    // What went wrong with the history shows beside failed writes of the other files. The
    // database opens on its first use, so its notices come from the history's writer thread
    // or from a query; asking for notice() here would open the database at every start.
    m_history->setNoticeHandler([notices = &m_notices, name = text::utf8FromPath(historyFile)](
                                    const text::Message& message) {
        if (!message.empty()) {
            notices->writeFailed(name, message);
        }
    });

    m_lines = std::make_unique<LineBook>(programPath(), m_table, m_notices);
    m_kills = std::make_unique<KillPath>(m_table, *m_writer);
    m_kills->setLines(m_lines.get());
    m_kills->setKillLog(m_history.get());

    if (m_setup.room) {
        m_room = std::make_unique<RoomConnection>(
            m_table, preferences(),
            [kills = m_kills.get()](schedule::RowId row, schedule::UtcSeconds killUtc,
                                    const std::string& sender) {
                return kills->applyRemote(row, killUtc, sender);
            });
        // Every kill recorded passes the room on its way to the history.
        m_room->setKillLog(m_history.get());
        m_kills->setKillLog(m_room.get());
        // Who recorded, retracted or was refused what: beside the kills, in the same file.
        m_audit = std::make_unique<history::RoomAuditLog>(historyFile);
        m_room->setAuditLog(m_audit.get());
        m_room->setUtcMillis([&clock = m_setup.clock] {
            return static_cast<std::int64_t>(schedule::toUtc(clock.now())) * 1000;
        });
        m_room->setApplyLineKill(
            [kills = m_kills.get()](schedule::RowId row, const std::string& server,
                                    const std::string& line, schedule::UtcSeconds killUtc,
                                    const std::string& sender, bool& applied) {
                return kills->applyRemoteOnLine(row, server, line, killUtc, sender, applied);
            });
        m_room->setRestoreKill(
            [kills = m_kills.get()](schedule::RowId row, schedule::UtcSeconds retracted,
                                    std::optional<schedule::UtcSeconds> roomNewest) {
                return kills->restore(row, retracted, roomNewest);
            });
        // A restart a member told of moves only rows with nothing newer: it may come late.
        m_room->setApplyRestart([this](schedule::UtcSeconds instant,
                                       const std::function<bool(const schedule::BossRow&)>& takes) {
            return schedule::restartServer(m_table, instant, *m_writer, m_history.get(),
                                           schedule::RestartReach::NothingSince, takes)
                .size();
        });
        m_room->setRestoreLineKill(
            [kills = m_kills.get()](schedule::RowId row, const std::string& server,
                                    const std::string& line, schedule::UtcSeconds retracted,
                                    std::optional<schedule::UtcSeconds> roomNewest) {
                return kills->restoreOnLine(row, server, line, retracted, roomNewest);
            });
        m_kills->setUndone([room = m_room.get()](const std::string& boss,
                                                 const schedule::LineKey& line,
                                                 schedule::UtcSeconds instant, bool undone) {
            room->ownKillUndone(boss, line, instant, undone);
        });
    }
    if (m_setup.globals != nullptr) {
        wireCountdown();
    }
}

Session::~Session() {
    if (m_setup.globals != nullptr) {
        m_setup.globals->tickTimer().stop(-1);
    }
    if (m_noting) {
        noteRunning();
    }
}

std::vector<schedule::RowId> Session::restartServer(schedule::UtcSeconds instant) {
    std::vector<schedule::RowId> moved =
        schedule::restartServer(m_table, instant, *m_writer, m_kills->killLog());
    if (m_room) {
        // A reader's or a refused telling shows in the room's state line.
        QString error;
        m_room->publishRestart(instant, error);
    }
    return moved;
}

BossNoteBook& Session::notes() {
    if (!m_notes) {
        m_notes = std::make_unique<BossNoteBook>(programPath(), m_notices);
    }
    return *m_notes;
}

std::filesystem::path Session::programPath() const {
    return text::pathFromUtf8(m_setup.programDir);
}

Preferences& Session::preferences() {
    if (!m_preferences) {
        m_preferences = std::make_unique<Preferences>(QString::fromStdString(text::utf8FromPath(
            programPath() / text::pathFromUtf8(Preferences::fileName().toStdString()))));
    }
    return *m_preferences;
}

bool Session::hasPreferencesFile() const {
    return m_preferences ||
           QFileInfo::exists(QString::fromStdString(text::utf8FromPath(
               programPath() / text::pathFromUtf8(Preferences::fileName().toStdString()))));
}

void Session::wireCountdown() {
    Preferences& prefs = preferences();
    m_tick =
        std::make_unique<TickSupport>(m_table, m_lines->board(), m_setup.clock,
                                      m_setup.globals->tickLock(), m_setup.programDir, &m_notices);
    m_tick->setKillLog(m_history.get());
    // The tick reads the extra lead times from its own copy, never from the file.
    m_tick->setExtraLeadMinutes(prefs.extraLeadMinutes());
    prefs.extraLeadTimes.onChanged(this, [this](const QString&) {
        m_tick->setExtraLeadMinutes(preferences().extraLeadMinutes());
    });
    m_tick->device().setVolume(prefs.volume.get());
    prefs.volume.onChanged(this,
                           [this](const int& percent) { m_tick->device().setVolume(percent); });

    alarm::AlertSounds& sounds = m_tick->sounds();
    sounds.setSpeechEnabled(prefs.speechEnabled.get());
    prefs.speechEnabled.onChanged(this, [&sounds](const bool& on) { sounds.setSpeechEnabled(on); });
    const auto applyRepeat = [&prefs, &sounds] {
        sounds.setRepeat(prefs.repeatSeconds.get(), prefs.repeatLimitMinutes.get());
    };
    applyRepeat();
    prefs.repeatSeconds.onChanged(this, [applyRepeat](const int&) { applyRepeat(); });
    prefs.repeatLimitMinutes.onChanged(this, [applyRepeat](const int&) { applyRepeat(); });

    if (m_setup.notifications) {
        m_notifier = std::make_unique<DesktopNotifier>(
            DesktopNotifier::BusLater{}, NotificationImage{}, QStringLiteral("zorvane"));
        if (!m_setup.notifierBusLater) {
            attachNotifierBus();
        }
    }
    if (m_setup.push) {
        const std::string helper =
            m_setup.pushHelper.empty()
                ? helperProgramPath(QStringLiteral("zorvane-push")).toStdString()
                : m_setup.pushHelper;
        m_push = std::make_unique<PushLink>(
            helper, programPath() / text::pathFromUtf8(std::string(push::kPushSettingsFileName)));
        // A target that fails, or a push.json that cannot be read, shows in the notice line
        // until all is well again.
        const std::string noticeKey = text::utf8FromPath(m_push->settingsFile());
        connect(m_push.get(), &PushLink::targetFailed, this,
                [this, noticeKey](const text::Message& notice) {
                    m_notices.writeFailed(noticeKey, notice);
                });
        connect(m_push.get(), &PushLink::statusesChanged, this, [this, noticeKey] {
            if (!m_push->problems().empty()) {
                m_notices.writeFailed(noticeKey, m_push->problems().front());
                return;
            }
            for (const auto& [id, status] : m_push->statuses()) {
                if (!status.ok) {
                    return;
                }
            }
            m_notices.writeSucceeded(noticeKey);
        });
        if (m_room) {
            // The room's connection carries the helper's relay talk both ways, so that a
            // room's targets are posted by one member.
            m_room->setRelayNews(
                [inlet = m_push->relayInlet()](const push::RelayLine& line) { inlet->tell(line); });
            connect(m_push.get(), &PushLink::relayToPublish, m_room.get(),
                    &RoomConnection::publishRelay);
        }
        m_push->reload();
        if (m_room && !prefs.roomLink.get().trimmed().isEmpty()) {
            // The room is joined after the first paint; the alerts of the start wait for it.
            m_push->awaitJoin(kRoomJoinWait);
        }
    }
    if (m_setup.notifications || m_setup.push) {
        m_alerts = std::make_unique<AlertDispatch>(prefs, m_notifier.get());
        if (m_push) {
            m_alerts->setPush(m_push.get(), m_table, m_setup.clock);
        }
        m_tick->setAlertListener(m_alerts.get());
    }
}

void Session::attachNotifierBus() {
    if (m_notifier) {
        // Before the alerts that waited go out.
        if (!m_notifier->hasBus() && m_setup.notificationIcon) {
            m_notifier->setIcon(m_setup.notificationIcon());
        }
        m_notifier->attachBus(QDBusConnection::sessionBus());
    }
}

std::string Session::finishLoad(std::string* error) {
    Stored stored;
    if (m_stored.valid()) {
        stored = m_stored.get();
    } else {
        stored.table = readStored(programPath(), m_setup.clock.instant(), stored.error);
    }
    if (!stored.table) {
        if (error != nullptr) {
            *error = std::move(stored.error);
        }
        return {};
    }
    m_table.appendRows(std::move(stored.table->rows));
    m_lines->load();
    tellUnreadRules();
    return std::move(stored.table->warnMinutes);
}

void Session::tellUnreadRules() {
    const std::string key = text::utf8FromPath(config::tableFilePath(programPath())) + "#SpawnRule";
    QStringList rows;
    QStringList names;
    for (const auto& [number, name] : m_table.rowsWithUnreadRule()) {
        rows << QString::number(number);
        names << QString::fromStdString(text::trim(name));
    }
    if (rows.isEmpty()) {
        m_notices.withdrawNotice(key);
        return;
    }
    const QString separator = QCoreApplication::translate("Zorvane", "、");
    m_notices.showNotice(
        key, text::Message::literal(
                 QCoreApplication::translate("Zorvane",
                                             "config.ini 第 %1 行（%2）存的刷新规则或时区无法读取，"
                                             "暂按击杀后计时；请用“刷新规则…”重新选择")
                     .arg(rows.join(separator), names.join(separator))
                     .toStdString()));
}

bool Session::startTick() {
    if (!m_tick) {
        return true;
    }
    return m_setup.globals->tickTimer().start(
               [tick = m_tick.get()](std::intptr_t) { tick->onTick(); }, kTickIntervalMs) > 0;
}

void Session::stopTick() {
    if (!m_tick) {
        return;
    }
    m_setup.globals->tickTimer().stop();
    // A stopped timer leaves no chime sounding.
    m_tick->stopSounds();
}

std::vector<schedule::MissedRow> Session::startNotingRunning() {
    std::vector<schedule::MissedRow> missed;
    if (const std::optional<schedule::UtcSeconds> lastSeen = config::readLastSeen(programPath())) {
        missed = schedule::missedWhileAway(m_table, *lastSeen, m_setup.clock.instant());
    }
    m_noting = true;
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &Session::noteRunning);
    timer->start(kLastSeenIntervalMs);
    return missed;
}

void Session::noteRunning() {
    // Only the panel at the next start depends on it; a failed write there lists a few
    // cycles too many at worst, so it is retried with the next note and not reported.
    config::writeLastSeen(programPath(), m_setup.clock.instant());
}

void Session::joinRoom() {
    if (m_room) {
        m_room->rejoin();
    }
}

} // namespace zorvane::app
