#include "ui/widgets/IconTint.h"

#include <QHash>
#include <QPair>

#include <QImage>
#include <QPainter>

QPixmap tintPixmap(const QPixmap &pixmap, const QColor &color)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    return QPixmap::fromImage(image);
}

QIcon tintedIcon(const QString &path, const QSize &size, const QColor &color)
{
    // An icon is tinted in more than one colour (a navigation button's normal
    // and active look): its file is read and drawn at the size once.
    static QHash<QPair<QString, QSize>, QImage> drawn;
    const auto key = qMakePair(path, size);
    QPixmap source;
    if (const auto it = drawn.constFind(key); it != drawn.constEnd()) {
        source = QPixmap::fromImage(*it);
    } else {
        source = QIcon(path).pixmap(size);
        if (!source.isNull())
            drawn.insert(key, source.toImage());
    }
    if (source.isNull())
        source = QPixmap(path);
    if (source.isNull())
        return QIcon(path);
    const QPixmap scaled = source.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage image(scaled.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, scaled);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}
