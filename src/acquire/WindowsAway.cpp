#include "acquire/WindowsAway.h"

#include <QApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace tf {

namespace {

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The child of the root window that holds `window`: a reparenting window manager's frame, or the
// window itself.
xcb_window_t outermost(xcb_connection_t* c, xcb_window_t window)
{
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree) return window;
        const xcb_window_t parent = tree->parent;
        const xcb_window_t root = tree->root;
        std::free(tree);
        if (parent == XCB_WINDOW_NONE || parent == root) return window;
        window = parent;
    }
    return window;
}

} // namespace

WindowsAway::WindowsAway(const QList<QWidget*>& windows, QObject* parent) : QObject(parent)
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &WindowsAway::finish);
    xcb_connection_t* c = x11Connection();
    for (QWidget* w : windows) {
        if (!w || !w->internalWinId()) continue;
        Noted n;
        n.widget = w;
        n.client = xcb_window_t(w->internalWinId());
        n.frame = c ? outermost(c, n.client) : n.client;
        if (c) {
            xcb_get_window_attributes_reply_t* a =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, n.frame), nullptr);
            xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, n.frame), nullptr);
            if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE)
                n.shown = QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
            std::free(a);
            std::free(g);
        }
        // The frame is the window manager's: its going away is only heard of when asked for.
        if (c && n.frame != n.client) {
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_discard_reply(c, xcb_change_window_attributes_checked(c, n.frame, XCB_CW_EVENT_MASK, &mask).sequence);
        }
        m_noted.append(n);
    }
    if (c) {
        xcb_flush(c);
        // From now on: an uncovering may be told before anyone waits for it.
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
    }
}

WindowsAway::~WindowsAway()
{
    if (m_filtering) QCoreApplication::instance()->removeNativeEventFilter(this);
}

QList<QWidget*> WindowsAway::ourWindows()
{
    QList<QWidget*> ours;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->internalWinId()) ours.append(w);
    return ours;
}

QList<QWidget*> WindowsAway::shownWindows()
{
    QList<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->isVisible() && !w->isMinimized()) shown.append(w);
    return shown;
}

void WindowsAway::whenAway(std::function<void()> then, int limitMs)
{
    m_then = std::move(then);
    // Only the noted windows that are not on show now are waited for.
    m_noted.removeIf([](const Noted& n) { return n.widget && n.widget->isVisible() && !n.widget->isMinimized(); });
    if (!x11Connection()) m_noted.clear();
    // Our windows still shown under where those were are drawn by us alone: the server uncovers
    // the part only once the window manager has taken the frame away, and tells the window so.
    QRegion uncovered;
    for (const Noted& n : m_noted) uncovered += n.shown;
    for (QWidget* w : shownWindows()) {
        const QRect at(w->geometry().topLeft() * w->devicePixelRatioF(), w->geometry().size() * w->devicePixelRatioF());
        const uint32_t id = uint32_t(w->internalWinId());
        if (id && uncovered.intersects(at) && !m_exposed.contains(id)) m_awaitingExpose.insert(id);
    }
    if (!m_noted.isEmpty()) m_limit.start(limitMs);
    m_checkQueued = true;
    QMetaObject::invokeMethod(this, &WindowsAway::check, Qt::QueuedConnection);
}

bool WindowsAway::away(const Noted& n) const
{
    xcb_connection_t* c = x11Connection();
    if (!c) return true;
    const xcb_get_window_attributes_cookie_t client = xcb_get_window_attributes(c, n.client);
    const xcb_get_window_attributes_cookie_t frame = xcb_get_window_attributes(c, n.frame);
    // A window that no longer exists (an error instead of a reply) is off the screen too.
    const auto viewable = [c](xcb_get_window_attributes_cookie_t cookie) {
        xcb_generic_error_t* error = nullptr;
        xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(c, cookie, &error);
        std::free(error);
        const bool shown = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return shown;
    };
    const bool clientShown = viewable(client);
    const bool frameShown = viewable(frame);
    return !clientShown && !frameShown;
}

void WindowsAway::check()
{
    m_checkQueued = false;
    if (!m_then || !m_awaitingExpose.isEmpty()) return;
    for (const Noted& n : m_noted)
        if (!away(n)) return; // the server's next word on one of them brings the next check
    finish();
}

bool WindowsAway::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    xcb_window_t window = XCB_WINDOW_NONE;
    switch (event->response_type & 0x7f) {
    case XCB_EXPOSE: {
        const auto* expose = reinterpret_cast<const xcb_expose_event_t*>(event);
        // The last of a series: the whole uncovered part has been told.
        if (expose->count != 0) return false;
        m_exposed.insert(expose->window);
        if (!m_awaitingExpose.remove(expose->window)) return false;
        window = expose->window;
        break;
    }
    case XCB_UNMAP_NOTIFY: window = reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window; break;
    case XCB_DESTROY_NOTIFY: window = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window; break;
    case XCB_REPARENT_NOTIFY: window = reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window; break;
    default: return false;
    }
    if (!m_then || m_checkQueued) return false;
    const bool ours = std::any_of(m_noted.begin(), m_noted.end(),
                                  [window](const Noted& n) { return window == n.client || window == n.frame; });
    if (ours || (event->response_type & 0x7f) == XCB_EXPOSE) {
        // Asked from the event loop, not from inside the server's event.
        m_checkQueued = true;
        QMetaObject::invokeMethod(this, &WindowsAway::check, Qt::QueuedConnection);
    }
    return false;
}

void WindowsAway::finish()
{
    if (!m_then) return;
    m_limit.stop();
    if (m_filtering) QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filtering = false;
    // The frames' news is of no more use.
    if (xcb_connection_t* c = x11Connection()) {
        const uint32_t none = 0;
        for (const Noted& n : m_noted)
            if (n.frame != n.client)
                xcb_discard_reply(c, xcb_change_window_attributes_checked(c, n.frame, XCB_CW_EVENT_MASK, &none).sequence);
    }
    // The server keeps no copy of what a window it uncovers showed: our windows that were under
    // the ones taken away are drawn again now, whatever their Expose events have reached so far,
    // and the server is asked a question behind them, so that its answer comes only once it has
    // put every pixel on the screen. The grab follows on the same connection.
    for (QWidget* w : shownWindows()) w->repaint();
    if (xcb_connection_t* c = x11Connection()) std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::function<void()> then = std::move(m_then);
    m_then = nullptr;
    deleteLater();
    then();
}

} // namespace tf
