#pragma once
// Pages whose outputs do not depend on each other (one file per page) are written on every core,
// and put in their place in page order: a run that stops, whatever stops it, leaves its first
// pages and no gap after them.
#include <QThreadPool>

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace tf {

class OrderedPageWrites {
public:
    struct Page {
        int index = 0;     // the page's place in its source (what the test hook is told)
        qint64 bytes = 0;  // the memory the page holds until it is written
        // On a pool thread: writes the page aside (nothing of the user's changes yet); raises when
        // it cannot. What it holds is let go of as soon as it returns.
        std::function<void()> write;
        // On the owner's thread, in page order, once the write ended: puts the page in its place,
        // or counts its failure (given). May raise to end the run; the pages after it are dropped.
        std::function<void(std::exception_ptr failure)> place;
        // On the owner's thread, for a page never placed, once its write ended or will never run.
        std::function<void()> drop;
    };

    // At most `pages` in flight (0: two per core) holding at most `bytes` together (always one).
    explicit OrderedPageWrites(int pages = 0, qint64 bytes = kDefaultBytes);
    // Drops the pages not placed, after their writes ended.
    ~OrderedPageWrites();
    OrderedPageWrites(const OrderedPageWrites&) = delete;
    OrderedPageWrites& operator=(const OrderedPageWrites&) = delete;

    // Places the pages finished in order, waits while the window is full, and starts this page.
    void add(Page page);
    // Places every page, in order, waiting for each; when a stop is asked for meanwhile, as
    // stop() instead. False when it stopped so.
    bool finish();
    // From any thread: finish() stops as stop() does.
    void requestStop() noexcept;
    // From any thread: the pages up to index `last` are still placed (finish() waits for them, and
    // such a page may still be added); those after it are never placed, and one whose write has
    // not begun is not begun. finish() then says it stopped early when it dropped any.
    void requestStopAfter(int last) noexcept;
    // From the window's thread, for pages whose progress a window shows: the window has shown page
    // `index` under way (-1: none yet). From the first call on, a page is placed only once it was
    // shown, so that a Cancel that names the page shown finds none after it in place. A stop
    // opens the gate again.
    void pageShown(int index) noexcept;
    // A Cancel: the pages finished in order are placed; from the first one still writing on,
    // every page is dropped (a page after it is never placed, even when written). Pages already
    // written are dropped before the wait for those still writing.
    void stop();
    // Drops every page not yet placed.
    void drop() noexcept;

    // The memory the pages being written may hold together: two A4 colour pages at 300 dpi,
    // dozens of letters or 1-bit scans. Pixels are what a page costs; beyond this, more cores
    // would only add to the peak.
    static constexpr qint64 kDefaultBytes = qint64(96) << 20;

    // For tests: runs on the pool thread before each page's write and once it counts as finished
    // (`written`), with the page's index; a test holds writes there to have them written, and
    // finished, in an order of its choosing. Empty for none.
    static void setWriteHookForTests(std::function<void(int index, bool written)> hook);
    // For tests that give the disk a fixed number of bytes: how many pages write at once in the
    // writers made from now on (0: one per core). One writes the pages in page order.
    static void setThreadsForTests(int threads);

private:
    struct Slot;
    void placeFinished();
    // The first page is written, not after a stop, and shown: it may be placed. Under m_lock.
    bool headPlaceable() const;
    void waitForHead(std::unique_lock<std::mutex>& lock);

    const int m_maxPages;
    const qint64 m_maxBytes;
    QThreadPool m_pool;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Slot>> m_pages; // not yet placed, in page order; guarded by m_lock
    qint64 m_writingBytes = 0;                 // held by pages whose write has not ended; guarded
    bool m_stopRequested = false;              // guarded
    int m_keepThrough = INT_MAX;               // the last page index still placed; guarded
    bool m_gated = false;                      // pages wait for the window to show them; guarded
    bool m_gateOpened = false;                 // for good, by a stop; guarded
    int m_shown = INT_MAX;                     // the last page the window showed; guarded
};

} // namespace tf
