#include "ui/pages/common/PageWidgets.h"

#include <QLabel>
#include <QPixmap>

namespace PageWidgets {

QFont interFont(int pixelSize, QFont::Weight weight)
{
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont familyFont(const QString &family, int pixelSize, QFont::Weight weight)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QLabel *pictureLabel(QWidget *parent, const QString &name, const QString &path, const QSize &size)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("background: transparent;"));
    label->resize(size);
    const QPixmap picture(path);
    if (!picture.isNull())
        label->setPixmap(picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return label;
}

} // namespace PageWidgets
