// Whether a desktop shows translucent windows, asked of a real X server: a
// private Xvfb with nobody composing, then with another client holding the
// selection a compositing manager holds, then after that client is gone.

#include "ui/widgets/WindowTranslucency.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#ifdef QUORLIX_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#endif

class TestWindowTranslucency : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { WindowTranslucency::setProbe({}); }

    void probeStandsInForTheDesktop()
    {
        WindowTranslucency::setProbe([] { return false; });
        QVERIFY(!WindowTranslucency::shown());
        WindowTranslucency::setProbe([] { return true; });
        QVERIFY(WindowTranslucency::shown());
        // The offscreen platform composes what it shows.
        WindowTranslucency::setProbe({});
        QVERIFY(WindowTranslucency::shown());
        // No connection to ask: nothing is taken away.
        QVERIFY(WindowTranslucency::x11CompositorRunning(nullptr, 0));
    }

    void compositingManagerOwnsTheSelection()
    {
#ifndef QUORLIX_HAVE_XCB
        QSKIP("built without libxcb");
#else
        const QString xvfbPath = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfbPath.isEmpty())
            QSKIP("Xvfb is not installed");
        // A display of its own, on a local socket only; it writes its number.
        QProcess xvfb;
        xvfb.start(xvfbPath, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("320x240x24")});
        QVERIFY(xvfb.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 15000);
        const QByteArray display = ':' + xvfb.readLine().trimmed();

        xcb_connection_t *client = xcb_connect(display.constData(), nullptr);
        QVERIFY(!xcb_connection_has_error(client));
        QVERIFY(!WindowTranslucency::x11CompositorRunning(client, 0));

        // Another client takes "_NET_WM_CM_S0", as a compositing manager does.
        xcb_connection_t *manager = xcb_connect(display.constData(), nullptr);
        QVERIFY(!xcb_connection_has_error(manager));
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(manager)).data;
        const xcb_window_t window = xcb_generate_id(manager);
        xcb_create_window(manager, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const QByteArray name = QByteArrayLiteral("_NET_WM_CM_S0");
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            manager, xcb_intern_atom(manager, 0, uint16_t(name.size()), name.constData()), nullptr);
        QVERIFY(atom);
        xcb_set_selection_owner(manager, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        // A round trip: the server has handled the claim.
        std::free(xcb_get_input_focus_reply(manager, xcb_get_input_focus(manager), nullptr));

        QVERIFY(WindowTranslucency::x11CompositorRunning(client, 0));
        // Another screen's selection stays unowned.
        QVERIFY(!WindowTranslucency::x11CompositorRunning(client, 1));

        // The manager quits: its selection goes with it.
        xcb_disconnect(manager);
        QTRY_VERIFY(!WindowTranslucency::x11CompositorRunning(client, 0));

        xcb_disconnect(client);
        xvfb.terminate();
        QVERIFY(xvfb.waitForFinished(10000));
#endif
    }
};

QTEST_MAIN(TestWindowTranslucency)
#include "tst_windowtranslucency.moc"
