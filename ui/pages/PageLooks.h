#pragma once
// Small look helpers the connection page's areas share.

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QString>

namespace PageLooks {

// "Inter" at a pixel size and a CSS weight (400, 500, 600 ...).
inline QFont interFont(int pixelSize, int weight)
{
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// A resource picture scaled into a label; a picture that does not load
// leaves the label as it is.
inline void setScaledPixmap(QLabel *label, const QPixmap &pixmap, const QSize &size,
                            Qt::AspectRatioMode mode = Qt::KeepAspectRatio)
{
    if (label && !pixmap.isNull())
        label->setPixmap(pixmap.scaled(size, mode, Qt::SmoothTransformation));
}

inline void setScaledPixmap(QLabel *label, const QString &path, const QSize &size,
                            Qt::AspectRatioMode mode = Qt::KeepAspectRatio)
{
    setScaledPixmap(label, QPixmap(path), size, mode);
}

} // namespace PageLooks
