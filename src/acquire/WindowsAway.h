#pragma once
// Waits until windows of ours that were hidden or minimised are off the screen as the X server
// sees it, so that a screen grab that follows does not hold them. Hiding a window only asks the
// server (and, where there is one, the window manager) to take it away; the grab reads what is on
// the screen, so it has to come after the server has done so and after our windows that were
// under it have been drawn again: the server keeps nothing of what a window showed, so the parts
// it uncovers hold the hidden window's pixels until their own window has drawn them.
#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <QRect>
#include <QRegion>
#include <QSet>

#include <cstdint>
#include <functional>

namespace tf {

class WindowsAway : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Takes note of `windows` while they are still on the screen: a window manager's frame can
    // only be found then. Hidden ones are noted too: a window manager takes its frame away some
    // time after the window went, and until then the frame shows what the window showed.
    explicit WindowsAway(const QList<QWidget*>& windows, QObject* parent = nullptr);
    ~WindowsAway() override;

    // Calls `then` from the event loop once every noted window that is now hidden, minimised or
    // gone is off the screen, and every window of ours still shown that one of them covered has
    // been told by the server that the part is uncovered (an Expose); the shown ones are drawn
    // again and the server has put them on the screen before `then` runs. Where the server cannot
    // be asked (no X11), or it never confirms within `limitMs`, `then` runs anyway: a capture with
    // a window in it beats one that never comes. Deletes itself afterwards.
    void whenAway(std::function<void()> then, int limitMs = 3000);

    // Every shown top-level window of ours.
    static QList<QWidget*> shownWindows();
    // Every top-level window of ours the server knows of, shown or not.
    static QList<QWidget*> ourWindows();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Noted {
        QPointer<QWidget> widget;
        uint32_t client = 0;
        // The outermost window holding it: the window manager's frame, or the window itself.
        uint32_t frame = 0;
        // Where the frame was on the screen when noted; empty when it was not on show.
        QRect shown;
    };
    bool away(const Noted& n) const;
    void check();
    void finish();

    QList<Noted> m_noted;
    // Windows of ours that the server said were uncovered since they were noted, and those still
    // waiting to hear it.
    QSet<uint32_t> m_exposed;
    QSet<uint32_t> m_awaitingExpose;
    std::function<void()> m_then;
    QTimer m_limit;
    bool m_filtering = false;
    bool m_checkQueued = false;
};

} // namespace tf
