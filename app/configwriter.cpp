#include "app/configwriter.h"

#include "app/handoff.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace zorvane::app {

// The store's status sink on the writer thread: passes each outcome to the window
// thread, where the real sink is told.
class ConfigWriter::Relay final : public schedule::WriteStatusSink {
public:
    Relay(ConfigWriter& owner, schedule::WriteStatusSink* status)
        : m_owner(owner), m_status(status) {}

    void writeFailed(const std::string& file, const std::string& reason) override {
        if (m_status != nullptr) {
            handOff(&m_owner,
                    [status = m_status, file, reason] { status->writeFailed(file, reason); });
        }
    }
    void writeSucceeded(const std::string& file) override {
        if (m_status != nullptr) {
            handOff(&m_owner, [status = m_status, file] { status->writeSucceeded(file); });
        }
    }

private:
    ConfigWriter& m_owner;
    schedule::WriteStatusSink* m_status;
};

ConfigWriter::ConfigWriter(std::filesystem::path dir, schedule::WriteStatusSink* status,
                           QObject* parent)
    : QObject(parent), m_relay(std::make_unique<Relay>(*this, status)),
      m_store(std::make_unique<config::ConfigTableStore>(std::move(dir), m_relay.get())) {
    m_thread = std::thread([this] { run(); });
}

ConfigWriter::~ConfigWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    // The thread writes what is still queued before it ends.
    m_thread.join();
    deliverReports();
}

void ConfigWriter::saveTable(const schedule::BossTable& table) {
    queue(config::PendingWrites::table(table.rows()));
}

void ConfigWriter::rewriteTable(const schedule::BossTable& table) {
    queue(config::PendingWrites::table(table.rows(), true));
}

void ConfigWriter::writeWarnMinutes(std::string text) {
    queue(config::PendingWrites::warnMinutesText(std::move(text)));
}

void ConfigWriter::writeSoundPath(std::string path) {
    queue(config::PendingWrites::soundPathText(std::move(path)));
}

ConfigWriter::FileProblems ConfigWriter::flush() {
    FileProblems problems;
    {
        std::unique_lock lock(m_mutex);
        const std::uint64_t asked = m_asked;
        m_written.wait(lock, [&] { return m_settled >= asked; });
        problems = m_problems;
    }
    deliverReports();
    return problems;
}

void ConfigWriter::queue(config::PendingWrites changes) {
    {
        const std::lock_guard lock(m_mutex);
        m_queued.merge(std::move(changes));
        ++m_asked;
    }
    m_wake.notify_one();
}

void ConfigWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queued.empty(); });
        if (m_queued.empty()) {
            return; // stopping, and everything asked for was written
        }
        config::PendingWrites next = std::exchange(m_queued, {});
        const std::uint64_t batch = m_asked;
        lock.unlock();
        const config::ConfigTableStore::WriteOutcome outcome = m_store->write(std::move(next));
        lock.lock();
        m_problems.tableFile = outcome.tableWritten ? std::string() : outcome.tableError;
        m_problems.soundFile = outcome.soundWritten ? std::string() : outcome.soundError;
        m_settled = batch;
        m_written.notify_all();
    }
}

void ConfigWriter::deliverReports() {
    // The outcomes handed to this object run now rather than with the next turn of the
    // event loop, so whoever waited for the files also sees the notice they left.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace zorvane::app
