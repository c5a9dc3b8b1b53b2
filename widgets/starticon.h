#pragma once
// The program's icon through the start. Decoding its 256 px picture and handing it to the X
// server (twice, as Qt does when it makes a window) took about a twentieth of the
// instructions before the window's first paint, and the first picture shows none of it.
// So the application's icon holds only the sizes a title bar and a task bar draw (16, 32
// and 48 px) until the first paint, and every size after it: the window's icon, the tray's
// and the notifications' are then as they always were.

#include "services/desktopnotifier.h"

class QWidget;

namespace zorvane::app {

class StartIcon {
public:
    // Gives the application the small sizes of the icon.
    StartIcon();
    StartIcon(const StartIcon&) = delete;
    StartIcon& operator=(const StartIcon&) = delete;

    // Gives the application the icon in every size (the windows and their trays follow);
    // once.
    void complete();
    // Runs complete() after `window`'s first paint; `window` must not outlive this object.
    void completeAfterFirstPaint(QWidget& window);
    // The picture notifications carry, the 64 px one of the whole icon (completing it first:
    // the first alert may go out before a first paint).
    NotificationImage notificationIcon();

private:
    bool m_complete = false;
};

} // namespace zorvane::app
