#include "ui/pages/settings/SettingsControls.h"

#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/widgets/HoverFilters.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/Palette.h"

#include <QCoreApplication>
#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPixmapCache>
#include <QPointer>
#include <QPushButton>
#include <QVariant>

#include <algorithm>

namespace SettingsControls {

namespace {

const char *const kOnProperty = "on";

SettingsSwitchWidgets namedWidgets(QWidget *track, QWidget *knob, const char *stem)
{
    return {track, knob, QLatin1String(stem) + QLatin1String("SwitchTrack"),
            QLatin1String(stem) + QLatin1String("SwitchKnob")};
}

// Every info icon shows the same two pictures: drawn from the vector icon
// once per process and colour, not once per icon.
QPixmap helpPicture(const QColor &colour)
{
    const QString key = QStringLiteral("qx-settings-help-") + colour.name();
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;
    const QPixmap source(QStringLiteral(":/icons/icons8_help_480px_1.png"));
    if (source.isNull())
        return QPixmap();
    picture = tintPixmap(source, colour).scaled(21, 21, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmapCache::insert(key, picture);
    return picture;
}

} // namespace

void styleSettingsSwitch(const SettingsSwitchWidgets &widgets, bool on)
{
    if (!widgets.track || !widgets.knob)
        return;
    widgets.track->setStyleSheet(
        QStringLiteral("QWidget#%1 {  background-color: %2;  border-radius: 11px;}")
            .arg(widgets.trackName, on ? QStringLiteral(QX_ACCENT) : QStringLiteral(QX_BORDER)));
    widgets.knob->setStyleSheet(
        QStringLiteral("QWidget#%1 {  background-color: %2;  border-radius: 8px;}")
            .arg(widgets.knobName, on ? QStringLiteral(QX_BACKGROUND) : QStringLiteral(QX_RAISED)));
    widgets.knob->move(on ? 21 : 3, 3);
}

void toggleSettingsSwitch(QPushButton *hit, const SettingsSwitchWidgets &widgets, const QString &key,
                          SettingsStore *store)
{
    if (!hit)
        return;
    const bool on = !hit->property(kOnProperty).toBool();
    hit->setProperty(kOnProperty, on);
    styleSettingsSwitch(widgets, on);
    if (store)
        store->writeBool(key, on);
}

namespace {

struct BuiltSwitch
{
    QPushButton *hit = nullptr;
    SettingsSwitchWidgets widgets;
};

BuiltSwitch buildSwitch(QWidget *card, const QString &trackName, const QString &knobName,
                        const QString &hitName, const QString &key, bool defaultOn, int x, int y,
                        SettingsStore *store)
{
    auto *track = new QWidget(card);
    track->setObjectName(trackName);
    track->setGeometry(x, y, 40, 22);
    track->setAttribute(Qt::WA_StyledBackground, true);
    auto *knob = new QWidget(track);
    knob->setObjectName(knobName);
    knob->setFixedSize(16, 16);
    knob->setAttribute(Qt::WA_StyledBackground, true);
    auto *shadow = new QGraphicsDropShadowEffect(knob);
    shadow->setOffset(-3, 0);
    shadow->setBlurRadius(4);
    shadow->setColor(QColor(11, 12, 15, 26));
    knob->setGraphicsEffect(shadow);

    const bool on = store ? store->readBool(key, defaultOn) : defaultOn;
    const SettingsSwitchWidgets widgets{track, knob, trackName, knobName};
    styleSettingsSwitch(widgets, on);

    // Above the knob, so a click anywhere on the track lands here.
    auto *hit = new QPushButton(track);
    hit->setObjectName(hitName);
    hit->setFlat(true);
    hit->setCursor(Qt::PointingHandCursor);
    hit->setStyleSheet(
        QStringLiteral("QPushButton#%1 { background: transparent; border: none; }").arg(hitName));
    hit->setGeometry(track->rect());
    hit->setProperty(kOnProperty, on);
    return {hit, widgets};
}

} // namespace

QPushButton *makeSettingsSwitch(QWidget *card, const QString &trackName, const QString &knobName,
                                const QString &hitName, const QString &key, bool defaultOn, int x, int y,
                                SettingsStore *store, QObject *context)
{
    const BuiltSwitch s = buildSwitch(card, trackName, knobName, hitName, key, defaultOn, x, y, store);
    QPointer<SettingsStore> guardedStore(store);
    QPushButton *hit = s.hit;
    const SettingsSwitchWidgets widgets = s.widgets;
    QObject::connect(
        hit, &QPushButton::clicked, context ? context : widgets.track,
        [hit, widgets, key, guardedStore] { toggleSettingsSwitch(hit, widgets, key, guardedStore); });
    return hit;
}

QPushButton *makeNamedSwitch(QWidget *card, const QString &stem, const QString &key, bool defaultOn, int x,
                             int y, SettingsStore *store, QObject *context, NamedToggle toggle)
{
    const BuiltSwitch s =
        buildSwitch(card, stem + QLatin1String("SwitchTrack"), stem + QLatin1String("SwitchKnob"),
                    stem + QLatin1String("SwitchHit"), key, defaultOn, x, y, store);
    QPointer<SettingsStore> guardedStore(store);
    QPushButton *hit = s.hit;
    QWidget *track = s.widgets.track;
    QWidget *knob = s.widgets.knob;
    QObject::connect(
        hit, &QPushButton::clicked, context ? context : track,
        [hit, track, knob, key, guardedStore, toggle] { toggle(hit, track, knob, key, guardedStore); });
    return hit;
}

void styleStartupSwitch(QWidget *track, QWidget *knob, bool on)
{
    styleSettingsSwitch(namedWidgets(track, knob, "SettingsStartup"), on);
}

void styleTraySwitch(QWidget *track, QWidget *knob, bool on)
{
    styleSettingsSwitch(namedWidgets(track, knob, "SettingsTray"), on);
}

void styleNotifConnSwitch(QWidget *track, QWidget *knob, bool on)
{
    styleSettingsSwitch(namedWidgets(track, knob, "SettingsNotifConn"), on);
}

void styleNotifServerSwitch(QWidget *track, QWidget *knob, bool on)
{
    styleSettingsSwitch(namedWidgets(track, knob, "SettingsNotifServer"), on);
}

void toggleStartupSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                         SettingsStore *store)
{
    toggleSettingsSwitch(hit, namedWidgets(track, knob, "SettingsStartup"), key, store);
}

void toggleTraySwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                      SettingsStore *store)
{
    toggleSettingsSwitch(hit, namedWidgets(track, knob, "SettingsTray"), key, store);
}

void toggleNotifConnSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                           SettingsStore *store)
{
    toggleSettingsSwitch(hit, namedWidgets(track, knob, "SettingsNotifConn"), key, store);
}

void toggleNotifServerSwitch(QPushButton *hit, QWidget *track, QWidget *knob, const QString &key,
                             SettingsStore *store)
{
    toggleSettingsSwitch(hit, namedWidgets(track, knob, "SettingsNotifServer"), key, store);
}

QLabel *makeInfoIcon(QWidget *card, const QString &name, int x, int y)
{
    auto *icon = new QLabel(card);
    icon->setObjectName(name);
    icon->setFixedSize(21, 21);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    icon->setCursor(Qt::PointingHandCursor);
    icon->move(x, y);
    const QPixmap normal = helpPicture(QColor(QStringLiteral(QX_HELP_ICON)));
    if (!normal.isNull()) {
        icon->setPixmap(normal);
        icon->installEventFilter(
            new PixmapHoverFilter(icon, normal, helpPicture(QColor(QStringLiteral(QX_WHITE)))));
    }
    return icon;
}

void setInfoTooltip(QLabel *icon, const QString &text)
{
    icon->setToolTip(QString());
    icon->installEventFilter(new TooltipHoverFilter(icon, text, QPoint(0, 0)));
}

QLabel *makeRecommendedBadge(QWidget *card, const QString &name, const char *context)
{
    auto *badge = new QLabel(QCoreApplication::translate(context, "Recommended"), card);
    badge->setObjectName(name);
    badge->setFont(PageWidgets::interFont(12, QFont::Medium));
    badge->setStyleSheet(QStringLiteral("color: " QX_WHITE ";background: " QX_RAISED
                                        ";border: 1px solid " QX_GREY_PRESSED ";"
                                        "border-radius: 10px;padding-left: 10px;padding-right: 10px;"));
    badge->setFixedHeight(24);
    badge->adjustSize();
    return badge;
}

void placeBadge(QWidget *container, QWidget *anchor, QWidget *badge, int centreY)
{
    if (!container || !anchor || !badge)
        return;
    const int limit = container->width() - 20;
    const int after = anchor->x() + anchor->width() + 8;
    const int before = anchor->x() - 8 - badge->width();
    int x = after + badge->width() > limit ? before : after;
    x = std::max(std::min(x, limit - badge->width()), 20);
    badge->move(x, centreY - badge->height() / 2);
}

} // namespace SettingsControls
