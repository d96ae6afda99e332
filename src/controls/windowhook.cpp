#include "controls/windowhook.h"

#include <QCoreApplication>
#include <QHash>
#include <QMouseEvent>
#include <QWidget>

#include <memory>
#include <vector>

namespace tf {

namespace detail {

struct HookTable {
    bool all = false;
    QList<int> types;

    bool matches(int type) const { return all || types.contains(type); }
    void add(int type)
    {
        if (type == ALL_MESSAGES) all = true;
        else if (!types.contains(type)) types.append(type);
    }
    void remove(int type)
    {
        if (type == ALL_MESSAGES) {
            all = false;
            types.clear();
        } else {
            types.removeOne(type);
        }
    }
};

struct HookEntry {
    SelfSubclassHook* hook; // null once the hook has stopped this window
    SubclassOwner* owner;
    HookTable before;
    HookTable after;
};

using Snapshot = std::vector<std::shared_ptr<HookEntry>>;

// One delivery of an event to a hooked window from inside the filter. The application sees the
// window's event once more; the filter lets that one through and keeps it from reaching the
// parents, which get it afterwards from the delivery that is already under way.
struct Delivery {
    QObject* target;
    int type;
    QEvent* passed = nullptr; // the event object the window got (a wheel event arrives as a copy)
    bool propagated = false;  // the window left it unaccepted, so Qt tried the parent
};

class HookDispatcher;

// The application-wide filter in front of every hooked window.
class HookFilter : public QObject {
public:
    static HookFilter& instance()
    {
        static auto* filter = new HookFilter; // never destroyed, like the registry below
        return *filter;
    }

    static QHash<const QObject*, HookDispatcher*>& registry()
    {
        // Never destroyed, so a window that dies during static destruction still finds it.
        static auto* dispatchers = new QHash<const QObject*, HookDispatcher*>;
        return *dispatchers;
    }

    // A filter installed later runs first; a hook's start puts this one in front again.
    void engage()
    {
        if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    }
    void disengage()
    {
        if (!m_deliveries.empty()) return; // still needed to hold back the parents' turn
        if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    }

    // Hands the event to the window through the application's delivery and returns whether it was
    // accepted there.
    bool deliver(QObject* target, QEvent* event)
    {
        Delivery delivery{target, event->type()};
        m_deliveries.push_back(&delivery);
        // Mouse-type events are copied for each parent; the attribute stops that copying here.
        QPointer<QWidget> widget = qobject_cast<QWidget*>(target);
        const bool hadNoPropagation = widget && widget->testAttribute(Qt::WA_NoMousePropagation);
        if (widget) widget->setAttribute(Qt::WA_NoMousePropagation, true);
        QCoreApplication::instance()->notify(target, event);
        if (widget) widget->setAttribute(Qt::WA_NoMousePropagation, hadNoPropagation);
        m_deliveries.pop_back();
        if (registry().isEmpty()) disengage(); // the last hook stopped while the window had it
        return !delivery.propagated && event->isAccepted();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<Delivery*> m_deliveries;
};

// The hooks of one window.
class HookDispatcher {
public:
    static HookDispatcher* find(const QObject* target) { return HookFilter::registry().value(target, nullptr); }

    static HookDispatcher* obtain(QObject* target)
    {
        if (HookDispatcher* existing = find(target)) return existing;
        auto* dispatcher = new HookDispatcher(target);
        HookFilter::registry().insert(target, dispatcher);
        return dispatcher;
    }

    HookEntry* entryFor(const SelfSubclassHook* hook) const
    {
        for (const auto& entry : m_entries)
            if (entry->hook == hook) return entry.get();
        return nullptr;
    }

    void add(SelfSubclassHook* hook, SubclassOwner* owner)
    {
        if (!entryFor(hook)) m_entries.push_back(std::make_shared<HookEntry>(HookEntry{hook, owner, {}, {}}));
    }

    void remove(const SelfSubclassHook* hook)
    {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if ((*it)->hook == hook) {
                (*it)->hook = nullptr;
                m_entries.erase(it);
                break;
            }
        }
        if (m_entries.empty()) retire();
    }

    // True when the event is finished here; false sends it on its ordinary way.
    bool dispatch(QEvent* event)
    {
        if (m_retired || m_entries.empty()) return false;
        // Every mouse move and paint passes here, so the common case decides without copying.
        const int type = event->type();
        bool wanted = false;
        for (const auto& entry : m_entries)
            wanted = wanted || entry->before.matches(type) || entry->after.matches(type);
        if (!wanted) return false;
        // Qt drops a plain move over a window that does not track the mouse; so do its hooks.
        if (type == QEvent::MouseMove && m_target->isWidgetType()
            && !static_cast<QWidget*>(m_target)->hasMouseTracking()
            && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            return false;

        // A hook started by a callback sees the next event; a stopped one sees nothing more.
        const Snapshot entries = m_entries;
        ++m_depth;
        QEvent* const outer = m_original; // a callback may send this window another event
        m_original = event;
        const QPointer<QObject> alive(m_target);
        QEvent* current = event;
        bool lReturn = false;
        bool leftToQt = false;
        runFrom(entries, static_cast<int>(entries.size()) - 1, current, lReturn, leftToQt, alive);
        m_original = outer;
        --m_depth;
        const bool finished = !alive || !leftToQt;
        if (alive && finished) event->setAccepted(lReturn);
        if (m_depth == 0 && m_retired) delete this;
        return finished; // a deleted receiver must not be delivered to
    }

private:
    explicit HookDispatcher(QObject* target)
        : m_target(target)
    {
        m_destroyed = QObject::connect(target, &QObject::destroyed, &HookFilter::instance(),
                                       [this] { targetDestroyed(); });
    }

    // Runs the hooks from index down to the first one, nested as chained window procedures run:
    // each before phase, then everything installed earlier and the window, then the after phase.
    void runFrom(const Snapshot& entries, int index, QEvent*& event, bool& lReturn, bool& leftToQt,
                 const QPointer<QObject>& alive)
    {
        if (!alive) return;
        if (index < 0) {
            if (event == m_original && !afterPending(entries, event->type())) {
                leftToQt = true; // nobody waits for the window: Qt delivers it itself, unchanged
                return;
            }
            lReturn = HookFilter::instance().deliver(m_target, event);
            return;
        }
        const auto& entry = entries[static_cast<size_t>(index)];
        if (entry->hook && entry->before.matches(event->type())) {
            bool handled = false;
            entry->owner->subclassProc(true, handled, lReturn, m_target, event);
            if (handled || !alive) return;
        }
        runFrom(entries, index - 1, event, lReturn, leftToQt, alive);
        if (alive && !leftToQt && entry->hook && entry->after.matches(event->type())) {
            bool handled = false;
            entry->owner->subclassProc(false, handled, lReturn, m_target, event);
        }
    }

    static bool afterPending(const Snapshot& entries, int type)
    {
        for (const auto& entry : entries)
            if (entry->hook && entry->after.matches(type)) return true;
        return false;
    }

    void targetDestroyed()
    {
        const Snapshot entries = m_entries;
        m_entries.clear();
        for (const auto& entry : entries) {
            if (SelfSubclassHook* hook = entry->hook) {
                entry->hook = nullptr;
                hook->forget(m_target);
            }
        }
        unregister();
        if (m_depth == 0) delete this;
    }

    void retire()
    {
        if (m_retired) return;
        QObject::disconnect(m_destroyed);
        unregister();
        if (m_depth == 0) delete this;
    }

    void unregister()
    {
        m_retired = true;
        HookFilter::registry().remove(m_target);
        if (HookFilter::registry().isEmpty()) HookFilter::instance().disengage();
    }

    QObject* m_target;
    QMetaObject::Connection m_destroyed;
    QEvent* m_original = nullptr; // the event the current outermost dispatch began with
    Snapshot m_entries;           // in the order the hooks were started
    int m_depth = 0;
    bool m_retired = false;
};

namespace {
bool isAncestor(const QObject* candidate, const QObject* target)
{
    if (!candidate->isWidgetType() || !target->isWidgetType()) return false;
    for (auto* w = static_cast<const QWidget*>(target)->parentWidget(); w; w = w->parentWidget())
        if (w == candidate) return true;
    return false;
}
} // namespace

bool HookFilter::eventFilter(QObject* watched, QEvent* event)
{
    for (auto it = m_deliveries.rbegin(); it != m_deliveries.rend(); ++it) {
        Delivery& delivery = **it;
        if (!delivery.passed && watched == delivery.target && event->type() == delivery.type) {
            delivery.passed = event; // the window's own turn: on to its filters and itself
            return false;
        }
        // The same event on its way up to a parent: the window left it unaccepted. (The window
        // may hand the event it got to other objects; only its ancestors are held back.)
        if (delivery.passed == event && watched != delivery.target && isAncestor(watched, delivery.target)) {
            delivery.propagated = true; // the parents' turn comes after the after phases
            return true;
        }
    }
    HookDispatcher* dispatcher = HookDispatcher::find(watched);
    if (!dispatcher) return false;
    return dispatcher->dispatch(event);
}

} // namespace detail

using detail::HookDispatcher;

SelfSubclassHook::SelfSubclassHook(SubclassOwner* owner)
    : m_owner(owner)
{
}

SelfSubclassHook::~SelfSubclassHook()
{
    subHookStopAll();
}

bool SelfSubclassHook::subHookStart(QObject* target)
{
    if (!target || !m_owner || !QCoreApplication::instance()) return false;
    detail::HookFilter::instance().engage();
    if (isHooked(target)) return true;
    HookDispatcher::obtain(target)->add(this, m_owner);
    m_targets.append(target);
    return true;
}

void SelfSubclassHook::subHookAddMsg(QObject* target, int uMsg, int when)
{
    if (!isHooked(target)) return;
    HookDispatcher* dispatcher = HookDispatcher::find(target);
    detail::HookEntry* entry = dispatcher ? dispatcher->entryFor(this) : nullptr;
    if (!entry) return;
    if (when & MSG_BEFORE) entry->before.add(uMsg);
    if (when & MSG_AFTER) entry->after.add(uMsg);
}

void SelfSubclassHook::subHookDelMsg(QObject* target, int uMsg, int when)
{
    if (!isHooked(target)) return;
    HookDispatcher* dispatcher = HookDispatcher::find(target);
    detail::HookEntry* entry = dispatcher ? dispatcher->entryFor(this) : nullptr;
    if (!entry) return;
    if (when & MSG_BEFORE) entry->before.remove(uMsg);
    if (when & MSG_AFTER) entry->after.remove(uMsg);
}

void SelfSubclassHook::subHookStop(QObject* target)
{
    if (!isHooked(target)) return;
    m_targets.removeAll(QPointer<QObject>(target));
    if (HookDispatcher* dispatcher = HookDispatcher::find(target)) dispatcher->remove(this);
}

void SelfSubclassHook::subHookStopAll()
{
    while (!m_targets.isEmpty()) {
        const QPointer<QObject> last = m_targets.takeLast();
        if (!last) continue;
        if (HookDispatcher* dispatcher = HookDispatcher::find(last)) dispatcher->remove(this);
    }
}

bool SelfSubclassHook::isHooked(const QObject* target) const
{
    if (!target) return false;
    for (const auto& held : m_targets)
        if (held == target) return true;
    return false;
}

QList<QObject*> SelfSubclassHook::hookedWindows() const
{
    QList<QObject*> windows;
    for (const auto& held : m_targets)
        if (held) windows.append(held.data());
    return windows;
}

void SelfSubclassHook::forget(const QObject* target)
{
    m_targets.removeIf([target](const QPointer<QObject>& held) { return !held || held == target; });
}

} // namespace tf
