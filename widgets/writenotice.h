#pragma once
// The line of the main window that tells the user a file could not be written: which
// file and why. It shows while any write is failing, without a box in anybody's way,
// and goes away once every file that failed has been written again.

#include "services/notices.h"
#include "text/message.h"

#include <QLabel>

#include <string>
#include <utility>
#include <vector>

namespace zorvane::app {

class WriteNotice final : public QLabel, public NoticeSink {
    Q_OBJECT
public:
    explicit WriteNotice(QWidget* parent = nullptr);

    // Both may be called on any thread; the label changes on its own thread.
    void writeFailed(const std::string& file, const std::string& reason) override;
    // A failure told as a message, shown in the window's language (the kill history's).
    void writeFailed(const std::string& file, const text::Message& reason) override;
    // Also takes back a failure reported for the file's directory.
    void writeSucceeded(const std::string& file) override;
    // Shown without the failed-write wording, until withdrawn.
    void showNotice(const std::string& key, const text::Message& notice) override;
    void withdrawNotice(const std::string& key) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The tooltip (file names, the system's reasons) shows as plain text.
    bool event(QEvent* event) override;

private:
    void recordFailure(const std::string& file, const text::Message& reason, bool write = true);
    void recordSuccess(const std::string& file);
    void showFailures();

    // Files (or directories) whose last write failed, with the reason, oldest first.
    // Window thread only.
    std::vector<std::pair<std::string, text::Message>> m_failures;
    // Keys of m_failures that are notices, not failed writes.
    std::vector<std::string> m_notices;
};

} // namespace zorvane::app
