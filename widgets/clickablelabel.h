#pragma once
// A label that reports a press of the left mouse button.

#include <QLabel>

namespace zorvane::app {

class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void leftPressed(int x, int y, Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // The tooltip (a room's reasons, a member's nickname) shows as plain text.
    bool event(QEvent* event) override;
};

} // namespace zorvane::app
