// Pages the pipeline decodes as it comes to them (none was read ahead for them, or their first
// reading failed): a Cancel ends the wait for a decoder that hangs, instead of the decoder's limit.
#include "pages/PagePipeline.h"

#include "platform/decode/decoder_client.h"
#include "support/testenv.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>

namespace tf {
namespace {

using namespace std::chrono_literals;

// A hang costs this program's decoders far longer than any test waits.
const bool g_longLimit = [] {
    decode::DecoderSettings settings;
    settings.timeLimit = 600s;
    return decode::DecoderPool::configureShared(settings);
}();

class Files final : public PageSource {
public:
    explicit Files(QStringList paths) : m_paths(std::move(paths)) {}
    int count() const override { return int(m_paths.size()); }
    Page page(int index) const override { return {m_paths.at(index), QStringLiteral("page %1").arg(index + 1)}; }

private:
    QStringList m_paths;
};

// Asks for every file as it is, then finds none qualifies: each is decoded as the pipeline reaches it.
class TakesNothingAsItIs final : public PageSink {
public:
    explicit TakesNothingAsItIs(std::atomic<int>& pages) : m_pages(pages) {}
    void open(const PageSource&, const PageFormat&) override {}
    bool takesAsItIs(const QString&) const override { return true; }
    bool addFile(const QString&) override { return false; }
    void addPage(PreparedPage) override { ++m_pages; }
    void commit() override {}
    void rollback() noexcept override {}
    bool keepsPagesOnCancel() const override { return true; }

private:
    std::atomic<int>& m_pages;
};

TEST(PageDecodes, ACancelEndsTheWaitForAPageWhoseDecoderHangs)
{
    ASSERT_TRUE(g_longLimit) << "the limit is set before any decoder starts";
    test::TempFolder dir;
    const QString hang = dir.file(QStringLiteral("scan.pbm"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/devil-pnm-hang.pbm"), hang));
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString good = dir.file(QStringLiteral("good.png"));
    ASSERT_TRUE(picture.save(good));

    // Unhurried, the good page is read as it comes too.
    std::atomic<int> pages{0};
    {
        PagePipeline job(std::make_unique<Files>(QStringList{good}), std::make_unique<TakesNothingAsItIs>(pages), {});
        QSignalSpy finished(&job, &PagePipeline::finished);
        job.start();
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_EQ(job.result().written, 1);
        EXPECT_TRUE(job.result().leftOut.isEmpty());
    }

    pages = 0;
    PagePipeline job(std::make_unique<Files>(QStringList{hang, good}), std::make_unique<TakesNothingAsItIs>(pages), {});
    QSignalSpy progress(&job, &PagePipeline::progress);
    QSignalSpy finished(&job, &PagePipeline::finished);
    job.start();
    ASSERT_TRUE(progress.wait(30000));
    // Long enough for the decoder to be inside the file.
    QTest::qWait(300);
    EXPECT_TRUE(finished.isEmpty());
    job.cancel();
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(60000)) << "the job waited for the hanging decoder";
    const PipelineResult& r = job.result();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.written, 0);
    EXPECT_TRUE(r.leftOut.isEmpty()) << "a page the Cancel stopped is not one that could not be read";
    EXPECT_EQ(pages.load(), 0);
}

} // namespace
} // namespace tf
