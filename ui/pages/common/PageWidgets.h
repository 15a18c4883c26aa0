#pragma once
#include <QFont>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

// Small builders the page areas share.
namespace PageWidgets {

// The Latin UI font at a pixel size and weight.
QFont interFont(int pixelSize, QFont::Weight weight);
// A family's font at a pixel size and weight.
QFont familyFont(const QString &family, int pixelSize, QFont::Weight weight);

// A transparent label of the size showing the picture scaled into it (aspect
// kept, smooth); without the picture the label stays empty.
QLabel *pictureLabel(QWidget *parent, const QString &name, const QString &path, const QSize &size);

} // namespace PageWidgets
