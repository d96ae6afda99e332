#include "acquire/ScreenGrabber.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstring>

namespace tf {

namespace {

bool isX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

// _NET_SHOWING_DESKTOP, when the window manager lists it among what it supports.
bool requestShowingDesktop()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t supported = atom(c, "_NET_SUPPORTED");
    const xcb_atom_t showing = atom(c, "_NET_SHOWING_DESKTOP");
    if (!screen || supported == XCB_ATOM_NONE || showing == XCB_ATOM_NONE) return false;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, screen->root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
    bool listed = false;
    if (reply) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int n = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
        for (int i = 0; i < n && !listed; ++i) listed = atoms[i] == showing;
        free(reply);
    }
    if (!listed) return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = screen->root;
    event.type = showing;
    event.data.data32[0] = 1;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    return true;
}

// Whether a window manager runs: it owns the WM_Sn selection of the screen (ICCCM).
bool windowManagerRunning()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return true;
    xcb_connection_t* c = x11->connection();
    // The first screen, as for the show-desktop request.
    const xcb_atom_t selection = atom(c, "WM_S0");
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    free(reply);
    return owned;
}

} // namespace

QImage QtScreenGrabber::grabScreen()
{
    // Elsewhere (Wayland above all) the compositor keeps the screen to itself, and what Qt would
    // hand back is empty or only our own windows.
    if (!isX11()) return {};
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull()) return {};
    QImage image = shot.toImage();
    // Device pixels throughout: the picker maps its pointer by the ratio itself.
    image.setDevicePixelRatio(1.0);
    return image.convertToFormat(QImage::Format_RGB32);
}

QString screenCaptureUnavailableText() { return QStringLiteral("Screen capture is not available on this display"); }

void showDesktop(QWidget* mainWindow)
{
    if (isX11()) {
        // With nobody to minimise them, windows asked to minimise stay where they are. The main
        // window is hidden instead (the capture shows it again); the others have no way back
        // from hidden there, so they stay.
        if (!windowManagerRunning()) {
            if (mainWindow) mainWindow->hide();
            return;
        }
        requestShowingDesktop();
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow()) w->showMinimized();
    if (mainWindow && !mainWindow->isMinimized()) mainWindow->showMinimized();
}

} // namespace tf
