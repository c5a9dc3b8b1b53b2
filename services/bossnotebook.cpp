#include "services/bossnotebook.h"

#include "text/fileio.h"
#include "text/textops.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace zorvane::app {

BossNoteBook::BossNoteBook(std::filesystem::path dir, NoticeRelay& notices)
    : m_dir(std::move(dir)), m_notices(notices) {}

BossNoteBook::~BossNoteBook() {
    m_writer.stop();
}

void BossNoteBook::load() {
    if (m_loaded) {
        return;
    }
    m_loaded = true;
    std::optional<config::BossNotes> notes = config::readBossNotes(m_dir, m_loadError);
    if (notes) {
        m_notes = std::move(*notes);
        m_loadError.clear();
    } else {
        m_notices.writeFailed(text::utf8FromPath(m_dir / config::kNotesFileName), m_loadError);
    }
}

config::BossNote BossNoteBook::note(const std::string& boss) {
    load();
    const auto it = m_notes.find(text::trim(boss));
    return it == m_notes.end() ? config::BossNote{} : it->second;
}

QString BossNoteBook::loadProblem() {
    load();
    if (m_loadError.empty()) {
        return {};
    }
    return QCoreApplication::translate("Zorvane", "备注文件无法读取，未作改动：%1")
        .arg(QString::fromStdString(m_loadError));
}

bool BossNoteBook::setNote(const std::string& boss, const config::BossNote& note, QString& error) {
    error = loadProblem();
    if (!error.isEmpty()) {
        return false;
    }
    const std::string name = text::trim(boss);
    const auto it = m_notes.find(name);
    config::BossNote kept = note;
    kept.group = it == m_notes.end() ? std::string() : it->second.group;
    if (kept.empty()) {
        m_notes.erase(name);
    } else {
        m_notes[name] = std::move(kept);
    }
    queueWrite();
    return true;
}

bool BossNoteBook::setGroup(const std::string& boss, const std::string& group, QString& error) {
    error = loadProblem();
    if (!error.isEmpty()) {
        return false;
    }
    const std::string name = text::trim(boss);
    const std::string trimmed = text::trim(group);
    if (name.empty() || !config::isGroupName(trimmed) || trimmed.size() > config::kMaxGroupBytes) {
        error = QCoreApplication::translate("Zorvane", "分组名须为一行，且不超过 %1 字节。")
                    .arg(config::kMaxGroupBytes);
        return false;
    }
    config::BossNote note = m_notes.count(name) != 0 ? m_notes[name] : config::BossNote{};
    if (note.group == trimmed) {
        return true;
    }
    note.group = trimmed;
    if (note.empty()) {
        m_notes.erase(name);
    } else {
        m_notes[name] = std::move(note);
    }
    queueWrite();
    return true;
}

std::map<std::string, std::string> BossNoteBook::groups() {
    load();
    std::map<std::string, std::string> groups;
    for (const auto& [boss, note] : m_notes) {
        if (!note.group.empty()) {
            groups.emplace(boss, note.group);
        }
    }
    return groups;
}

std::vector<std::string> BossNoteBook::groupNames() {
    std::vector<std::string> names;
    for (const auto& [boss, group] : groups()) {
        names.push_back(group);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<config::BossNotes> BossNoteBook::all(QString& error) {
    error = loadProblem();
    if (!error.isEmpty()) {
        return std::nullopt;
    }
    return m_notes;
}

bool BossNoteBook::replaceAll(config::BossNotes notes, QString& error) {
    error = loadProblem();
    if (!error.isEmpty()) {
        return false;
    }
    m_notes = std::move(notes);
    queueWrite();
    return true;
}

void BossNoteBook::queueWrite() {
    if (m_changed) {
        m_changed();
    }
    m_writer.post([dir = m_dir, notes = m_notes, relay = &m_notices] {
        std::string problem;
        const std::string file = text::utf8FromPath(dir / config::kNotesFileName);
        if (config::writeBossNotes(dir, notes, problem)) {
            relay->writeSucceeded(file);
        } else {
            relay->writeFailed(file, problem);
        }
    });
}

QString BossNoteBook::noteText(const config::BossNote& note) {
    QStringList lines;
    if (!note.location.empty()) {
        lines << QCoreApplication::translate("Zorvane", "位置：%1")
                     .arg(QString::fromStdString(note.location));
    }
    if (!note.drops.empty()) {
        lines << QCoreApplication::translate("Zorvane", "掉落：%1")
                     .arg(QString::fromStdString(note.drops));
    }
    if (!note.text.empty()) {
        lines << QString::fromStdString(note.text);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace zorvane::app
