#include "widgets/clickablelabel.h"
#include "widgets/plaintext.h"

#include <QMouseEvent>

namespace zorvane::app {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        emit leftPressed(pos.x(), pos.y(), event->modifiers());
    }
    QLabel::mousePressEvent(event);
}

bool ClickableLabel::event(QEvent* event) {
    return showPlainToolTip(*this, event) || QLabel::event(event);
}

} // namespace zorvane::app
