#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// Recolouring of monochrome icons (navigation, settings, connection page):
// every non-transparent pixel takes the colour and keeps its alpha.
QPixmap tintPixmap(const QPixmap &pixmap, const QColor &color);

// The icon at the path drawn at the size in the colour; the plain icon of the
// path when neither an icon nor a pixmap can be loaded from it. Drawn when it
// is first painted or asked for a pixmap, not before.
QIcon tintedIcon(const QString &path, const QSize &size, const QColor &color);
