#pragma once
// Pictures built into the program (Qt resources under :/assets, all PNG).
//
// They are read with Qt's own PNG reader named: left to guess, Qt loads every image
// format plugin it finds (JPEG, GIF, ICO with libjpeg) to ask each whether it knows the
// file, which costs the start milliseconds and the idle window about 300 KB.

#include "services/desktopnotifier.h"

#include <QIcon>
#include <QImage>
#include <QString>

namespace zorvane::app {

// The PNG resource at `path` (":/assets/..."); a null image when it is missing or not PNG.
QImage builtInPng(const QString& path);

// The program's icon in every size built in (16, 32, 48 and 256 px), or only in those a
// title bar and a task bar draw (16, 32 and 48 px).
enum class IconSizes { All, Small };
QIcon programIcon(IconSizes sizes = IconSizes::All);

// A picture as a notification carries it (8-bit RGBA rows); null for a null image.
NotificationImage notificationImage(const QImage& image);

} // namespace zorvane::app
