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
// A window procedure's return value becomes the event's accepted flag, which is what Qt's callers
// and the passing of unaccepted input to the parent look at.

inline constexpr int ALL_MESSAGES = -1;
inline constexpr int MSG_AFTER = 1;
inline constexpr int MSG_BEFORE = 2;
inline constexpr int MSG_BEFORE_AND_AFTER = 3;

// What a hooking control implements. bBefore tells the phase; the rest are the call's own values,
// which the callback may change:
//   lReturn   the answer: false when the before phase starts, then whether the window (with
//             every filter on it) accepted the event; what it holds at the end becomes the event's
//             accepted flag, so an unaccepted mouse or key event still goes on to the parent.
//   bHandled  set in the before phase, it ends the event there with lReturn as the answer: the
//             window never sees it and no after phase runs for this hook or for hooks installed on
//             the window before it.
//   event     may be pointed at another event (one the callback owns, alive until the event ends):
//             the window and the later phases then see that one, and the after tables are searched
//             for its type.
class SubclassOwner {
public:
    virtual void subclassProc(bool bBefore, bool& bHandled, bool& lReturn, QObject* target, QEvent*& event) = 0;

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
// The hooks see an event before anything else does: they sit in one application-wide filter,
// put in front of the others whenever a hook starts. When an after phase wants the event, the
// window gets it inside that filter through the application's ordinary delivery, so every filter
// on the window and the window itself run as usual, and an unaccepted mouse or key event moves on
// to the parent once the after phases are done. (An application-wide filter installed after the
// last hook started sees such an event twice.) A plain mouse move over a window that does not
// track the mouse reaches no hook, as it reaches no window.
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
