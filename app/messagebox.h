#pragma once
// The program's message box: caption "信息：", the text and an OK button, modal for the
// whole program and owned by no window.

#include "schedule/services.h"

namespace zorvane::app {

class MessageBoxSink final : public schedule::MessageSink {
public:
    // Returns when the user has closed the box. Window thread only.
    void showMessage(const std::string& text) override;
};

} // namespace zorvane::app
