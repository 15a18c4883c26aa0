#include "ui/widgets/WindowTranslucency.h"

#include <QByteArray>
#include <QGuiApplication>

#ifdef QUORLIX_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace WindowTranslucency {

namespace {

std::function<bool()> &probe()
{
    static std::function<bool()> instance;
    return instance;
}

#ifdef QUORLIX_HAVE_XCB
// The screen the display name names (":0.1" is screen 1), 0 by default.
int screenOfDisplay(const QByteArray &display)
{
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}
#endif

} // namespace

bool x11CompositorRunning(xcb_connection_t *connection, int screen)
{
#ifdef QUORLIX_HAVE_XCB
    if (!connection || xcb_connection_has_error(connection))
        return true;
    const QByteArray name = QByteArrayLiteral("_NET_WM_CM_S") + QByteArray::number(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return true;
    // Only if exists: an atom nobody ever made has no owner either.
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return true;
    const bool owned = owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
#else
    Q_UNUSED(connection);
    Q_UNUSED(screen);
    return true;
#endif
}

bool shown()
{
    if (probe())
        return probe()();
#ifdef QUORLIX_HAVE_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            return x11CompositorRunning(x11->connection(), screenOfDisplay(qgetenv("DISPLAY")));
    }
#endif
    return true;
}

void setProbe(std::function<bool()> probe)
{
    WindowTranslucency::probe() = std::move(probe);
}

} // namespace WindowTranslucency
