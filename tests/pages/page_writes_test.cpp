// Pages written at once and placed in page order: whatever order the writes end in, the pages go
// to their place in page order; a Cancel or a failure leaves the first pages and no gap; the
// pages in flight stay within the window. The writes are held by latches, never by time.
#include "pages/PageWrites.h"

#include <gtest/gtest.h>

#include <QThread>

#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tf {
namespace {

// What happened to each page, in the order it happened.
struct Record {
    std::mutex lock;
    std::condition_variable changed;
    std::set<int> written; // writes that ended
    std::vector<int> placed, dropped;
    std::vector<std::string> failures;
    int writing = 0, mostWriting = 0;

    void waitWritten(const std::set<int>& pages)
    {
        std::unique_lock<std::mutex> l(lock);
        changed.wait(l, [&] {
            for (int p : pages)
                if (!written.count(p)) return false;
            return true;
        });
    }
    void waitDropped(int page)
    {
        std::unique_lock<std::mutex> l(lock);
        changed.wait(l, [&] { return std::find(dropped.begin(), dropped.end(), page) != dropped.end(); });
    }
};

// A page whose write first waits for `before` (pages written, or dropped when `afterDrop`) and
// fails when `fails`.
OrderedPageWrites::Page page(Record& r, int index, std::function<void()> before = {}, bool fails = false,
                             qint64 bytes = 0)
{
    OrderedPageWrites::Page p;
    p.index = index;
    p.bytes = bytes;
    p.write = [&r, index, before, fails] {
        {
            const std::lock_guard<std::mutex> l(r.lock);
            r.mostWriting = std::max(r.mostWriting, ++r.writing);
            r.changed.notify_all();
        }
        if (before) before();
        const std::lock_guard<std::mutex> l(r.lock);
        --r.writing;
        r.written.insert(index);
        r.changed.notify_all();
        if (fails) throw std::runtime_error("page " + std::to_string(index) + " failed");
    };
    p.place = [&r, index](std::exception_ptr failure) {
        const std::lock_guard<std::mutex> l(r.lock);
        if (!failure) {
            r.placed.push_back(index);
            return;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            r.failures.push_back(e.what());
        }
        // A page whose failure ends the run: the pages after it are dropped.
        if (index == 2) throw std::runtime_error("the run ends at page 2");
    };
    p.drop = [&r, index] {
        const std::lock_guard<std::mutex> l(r.lock);
        r.dropped.push_back(index);
        r.changed.notify_all();
    };
    return p;
}

class PageWrites : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QThread::idealThreadCount() < 4) GTEST_SKIP() << "the cases hold up to four writes at once";
    }
    // A page's write counts in `finished` once the hook hears it ended written.
    void hearFinishedWrites(std::set<int>& finished)
    {
        OrderedPageWrites::setWriteHookForTests([this, &finished](int index, bool written) {
            if (!written) return;
            const std::lock_guard<std::mutex> l(r.lock);
            finished.insert(index);
            r.changed.notify_all();
        });
    }
    Record r;
};

TEST_F(PageWrites, WritesEndingInReverseArePlacedInPageOrder)
{
    {
        OrderedPageWrites writes(8);
        // Page i waits for page i + 1: the writes end 3, 2, 1, 0.
        for (int i = 0; i < 4; ++i) {
            writes.add(page(r, i, i < 3 ? std::function<void()>([this, i] { r.waitWritten({i + 1}); })
                                        : std::function<void()>()));
        }
        r.waitWritten({1, 2, 3});
        EXPECT_TRUE(r.placed.empty()) << "nothing is placed while the first page is still being written";
        writes.finish();
    }
    EXPECT_EQ(r.placed, std::vector<int>({0, 1, 2, 3}));
    EXPECT_TRUE(r.dropped.empty());
}

TEST_F(PageWrites, ACancelPlacesTheFirstPagesAndDropsFromTheFirstUnfinished)
{
    std::set<int> finished;
    hearFinishedWrites(finished);
    OrderedPageWrites writes(8);
    // Page 2 is still being written when the Cancel comes, and ends only once page 3, written
    // before it, was dropped: a page after an unfinished one is never placed.
    for (int i = 0; i < 5; ++i)
        writes.add(page(r, i, i == 2 ? std::function<void()>([this] { r.waitDropped(3); }) : std::function<void()>()));
    {
        std::unique_lock<std::mutex> l(r.lock);
        // ... and page 2's write has begun (one not begun by the Cancel is never begun).
        r.changed.wait(l, [&] { return finished == std::set<int>({0, 1, 3, 4}) && r.writing == 1; });
    }
    writes.stop();
    OrderedPageWrites::setWriteHookForTests({});
    EXPECT_EQ(r.placed, std::vector<int>({0, 1}));
    EXPECT_EQ(std::set<int>(r.dropped.begin(), r.dropped.end()), std::set<int>({2, 3, 4}));
    EXPECT_TRUE(r.written.count(2)) << "the Cancel waited for the write under way";
}

// A Cancel that names its last page: that page and those before it are placed, however late they
// end or come; a page after it is dropped whether it was written, is being written, or comes later.
TEST_F(PageWrites, AStopAfterAPageKeepsItAndThePagesBeforeItAndNothingAfter)
{
    bool go = false;
    const auto held = [this, &go] {
        std::unique_lock<std::mutex> l(r.lock);
        r.changed.wait(l, [&] { return go; });
    };
    const auto release = [this, &go] {
        const std::lock_guard<std::mutex> l(r.lock);
        go = true;
        r.changed.notify_all();
    };
    bool early = false;
    {
        OrderedPageWrites writes(8);
        // Page 1 is still being written when the stop after page 2 comes; 3 and 4 are written.
        for (int i = 0; i < 5; ++i) writes.add(page(r, i, i == 1 ? std::function<void()>(held) : std::function<void()>()));
        {
            std::unique_lock<std::mutex> l(r.lock);
            r.changed.wait(l, [&] { return r.written == std::set<int>({0, 2, 3, 4}) && r.writing == 1; });
        }
        writes.requestStopAfter(2);
        writes.add(page(r, 5)); // the worker's page after the Cancel's
        release();
        early = !writes.finish();
    }
    EXPECT_EQ(r.placed, std::vector<int>({0, 1, 2}));
    EXPECT_EQ(std::set<int>(r.dropped.begin(), r.dropped.end()), std::set<int>({3, 4, 5}));
    EXPECT_FALSE(r.written.count(5)) << "a page after the stop is never written";
    EXPECT_TRUE(early) << "pages taken were dropped";

    // The Cancel's own page may come after the stop (it was still being read): it is written.
    Record later;
    {
        OrderedPageWrites writes(8);
        writes.add(page(later, 0));
        writes.requestStopAfter(1);
        writes.add(page(later, 1));
        writes.add(page(later, 2));
        EXPECT_TRUE(writes.finish()) << "nothing taken was dropped";
    }
    EXPECT_EQ(later.placed, std::vector<int>({0, 1}));
    EXPECT_EQ(later.dropped, std::vector<int>({2}));
}

// With a window showing the progress, a page goes in place only once the window has shown it:
// the worker may be many pages ahead of what the user sees.
TEST_F(PageWrites, PagesWaitForTheWindowToShowThemBeforeTheyArePlaced)
{
    // A page's write counts as finished once the hook hears of it.
    std::set<int> finished;
    hearFinishedWrites(finished);
    OrderedPageWrites writes(16);
    writes.pageShown(-1);
    for (int i = 0; i < 4; ++i) writes.add(page(r, i));
    {
        std::unique_lock<std::mutex> l(r.lock);
        r.changed.wait(l, [&] { return finished.size() == 4; });
    }
    OrderedPageWrites::setWriteHookForTests({});
    writes.add(page(r, 4)); // an add places what it may
    EXPECT_TRUE(r.placed.empty()) << "no page was shown yet";
    writes.pageShown(1);
    writes.pageShown(0); // a late, older progress takes nothing back
    writes.add(page(r, 5));
    EXPECT_EQ(r.placed, std::vector<int>({0, 1}));
    // The window shows the last pages while the run waits for them.
    std::thread window([&] { writes.pageShown(5); });
    EXPECT_TRUE(writes.finish());
    window.join();
    EXPECT_EQ(r.placed, std::vector<int>({0, 1, 2, 3, 4, 5}));

    // A Cancel that names the page shown opens the gate for the pages up to it.
    Record cancelled;
    OrderedPageWrites stopped(16);
    stopped.pageShown(-1);
    for (int i = 0; i < 4; ++i) stopped.add(page(cancelled, i));
    stopped.pageShown(1);
    stopped.requestStopAfter(2);
    EXPECT_FALSE(stopped.finish());
    EXPECT_EQ(cancelled.placed, std::vector<int>({0, 1, 2}));
    EXPECT_EQ(cancelled.dropped, std::vector<int>({3}));
}

TEST_F(PageWrites, AFailureThatEndsTheRunDropsThePagesAfterIt)
{
    std::string ended;
    {
        OrderedPageWrites writes(8);
        // The failing pages end their writes only once every page was offered: otherwise the run's
        // end could come from an add, before the later pages exist to be dropped.
        bool allOffered = false;
        const auto afterOffers = [&] {
            std::unique_lock<std::mutex> l(r.lock);
            r.changed.wait(l, [&] { return allOffered; });
        };
        try {
            for (int i = 0; i < 5; ++i) {
                const bool fails = i == 1 || i == 2;
                writes.add(page(r, i, fails ? std::function<void()>(afterOffers) : std::function<void()>(), fails));
            }
            {
                const std::lock_guard<std::mutex> l(r.lock);
                allOffered = true;
                r.changed.notify_all();
            }
            writes.finish();
        } catch (const std::exception& e) {
            ended = e.what();
        }
        {
            // Should an add have raised after all, the waiting writes still end.
            const std::lock_guard<std::mutex> l(r.lock);
            allOffered = true;
            r.changed.notify_all();
        }
        writes.drop();
    }
    EXPECT_EQ(ended, "the run ends at page 2");
    EXPECT_EQ(r.failures, std::vector<std::string>({"page 1 failed", "page 2 failed"})) << "a page's own failure is counted";
    EXPECT_EQ(r.placed, std::vector<int>({0}));
    EXPECT_EQ(std::set<int>(r.dropped.begin(), r.dropped.end()), std::set<int>({3, 4}));
}

TEST_F(PageWrites, ThePagesInFlightStayWithinTheWindow)
{
    // Two at a time by count, however many cores; by memory, one page over half the budget at a
    // time (a page larger than the budget still goes, alone).
    const struct {
        int pages;
        qint64 bytes, each;
        int most;
    } cases[] = {{2, 1 << 20, 10, 2}, {8, 100, 60, 1}, {8, 100, 500, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.most);
        Record rec;
        {
            OrderedPageWrites writes(c.pages, c.bytes);
            // The first writes wait until as many as the window lets in were writing at once (or
            // none is left to come), so that the writes let in together do overlap.
            int started = 0;
            const auto gate = [&rec, &started, &c] {
                std::unique_lock<std::mutex> l(rec.lock);
                ++started;
                rec.changed.notify_all();
                rec.changed.wait(l, [&] { return rec.mostWriting >= c.most || started == 6; });
            };
            for (int i = 0; i < 6; ++i)
                writes.add(page(rec, i, gate, false, c.each));
            writes.finish();
        }
        EXPECT_LE(rec.mostWriting, c.most);
        EXPECT_EQ(rec.placed, std::vector<int>({0, 1, 2, 3, 4, 5}));
    }
}

} // namespace
} // namespace tf
