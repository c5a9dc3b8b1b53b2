#include "app/builtinimage.h"

#include <QImageReader>
#include <QPixmap>

namespace zorvane::app {

QImage builtInPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        const QImage image = builtInPng(QStringLiteral(":/assets/icons/%1.png").arg(size));
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

} // namespace zorvane::app
