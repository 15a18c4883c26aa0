#include "ui/pages/settings/SettingsSelectField.h"

#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/widgets/Palette.h"
#include "ui/widgets/QxSelectPopup.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVariant>

#include <algorithm>

namespace SettingsSelectField {

namespace {

const char *const kClosed = "qxClosedStyle";
const char *const kOpen = "qxOpenStyle";
const char *const kOpenUp = "qxOpenUpStyle";

} // namespace

IconPlace iconPlace(bool hasIcon, int boxHeight, int iconSize, int iconLeft, int iconGap)
{
    IconPlace place;
    if (!hasIcon)
        return place;
    place.size = std::max(std::min(iconSize, boxHeight - 6), 12);
    place.x = iconLeft < 1 ? 12 : iconGap + iconLeft - place.size - 10;
    place.textX = iconLeft > 0 ? iconLeft : place.size + 22;
    return place;
}

Widgets makeSelectField(const QFont &textFont, const QString &textSheet, QWidget *card,
                        const QString &boxName, int x, int y, int w, int h, const QString &iconPath,
                        const QString &initialText, const QString &iconName, const QString &textName,
                        const QString &caretName, int iconSize, int iconLeft, int iconGap)
{
    Widgets widgets;
    widgets.box = new QWidget(card);
    widgets.box->setObjectName(boxName);
    widgets.box->setGeometry(x, y, w, h);
    widgets.box->setAttribute(Qt::WA_StyledBackground, true);
    const QString closed =
        QStringLiteral("QWidget#%1 {  background: " QX_RAISED ";  border-radius: 6px;}").arg(boxName);
    widgets.box->setProperty(kClosed, closed);
    widgets.box->setProperty(
        kOpen, QStringLiteral("QWidget#%1 {  background: " QX_RAISED ";  border-top-left-radius: 6px;  "
                              "border-top-right-radius: 6px;  border-bottom-left-radius: 0px;  "
                              "border-bottom-right-radius: 0px;}")
                   .arg(boxName));
    widgets.box->setProperty(
        kOpenUp, QStringLiteral("QWidget#%1 {  background: " QX_RAISED ";  border-top-left-radius: 0px;  "
                                "border-top-right-radius: 0px;  border-bottom-left-radius: 6px;  "
                                "border-bottom-right-radius: 6px;}")
                     .arg(boxName));
    widgets.box->setStyleSheet(closed);

    const IconPlace place = iconPlace(!iconPath.isEmpty(), h, iconSize, iconLeft, iconGap);
    if (!iconPath.isEmpty()) {
        widgets.icon =
            PageWidgets::pictureLabel(widgets.box, iconName, iconPath, QSize(place.size, place.size));
        widgets.icon->move(place.x, (h - place.size) / 2);
    }
    widgets.text = new QLabel(initialText, widgets.box);
    widgets.text->setObjectName(textName);
    widgets.text->setFont(textFont);
    widgets.text->setStyleSheet(textSheet);
    widgets.text->setLayoutDirection(Qt::LeftToRight);
    widgets.text->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    widgets.text->setGeometry(place.textX, 0, w - place.textX - 36, h);
    widgets.caret = PageWidgets::pictureLabel(widgets.box, caretName,
                                              QStringLiteral(":/icons/caret-down.png"), QSize(16, 16));
    widgets.caret->move(w - 28, (h - 16) / 2);
    return widgets;
}

QWidget *addOptionHitArea(QObject *context, QWidget *box, std::function<void()> toggle)
{
    if (!box)
        return nullptr;
    auto *hit = new QPushButton(box);
    hit->setObjectName(box->objectName() + QLatin1String("Hit"));
    hit->setGeometry(box->rect());
    hit->setCursor(Qt::PointingHandCursor);
    hit->setFocusPolicy(Qt::NoFocus);
    hit->setStyleSheet(QStringLiteral("QPushButton { background: transparent; border: none; }"));
    hit->raise();
    QObject::connect(hit, &QPushButton::clicked, context, std::move(toggle));
    return hit;
}

void applyDefaultSelectStyle(QxSelectPopup *popup, int inset)
{
    if (!popup)
        return;
    QxSelectPopupStyle style;
    style.hasShadow = false;
    style.shadowMargin = 0;
    style.radius = 6;
    style.attached = true;
    style.attachOverlap = 1;
    style.detachedGap = 0;
    style.background = QStringLiteral(QX_RAISED);
    style.borderWidth = 0;
    style.cardPadding = 0;
    style.rowSpacing = 0;
    style.rowHeight = 43;
    style.rowFontPx = 14;
    style.rowHoverRadius = 0;
    style.rowPaddingLeft = inset;
    style.rowPaddingRight = 12;
    style.rowInnerSpacing = 0;
    style.checkSize = 16;
    popup->setStyle(style);
}

void restoreSelectFieldStyle(QWidget *box, const QString &closedSheet)
{
    if (box)
        box->setStyleSheet(closedSheet);
}

void hideOptionPopups(const QList<QxSelectPopup *> &group)
{
    for (QxSelectPopup *other : group) {
        if (other && other->isVisible())
            other->hide();
    }
}

void toggleSelectPopup(QxSelectPopup *popup, QWidget *box, const QList<QxSelectPopup *> &group)
{
    hideOptionPopups(group);
    if (!popup || !box)
        return;
    if (popup->isVisible()) {
        popup->hide();
        return;
    }
    const bool up = popup->showForAnchor(box, 0);
    box->setStyleSheet(box->property(up ? kOpenUp : kOpen).toString());
}

QString readDbSetting(SettingsStore *store, const QString &key, const QString &defaultValue)
{
    return store ? store->readOrInit(key, defaultValue) : defaultValue;
}

int indexAmongThree(const QString &value, const QString &first, const QString &second, const QString &third)
{
    if (value.compare(first, Qt::CaseInsensitive) == 0)
        return 0;
    if (value.compare(second, Qt::CaseInsensitive) == 0)
        return 1;
    if (value.compare(third, Qt::CaseInsensitive) == 0)
        return 2;
    return 0;
}

int routeProtocolIndex(const QString &value)
{
    const QStringList names = {QStringLiteral("Automatic"), QStringLiteral("ICMP"), QStringLiteral("TCP"),
                               QStringLiteral("UDP"), QStringLiteral("UDP/TCP")};
    for (int i = 0; i < names.size(); ++i) {
        if (value.compare(names.at(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

QString choiceName(const QStringList &names, int index)
{
    if (names.isEmpty())
        return QString();
    return index >= 0 && index < names.size() ? names.at(index) : names.first();
}

void choose(const Choice &choice, int index, const Widgets &field, QxSelectPopup *popup, SettingsStore *store)
{
    const QString value = choiceName(choice.names, index);
    if (store)
        store->write(choice.key, value);
    if (field.text)
        field.text->setText(value);
    if (popup)
        popup->setCheckedIndex(index);
    if (field.box)
        restoreSelectFieldStyle(field.box, field.box->property(kClosed).toString());
}

} // namespace SettingsSelectField
