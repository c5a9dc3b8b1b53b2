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
QString failurePrefix() {
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
    runOnReceiverThread(this, [this, file, reason] { recordFailure(file, reason); });
}

void WriteNotice::writeSucceeded(const std::string& file) {
    runOnReceiverThread(this, [this, file] { recordSuccess(file); });
}

void WriteNotice::showNotice(const std::string& key, const text::Message& notice) {
    runOnReceiverThread(this, [this, key, notice] { recordFailure(key, notice, false); });
}

void WriteNotice::withdrawNotice(const std::string& key) {
    runOnReceiverThread(this, [this, key] {
        std::erase(m_notices, key);
        if (std::erase_if(m_failures, [&](const auto& failure) { return failure.first == key; }) >
            0) {
            showFailures();
        }
    });
}

void WriteNotice::recordFailure(const std::string& file, const text::Message& reason, bool write) {
    std::erase(m_notices, file);
    if (!write) {
        m_notices.push_back(file);
    }
    const auto it = std::find_if(m_failures.begin(), m_failures.end(),
                                 [&](const auto& failure) { return failure.first == file; });
    if (it != m_failures.end()) {
        if (it->second == reason) {
            // Already shown: a failure is reported once, however often it repeats.
            return;
        }
        m_failures.erase(it);
    }
    m_failures.emplace_back(file, reason);
    showFailures();
}

void WriteNotice::recordSuccess(const std::string& file) {
    const std::string dir = text::utf8FromPath(text::pathFromUtf8(file).parent_path());
    const auto count = std::erase_if(m_failures, [&](const auto& failure) {
        return failure.first == file || failure.first == dir;
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
    const auto prefix = [this](const std::string& key) {
        return std::find(m_notices.begin(), m_notices.end(), key) == m_notices.end()
                   ? failurePrefix()
                   : QString();
    };
    const QString latest = messageText(m_failures.back().second);
    const QString latestPrefix = prefix(m_failures.back().first);
    const QFontMetrics metrics = fontMetrics();
    const int room = std::max(0, contentsRect().width() - metrics.horizontalAdvance(latestPrefix));
    setText(latestPrefix + metrics.elidedText(latest, Qt::ElideLeft, room));
    QString all;
    for (const auto& failure : m_failures) {
        all += prefix(failure.first) + messageText(failure.second) + u'\n';
    }
    setToolTip(all + retryNote());
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
