#pragma once
// Small look helpers the connection page's areas share.

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
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

// A named label with its font and style sheet.
inline QLabel *label(QWidget *parent, const char *name, const QString &text, const QFont &font,
                     const QString &style)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(font);
    l->setStyleSheet(style);
    return l;
}

// A named plain widget that paints its style sheet's background.
inline QWidget *styled(QWidget *parent, const char *name, const QString &style)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAttribute(Qt::WA_StyledBackground, true);
    w->setStyleSheet(style);
    return w;
}

// A named flat button with the hand cursor.
inline QPushButton *flatButton(QWidget *parent, const char *name, const QString &style)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(style);
    return b;
}

} // namespace PageLooks
