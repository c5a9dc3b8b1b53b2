#include "push/targetstatus.h"

namespace zorvane::push {

text::Message failureNotice(const TargetStatus& status) {
    if (status.lastError.empty()) {
        return {};
    }
    return text::Message(text::MessageId::PushTargetFailed,
                         {text::Message::literal(status.name), status.lastError});
}

} // namespace zorvane::push
