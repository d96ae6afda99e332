#pragma once
#include <QEvent>
#include <QList>
#include <QObject>
#include <QPointer>

namespace tf {

// A control's window hook: the control sees chosen events of a window (its own, one of its
// parts, or its host's) before the window handles them, after it has, or both.
//
// The tables hold Qt event types. How the window messages the controls were written against map
// onto them:
//   WM_MOVE                          QEvent::Move
//   WM_SIZE, WM_SIZING               QEvent::Resize (arrives once the size has changed)
//   WM_SHOWWINDOW                    QEvent::Show, QEvent::Hide
//   WM_LBUTTONDOWN, WM_RBUTTONDOWN   QEvent::MouseButtonPress (look at button())
//   WM_MOUSEMOVE, WM_MOUSELEAVE      QEvent::MouseMove, QEvent::Leave
//   WM_MOUSEWHEEL                    QEvent::Wheel
//   WM_PAINT                         QEvent::Paint
//   WM_SYSCOLORCHANGE, WM_THEMECHANGED   QEvent::PaletteChange, ApplicationPaletteChange,
//                                        StyleChange, ThemeChange
//   WM_EXITSIZEMOVE, WM_PRINT, WM_MOUSEHOVER, WM_CTLCOLOR*   none (Move already reports the
//                                                            end of a move; the rest need nothing)
// A callback cannot rename an event as a window procedure could rename a message; it can only
// handle it (which swallows it) and set its accepted flag, which stands for the return value.

inline constexpr int ALL_MESSAGES = -1;
inline constexpr int MSG_AFTER = 1;
inline constexpr int MSG_BEFORE = 2;
inline constexpr int MSG_BEFORE_AND_AFTER = 3;

// What a hooking control implements. bBefore tells the phase. Setting bHandled in the before
// phase ends the event there: the window never sees it and no after phase runs for this hook or
// for hooks installed on the window before it.
class SubclassOwner {
public:
    virtual void subclassProc(bool bBefore, bool& bHandled, QObject* target, QEvent* event) = 0;

protected:
    ~SubclassOwner() = default;
};

namespace detail {
class HookDispatcher;
struct HookEntry;
}

// One hook per owning control; it may hook any number of windows. All hooks on one window share
// one filter that runs them as nested window procedures would: the latest hook's before phase
// first, its after phase last. Hence stopping hooks in any order leaves the others intact, and a
// stop (or a delete of the window) from inside a callback is safe: the stopped hook simply sees
// no more phases.
//
// When an after phase wants an event, the window is made to handle it inside the filter (its own
// event() is called) so the callback runs once the window is done. Event filters that others
// installed on that window before the first hook do not see such an event; hook a window before
// giving it foreign filters, or use only the before phase on it.
//
// GUI thread only. A window that is destroyed drops out of every hook on it. The hook stops its
// windows when it is destroyed; an owner holding it as a member declares it after whatever its
// callback uses, so it goes first.
class SelfSubclassHook {
public:
    explicit SelfSubclassHook(SubclassOwner* owner);
    ~SelfSubclassHook(); // stops every window still hooked, last started first
    SelfSubclassHook(const SelfSubclassHook&) = delete;
    SelfSubclassHook& operator=(const SelfSubclassHook&) = delete;

    // Hooks the window with empty tables; a window this hook already holds keeps its one record
    // and its tables. False only for no window.
    bool subHookStart(QObject* target);
    // uMsg is an event type or ALL_MESSAGES; when is MSG_AFTER, MSG_BEFORE or both. Adding a type
    // already held keeps one entry; removing ALL_MESSAGES empties that phase's table. A window
    // this hook does not hold is ignored.
    void subHookAddMsg(QObject* target, int uMsg, int when);
    void subHookDelMsg(QObject* target, int uMsg, int when);
    void subHookStop(QObject* target);
    void subHookStopAll();

    bool isHooked(const QObject* target) const;
    QList<QObject*> hookedWindows() const; // in the order they were started

private:
    friend class detail::HookDispatcher;
    void forget(const QObject* target);

    SubclassOwner* m_owner;
    QList<QPointer<QObject>> m_targets;
};

} // namespace tf
