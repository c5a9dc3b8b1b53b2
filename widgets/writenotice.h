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
    // What went wrong with a file: each has its own wording.
    // Other: told by its reason alone.
    enum class Kind { Write, Sound, Read, Announcement, Other };

    explicit WriteNotice(QWidget* parent = nullptr);

    // Both may be called on any thread; the label changes on its own thread.
    void writeFailed(const std::string& file, const std::string& reason) override;
    // A failure told as a message, shown in the window's language (the kill history's).
    void writeFailed(const std::string& file, const text::Message& reason) override;
    // Also takes back a failure reported for the file's directory.
    void writeSucceeded(const std::string& file) override;
    // Shown with a wording of its own: nothing failed to be written.
    void soundFailed(const std::string& source, const text::Message& reason) override;
    // Something else that failed: a file that could not be read (config.ini at start), the
    // announcement that could not be fetched. A later write of `source` takes it back.
    void failed(Kind kind, const std::string& source, const std::string& reason);
    // Shown without the failed-write wording (as Kind::Other), until withdrawn.
    void showNotice(const std::string& key, const text::Message& notice) override;
    void withdrawNotice(const std::string& key) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The tooltip (file names, the system's reasons) shows as plain text.
    bool event(QEvent* event) override;

private:
    struct Failure {
        std::string file;
        text::Message reason;
        Kind kind = Kind::Write;
    };
    void recordFailure(const Failure& failure);
    void recordSuccess(const std::string& file);
    void showFailures();

    // Files (or directories, or the sound helper) whose last write or sound failed, with
    // the reason, oldest first. Window thread only.
    std::vector<Failure> m_failures;
};

} // namespace zorvane::app
