#include "services/configwriter.h"

#include "services/handoff.h"

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
      m_store(std::make_unique<config::ConfigTableStore>(std::move(dir), m_relay.get())) {}

ConfigWriter::~ConfigWriter() {
    // The writer writes what is still queued before it ends.
    m_writer.stop();
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
    m_writer.flush();
    FileProblems problems;
    {
        const std::lock_guard lock(m_mutex);
        problems = m_problems;
    }
    deliverReports();
    return problems;
}

void ConfigWriter::queue(config::PendingWrites changes) {
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_queued.empty();
        m_queued.merge(std::move(changes));
    }
    // Changes asked for while a write waits or runs are merged into the next one: an older
    // copy of the table never lands after a newer one.
    if (first) {
        m_writer.post([this] { writeQueued(); });
    }
}

void ConfigWriter::writeQueued() {
    config::PendingWrites next;
    {
        const std::lock_guard lock(m_mutex);
        next = std::exchange(m_queued, {});
    }
    if (next.empty()) {
        return;
    }
    const config::ConfigTableStore::WriteOutcome outcome = m_store->write(std::move(next));
    const std::lock_guard lock(m_mutex);
    m_problems.tableFile = outcome.tableWritten ? std::string() : outcome.tableError;
    m_problems.soundFile = outcome.soundWritten ? std::string() : outcome.soundError;
}

void ConfigWriter::deliverReports() {
    // The outcomes handed to this object run now rather than with the next turn of the
    // event loop, so whoever waited for the files also sees the notice they left.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace zorvane::app
