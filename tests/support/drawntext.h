#pragma once
// Text drawn black on white in `font`, left-aligned on one line: two drawings are the same
// picture when the same faces drew them at the same size.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

namespace zorvane::testing {

inline QImage drawnText(const QFont& font, const QString& text, QSize size = {320, 48}) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

} // namespace zorvane::testing
