// Scanned pages into numbered files, written several at once: names and "_2" suffixes are taken
// in page order, and pages are placed and announced in page order whatever order their writes
// end in; a page that cannot be written ends the acquisition with the pages before it kept and
// none after it. The writes are held through the writers' hook, never by time.
#include "acquire/AcquiredPages.h"
#include "pages/PageWrites.h"
#include "platform/imagebox/imagebox_document.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <QDir>
#include <QThread>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>

namespace tf {
namespace {

// Pages as a scanner gives them: pictures, one after another.
class Scanned final : public PageSource {
public:
    explicit Scanned(QList<QImage> pictures) : m_pictures(std::move(pictures)) {}
    int count() const override { return kUnknownCount; }
    bool next(Page& page) override
    {
        if (m_next >= m_pictures.size()) return false;
        ++m_next;
        page = {QString(), QStringLiteral("Page %1").arg(m_next), QString(), m_pictures[m_next - 1]};
        return true;
    }

private:
    QList<QImage> m_pictures;
    int m_next = 0;
};

class NumberedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QThread::idealThreadCount() < 4) GTEST_SKIP() << "the cases hold up to four writes at once";
        // Page 1's write begins only once pages 2 and 3 are written.
        OrderedPageWrites::setWriteHookForTests([this](int index, bool written) {
            std::unique_lock<std::mutex> l(lock);
            if (written) {
                finished.insert(index);
                changed.notify_all();
            } else if (index == 0) {
                changed.wait(l, [&] { return finished.count(1) && finished.count(2); });
            }
        });
    }
    void TearDown() override { OrderedPageWrites::setWriteHookForTests({}); }
    PipelineResult scan(bool overwrite)
    {
        AcquiredPageSink::Hooks hooks;
        hooks.written = [this](int number, const QImage& picture, const QString& path) {
            announced << QStringLiteral("%1 %2 %3").arg(number).arg(picture.width()).arg(QFileInfo(path).fileName());
        };
        hooks.failed = [this](const QString& why) { failures << why; };
        QList<QImage> pictures;
        for (int w : {40, 41, 42}) {
            QImage p(w, 30, QImage::Format_RGB32);
            p.fill(Qt::blue);
            pictures << p;
        }
        PagePipeline pipeline(std::make_unique<Scanned>(pictures),
                              std::make_unique<NumberedFilesSink>(folder.path(), "Twain", "tif", overwrite, hooks),
                              PipelineSettings{});
        return pipeline.runHere();
    }
    QStringList entries() const { return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name); }

    test::TempFolder folder;
    std::mutex lock;
    std::condition_variable changed;
    std::set<int> finished;
    QStringList announced, failures;
};

TEST_F(NumberedFiles, NamesAndAnnouncementsFollowThePageOrder)
{
    folder.write("Twain1.tif", "taken");
    const PipelineResult r = scan(false);
    EXPECT_TRUE(r.failure.isEmpty()) << r.failure.toStdString();
    EXPECT_EQ(announced, QStringList({"1 40 Twain1_2.tif", "2 41 Twain2.tif", "3 42 Twain3.tif"}));
    EXPECT_EQ(entries(), QStringList({"Twain1.tif", "Twain1_2.tif", "Twain2.tif", "Twain3.tif"}));
    EXPECT_EQ(test::readAll(folder.file("Twain1.tif")), "taken");
    EXPECT_EQ(test::tiffinfoValues(folder.file("Twain1_2.tif"), "Image Width").value(0).section(' ', 0, 0), "40");
}

TEST_F(NumberedFiles, APageThatCannotBeWrittenKeepsThePagesBeforeItAndNoneAfter)
{
    // The second page's name is a folder: it cannot be replaced by a file. The third page is
    // written before the second is placed, and is never placed.
    ASSERT_TRUE(QDir().mkpath(folder.file("Twain2.tif")));
    const PipelineResult r = scan(true);
    EXPECT_EQ(announced, QStringList{"1 40 Twain1.tif"});
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(entries(), QStringList({"Twain1.tif", "Twain2.tif"})) << "no third page, no work file";
}

} // namespace
} // namespace tf
