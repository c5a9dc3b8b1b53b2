#include "services/killpath.h"

#include "schedule/tableops.h"
#include "services/configwriter.h"
#include "services/linebook.h"
#include "text/textops.h"

#include <QTimer>

#include <algorithm>

namespace zorvane::app {
namespace {

// Kills remembered per row for putting the row back when one is retracted.
constexpr std::size_t kRememberedKills = 8;
// Kills remembered for marking them undone: more than an undo stack holds kills in practice.
constexpr std::size_t kRememberedRecords = 256;

// Keeps the kill a table operation reports until the caller knows the table was written.
class HeldKill final : public schedule::KillLog {
public:
    void recordKill(const schedule::KillRecord& record) override { held = record; }
    std::optional<schedule::KillRecord> held;
};

} // namespace

class KillPath::TellingLog final : public schedule::KillLog {
public:
    explicit TellingLog(KillPath& path) : m_path(path) {}
    void recordKill(const schedule::KillRecord& record) override {
        if (m_path.m_killLog != nullptr) {
            m_path.m_killLog->recordKill(record);
        }
        m_path.told(record);
    }

private:
    KillPath& m_path;
};

KillPath::KillPath(schedule::BossTable& table, ConfigWriter& writer, QObject* parent)
    : QObject(parent), m_table(table), m_writer(writer) {}

KillPath::~KillPath() {
    if (m_saveTimer != nullptr && m_saveTimer->isActive()) {
        m_saveTimer->stop();
        m_writer.saveTable(m_table);
    }
}

bool KillPath::record(schedule::RowId row, schedule::UtcSeconds instant,
                      schedule::KillSource source, const std::string& sender) {
    const std::optional<schedule::BossRow> before = m_table.row(row);
    TellingLog log(*this);
    if (!before || !schedule::recordKill(m_table, row, instant, source, m_writer, &log, sender)) {
        return false;
    }
    remember(row, instant, before->timing.lastUtc);
    tell(*before);
    return true;
}

bool KillPath::recordOnLine(schedule::RowId row, schedule::LineId line,
                            schedule::UtcSeconds instant, schedule::KillSource source,
                            const std::string& sender) {
    std::optional<schedule::KillRecord> kill = killOnLine(row, line, instant, source, sender);
    if (!kill) {
        return false;
    }
    m_lines->save();
    TellingLog(*this).recordKill(*kill);
    return true;
}

KillPath::Confirmed KillPath::recordOnLineConfirmed(schedule::RowId row, schedule::LineId line,
                                                    schedule::UtcSeconds instant,
                                                    schedule::KillSource source) {
    Confirmed confirmed;
    std::optional<schedule::KillRecord> kill = killOnLine(row, line, instant, source, {});
    if (!kill) {
        return confirmed;
    }
    m_lines->save();
    confirmed.saveError = m_lines->flush();
    if (confirmed.saveError.empty()) {
        TellingLog(*this).recordKill(*kill);
        confirmed.kill = std::move(kill);
    }
    return confirmed;
}

std::optional<schedule::KillRecord> KillPath::killOnLine(schedule::RowId row, schedule::LineId line,
                                                         schedule::UtcSeconds instant,
                                                         schedule::KillSource source,
                                                         const std::string& sender) {
    const std::optional<schedule::BossRow> current = m_table.row(row);
    if (m_lines == nullptr || !current) {
        return std::nullopt;
    }
    const std::optional<schedule::LineTimer> timer = m_lines->board().timer(row, line);
    const std::optional<schedule::LineState> before =
        timer ? m_lines->board().kill(row, line, instant) : std::nullopt;
    if (!before) {
        return std::nullopt;
    }
    auto& kills = m_replacedOnLine[{row, line}];
    kills.emplace_back(instant, before->lastKill);
    if (kills.size() > kRememberedKills) {
        kills.pop_front();
    }
    if (m_lineRecorded) {
        m_lineRecorded(row, line, *before, true);
    }
    schedule::KillRecord record{text::trim(current->text[schedule::kNameColumn]),
                                instant,
                                current->timing.periodMinutes,
                                current->timing.delayMinutes,
                                source,
                                sender};
    record.server = timer->key.server;
    record.line = timer->key.line;
    return record;
}

bool KillPath::restoreLine(schedule::RowId row, schedule::LineId line,
                           const schedule::LineState& state) {
    if (m_lines == nullptr || !m_lines->board().restore(row, line, state)) {
        return false;
    }
    m_lines->save();
    return true;
}

KillPath::Confirmed KillPath::recordConfirmed(schedule::RowId row, schedule::UtcSeconds instant,
                                              schedule::KillSource source) {
    Confirmed confirmed;
    HeldKill kill;
    const std::optional<schedule::BossRow> before = m_table.row(row);
    if (!before || !schedule::recordKill(m_table, row, instant, source, m_writer, &kill)) {
        return confirmed;
    }
    tell(*before);
    confirmed.saveError = m_writer.flush().tableFile;
    if (confirmed.saveError.empty() && kill.held) {
        TellingLog(*this).recordKill(*kill.held);
        confirmed.kill = kill.held;
    }
    return confirmed;
}

bool KillPath::applyRemote(schedule::RowId row, schedule::UtcSeconds killUtc,
                           const std::string& sender) {
    const std::optional<schedule::BossRow> before = m_table.row(row);
    TellingLog log(*this);
    if (!before ||
        !schedule::markKilled(m_table, row, killUtc, schedule::KillSource::Remote, &log, sender)) {
        return false;
    }
    remember(row, killUtc, before->timing.lastUtc);
    // Undone like a kill of one's own; a burst of received kills is saved once.
    tell(*before);
    saveSoon();
    return true;
}

schedule::LineLookup KillPath::applyRemoteOnLine(schedule::RowId row, const std::string& server,
                                                 const std::string& line,
                                                 schedule::UtcSeconds killUtc,
                                                 const std::string& sender, bool& applied) {
    applied = false;
    if (m_lines == nullptr || !m_table.row(row)) {
        return schedule::LineLookup::NoLines;
    }
    schedule::LineId id = 0;
    const schedule::LineLookup lookup = m_lines->board().findLine(row, server, line, id);
    if (lookup != schedule::LineLookup::Found) {
        return lookup;
    }
    const std::optional<schedule::LineTimer> timer = m_lines->board().timer(row, id);
    if (!timer || (timer->state.lastKill && *timer->state.lastKill >= killUtc)) {
        return lookup; // as new or newer already: the room's kill changes nothing
    }
    std::optional<schedule::KillRecord> kill =
        killOnLine(row, id, killUtc, schedule::KillSource::Remote, sender);
    if (!kill) {
        return schedule::LineLookup::UnknownLine;
    }
    m_lines->save();
    TellingLog(*this).recordKill(*kill);
    applied = true;
    return lookup;
}

bool KillPath::restore(schedule::RowId row, schedule::UtcSeconds retracted,
                       std::optional<schedule::UtcSeconds> roomNewest) {
    const std::optional<schedule::BossRow> before = m_table.row(row);
    if (!before) {
        return false;
    }
    const auto kills = m_replaced.find(row);
    const std::optional<schedule::UtcSeconds> back =
        backFrom(kills != m_replaced.end() ? &kills->second : nullptr, retracted, roomNewest);
    // Back to no kill at all: the last time without an instant drops the instant as well, and
    // the countdown the retracted kill started goes with it (the tick leaves the text of a
    // row that stops counting as it was).
    const bool done = back ? schedule::markKilled(m_table, row, *back, schedule::KillSource::Remote)
                           : m_table.setCellTexts(row, {{schedule::kLastTimeColumn, ""},
                                                        {schedule::kNextTimeColumn, ""},
                                                        {schedule::kCountdownColumn, ""}});
    if (!done) {
        return false;
    }
    tell(*before, false);
    saveSoon();
    return true;
}

bool KillPath::restoreOnLine(schedule::RowId row, const std::string& server,
                             const std::string& line, schedule::UtcSeconds retracted,
                             std::optional<schedule::UtcSeconds> roomNewest) {
    schedule::LineId id = 0;
    if (m_lines == nullptr || !m_table.row(row) ||
        m_lines->board().findLine(row, server, line, id) != schedule::LineLookup::Found) {
        return false;
    }
    const std::optional<schedule::LineTimer> timer = m_lines->board().timer(row, id);
    // A line with a kill of its own keeps it.
    if (!timer || timer->state.lastKill != std::optional(retracted)) {
        return false;
    }
    const auto kills = m_replacedOnLine.find({row, id});
    const std::optional<schedule::UtcSeconds> back =
        backFrom(kills != m_replacedOnLine.end() ? &kills->second : nullptr, retracted, roomNewest);
    // No kill happened: the kill log hears nothing. Back to no kill at all, the line's count
    // and marks go with the retracted kill.
    const std::optional<schedule::LineState> before =
        back ? m_lines->board().kill(row, id, *back) : m_lines->board().clear(row, id);
    if (!before) {
        return false;
    }
    m_lines->save();
    if (m_lineRecorded) {
        m_lineRecorded(row, id, *before, false);
    }
    return true;
}

std::optional<schedule::UtcSeconds> KillPath::backFrom(const Replaced* kills,
                                                       schedule::UtcSeconds retracted,
                                                       std::optional<schedule::UtcSeconds> back) {
    if (kills != nullptr) {
        for (const auto& [instant, replaced] : *kills) {
            if (instant == retracted && (!back || (replaced && *replaced > *back))) {
                back = replaced;
            }
        }
    }
    return back;
}

void KillPath::remember(schedule::RowId row, schedule::UtcSeconds instant,
                        std::optional<schedule::UtcSeconds> before) {
    auto& kills = m_replaced[row];
    kills.emplace_back(instant, before);
    if (kills.size() > kRememberedKills) {
        kills.pop_front();
    }
}

void KillPath::told(const schedule::KillRecord& record) {
    m_told.push_back(record);
    if (m_told.size() > kRememberedRecords) {
        m_told.pop_front();
    }
}

void KillPath::killUndone(const schedule::BossRow& killed, bool undone) {
    if (!killed.timing.lastUtc) {
        return;
    }
    const std::string boss = text::trim(killed.text[schedule::kNameColumn]);
    // The latest record of that kill: the history marks the one with the same source and
    // sender, which only the record itself knows.
    const auto record = std::find_if(m_told.rbegin(), m_told.rend(), [&](const auto& told) {
        return told.boss == boss && told.server.empty() && told.line.empty() &&
               told.utcSeconds == *killed.timing.lastUtc;
    });
    if (record != m_told.rend() && m_killLog != nullptr) {
        m_killLog->setUndone(*record, undone);
    }
    if (m_undone) {
        m_undone(boss, {}, *killed.timing.lastUtc, undone);
    }
}

void KillPath::lineKillUndone(schedule::RowId row, schedule::LineId line,
                              schedule::UtcSeconds instant, bool undone) {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    const std::optional<schedule::LineTimer> timer =
        m_lines != nullptr ? m_lines->board().timer(row, line) : std::nullopt;
    if (!boss || !timer) {
        return;
    }
    const std::string name = text::trim(boss->text[schedule::kNameColumn]);
    const auto record = std::find_if(m_told.rbegin(), m_told.rend(), [&](const auto& told) {
        return told.boss == name && told.server == timer->key.server &&
               told.line == timer->key.line && told.utcSeconds == instant;
    });
    if (record != m_told.rend() && m_killLog != nullptr) {
        m_killLog->setUndone(*record, undone);
    }
    if (m_undone) {
        m_undone(name, timer->key, instant, undone);
    }
}

void KillPath::tell(const schedule::BossRow& before, bool killed) {
    if (m_recorded) {
        m_recorded(before, killed);
    }
}

void KillPath::saveSoon() {
    if (m_saveTimer == nullptr) {
        m_saveTimer = new QTimer(this);
        m_saveTimer->setSingleShot(true);
        m_saveTimer->setInterval(kRemoteSaveDelayMs);
        connect(m_saveTimer, &QTimer::timeout, this, [this] { m_writer.saveTable(m_table); });
    }
    if (!m_saveTimer->isActive()) {
        m_saveTimer->start();
    }
}

} // namespace zorvane::app
