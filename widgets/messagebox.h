#pragma once
// The program's message boxes: the "信息：" box (caption "信息：", the text and an OK
// button, modal for the whole program and owned by no window), and the questions the
// grid asks before it acts (a confirmation, a number of minutes). Tests answer both
// through the interfaces instead of a real modal box.

#include "schedule/services.h"

#include <QString>

#include <optional>

class QMessageBox;
class QWidget;

namespace zorvane::app {

// The narrowest a message box gets, so that its title stays readable beside a short text.
inline constexpr int kMessageBoxMinimumWidth = 300;
// Gives the box a width that shows its whole title (at least kMessageBoxMinimumWidth).
void keepTitleReadable(QMessageBox& box);

class MessageBoxSink final : public schedule::MessageSink {
public:
    // Returns when the user has closed the box. Window thread only.
    void showMessage(const text::Message& message) override;
};

// Questions asked in modal boxes; window thread only.
class Questions {
public:
    virtual ~Questions() = default;
    // A yes/no question; true for yes.
    virtual bool confirm(const QString& title, const QString& text) = 0;
    // A whole number of minutes between 0 and `maximum`; nullopt when cancelled.
    virtual std::optional<int> askMinutes(const QString& title, const QString& label,
                                          int maximum) = 0;
    // One of `choices` or a new text, starting at `current`; nullopt when cancelled.
    virtual std::optional<QString> askChoice(const QString& title, const QString& label,
                                             const QStringList& choices,
                                             const QString& current) = 0;
};

// The real boxes, owned by `owner` (may be nullptr).
class QuestionBoxes final : public Questions {
public:
    explicit QuestionBoxes(QWidget* owner = nullptr) : m_owner(owner) {}
    bool confirm(const QString& title, const QString& text) override;
    std::optional<int> askMinutes(const QString& title, const QString& label, int maximum) override;
    std::optional<QString> askChoice(const QString& title, const QString& label,
                                     const QStringList& choices, const QString& current) override;

private:
    QWidget* m_owner;
};

} // namespace zorvane::app
