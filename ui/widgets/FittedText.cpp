#include "ui/widgets/FittedText.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace FittedText {

namespace {

int extraWidth(QLabel *label)
{
    const QMargins margins = label->contentsMargins();
    return margins.left() + margins.right() + 2 * label->margin() +
           (label->indent() > 0 ? label->indent() : 0);
}

// Shows `text` in at most `room` pixels of text.
void setWithin(QLabel *label, const QString &text, int room)
{
    const QFontMetrics metrics(label->font());
    if (metrics.horizontalAdvance(text) <= room) {
        label->setText(text);
        label->setToolTip(QString());
        return;
    }
    label->setText(metrics.elidedText(text, Qt::ElideRight, std::max(0, room)));
    label->setToolTip(text);
}

} // namespace

int neededWidth(QLabel *label, const QString &text)
{
    if (!label)
        return 0;
    label->ensurePolished();
    // One pixel more than the advance: a glyph may reach past it by a
    // fraction that still shows.
    return QFontMetrics(label->font()).horizontalAdvance(text) + 1 + extraWidth(label);
}

void fit(QLabel *label, const QString &text, int maxWidth)
{
    if (!label)
        return;
    label->ensurePolished();
    const int extra = extraWidth(label) + 1;
    setWithin(label, text, maxWidth - extra);
    const int width = std::min(neededWidth(label, label->text()), std::max(0, maxWidth));
    // A label that never had a size of its own takes the height of its text.
    const int height = label->testAttribute(Qt::WA_Resized) ? label->height() : label->sizeHint().height();
    label->resize(width, height);
}

void elide(QLabel *label, const QString &text)
{
    if (!label)
        return;
    label->ensurePolished();
    setWithin(label, text, label->width() - extraWidth(label) - 1);
}

bool isElidedOnPurpose(const QLabel *label)
{
    return label && label->text().endsWith(QChar(0x2026)) && !label->toolTip().isEmpty() &&
           label->toolTip() != label->text();
}

} // namespace FittedText
