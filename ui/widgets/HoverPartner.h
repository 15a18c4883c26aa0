#pragma once
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>

// A widget that appears while the pointer is over another one (the favourite
// star over a tile, the close cross over a favourite card). The link is kept as
// a dynamic property holding a guarded pointer, so a partner that has been
// deleted reads back as null instead of as a dangling address.
namespace HoverPartner {

inline constexpr const char *kGamesFavOverlay = "qxGamesFavOverlayPtr";
inline constexpr const char *kHomeFavClose = "qxHomeFavClosePtr";

inline void set(QObject *watched, const char *property, QWidget *partner)
{
    if (watched)
        watched->setProperty(property, QVariant::fromValue(QPointer<QWidget>(partner)));
}

inline QWidget *get(const QObject *watched, const char *property)
{
    if (!watched)
        return nullptr;
    const QVariant value = watched->property(property);
    if (!value.isValid() || !value.canConvert<QPointer<QWidget>>())
        return nullptr;
    return value.value<QPointer<QWidget>>().data();
}

// Shows the partner on Enter and hides it on Leave. A heart lies above the
// tile's hit area, so moving onto it makes the hit area "leave" although the
// pointer is still on the tile: a Leave is ignored while the pointer is over
// the partner itself. Returns whether the event had a partner.
inline bool handleEnterLeave(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Enter && type != QEvent::Leave)
        return false;
    bool any = false;
    for (const char *property : {kGamesFavOverlay, kHomeFavClose}) {
        QWidget *partner = get(watched, property);
        if (!partner)
            continue;
        any = true;
        if (type == QEvent::Leave && partner != watched && partner->isVisible()) {
            const QWidget *under = QApplication::widgetAt(QCursor::pos());
            if (under && (under == partner || partner->isAncestorOf(under)))
                continue;
        }
        partner->setVisible(type == QEvent::Enter);
        partner->raise();
    }
    return any;
}

} // namespace HoverPartner
