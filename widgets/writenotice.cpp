#include "widgets/writenotice.h"
#include "widgets/plaintext.h"

#include "services/coretexts.h"
#include "services/handoff.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QFontMetrics>

#include <algorithm>

namespace zorvane::app {
namespace {

// Functions, not constants: the texts are translated after the translator is installed.
QString failurePrefix(WriteNotice::Kind kind) {
    switch (kind) {
    case WriteNotice::Kind::Sound:
        return QCoreApplication::translate("Zorvane", "声音故障：");
    case WriteNotice::Kind::Read:
        return QCoreApplication::translate("Zorvane", "未能读取：");
    case WriteNotice::Kind::Announcement:
        return QCoreApplication::translate("Zorvane", "未能获取公告：");
    case WriteNotice::Kind::Other:
        return {};
    case WriteNotice::Kind::Write:
        break;
    }
    return QCoreApplication::translate("Zorvane", "未能写入：");
}
QString retryNote() {
    return QCoreApplication::translate("Zorvane", "窗口中的内容仍在，下次写入时会再试。");
}

} // namespace

WriteNotice::WriteNotice(QWidget* parent) : QLabel(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    setPalette(pal);
    setTextFormat(Qt::PlainText);
    hide();
}

void WriteNotice::writeFailed(const std::string& file, const std::string& reason) {
    writeFailed(file, text::Message::literal(reason));
}

void WriteNotice::writeFailed(const std::string& file, const text::Message& reason) {
    runOnReceiverThread(this, [this, file, reason] { recordFailure({file, reason, Kind::Write}); });
}

void WriteNotice::soundFailed(const std::string& source, const text::Message& reason) {
    runOnReceiverThread(this, [this, source, reason] {
        recordFailure({source, reason, Kind::Sound});
    });
}

void WriteNotice::failed(Kind kind, const std::string& source, const std::string& reason) {
    runOnReceiverThread(this, [this, kind, source, reason] {
        recordFailure({source, text::Message::literal(reason), kind});
    });
}

void WriteNotice::showNotice(const std::string& key, const text::Message& notice) {
    runOnReceiverThread(this, [this, key, notice] { recordFailure({key, notice, Kind::Other}); });
}

void WriteNotice::withdrawNotice(const std::string& key) {
    runOnReceiverThread(this, [this, key] {
        if (std::erase_if(m_failures, [&](const Failure& failure) { return failure.file == key; }) >
            0) {
            showFailures();
        }
    });
}

void WriteNotice::writeSucceeded(const std::string& file) {
    runOnReceiverThread(this, [this, file] { recordSuccess(file); });
}

void WriteNotice::recordFailure(const Failure& failure) {
    const auto it = std::find_if(m_failures.begin(), m_failures.end(),
                                 [&](const Failure& shown) { return shown.file == failure.file; });
    if (it != m_failures.end()) {
        if (it->reason == failure.reason && it->kind == failure.kind) {
            // Already shown: a failure is reported once, however often it repeats.
            return;
        }
        m_failures.erase(it);
    }
    m_failures.push_back(failure);
    showFailures();
}

void WriteNotice::recordSuccess(const std::string& file) {
    const std::string dir = text::utf8FromPath(text::pathFromUtf8(file).parent_path());
    const auto count = std::erase_if(m_failures, [&](const Failure& failure) {
        return failure.file == file || failure.file == dir;
    });
    if (count > 0) {
        showFailures();
    }
}

void WriteNotice::showFailures() {
    if (m_failures.empty()) {
        clear();
        setToolTip({});
        hide();
        return;
    }
    // The latest failure, cut at its start when too long, so the file name and the
    // reason at its end stay readable; the tooltip holds every failure in full.
    const Failure& last = m_failures.back();
    const QString prefix = failurePrefix(last.kind);
    const QString latest = messageText(last.reason);
    const QFontMetrics metrics = fontMetrics();
    const int room = std::max(0, contentsRect().width() - metrics.horizontalAdvance(prefix));
    setText(prefix + metrics.elidedText(latest, Qt::ElideLeft, room));
    QString all;
    bool writes = false;
    for (const Failure& failure : m_failures) {
        all += failurePrefix(failure.kind) + messageText(failure.reason) + u'\n';
        writes = writes || failure.kind == Kind::Write;
    }
    // The retry note is about writes only: a sound is not tried again.
    setToolTip(writes ? all + retryNote() : all.chopped(1));
    show();
}

bool WriteNotice::event(QEvent* event) {
    return showPlainToolTip(*this, event) || QLabel::event(event);
}

void WriteNotice::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (!m_failures.empty()) {
        showFailures();
    }
}

} // namespace zorvane::app
