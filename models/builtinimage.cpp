#include "models/builtinimage.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <utility>

namespace zorvane::app {
namespace {

// The program's icon as files: each size is decoded when asked for and not kept. The window
// hands every size to the window manager once per window and the tray takes its few small
// ones; holding the decoded 256 px picture kept 256 kB resident for good. Normal pictures
// are chosen and scaled as Qt's own icon engine does; other modes are made by that engine.
class BuiltInIconEngine final : public QIconEngine {
public:
    // (size, resource path) pairs, smallest first.
    explicit BuiltInIconEngine(QList<std::pair<QSize, QString>> files)
        : m_files(std::move(files)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const auto* file = bestFile(size);
        if (file == nullptr) {
            return {};
        }
        const QPixmap picture = QPixmap::fromImage(builtInPng(file->second));
        if (mode != QIcon::Normal) {
            return QIcon(picture).pixmap(size, 1.0, mode, state);
        }
        const QSize shown = fitted(picture.size(), size);
        return picture.size() == shown
                   ? picture
                   : picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap picture = pixmap(size, mode, state);
        picture.setDevicePixelRatio(scale);
        return picture;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const QPaintDevice* device = painter->device();
        const qreal ratio =
            device != nullptr ? device->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, scaledPixmap(rect.size() * ratio, mode, state, ratio));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const auto* file = bestFile(size);
        return file == nullptr ? QSize() : fitted(file->first, size);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off) {
            for (const auto& file : m_files) {
                sizes << file.first;
            }
        }
        return sizes;
    }

    bool isNull() override { return m_files.isEmpty(); }
    QString key() const override { return QStringLiteral("zorvane-builtin"); }
    QIconEngine* clone() const override { return new BuiltInIconEngine(m_files); }

private:
    // Qt's choice: the smallest picture at least as large (by area) as asked for, else the
    // largest.
    const std::pair<QSize, QString>* bestFile(const QSize& size) const {
        if (m_files.isEmpty()) {
            return nullptr;
        }
        const qint64 wanted = qint64{size.width()} * size.height();
        for (const auto& file : m_files) {
            if (qint64{file.first.width()} * file.first.height() >= wanted) {
                return &file;
            }
        }
        return &m_files.back();
    }
    // A larger picture is shown scaled down into the size asked for, keeping its shape.
    static QSize fitted(QSize actual, const QSize& size) {
        if (actual.width() > size.width() || actual.height() > size.height()) {
            actual.scale(size, Qt::KeepAspectRatio);
        }
        return actual;
    }

    QList<std::pair<QSize, QString>> m_files;
};

} // namespace

QImage builtInPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QIcon programIcon(IconSizes sizes) {
    QList<std::pair<QSize, QString>> files;
    for (const int size : {16, 32, 48, 256}) {
        if (size > 48 && sizes == IconSizes::Small) {
            break;
        }
        const QString path = QStringLiteral(":/assets/icons/%1.png").arg(size);
        // The header only: the size, and whether it is a PNG at all.
        QImageReader reader(path, "png");
        reader.setAutoDetectImageFormat(false);
        if (reader.canRead() && reader.size().isValid()) {
            files.emplace_back(reader.size(), path);
        }
    }
    return QIcon(new BuiltInIconEngine(std::move(files)));
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
