#include "widgets/starticon.h"

#include "models/builtinimage.h"
#include "widgets/firstpaint.h"

#include <QApplication>

namespace zorvane::app {

StartIcon::StartIcon() {
    QApplication::setWindowIcon(programIcon(IconSizes::Small));
}

void StartIcon::complete() {
    if (!std::exchange(m_complete, true)) {
        QApplication::setWindowIcon(programIcon());
    }
}

void StartIcon::completeAfterFirstPaint(QWidget& window) {
    afterFirstPaint(window, [this] { complete(); });
}

NotificationImage StartIcon::notificationIcon() {
    complete();
    return notificationImage(QApplication::windowIcon().pixmap(64).toImage());
}

} // namespace zorvane::app
