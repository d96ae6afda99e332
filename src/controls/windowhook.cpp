#include "controls/windowhook.h"

#include <QHash>

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

// The one filter on a hooked window. It outlives a stop made from inside one of its own callbacks
// and deletes itself once the outermost event it is running has finished.
class HookDispatcher : public QObject {
public:
    static HookDispatcher* find(const QObject* target) { return registry().value(target, nullptr); }

    static HookDispatcher* obtain(QObject* target)
    {
        if (HookDispatcher* existing = find(target)) return existing;
        auto* dispatcher = new HookDispatcher(target);
        registry().insert(target, dispatcher);
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_target || m_retired || m_entries.empty()) return false;
        // Every mouse move and paint passes here, so the common case decides without copying.
        const int type = event->type();
        bool wantsBefore = false;
        bool wantsAfter = false;
        for (const auto& entry : m_entries) {
            wantsBefore = wantsBefore || entry->before.matches(type);
            wantsAfter = wantsAfter || entry->after.matches(type);
        }
        if (!wantsBefore && !wantsAfter) return false; // untouched, on its ordinary way

        // A hook started by a callback sees the next event; a stopped one sees nothing more.
        const Snapshot entries = m_entries;
        ++m_depth;
        const QPointer<QObject> alive(m_target);
        bool consumed = true;
        if (wantsAfter) {
            runFrom(entries, static_cast<int>(entries.size()) - 1, event, alive);
        } else {
            // Nobody waits for the window, so Qt can deliver the event itself afterwards.
            consumed = false;
            for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
                if (!alive) break;
                if (!(*it)->hook || !(*it)->before.matches(type)) continue;
                bool handled = false;
                (*it)->owner->subclassProc(true, handled, m_target, event);
                if (handled) {
                    consumed = true;
                    break;
                }
            }
            if (!alive) consumed = true; // a deleted receiver must not be delivered to
        }
        --m_depth;
        if (m_depth == 0 && m_retired) delete this;
        return consumed;
    }

private:
    explicit HookDispatcher(QObject* target)
        : m_target(target)
    {
        target->installEventFilter(this);
        connect(target, &QObject::destroyed, this, [this] { targetDestroyed(); });
    }

    static QHash<const QObject*, HookDispatcher*>& registry()
    {
        // Never destroyed, so a window that dies during static destruction still finds it.
        static auto* dispatchers = new QHash<const QObject*, HookDispatcher*>;
        return *dispatchers;
    }

    // Runs the hooks from index down to the first one, nested as chained window procedures run:
    // each before phase, then everything installed earlier and the window, then the after phase.
    void runFrom(const Snapshot& entries, int index, QEvent* event, const QPointer<QObject>& alive)
    {
        if (!alive) return;
        if (index < 0) {
            static_cast<QObject*>(m_target)->event(event); // the window handles it now
            return;
        }
        const auto& entry = entries[static_cast<size_t>(index)];
        const int type = event->type();
        if (entry->hook && entry->before.matches(type)) {
            bool handled = false;
            entry->owner->subclassProc(true, handled, m_target, event);
            if (handled) return;
        }
        runFrom(entries, index - 1, event, alive);
        if (alive && entry->hook && entry->after.matches(type)) {
            bool handled = false;
            entry->owner->subclassProc(false, handled, m_target, event);
        }
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
        registry().remove(m_target);
        m_retired = true;
        if (m_depth == 0) delete this;
    }

    void retire()
    {
        if (m_retired) return;
        m_retired = true;
        registry().remove(m_target);
        disconnect(m_target, nullptr, this, nullptr);
        m_target->removeEventFilter(this);
        if (m_depth == 0) delete this;
    }

    QObject* m_target;
    Snapshot m_entries; // in the order the hooks were started
    int m_depth = 0;
    bool m_retired = false;
};

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
    if (!target || !m_owner) return false;
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
