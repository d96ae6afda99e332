// The shown file's metadata is read on a worker: the lists fill when the read lands, the newest
// file asked for wins, and while a read is under way no command reaches any file.
#include "metadata_fixture.h"

#include <QSemaphore>
#include <QThreadPool>
#include <gtest/gtest-spi.h>

using namespace tf;
using namespace tf::test;

namespace {

class MetadataReading : public MetadataControllerTest {
protected:
    void SetUp() override
    {
        MetadataControllerTest::SetUp();
        // The reads of `held` wait until the test lets them go.
        controller.readFile = [this](ExifIptc& meta, const QString& path) {
            if (path == held) gate.acquire();
            return meta.readFrom(path);
        };
    }
    QString jpegMadeBy(const QString& name, const QString& make)
    {
        const QString path = writeJpeg(dir, name);
        exiv2Modify(path, {"set Exif.Image.Make " + make});
        return path;
    }

    QString held;
    QSemaphore gate;
};

} // namespace

TEST_F(MetadataReading, TheNewestFileWinsAndNothingIsWrittenWhileAReadIsUnderWay)
{
    const QString first = jpegMadeBy("first.jpg", "Canon");
    const QString slow = jpegMadeBy("slow.jpg", "Nikon");
    const QString last = jpegMadeBy("last.jpg", "Pentax");
    show(first);
    ASSERT_EQ(value(exif(), "Make"), "Canon");

    held = slow;
    bool slowAnswered = false;
    controller.readShownFile(slow, true, true, [&](bool) { slowAnswered = true; });
    EXPECT_TRUE(controller.readPending());
    EXPECT_TRUE(controller.shownFile().isEmpty()) << "the file shown before is let go at once";
    EXPECT_FALSE(update(first, 0, "Make", "Leica"));
    EXPECT_FALSE(update(slow, 0, "Make", "Leica"));
    EXPECT_EQ(exiv2Value(first, "Exif.Image.Make"), "Canon");
    EXPECT_EQ(exiv2Value(slow, "Exif.Image.Make"), "Nikon");

    show(last); // asked for while the slow read still runs
    gate.release();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50); // the slow read's answer, had it been kept, would land now
    EXPECT_FALSE(slowAnswered);
    EXPECT_EQ(controller.shownFile(), last);
    EXPECT_EQ(value(exif(), "Make"), "Pentax");
    EXPECT_FALSE(controller.readPending());
}

TEST_F(MetadataReading, AReadOrAWriteOnTheApplicationsThreadIsReported)
{
    const QString path = jpegMadeBy("shot.jpg", "Canon");
    ExifIptc meta;
    EXPECT_NONFATAL_FAILURE(meta.readFrom(path), "ExifIptc::readFrom ran on the application's thread");
    EXPECT_NONFATAL_FAILURE(meta.WriteMetadataTo(path), "ExifIptc::WriteMetadataTo ran on the application's thread");
}
