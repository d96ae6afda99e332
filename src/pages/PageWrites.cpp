#include "pages/PageWrites.h"

#include "platform/sys/freeheap.h"

#include <QThread>

#include <algorithm>
#include <atomic>

namespace tf {

namespace {

std::mutex g_hookLock;
std::function<void(int, bool)> g_writeHook;
std::atomic<int> g_threads{0};

std::function<void(int, bool)> writeHook()
{
    const std::lock_guard<std::mutex> lock(g_hookLock);
    return g_writeHook;
}

} // namespace

struct OrderedPageWrites::Slot {
    Page page;
    bool done = false; // the write ended (or will never run); guarded by the owner's m_lock
    std::exception_ptr failure;
    std::atomic<bool> abandoned{false}; // a write not yet begun is not begun
    // Still being written when a stop was asked for, or after the last page a stop keeps: never
    // placed, whenever its write ends, so the pages in place have no gap.
    bool afterStop = false; // guarded
};

void OrderedPageWrites::setThreadsForTests(int threads) { g_threads.store(threads); }

void OrderedPageWrites::setWriteHookForTests(std::function<void(int, bool)> hook)
{
    const std::lock_guard<std::mutex> lock(g_hookLock);
    g_writeHook = std::move(hook);
}

OrderedPageWrites::OrderedPageWrites(int pages, qint64 bytes)
    : m_maxPages(pages > 0 ? pages : 2 * std::max(1, QThread::idealThreadCount())), m_maxBytes(bytes)
{
    m_pool.setMaxThreadCount(g_threads.load() > 0 ? g_threads.load() : std::max(1, QThread::idealThreadCount()));
    // The pages are the run's; a thread idle between two is kept for the next.
    m_pool.setExpiryTimeout(-1);
}

OrderedPageWrites::~OrderedPageWrites()
{
    drop();
    m_pool.waitForDone();
}

void OrderedPageWrites::add(Page page)
{
    placeFinished();
    const qint64 bytes = page.bytes;
    auto slot = std::make_shared<Slot>();
    {
        std::unique_lock<std::mutex> lock(m_lock);
        // The oldest pages are placed as they finish, so the window moves on in page order.
        for (;;) {
            // A page that comes after a stop was asked for would never be placed: it is not written.
            if (m_stopRequested || page.index > m_keepThrough) {
                lock.unlock();
                if (page.drop) page.drop();
                return;
            }
            if (int(m_pages.size()) < m_maxPages && (m_writingBytes == 0 || m_writingBytes + bytes <= m_maxBytes)) break;
            if (headPlaceable()) {
                lock.unlock();
                placeFinished();
                lock.lock();
                continue;
            }
            m_changed.wait(lock);
        }
        // Queued under the same lock as the check, so a stop asked for now still finds it.
        slot->page = std::move(page);
        m_pages.push_back(slot);
        m_writingBytes += bytes;
    }
    m_pool.start([this, slot, bytes] {
        std::exception_ptr failure;
        const auto hook = writeHook();
        const bool writes = !slot->abandoned.load();
        if (writes) {
            if (hook) hook(slot->page.index, false);
            try {
                slot->page.write();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        // The page's pixels go now, not when it is placed; and back to the system, not into this
        // thread's heap, where a page's worth of memory per thread would stay for good.
        slot->page.write = nullptr;
        releaseFreeHeap();
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            slot->failure = failure;
            slot->done = true;
            m_writingBytes -= bytes;
            m_changed.notify_all();
        }
        if (writes && hook) hook(slot->page.index, true);
    });
}

void OrderedPageWrites::placeFinished()
{
    for (;;) {
        std::shared_ptr<Slot> head;
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            if (!headPlaceable()) return;
            head = m_pages.front();
            m_pages.pop_front();
        }
        head->page.place(head->failure);
    }
}

void OrderedPageWrites::waitForHead(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [&] { return m_pages.empty() || headPlaceable() || m_pages.front()->afterStop || m_stopRequested; });
}

bool OrderedPageWrites::headPlaceable() const
{
    if (m_pages.empty()) return false;
    const Slot& head = *m_pages.front();
    return head.done && !head.afterStop && head.page.index <= m_shown;
}

void OrderedPageWrites::pageShown(int index) noexcept
{
    const std::lock_guard<std::mutex> lock(m_lock);
    // Once stopped, the window has nothing more to show: the gate stays open.
    if (m_gateOpened) return;
    if (!m_gated || index > m_shown) m_shown = index;
    m_gated = true;
    m_changed.notify_all();
}

bool OrderedPageWrites::finish()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            waitForHead(lock);
            if (m_pages.empty()) return true;
            // Pages are queued in page order, so every page from an unplaced one on is after the stop.
            if (m_stopRequested || m_pages.front()->afterStop) break;
        }
        placeFinished();
    }
    stop();
    return false;
}

void OrderedPageWrites::requestStop() noexcept
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_stopRequested = true;
    m_gateOpened = true;
    m_shown = INT_MAX;
    for (const auto& slot : m_pages)
        if (!slot->done) slot->afterStop = true;
    m_changed.notify_all();
}

void OrderedPageWrites::requestStopAfter(int last) noexcept
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_keepThrough = std::min(m_keepThrough, last);
    // The pages up to the last one kept are placed as soon as they are written.
    m_gateOpened = true;
    m_shown = INT_MAX;
    for (const auto& slot : m_pages) {
        if (slot->page.index <= last) continue;
        slot->afterStop = true;
        slot->abandoned.store(true);
    }
    m_changed.notify_all();
}

void OrderedPageWrites::stop()
{
    placeFinished();
    drop();
}

void OrderedPageWrites::drop() noexcept
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (const auto& slot : m_pages) slot->abandoned.store(true);
    // Each page goes as soon as its write ended, in page order.
    while (!m_pages.empty()) {
        const auto done = std::find_if(m_pages.begin(), m_pages.end(), [](const auto& slot) { return slot->done; });
        if (done == m_pages.end()) {
            m_changed.wait(lock);
            continue;
        }
        const std::shared_ptr<Slot> slot = *done;
        m_pages.erase(done);
        lock.unlock();
        if (slot->page.drop) slot->page.drop();
        lock.lock();
    }
}

} // namespace tf
