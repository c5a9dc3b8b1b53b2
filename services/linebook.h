#pragma once
// The window's lines and servers (schedule/linetimers.h) and their file, lines.json beside
// config.ini (config/linesfile.h): read when the table is loaded, written by a thread of its
// own ("lines writer") after each change, so that the window never waits for the disk. A
// file that could not be read is never written over: the rows count without lines, the
// notice line says why, and every change of lines is refused with the reason until the
// player mends or removes the file.

#include "config/linesfile.h"
#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "services/notices.h"
#include "work/worker.h"

#include <QString>

#include <filesystem>
#include <mutex>
#include <string>

namespace zorvane::app {

class LineBook {
public:
    // `table` and `notices` must outlive the book.
    LineBook(std::filesystem::path dir, const schedule::BossTable& table, NoticeRelay& notices);
    // Writes what is queued.
    ~LineBook();
    LineBook(const LineBook&) = delete;
    LineBook& operator=(const LineBook&) = delete;

    schedule::LineBoard& board() { return m_board; }
    const schedule::LineBoard& board() const { return m_board; }

    // Reads lines.json and gives the table's rows their lines, by name. Once the table holds
    // what config.ini holds. False when the file could not be read (the notice line says why).
    bool load();
    // Gives the row these lines and servers (none: the row's lines go) and queues the write;
    // false with the reason, translated, when they cannot be kept.
    bool setLines(schedule::RowId row, const schedule::BossLines& lines, QString& error);
    // Queues a write of what the board holds now (after a kill on a line, a roll-over); none
    // while the file could not be read.
    void save();
    // Waits until every write queued so far is done (tests, quitting, --kill on the files);
    // returns why the last of them failed, empty when it succeeded.
    std::string flush();
    // Why lines.json could not be read, translated; empty when it could.
    QString loadProblem() const;

private:
    std::filesystem::path m_dir;
    const schedule::BossTable& m_table;
    NoticeRelay& m_notices;
    schedule::LineBoard m_board;
    // Bosses the file names that no row is named after, kept for the next write.
    config::StoredLines m_unclaimed;
    std::string m_loadError;
    std::mutex m_outcomeMutex;
    std::string m_lastWriteError; // guarded by m_outcomeMutex
    work::Worker m_writer{"lines writer"};
};

} // namespace zorvane::app
