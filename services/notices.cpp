#include "services/notices.h"

namespace zorvane::app {

void NoticeRelay::setTarget(NoticeSink* target) {
    const std::lock_guard lock(m_mutex);
    m_target = target;
}

void NoticeRelay::writeFailed(const std::string& file, const std::string& reason) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->writeFailed(file, reason);
    }
}

void NoticeRelay::writeFailed(const std::string& file, const text::Message& reason) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->writeFailed(file, reason);
    }
}

void NoticeRelay::soundFailed(const std::string& source, const text::Message& reason) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->soundFailed(source, reason);
    }
}

void NoticeRelay::writeSucceeded(const std::string& file) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->writeSucceeded(file);
    }
}

void NoticeRelay::showNotice(const std::string& key, const text::Message& notice) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->showNotice(key, notice);
    }
}

void NoticeRelay::withdrawNotice(const std::string& key) {
    const std::lock_guard lock(m_mutex);
    if (m_target != nullptr) {
        m_target->withdrawNotice(key);
    }
}

} // namespace zorvane::app
