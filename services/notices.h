#pragma once
// Where the running services report what the user must know about their files: a write of
// config.ini, confing.ini or 1.wav that failed (and its success later), trouble with the sound
// helper, what went wrong with the history database. The window's notice line is one such
// sink; the session hands every report through a relay, so the services are made before the
// window and outlive it.

#include "schedule/services.h"
#include "text/message.h"

#include <mutex>
#include <string>

namespace zorvane::app {

class NoticeSink : public schedule::WriteStatusSink {
public:
    using schedule::WriteStatusSink::writeFailed;
    // A failure told as a message, shown in the window's language (the kill history's).
    virtual void writeFailed(const std::string& file, const text::Message& reason) = 0;
    // Something else the user must know about their files (a stored value that could not be
    // read), under `key` until withdrawn. By default told like a failed write.
    virtual void showNotice(const std::string& key, const text::Message& notice) {
        writeFailed(key, notice);
    }
    virtual void withdrawNotice(const std::string& key) { writeSucceeded(key); }
};

// Passes every report on to the sink set, from any thread; without a sink they go nowhere.
class NoticeRelay final : public NoticeSink {
public:
    // Any thread. Once it returns, no report reaches the sink it replaced.
    void setTarget(NoticeSink* target);

    void writeFailed(const std::string& file, const std::string& reason) override;
    void writeFailed(const std::string& file, const text::Message& reason) override;
    void writeSucceeded(const std::string& file) override;
    void soundFailed(const std::string& source, const text::Message& reason) override;
    void showNotice(const std::string& key, const text::Message& notice) override;
    void withdrawNotice(const std::string& key) override;

private:
    // Held while a report is passed on, so a target is never told after it was replaced.
    std::mutex m_mutex;
    NoticeSink* m_target = nullptr;
};

} // namespace zorvane::app
