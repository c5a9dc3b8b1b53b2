#include "services/linebook.h"

#include "text/fileio.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

namespace zorvane::app {

LineBook::LineBook(std::filesystem::path dir, const schedule::BossTable& table,
                   NoticeRelay& notices)
    : m_dir(std::move(dir)), m_table(table), m_notices(notices) {}

LineBook::~LineBook() {
    m_writer.stop();
}

bool LineBook::load() {
    std::optional<config::StoredLines> stored = config::readLinesFile(m_dir, m_loadError);
    if (!stored) {
        m_notices.writeFailed(text::utf8FromPath(m_dir / config::kLinesFileName),
                              loadProblem().toStdString());
        return false;
    }
    m_loadError.clear();
    // No file (most tables have no lines) needs no copy of every row to match names with.
    m_unclaimed = stored->empty() ? config::StoredLines{}
                                  : config::applyStoredLines(m_table.rows(), m_board, *stored);
    return true;
}

QString LineBook::loadProblem() const {
    if (m_loadError.empty()) {
        return {};
    }
    return QCoreApplication::translate("Zorvane", "分线文件无法读取，未作改动：%1")
        .arg(QString::fromStdString(m_loadError));
}

bool LineBook::setLines(schedule::RowId row, const schedule::BossLines& lines, QString& error) {
    error = loadProblem();
    if (!error.isEmpty()) {
        return false;
    }
    if (!m_board.setLines(row, lines)) {
        error = QCoreApplication::translate(
                    "Zorvane",
                    "分线或服务器无效：不能为空或重复，每个服务器最多 %1 条线，最多 %2 个服务器")
                    .arg(schedule::kMaxLinesPerServer)
                    .arg(schedule::kMaxServersPerBoss);
        return false;
    }
    save();
    return true;
}

void LineBook::save() {
    if (!m_loadError.empty()) {
        return;
    }
    m_writer.post([this, stored = config::storedLinesOf(m_table.rows(), m_board, m_unclaimed)] {
        std::string problem;
        const std::string file = text::utf8FromPath(m_dir / config::kLinesFileName);
        if (config::writeLinesFile(m_dir, stored, problem)) {
            m_notices.writeSucceeded(file);
        } else {
            m_notices.writeFailed(file, problem);
        }
        const std::lock_guard lock(m_outcomeMutex);
        m_lastWriteError = problem;
    });
}

std::string LineBook::flush() {
    m_writer.flush();
    const std::lock_guard lock(m_outcomeMutex);
    return m_loadError.empty() ? m_lastWriteError : loadProblem().toStdString();
}

} // namespace zorvane::app
