// Sources that learn their pages as they go (a scanner's feeder) and pages that are pictures
// already (a scan, a screen grab): pulled until the source has none, read from no file, and
// stopped by a Cancel that reaches a source waiting on its device.
#include "pages/PagePipeline.h"
#include "platform/imagebox/imagebox_document.h"

#include "multipage_fixture.h"

#include <QTest>

#include <condition_variable>
#include <future>
#include <mutex>

namespace tf::test::multipage {
namespace {

// Hands out its pages by index or, with an unknown count, one by one; after them it can wait for
// a Cancel as a device would.
class Feeder final : public PageSource {
public:
    Feeder(std::vector<Page> pages, bool pulled) : m_pages(std::move(pages)), m_pulled(pulled) {}
    int count() const override { return m_pulled ? kUnknownCount : int(m_pages.size()); }
    Page page(int i) const override { return m_pages[size_t(i)]; }
    bool next(Page& page) override
    {
        if (m_next < m_pages.size()) {
            page = m_pages[m_next++];
            return true;
        }
        if (!waitsAtEnd) return false;
        std::unique_lock<std::mutex> lock(m_lock);
        waiting.set_value();
        m_woken.wait(lock, [this] { return m_cancelled; });
        return false;
    }
    void cancel() noexcept override
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_cancelled = true;
        m_woken.notify_all();
    }
    bool waitsAtEnd = false;
    std::promise<void> waiting;

private:
    std::vector<Page> m_pages;
    bool m_pulled;
    size_t m_next = 0;
    std::mutex m_lock;
    std::condition_variable m_woken;
    bool m_cancelled = false;
};

struct Taken final : PageSink {
    QStringList* pages; // width and depth of each page
    bool keeps = true;
    int commits = 0, rollbacks = 0;
    explicit Taken(QStringList& log) : pages(&log) {}
    void open(const PageSource&, const PageFormat&) override {}
    void addPage(PreparedPage page) override
    {
        *pages << QStringLiteral("%1x%2").arg(page.image.pixels.width()).arg(page.image.pixels.depth());
    }
    void commit() override { ++commits; }
    void rollback() noexcept override { ++rollbacks; }
    bool keepsPagesOnCancel() const override { return keeps; }
};

PageSource::Page picture(int width, QImage::Format format, const QString& name)
{
    QImage image(width, 20, format);
    image.fill(0);
    return {QString(), name, QString(), image};
}

class PulledPages : public MultiPageFixture {};

TEST_F(PulledPages, PagesComeUntilTheSourceHasNoneAndPicturesAreReadFromNoFile)
{
    const QString bad = out.write("bad.png", "not a picture");
    const PageSource::Page scan1 = picture(201, QImage::Format_Mono, "Scan 1");
    const PageSource::Page scan3 = picture(203, QImage::Format_RGB888, "Scan 3");
    const PageSource::Page file = {pages[3], "p4.png"};
    const struct {
        const char* what;
        std::vector<PageSource::Page> pages;
        bool pulled;
        QStringList taken;
        QStringList items;
        QStringList leftOut;
    } cases[] = {
        {"pictures and files pulled", {scan1, file, scan3}, true, {"201x1", "104x24", "203x24"},
         {"Scan 1", "File - 'p4.png'", "Scan 3"}, {}},
        {"a file pulled that cannot be read", {scan1, {bad, "bad.png"}}, true, {"201x1"},
         {"Scan 1", "File - 'bad.png'"}, {"bad.png"}},
        {"a source with none", {}, true, {}, {}, {}},
        {"pictures known up front", {scan3, scan1}, false, {"203x24", "201x1"}, {"Scan 3", "Scan 1"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList taken;
        auto sink = std::make_unique<Taken>(taken);
        Taken& s = *sink;
        PagePipeline pipeline(std::make_unique<Feeder>(c.pages, c.pulled), std::move(sink), {});
        QStringList items;
        QList<int> totals;
        QObject::connect(&pipeline, &PagePipeline::progress, [&](int, int total, const QString& item) {
            items << item;
            totals << total;
        });
        const PipelineResult r = pipeline.runHere();
        // The depth is the picture's own: a 1-bit scan is not widened on its way to the sink.
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(totals, QList<int>(c.items.size(), c.pulled ? PageSource::kUnknownCount : int(c.pages.size())));
        EXPECT_EQ(r.total, int(c.pages.size()));
        EXPECT_EQ(r.written, int(c.taken.size()));
        EXPECT_EQ(r.leftOut, c.leftOut);
        EXPECT_EQ(s.commits + s.rollbacks, 1);
        EXPECT_EQ(r.committed, !c.taken.isEmpty());
        EXPECT_FALSE(r.cancelled);
    }
}

TEST_F(PulledPages, ACancelReachesASourceWaitingForItsNextPage)
{
    for (const bool keeps : {true, false}) {
        SCOPED_TRACE(keeps ? "pages kept" : "pages dropped");
        QStringList taken;
        auto source = std::make_unique<Feeder>(
            std::vector<PageSource::Page>{picture(10, QImage::Format_RGB32, "1"), picture(11, QImage::Format_RGB32, "2")},
            true);
        source->waitsAtEnd = true;
        std::future<void> waiting = source->waiting.get_future();
        auto sink = std::make_unique<Taken>(taken);
        sink->keeps = keeps;
        Taken& s = *sink;
        PagePipeline pipeline(std::move(source), std::move(sink), {});
        bool finished = false;
        QObject::connect(&pipeline, &PagePipeline::finished, &owner, [&] { finished = true; });
        pipeline.start();
        waiting.wait();
        pipeline.cancel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 60000));
        const PipelineResult& r = pipeline.result();
        EXPECT_EQ(taken, QStringList({"10x32", "11x32"}));
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(r.total, 2);
        EXPECT_EQ(r.dropped, !keeps);
        EXPECT_EQ(s.commits, keeps ? 1 : 0);
        EXPECT_EQ(s.rollbacks, keeps ? 0 : 1);
    }
}

} // namespace
} // namespace tf::test::multipage
