#pragma once
// The window's one writer of config.ini and confing.ini, on a thread of its own.
//
// An atomic replacement with fsync takes tens of milliseconds on a slow disk; the window
// thread only copies what is to be stored (the table's rows, under the table's own lock)
// and returns. The writer thread writes through one ConfigTableStore, so writes happen in
// the order they were asked for, a failed write is kept and made again with the next one,
// and changes asked for while a write runs are merged into one write of the newest state:
// an older copy of the table never replaces a newer one. How each write ended reaches the
// status sink on the window thread.

#include "config/configfiles.h"
#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "work/worker.h"

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace zorvane::app {

class ConfigWriter final : public QObject, public schedule::TableStore {
    Q_OBJECT
public:
    // How config.ini and confing.ini stand once everything asked so far was tried: empty
    // when the file has it all, otherwise the reason of its last failed write.
    struct FileProblems {
        std::string tableFile;
        std::string soundFile;
    };

    // Lives on the window thread; `status` (may be null) is told there and must outlive
    // the writer.
    explicit ConfigWriter(std::filesystem::path dir, schedule::WriteStatusSink* status = nullptr,
                          QObject* parent = nullptr);
    // Writes what is still pending before it returns: nothing asked for is lost on quit.
    ~ConfigWriter() override;
    ConfigWriter(const ConfigWriter&) = delete;
    ConfigWriter& operator=(const ConfigWriter&) = delete;

    void saveTable(const schedule::BossTable& table) override;
    void rewriteTable(const schedule::BossTable& table) override;
    void writeWarnMinutes(std::string text);
    void writeSoundPath(std::string path);

    // Waits until everything asked for so far has been written (or has failed) and tells
    // the status sink about it before returning. Window thread; for quitting, for a
    // command that must answer with the outcome, and for tests that read the files.
    FileProblems flush();

private:
    class Relay;

    void queue(config::PendingWrites changes);
    // The writer's task: writes everything queued in one go.
    void writeQueued();
    void deliverReports();

    std::unique_ptr<Relay> m_relay;
    // Writer thread only (created before it starts, destroyed after it ends).
    std::unique_ptr<config::ConfigTableStore> m_store;

    std::mutex m_mutex;
    config::PendingWrites m_queued;
    FileProblems m_problems;
    // Started by the first write; last, so it ends before the members it uses go.
    work::Worker m_writer{"config writer"};
};

} // namespace zorvane::app
