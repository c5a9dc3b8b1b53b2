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

} // namespace zorvane::app
