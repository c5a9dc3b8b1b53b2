#include "services/pushlink.h"

#include "push/pushsettings.h"
#include "push/pushwire.h"
#include "push/wording.h"
#include "schedule/cycle.h"
#include "schedule/linetimers.h"
#include "services/coretexts.h"
#include "services/handoff.h"
#include "text/fileio.h"
#include "text/textops.h"
#include "work/helperprocess.h"

#include <QCoreApplication>
#include <QMetaType>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorvane::app {
namespace {

// Alerts held for the room's join: far more than a table fires at one start, and a bound
// should the join never come.
constexpr std::size_t kMaxHeldAlerts = 2000;

// The posts' templates as the window translates them; empty while it shows the Chinese
// wording, which the helper has itself.
std::string postedTemplates() {
    if (!showsTranslatedCoreTexts()) {
        return {};
    }
    push::Templates templates;
    for (const text::MessageId id : push::postedMessages()) {
        templates[id] = QCoreApplication::translate("Zorvane", messageSource(id)).toStdString();
    }
    return push::templatesArgument(templates);
}

// Reads lines from the helper; a longer one is skipped whole.
constexpr std::size_t kReadChunk = 4096;
// Bounds of what a new helper is told again: more relays than a guild has members, and the
// claims of far more alerts than fall due in one take-over delay.
constexpr std::size_t kRememberedRelays = 64;
constexpr std::size_t kRememberedClaims = 64;

} // namespace

std::optional<push::AlertEvent> pushEventOf(const schedule::Alert& alert,
                                            const schedule::BossRow& row,
                                            schedule::UtcSeconds nowUtc) {
    push::AlertEvent event;
    event.kind = alert.due() ? push::AlertKind::Spawn : push::AlertKind::LeadTime;
    event.minutes = alert.leadMinutes.value_or(0);
    event.boss = text::trim(alert.boss);
    if (!alert.line.empty()) {
        event.line = schedule::lineCaption(alert.line);
        event.server = alert.server;
    }
    if (alert.topic == schedule::AlertTopic::WindowOpening) {
        // A lead time before the window stays a lead time, about the opening.
        event.kind = alert.leadMinutes ? push::AlertKind::LeadTime : push::AlertKind::WindowOpen;
    } else if (alert.topic == schedule::AlertTopic::Unrecorded) {
        event.kind = push::AlertKind::Unrecorded;
        event.minutes = alert.minutesAfter;
    }
    if (alert.aboutUtc) {
        event.dueUtc = *alert.aboutUtc;
        return event;
    }
    const std::int64_t cycle =
        schedule::cycleSeconds(row.timing.periodMinutes, row.timing.delayMinutes);
    const std::int64_t seen = nowUtc + std::max<std::int64_t>(alert.secondsLeft, 0);
    if (row.timing.lastUtc && cycle > 0) {
        // The due instant the countdown stands for is a whole number of cycles after the last
        // kill; after a roll-over the last kill is the cycle's start, the instant itself.
        const schedule::UtcSeconds last = *row.timing.lastUtc;
        const double cycles =
            std::round(static_cast<double>(seen - last) / static_cast<double>(cycle));
        event.dueUtc = last + static_cast<std::int64_t>(cycles) * cycle;
    } else {
        // No dated kill: the nearest whole minute, which members a second apart agree on.
        event.dueUtc = (seen + 30) / 60 * 60;
    }
    return event;
}

void RelayInlet::tell(const push::RelayLine& line) {
    const std::lock_guard lock(m_mutex);
    if (m_link != nullptr) {
        m_link->relayHeard(line);
    }
}

PushLink::PushLink(std::string helper, std::filesystem::path settingsFile, QObject* parent)
    : QObject(parent), m_program(std::move(helper)), m_settingsFile(std::move(settingsFile)),
      m_templates(postedTemplates()) {
    m_relayInlet->m_link = this;
}

PushLink::~PushLink() {
    {
        const std::lock_guard lock(m_relayInlet->m_mutex);
        m_relayInlet->m_link = nullptr;
    }
    m_worker.post([this] {
        releaseHeld();
        endHelper(true);
    });
    m_worker.stop();
    const std::lock_guard lock(m_readersMutex);
    for (std::thread& reader : m_readers) {
        reader.join();
    }
}

void PushLink::reload() {
    std::error_code error;
    // No file and nothing running: the feature is off and costs no thread.
    if (!m_active && !m_worker.running() && !std::filesystem::exists(m_settingsFile, error)) {
        if (!m_statuses.empty() || !m_problems.empty()) {
            m_statuses.clear();
            m_problems.clear();
            emit statusesChanged();
        }
        return;
    }
    m_worker.post([this] { applySettings(); });
}

void PushLink::send(const push::AlertEvent& event) {
    // A start's first alerts come before the worker has read push.json: the worker, which
    // takes tasks in order, decides once it has.
    if (!mayTakeAlerts()) {
        return;
    }
    m_worker.post([this, line = push::alertLine(event)] {
        if (!m_active) {
            return;
        }
        if (!m_holding) {
            write(line);
        } else if (m_held.size() < kMaxHeldAlerts) {
            m_held.push_back(line);
        }
    });
}

void PushLink::awaitJoin(std::chrono::milliseconds limit) {
    if (!m_worker.running()) {
        return; // push is off
    }
    m_worker.post([this] { m_holding = true; });
    QTimer::singleShot(limit, this, [this] { m_worker.post([this] { releaseHeld(); }); });
}

void PushLink::releaseHeld() {
    m_holding = false;
    for (const std::string& line : m_held) {
        write(line);
    }
    m_held.clear();
}

void PushLink::relayHeard(const push::RelayLine& line) {
    remember(line);
    if (line.kind == push::RelayLine::Kind::Join) {
        if (line.room.empty() && !m_worker.running()) {
            // A worker that never ran joined no room: "no room" changes nothing, and a
            // window without a room says it at every start.
            return;
        }
        m_worker.post([this, line] {
            m_join = line;
            if (m_helper) {
                // A helper may have started before this task ran, while the join was not yet
                // known: it then left out what the room said since. Telling it again is
                // harmless, as the helper's book keeps the first of each claim.
                write(push::relayLine(line));
                for (const std::string& heard : remembered()) {
                    write(heard);
                }
            }
            // The room's connection says "no room" before every join, also the first: only a
            // room named ends the wait (else the time limit does).
            if (!line.room.empty()) {
                releaseHeld();
            }
        });
        return;
    }
    if (!m_active) {
        return;
    }
    m_worker.post([this, text = push::relayLine(line)] {
        // A helper that is not running has no book to tell; the next one hears the
        // presences again when the room connection is made anew.
        if (m_helper) {
            write(text);
        }
    });
}

void PushLink::remember(const push::RelayLine& line) {
    using Kind = push::RelayLine::Kind;
    const std::lock_guard lock(m_heardMutex);
    switch (line.kind) {
    case Kind::Presence:
        if (line.payload.empty()) {
            m_presences.erase(line.relayId);
        } else if (m_presences.size() < kRememberedRelays || m_presences.count(line.relayId) != 0) {
            m_presences[line.relayId] = push::relayLine(line);
        }
        break;
    case Kind::Claim:
        m_claims.push_back(push::relayLine(line));
        if (m_claims.size() > kRememberedClaims) {
            m_claims.pop_front();
        }
        break;
    case Kind::Join:
        if (line.room == m_heardRoom) {
            break;
        }
        m_heardRoom = line.room; // another room: what the last one said is no news
        [[fallthrough]];
    case Kind::Lost:
        m_presences.clear();
        m_claims.clear();
        break;
    }
}

std::vector<std::string> PushLink::remembered() const {
    const std::lock_guard lock(m_heardMutex);
    std::vector<std::string> lines;
    lines.reserve(m_presences.size() + m_claims.size());
    for (const auto& [id, line] : m_presences) {
        lines.push_back(line);
    }
    lines.insert(lines.end(), m_claims.begin(), m_claims.end());
    return lines;
}

void PushLink::applySettings() {
    const push::PushSettingsRead read = push::readPushSettings(m_settingsFile);
    std::vector<std::string> ids;
    bool any = false;
    for (const push::PushTarget& target : read.settings.targets) {
        ids.push_back(target.id);
        any = any || target.enabled;
    }
    m_active = any;
    if (any) {
        // A new helper reads the file itself; a running one is told to.
        if (m_helper) {
            write(push::reloadLine());
        } else {
            ensureHelper();
        }
    } else {
        endHelper(false);
    }
    handOff(this, [this, ids = std::move(ids), problems = read.problems]() mutable {
        takeProblems(std::move(ids), std::move(problems));
    });
}

bool PushLink::ensureHelper() {
    if (m_helper) {
        return true;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    int error = 0;
    // The helper outlives this thread and even the window: it ends at the end of its input,
    // once it has posted what it holds.
    std::vector<std::string> arguments{text::utf8FromPath(m_settingsFile)};
    if (!m_templates.empty()) {
        arguments.push_back(m_templates);
    }
    const int pid =
        work::startProcess(m_program, arguments, ends[1], ends[1], STDERR_FILENO, &error, false);
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        const text::Message reason(
            text::MessageId::PushHelperCannotStart,
            {text::Message::literal(m_program),
             text::Message::literal(std::generic_category().message(error))});
        handOff(this, [this, reason] {
            m_problems.push_back(reason);
            emit statusesChanged();
        });
        return false;
    }
    auto helper = std::make_shared<Helper>();
    helper->pid = pid;
    helper->fd = ends[0];
    m_helper = helper;
    if (!m_join.room.empty()) {
        // Before any alert, so that the room's targets are ranked from the first; a
        // helper that took nothing shows at the next write.
        sendAll(helper->fd, push::relayLine(m_join));
        for (const std::string& line : remembered()) {
            sendAll(helper->fd, line);
        }
    }
    const std::lock_guard lock(m_readersMutex);
    m_readers.emplace_back([this, helper] {
        work::nameThisThread("push reader");
        readLoop(helper);
    });
    return true;
}

bool PushLink::sendAll(int fd, const std::string& line) {
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void PushLink::write(const std::string& line) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureHelper()) {
            return;
        }
        if (sendAll(m_helper->fd, line)) {
            return;
        }
        // The helper has ended (it crashed, or was killed): a new one takes the line.
        endHelper(true);
    }
}

void PushLink::endHelper(bool now) {
    if (!m_helper) {
        return;
    }
    {
        const std::lock_guard lock(m_helper->mutex);
        if (!m_helper->closed) {
            // Its input ends; with `now` its reports are no longer read either.
            ::shutdown(m_helper->fd, now ? SHUT_RDWR : SHUT_WR);
        }
    }
    m_helper.reset();
}

void PushLink::readLoop(const std::shared_ptr<Helper>& helper) {
    std::string pending;
    char buffer[kReadChunk];
    bool skipping = false;
    for (;;) {
        const ssize_t n = ::read(helper->fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string_view line(pending.data() + start, end - start);
            if (skipping) {
                skipping = false;
                continue;
            }
            const std::optional<push::HelperReport> report = push::readReport(line);
            if (!report) {
                continue;
            }
            // The helper's problems with push.json are the window's own reading's too.
            if (report->kind == push::HelperReport::Kind::Status) {
                handOff(this, [this, status = report->status] { takeStatus(status); });
            } else if (report->kind == push::HelperReport::Kind::Relay) {
                handOff(this, [this, relay = report->relay] { emit relayToPublish(relay); });
            }
        }
        pending.erase(0, start);
        if (pending.size() > push::kMaxWireLine) {
            pending.clear();
            skipping = true;
        }
    }
    {
        const std::lock_guard lock(helper->mutex);
        ::close(helper->fd);
        helper->closed = true;
    }
    // A helper that ended on its own is reaped; one still finishing its posts after the
    // window let it go is left to end by itself.
    int status = 0;
    ::waitpid(helper->pid, &status, WNOHANG);
}

void PushLink::takeStatus(const push::TargetStatus& status) {
    const auto it = m_statuses.find(status.targetId);
    const bool newFailure =
        !status.ok && !status.lastError.empty() &&
        (it == m_statuses.end() || it->second.lastErrorUtc != status.lastErrorUtc ||
         it->second.lastError != status.lastError);
    m_statuses[status.targetId] = status;
    emit statusesChanged();
    if (newFailure) {
        emit targetFailed(push::failureNotice(status));
    }
}

void PushLink::takeProblems(std::vector<std::string> targetIds,
                            std::vector<text::Message> problems) {
    for (auto it = m_statuses.begin(); it != m_statuses.end();) {
        const bool stays =
            std::find(targetIds.begin(), targetIds.end(), it->first) != targetIds.end();
        it = stays ? std::next(it) : m_statuses.erase(it);
    }
    m_problems = std::move(problems);
    emit statusesChanged();
}

} // namespace zorvane::app
