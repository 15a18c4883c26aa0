#pragma once
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

} // namespace HoverPartner
