// The loader and the image control as their callers meet them now that the libraries run in
// decoders: a decoder's failure becomes the loader's own failure report (honouring quiet), the
// control's failed load, or no pages, and the calling process goes on.
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/picture_geometry.h"
#include "services/modLoadPic.h"
#include "support/testenv.h"

#include <QDir>
#include <QImageWriter>
#include <gtest/gtest.h>

using namespace tf;

namespace {

// A file that makes DevIL free a buffer twice: the decoder reading it dies.
QString crashingFile() { return QDir(QStringLiteral(TF_LOADER_REGRESSION_DIR)).filePath("devil-ppm-double-free.pgm"); }

struct Report {
    int calls = 0;
    int32_t number = 0;
    QString text;
};

LoadPicOptions reportingTo(Report& report)
{
    LoadPicOptions options;
    options.reporter = [&report](const QString& description, int32_t number, int16_t, const QString&) {
        ++report.calls;
        report.number = number;
        report.text = description;
    };
    return options;
}

TEST(LoadPicGuarded, EachWayADecoderEndsGivesTheLoadersOwnAnswer)
{
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    struct Case {
        const char* what;
        decode::DecodeStatus status;
        QImage image;
        int32_t errorNumber;
        int32_t expectedNumber;
    };
    const std::vector<Case> cases = {
        {"picture", decode::DecodeStatus::Done, picture, 0, 0},
        {"nothing to read, nothing to say", decode::DecodeStatus::Done, {}, 0, 0},
        {"damaged", decode::DecodeStatus::Done, {}, kErrInvalidPicture, kErrInvalidPicture},
        {"too large", decode::DecodeStatus::Done, {}, kErrOutOfMemory, kErrOutOfMemory},
        {"a number the loader never gives", decode::DecodeStatus::Done, {}, 12345, kErrInvalidPicture},
        {"hung", decode::DecodeStatus::TimedOut, {}, 0, kErrInvalidPicture},
        {"crashed", decode::DecodeStatus::Crashed, {}, 0, kErrInvalidPicture},
        {"garbled answer", decode::DecodeStatus::ProtocolError, {}, 0, kErrInvalidPicture},
        {"no decoder program", decode::DecodeStatus::NoDecoder, {}, 0, kErrInvalidPicture},
        {"memory ran out", decode::DecodeStatus::OutOfMemory, {}, 0, kErrOutOfMemory},
        // A picture from a decoder that failed is not trusted.
        {"crashed after a picture", decode::DecodeStatus::Crashed, picture, 0, kErrInvalidPicture},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        decode::DecodeResult answer;
        answer.status = c.status;
        answer.image = c.image;
        answer.errorNumber = c.errorNumber;
        answer.sourceWidth = 400;
        answer.sourceHeight = 300;
        int32_t width = -1, height = -1, number = -1;
        const QImage shown = loadPicAnswer(answer, width, height, &number);
        EXPECT_EQ(number, c.expectedNumber);
        const bool expectPicture = c.expectedNumber == 0 && !c.image.isNull();
        EXPECT_EQ(!shown.isNull(), expectPicture);
        EXPECT_EQ(QSize(width, height), expectPicture ? QSize(400, 300) : QSize(0, 0));
    }
}

TEST(LoadPicGuarded, ADecoderThatDiesIsReportedAsAnInvalidPictureUnlessQuiet)
{
    Report report;
    int32_t width = -1, height = -1;
    EXPECT_TRUE(LoadPic(crashingFile(), kSizeModeBox, 40, 40, 0xFFFFFF, width, height, reportingTo(report)).isNull());
    EXPECT_EQ(report.calls, 1);
    EXPECT_EQ(report.number, kErrInvalidPicture);
    EXPECT_EQ(report.text, "Invalid picture");
    EXPECT_EQ(QSize(width, height), QSize(0, 0));

    Report none;
    LoadPicOptions quiet = reportingTo(none);
    quiet.quiet = true;
    EXPECT_TRUE(LoadPic(crashingFile(), kSizeModeOwn, -1, -1, 0xFFFFFF, width, height, quiet).isNull());
    EXPECT_EQ(none.calls, 0);

    // The next file is read by a decoder started again.
    test::TempFolder folder;
    QImage sound(30, 20, QImage::Format_RGB32);
    sound.fill(Qt::blue);
    ASSERT_TRUE(QImageWriter(folder.file("sound.png"), "png").write(sound));
    EXPECT_FALSE(LoadPic(folder.file("sound.png"), kSizeModeOwn, -1, -1, 0xFFFFFF, width, height).isNull());
    EXPECT_EQ(QSize(width, height), QSize(30, 20));
}

TEST(LoadPicGuarded, TheImageControlsLoadAndPageCountRunInADecoder)
{
    test::TempFolder folder;
    QImage page(40, 30, QImage::Format_RGB32);
    page.fill(Qt::green);
    const QString tiff = folder.file("pages.tif");
    ASSERT_TRUE(test::writeRgbTiff(tiff, {page, page.scaled(41, 30), page.scaled(42, 30)}));
    page.setDotsPerMeterX(11811); // 300 dpi, which the control's picture keeps
    page.setDotsPerMeterY(11811);
    const QString png = folder.file("page.png");
    ASSERT_TRUE(QImageWriter(png, "png").write(page));

    ImageDocument control;
    EXPECT_EQ(control.PageCount(tiff), 3);
    control.setPageIndex(2);
    control.LoadFromFile(tiff);
    ASSERT_FALSE(control.LoadFailed());
    EXPECT_EQ(control.image().size(), QSize(41, 30));
    control.setPageIndex(1);
    control.LoadFromFile(png);
    ASSERT_FALSE(control.LoadFailed());
    EXPECT_EQ(control.image().dotsPerMeterX(), 11811) << "the resolution comes back from the decoder";

    control.LoadFromFile(crashingFile());
    EXPECT_TRUE(control.LoadFailed());
}

} // namespace
