#include "models/builtinimage.h"

#include <QImageReader>
#include <QPixmap>

namespace zorvane::app {

QImage builtInPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QIcon programIcon(IconSizes sizes) {
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        if (size > 48 && sizes == IconSizes::Small) {
            break;
        }
        const QImage image = builtInPng(QStringLiteral(":/assets/icons/%1.png").arg(size));
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

NotificationImage notificationImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    NotificationImage out;
    out.width = rgba.width();
    out.height = rgba.height();
    out.rowStride = static_cast<int>(rgba.bytesPerLine());
    out.data = QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                          static_cast<qsizetype>(rgba.sizeInBytes()));
    return out;
}

} // namespace zorvane::app
