#include "cli/tablecommands.h"

#include "history/killhistory.h"
#include "schedule/cycle.h"
#include "schedule/rowstatus.h"
#include "schedule/tableops.h"
#include "services/configwriter.h"
#include "services/coretexts.h"
#include "services/killpath.h"
#include "services/language.h"
#include "services/linebook.h"
#include "services/preferences.h"
#include "services/roomkill.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "speech/speech.h"
#include "text/fileio.h"
#include "text/textops.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

namespace zorvane::app {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// Terminal columns a text takes: East Asian wide and full-width characters take two.
int displayWidth(const QString& text) {
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

QString padded(const QString& text, int width) {
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

// "1:05:09", with days in front from one day on ("2d 03:00:00").
QString timeLeftText(std::int64_t seconds) {
    const std::int64_t days = seconds / 86400;
    const auto field = [](std::int64_t value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    QString text = field(seconds % 86400 / 3600) + QLatin1Char(':') + field(seconds % 3600 / 60) +
                   QLatin1Char(':') + field(seconds % 60);
    return days > 0 ? QStringLiteral("%1d %2").arg(days).arg(text) : text;
}

QString timeOfDay(schedule::UtcSeconds instant) {
    return fromUtf8(schedule::clockTimeText(schedule::toLocal(instant)));
}

// A kill recorded here on a shared row goes to the room the preferences name, as the
// window would send it; the kill stays recorded when it cannot be sent, and the command
// fails saying so.
void shareKill(const schedule::KillRecord& kill, Session& session, int timeoutMs,
               CommandResult& result) {
    // Without a preferences file there is no room, and none is made here.
    if (!session.hasPreferencesFile()) {
        return;
    }
    const Preferences& preferences = session.preferences();
    text::Message problem;
    const std::optional<share::RoomOptions> options = roomOptionsFrom(preferences, problem);
    if (!options && problem.empty()) {
        return; // no room
    }
    if (!bossShared(preferences, session.table().rows(), kill.boss)) {
        return;
    }
    QString failure = messageText(problem);
    if (options) {
        failure = publishKillAndWait(*options,
                                     {kill.boss, kill.periodMinutes, kill.delayMinutes,
                                      kill.utcSeconds, kill.server, kill.line},
                                     timeoutMs);
        if (failure.isEmpty()) {
            result.text +=
                QStringLiteral("\nShared with room '%1'.").arg(fromUtf8(options->link.room));
            return;
        }
    }
    result.exitCode = kExitFailed;
    result.text +=
        QStringLiteral("\nThe kill is recorded but was not shared with the room: %1").arg(failure);
}

} // namespace

namespace {

// The one row named `name`, or the refusal.
std::optional<schedule::RowId> oneRowNamed(const schedule::BossTable& table, const QString& name,
                                           CommandResult& refusal) {
    const std::vector<schedule::BossRow> rows = table.rows();
    const std::vector<schedule::RowId> found =
        schedule::rowsNamed(rows, name.trimmed().toStdString());
    if (found.empty()) {
        refusal = {kExitFailed,
                   QStringLiteral("No boss named '%1' in the table.").arg(name.trimmed())};
        return std::nullopt;
    }
    if (found.size() > 1) {
        QStringList numbers;
        for (const schedule::RowId id : found) {
            numbers << QString::number(table.rowIndex(id));
        }
        refusal = {kExitFailed,
                   QStringLiteral("Rows %1 are all named '%2'; give them different names to "
                                  "record a kill from the command line.")
                       .arg(numbers.join(QStringLiteral(", ")), name.trimmed())};
        return std::nullopt;
    }
    return found.front();
}

QString joined(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names) {
        list << fromUtf8(name);
    }
    return list.join(QStringLiteral(", "));
}

} // namespace

CommandResult killByName(const schedule::BossTable& table, const QString& name, int minutesAgo,
                         const schedule::Clock& clock, const KillRecorder& record) {
    CommandResult refusal;
    const std::optional<schedule::RowId> found = oneRowNamed(table, name, refusal);
    if (!found) {
        return refusal;
    }
    const schedule::UtcSeconds killed =
        clock.instant() - 60 * static_cast<schedule::UtcSeconds>(minutesAgo);
    record(*found, killed);
    const std::optional<schedule::BossRow> row = table.row(*found);
    if (!row || row->timing.lastUtc != killed) {
        return {kExitFailed, QStringLiteral("The kill of '%1' could not be recorded.").arg(name)};
    }
    return {kExitDone, QStringLiteral("Recorded a kill of '%1' (row %2) at %3; next time %4.")
                           .arg(name.trimmed())
                           .arg(table.rowIndex(*found))
                           .arg(timeOfDay(killed), fromUtf8(row->text[schedule::kNextTimeColumn]))};
}

bool killIsOnLine(const schedule::BossTable& table, const schedule::LineBoard& lines,
                  const CommandLine& command) {
    if (!command.killLine.isEmpty()) {
        return true;
    }
    const std::vector<schedule::RowId> found =
        schedule::rowsNamed(table.rows(), command.killName.trimmed().toStdString());
    return found.size() == 1 && lines.hasLines(found.front());
}

CommandResult killOnLine(const schedule::BossTable& table, const schedule::LineBoard& lines,
                         const CommandLine& command, const schedule::Clock& clock,
                         const LineKillRecorder& record) {
    const QString name = command.killName.trimmed();
    CommandResult refusal;
    const std::optional<schedule::RowId> row = oneRowNamed(table, name, refusal);
    if (!row) {
        return refusal;
    }
    const std::optional<schedule::BossLines> given = lines.lines(*row);
    if (!given) {
        return {kExitFailed,
                QStringLiteral("'%1' has no lines; leave out --line and --server.").arg(name)};
    }
    const QString labels = fromUtf8(schedule::lineLabelsText(given->lines));
    if (command.killLine.isEmpty()) {
        return {
            kExitFailed,
            QStringLiteral("'%1' runs on lines %2; give the line with --line.").arg(name, labels)};
    }
    schedule::LineId line = 0;
    switch (lines.findLine(*row, command.killServer.toStdString(), command.killLine.toStdString(),
                           line)) {
    case schedule::LineLookup::Found:
        break;
    case schedule::LineLookup::NoLines:
        return {kExitFailed, QStringLiteral("'%1' has no lines.").arg(name)};
    case schedule::LineLookup::ServerNeeded:
        return {kExitFailed, QStringLiteral("'%1' runs on the servers %2; give one with --server.")
                                 .arg(name, joined(given->servers))};
    case schedule::LineLookup::UnknownServer:
        return {kExitFailed,
                given->servers.empty()
                    ? QStringLiteral("'%1' runs on no named server; leave out --server.").arg(name)
                    : QStringLiteral("'%1' has no server '%2'; it runs on %3.")
                          .arg(name, command.killServer, joined(given->servers))};
    case schedule::LineLookup::UnknownLine:
        return {kExitFailed, QStringLiteral("'%1' has no line '%2'; its lines are %3.")
                                 .arg(name, command.killLine, labels)};
    }
    const schedule::UtcSeconds killed =
        clock.instant() - 60 * static_cast<schedule::UtcSeconds>(command.minutesAgo);
    record(*row, line, killed);
    const std::optional<schedule::LineTimer> timer = lines.timer(*row, line);
    if (!timer || timer->state.lastKill != killed) {
        return {kExitFailed, QStringLiteral("The kill of '%1' could not be recorded.").arg(name)};
    }
    const std::optional<schedule::BossRow> boss = table.row(*row);
    return {kExitDone,
            QStringLiteral("Recorded a kill of '%1' (row %2) at %3; next time %4.")
                .arg(fromUtf8(schedule::lineTitle(name.toStdString(), timer->key)))
                .arg(table.rowIndex(*row))
                .arg(timeOfDay(killed), fromUtf8(schedule::nextTimeText(
                                            killed, boss ? boss->timing.periodMinutes : 0)))};
}

namespace {

// Where the boss stands, in the listing's words.
QString spawnStateText(const schedule::SpawnView& view) {
    switch (view.phase) {
    case schedule::SpawnPhase::Unknown:
        return QStringLiteral("unknown");
    case schedule::SpawnPhase::Waiting:
        return QStringLiteral("waiting");
    case schedule::SpawnPhase::WindowOpen:
        return QStringLiteral("window %1%").arg(static_cast<int>(view.fraction * 100));
    case schedule::SpawnPhase::Up:
        break;
    }
    return view.upSince ? QStringLiteral("up since %1").arg(timeOfDay(*view.upSince))
                        : QStringLiteral("up");
}

} // namespace

QString tableListing(const schedule::BossTable& table, const schedule::Clock& clock,
                     const schedule::LineBoard* lineBoard) {
    const std::vector<schedule::BossRow> rows = table.rows();
    const std::vector<schedule::RowStatus> statuses = schedule::rowStatuses(rows, clock.instant());
    if (statuses.empty()) {
        return QStringLiteral("The table is empty.\n");
    }
    std::vector<QStringList> lines{{QStringLiteral("#"), QStringLiteral("BOSS"),
                                    QStringLiteral("NEXT"), QStringLiteral("LEFT"),
                                    QStringLiteral("ALARM"), QStringLiteral("STATE")}};
    const auto leftText = [](const std::optional<std::int64_t>& remaining, bool killed) {
        if (remaining) {
            return timeLeftText(std::max<std::int64_t>(0, *remaining));
        }
        return killed ? QStringLiteral("not counting") : QStringLiteral("never killed");
    };
    const auto nextText = [](const std::string& next) {
        return next.empty() ? QStringLiteral("-") : fromUtf8(next);
    };
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        const schedule::RowStatus& status = statuses[i];
        const QString alarm = status.use ? QStringLiteral("on") : QStringLiteral("off");
        lines.push_back({QString::number(status.number), fromUtf8(status.name),
                         nextText(status.nextTime), leftText(status.remaining, status.killed),
                         alarm, spawnStateText(status.spawn)});
        if (lineBoard == nullptr || !lineBoard->hasLines(rows[i].id)) {
            continue;
        }
        int neverKilled = 0;
        for (const schedule::LineStatus& line :
             schedule::lineStatuses(rows[i], lineBoard->timers(rows[i].id), clock.instant())) {
            if (!line.killed) {
                ++neverKilled;
                continue;
            }
            lines.push_back(
                {QString(),
                 QStringLiteral("  ") + fromUtf8(schedule::lineTitle("", line.key)).trimmed(),
                 nextText(line.nextTime), leftText(line.remaining, line.killed), alarm,
                 spawnStateText(line.spawn)});
        }
        if (neverKilled > 0) {
            lines.push_back({QString(),
                             QStringLiteral("  (%1 lines never killed)").arg(neverKilled),
                             QString(), QString(), QString(), QString()});
        }
    }
    std::vector<int> widths(lines.front().size(), 0);
    for (const QStringList& line : lines) {
        for (qsizetype column = 0; column < line.size(); ++column) {
            widths[column] = std::max(widths[column], displayWidth(line[column]));
        }
    }
    QString text;
    for (const QStringList& line : lines) {
        QString out;
        for (qsizetype column = 0; column < line.size(); ++column) {
            const bool last = column + 1 == line.size();
            // Numbers are right-aligned; the last column needs no padding.
            if (column == 0) {
                out += QString(widths[0] - displayWidth(line[0]), QLatin1Char(' ')) + line[0];
            } else {
                out += last ? line[column] : padded(line[column], widths[column]);
            }
            if (!last) {
                out += QStringLiteral("  ");
            }
        }
        text += out + QLatin1Char('\n');
    }
    return text;
}

namespace {

// A server restart at the typed time (now when none) re-anchors the rows, saved before
// the answer.
CommandResult restartInSession(const QString& time, Session& session) {
    const schedule::UtcSeconds now = session.clock().instant();
    // "06:00" is 06:00:00.
    const QString full = time.count(QLatin1Char(':')) == 1 ? time + QStringLiteral(":00") : time;
    const std::optional<schedule::UtcSeconds> restart =
        time.isEmpty() ? std::optional(now) : schedule::typedKillInstant(full.toStdString(), now);
    if (!restart) {
        return {kExitNotUnderstood,
                QStringLiteral("TIME must be a clock time within the last 12 hours (06:00) or "
                               "-N minutes ago, not '%1'.")
                    .arg(time)};
    }
    const std::vector<schedule::RowId> moved = session.restartServer(*restart);
    if (const std::string problem = session.writer().flush().tableFile; !problem.empty()) {
        return {kExitFailed, QStringLiteral("The restart shows in the window but was not saved: %1")
                                 .arg(QString::fromStdString(problem))};
    }
    QStringList names;
    for (const schedule::RowId id : moved) {
        if (const std::optional<schedule::BossRow> row = session.table().row(id)) {
            names << fromUtf8(text::trim(row->text[schedule::kNameColumn]));
        }
    }
    if (names.isEmpty()) {
        return {kExitDone, QStringLiteral("Server restart at %1: no boss's rule moves it.")
                               .arg(timeOfDay(*restart))};
    }
    return {kExitDone, QStringLiteral("Server restart at %1: %2 start again from it.")
                           .arg(timeOfDay(*restart), names.join(QStringLiteral(", ")))};
}

} // namespace

QString nextBossesSaid(const schedule::BossTable& table, bool chinese, int count,
                       const schedule::LineBoard* lines, schedule::UtcSeconds now) {
    std::vector<std::pair<std::int64_t, std::string>> next;
    for (const schedule::BossRow& row : table.rows()) {
        if (!row.use) {
            continue;
        }
        const std::string boss = text::trim(row.text[schedule::kNameColumn]);
        if (lines != nullptr && lines->hasLines(row.id)) {
            // A boss on lines is said line by line, each where it stands now.
            for (const schedule::LineStatus& line :
                 schedule::lineStatuses(row, lines->timers(row.id), now)) {
                if (line.remaining) {
                    next.emplace_back(*line.remaining, schedule::spokenLineTitle(boss, line.key));
                }
            }
        } else if (row.timing.remainingSeconds) {
            next.emplace_back(*row.timing.remainingSeconds, boss);
        }
    }
    // Table order among equals, as the grid's sorted view.
    std::stable_sort(next.begin(), next.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (next.empty()) {
        return chinese ? QStringLiteral("没有启用的BOSS")
                       : QStringLiteral("No checked boss is counting.");
    }
    QStringList said;
    for (const auto& [secondsLeft, boss] : next) {
        if (said.size() == count) {
            break;
        }
        said << QString::fromStdString(speech::spokenAlert(boss, secondsLeft, chinese));
    }
    return said.join(chinese ? QStringLiteral("，") : QStringLiteral(", "));
}

CommandResult sayNextInSession(Session& session) {
    TickSupport* tick = session.tick();
    if (tick == nullptr) {
        return {kExitFailed, QStringLiteral("This Zorvane runs no countdown to say.")};
    }
    const bool chinese = windowLanguage() != QLatin1String("en");
    const schedule::LineBoard& lines = session.lines().board();
    const schedule::UtcSeconds now = session.clock().instant();
    tick->sounds().say(nextBossesSaid(session.table(), chinese, 3, &lines, now).toStdString());
    return {kExitDone, nextBossesSaid(session.table(), false, 3, &lines, now) + QLatin1Char('\n')};
}

CommandResult runInSession(const CommandLine& command, Session& session) {
    if (command.action == CommandLine::Action::List) {
        return {kExitDone,
                tableListing(session.table(), session.clock(), &session.lines().board())};
    }
    if (command.action == CommandLine::Action::SayNext) {
        return sayNextInSession(session);
    }
    if (command.action == CommandLine::Action::Restart) {
        return restartInSession(command.restartTime, session);
    }
    if (command.action != CommandLine::Action::Kill) {
        return {kExitNotUnderstood, QStringLiteral("Only --kill and --list are carried out here.")};
    }
    if (killIsOnLine(session.table(), session.lines().board(), command)) {
        CommandResult result = killOnLine(
            session.table(), session.lines().board(), command, session.clock(),
            [&session](schedule::RowId row, schedule::LineId line, schedule::UtcSeconds killed) {
                session.kills().recordOnLine(row, line, killed, schedule::KillSource::CommandLine);
            });
        if (result.exitCode != kExitDone) {
            return result;
        }
        if (const std::string problem = session.lines().flush(); !problem.empty()) {
            return {kExitFailed,
                    QStringLiteral("The kill of '%1' shows in the window but was not saved: %2")
                        .arg(command.killName.trimmed(), QString::fromStdString(problem))};
        }
        return result;
    }
    CommandResult result =
        killByName(session.table(), command.killName, command.minutesAgo, session.clock(),
                   [&session](schedule::RowId row, schedule::UtcSeconds killed) {
                       session.kills().record(row, killed, schedule::KillSource::CommandLine);
                   });
    if (result.exitCode != kExitDone) {
        return result;
    }
    // The caller is told whether the kill reached config.ini, so this waits for the write.
    if (const std::string problem = session.writer().flush().tableFile; !problem.empty()) {
        return {kExitFailed,
                QStringLiteral("The kill of '%1' shows in the window but was not saved: %2")
                    .arg(command.killName.trimmed(), QString::fromStdString(problem))};
    }
    return result;
}

CommandResult runOnFiles(const CommandLine& command, const std::filesystem::path& dir,
                         const schedule::Clock& clock, int publishTimeoutMs) {
    Session session({.clock = clock, .programDir = text::utf8FromPath(dir)});
    // As the window does on loading: every last time gets the instant it stands for now. A
    // table that cannot be read is not an empty one: nothing is listed or changed.
    std::string loadError;
    session.finishLoad(&loadError);
    if (!loadError.empty()) {
        return {kExitFailed,
                QStringLiteral("The table cannot be read: %1").arg(fromUtf8(loadError))};
    }
    if (command.action == CommandLine::Action::List) {
        return {kExitDone, tableListing(session.table(), clock, &session.lines().board())};
    }
    if (command.action == CommandLine::Action::Restart) {
        CommandResult result = restartInSession(command.restartTime, session);
        session.history().flush();
        return result;
    }
    if (command.action != CommandLine::Action::Kill) {
        return {kExitNotUnderstood, QStringLiteral("Only --kill and --list work on the files.")};
    }
    KillPath::Confirmed confirmed;
    CommandResult result =
        killIsOnLine(session.table(), session.lines().board(), command)
            ? killOnLine(
                  session.table(), session.lines().board(), command, clock,
                  [&](schedule::RowId id, schedule::LineId line, schedule::UtcSeconds killed) {
                      confirmed = session.kills().recordOnLineConfirmed(
                          id, line, killed, schedule::KillSource::CommandLine);
                  })
            : killByName(session.table(), command.killName, command.minutesAgo, clock,
                         [&](schedule::RowId id, schedule::UtcSeconds killed) {
                             confirmed = session.kills().recordConfirmed(
                                 id, killed, schedule::KillSource::CommandLine);
                         });
    if (!confirmed.saveError.empty()) {
        // Nothing was changed: the history gets no kill the table does not have.
        return {kExitFailed,
                QStringLiteral("The kill was not recorded: %1").arg(fromUtf8(confirmed.saveError))};
    }
    if (!confirmed.kill) {
        return result;
    }
    session.history().flush();
    if (const text::Message notice = session.history().notice(); !notice.empty()) {
        result.text += QStringLiteral("\nHistory: %1").arg(messageText(notice));
    }
    shareKill(*confirmed.kill, session, publishTimeoutMs, result);
    return result;
}

} // namespace zorvane::app
