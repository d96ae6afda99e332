// The decoder program: each routing gives what it gives in process; damaged files cost only themselves.
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/tiff_pages.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImageWriter>
#include <QPainter>

using namespace tf::decode;
using namespace std::chrono_literals;

namespace {

QImage photo(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor(20 + seed, 90, 160));
    p.setBrush(QColor(230, 200 - seed, 40));
    p.drawEllipse(QRect(width / 5, height / 6, width / 2, height / 2));
    p.end();
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(11811);
    return image;
}

DecodeRequest pageRequest(const QString& path, int page = 1)
{
    return {.kind = uint32_t(DecodeKind::Page), .path = path, .page = page};
}

DecodeRequest pictureRequest(const QString& path, int sizeMode, int width, int height)
{
    return {.kind = uint32_t(DecodeKind::Picture), .path = path, .sizeMode = sizeMode, .width = width,
            .height = height, .backColor = 0x00C81E0A};
}

class DecoderProgram : public testing::Test {
    // Decodes on the test's own thread on purpose: what is tested is the call itself.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QImageWriter(jpeg, "jpg").write(photo(1240, 1754, 0)));
        QImage indexed = photo(301, 207, 9).convertToFormat(QImage::Format_Indexed8);
        ASSERT_TRUE(QImageWriter(png, "png").write(indexed));
        ASSERT_TRUE(tf::test::writeRgbTiff(tiff, {photo(64, 48, 1), photo(80, 60, 2), photo(32, 32, 3)}));
    }

    tf::test::TempFolder folder;
    const QString jpeg = folder.file("photo.jpg"), png = folder.file("drawing.png");
    const QString tiff = folder.file("pages.tif");
};

TEST_F(DecoderProgram, EachRoutingGivesThePixelsItGivesInProcess)
{
    DecoderSettings settings;
    settings.processes = 4;
    DecoderPool pool(settings);
    DecodeBatch batch(pool);
    struct Case { const char* what; DecodeRequest request; };
    const std::vector<Case> cases = {
        {"JPEG page", pageRequest(jpeg)},
        {"PNG page", pageRequest(png)},
        {"second TIFF page", pageRequest(tiff, 2)},
        {"JPEG thumbnail", pictureRequest(jpeg, 1, 40, 40)},
        {"PNG boxed", pictureRequest(png, 2, 50, 30)},
        {"TIFF picture", pictureRequest(tiff, 0, 0, 0)},
    };
    for (const Case& c : cases) batch.submit(c.request);
    int answered = 0;
    while (auto f = batch.next(20s)) {
        ++answered;
        const Case& c = cases[size_t(f->index)];
        SCOPED_TRACE(c.what);
        const DecodeResult& r = f->result;
        ASSERT_EQ(r.status, DecodeStatus::Done) << r.message.toStdString();
        ASSERT_FALSE(r.image.isNull());
        if (c.request.kind == uint32_t(DecodeKind::Page)) {
            const QImage expected = tf::imagebox::decodeImageFile(c.request.path, c.request.page);
            EXPECT_TRUE(r.image == expected);
            EXPECT_EQ(r.image.format(), expected.format());
            EXPECT_EQ(r.image.colorTable(), expected.colorTable());
            EXPECT_EQ(r.image.dotsPerMeterX(), expected.dotsPerMeterX());
        } else {
            int32_t width = 0, height = 0;
            tf::PicRoute route = tf::PicRoute::None;
            tf::LoadPicOptions options;
            options.route = &route;
            const QImage expected = LoadPic(c.request.path, c.request.sizeMode, c.request.width, c.request.height,
                                            c.request.backColor, width, height, options);
            EXPECT_TRUE(r.image == expected);
            EXPECT_EQ(r.sourceWidth, width);
            EXPECT_EQ(r.sourceHeight, height);
            EXPECT_EQ(r.route, int32_t(route));
        }
    }
    EXPECT_EQ(answered, int(cases.size()));

    EXPECT_EQ(pool.decode({.kind = uint32_t(DecodeKind::PageCount), .path = tiff}).pageCount, 3);
}

// A batch page read and written by a decoder: the file the document writers would write from the
// page as read in process; an unreadable page writes nothing, and nothing but the empty work file
// made for it is written.
TEST_F(DecoderProgram, ABatchPageIsWrittenAsTheDocumentWritersWriteIt)
{
    const auto request = [](const QString& path, const QString& target, int colorFormat, int compression) {
        return DecodeRequest{.kind = uint32_t(DecodeKind::WriteTiffPage), .path = path, .sizeMode = colorFormat,
                             .flags = uint32_t(compression), .target = target};
    };
    const struct {
        QString path;
        int colorFormat, compression;
    } cases[] = {{jpeg, tf::kColor24Bit, tf::kTiffPackBits}, {png, tf::kColor24Bit, tf::kTiffNone},
                 {tiff, tf::kGray256, tf::kTiffPackBits}, {png, tf::kMonoThreshold, tf::kTiffGroup4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " " + std::to_string(c.colorFormat));
        tf::ImageDocument doc;
        ASSERT_TRUE(tf::loadPageFile(doc, c.path));
        doc.setColorFormat(int16_t(c.colorFormat));
        doc.setTiffCompression(int16_t(c.compression));
        const QString expected = folder.file("expected.tif");
        QFile::remove(expected);
        tf::TiffDocumentWriter writer(expected);
        QString error;
        ASSERT_TRUE(writer.addPage(tiffPageRaster(doc.pageImage()), c.compression, QString(), &error) && writer.commit(&error));
        const QString work = folder.write("work.tif", "");
        const DecodeResult r = DecoderPool::shared().decode(request(c.path, work, c.colorFormat, c.compression));
        ASSERT_EQ(r.status, DecodeStatus::Done);
        EXPECT_EQ(r.outcome, int32_t(TiffPageOutcome::Written)) << r.message.toStdString();
        EXPECT_EQ(tf::test::readAll(work), tf::test::readAll(expected));
    }
    const QString work = folder.write("work.tif", "");
    const QString broken = folder.write("broken.png", "not a picture");
    DecodeResult r = DecoderPool::shared().decode(request(broken, work, 0, 1));
    EXPECT_EQ(r.outcome, int32_t(TiffPageOutcome::Unreadable));
    EXPECT_EQ(QFileInfo(work).size(), 0);
    const QString taken = folder.write("taken.tif", "someone's bytes");
    r = DecoderPool::shared().decode(request(jpeg, taken, 0, 1));
    EXPECT_EQ(r.outcome, int32_t(TiffPageOutcome::NotWritten));
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_EQ(tf::test::readAll(taken), QByteArray("someone's bytes"));
}

TEST_F(DecoderProgram, TheLoadersReportOfABrokenFileComesBackForItsCallerToGive)
{
    const QByteArray whole = tf::test::readAll(jpeg);
    const QString broken = folder.write("cut.jpg", whole.left(whole.size() / 2));
    const DecodeResult r = DecoderPool::shared().decode(pictureRequest(broken, 1, 40, 40));
    EXPECT_EQ(r.status, DecodeStatus::Done);
    EXPECT_TRUE(r.image.isNull());
    EXPECT_EQ(r.errorNumber, tf::kErrInvalidPicture);
    EXPECT_EQ(r.message, QStringLiteral("Invalid picture"));
}

// A thumbnail of a large JPEG is decoded reduced whatever kind of JPEG it is, and looks like the
// whole picture made small.
TEST_F(DecoderProgram, ThumbnailsOfEveryKindOfJpegAreDecodedReduced)
{
    const QImage colour = photo(1240, 1754, 40);
    const struct { const char* what; QImage image; bool progressive; } cases[] = {
        {"baseline", colour, false},
        {"progressive", colour, true},
        {"grey", colour.convertToFormat(QImage::Format_Grayscale8), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = folder.file(QString::fromLatin1(c.what) + ".jpg");
        QImageWriter writer(path, "jpg");
        writer.setProgressiveScanWrite(c.progressive);
        ASSERT_TRUE(writer.write(c.image));
        const DecodeResult r = DecoderPool::shared().decode(tf::loadPicRequest(path, kSizeModeBox, 40, 40, 0x00FFFFFF));
        EXPECT_EQ(r.route, int32_t(tf::PicRoute::ReducedJpeg));
        EXPECT_EQ(QSize(r.sourceWidth, r.sourceHeight), QSize(1240, 1754));
        const QImage& thumbnail = r.image;
        ASSERT_EQ(thumbnail.size(), QSize(40, 40));
        const QImage whole = fncResizePicture(tf::test::loadPage(path), kSizeModeBox, 40, 40, tf::rgb(255, 255, 255));
        int64_t difference = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) difference += std::abs(qGray(thumbnail.pixel(x, y)) - qGray(whole.pixel(x, y)));
        EXPECT_LT(difference / (40 * 40), 6);
    }
}

// Every input that ever crashed, froze or flooded a reader, both ways: an answer or a failure in time.
TEST(DecoderRegression, DamagedFilesCostOnlyThemselves)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    const QDir dir(QStringLiteral(TF_LOADER_REGRESSION_DIR));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    DecoderSettings settings;
    settings.timeLimit = 1500ms;
    settings.processes = 8;
    DecoderPool pool(settings);
    DecodeBatch batch(pool);
    QStringList requested;
    for (const QString& name : files) {
        batch.submit(pageRequest(dir.filePath(name)));
        batch.submit(pictureRequest(dir.filePath(name), 1, 40, 40));
        requested << name + " (page)" << name + " (thumbnail)";
    }
    int answered = 0;
    // Every decode ends by its time limit, so a wait this long only ends on a decoder left running.
    while (auto f = batch.next(120s)) {
        ++answered;
        const DecodeResult& r = f->result;
        SCOPED_TRACE(requested[f->index].toStdString());
        // Nothing decoded always comes with a reason, except the loader's quiet "not a picture".
        if (r.image.isNull() && f->index % 2 == 0) {
            EXPECT_FALSE(r.message.isEmpty());
        }
    }
    EXPECT_EQ(answered, requested.size());

    tf::test::TempFolder folder;
    const QString ok = folder.file("ok.png");
    ASSERT_TRUE(QImageWriter(ok, "png").write(photo(20, 10, 3)));
    const DecodeResult after = pool.decode(pageRequest(ok));
    EXPECT_EQ(after.status, DecodeStatus::Done);
    EXPECT_EQ(after.image.size(), QSize(20, 10));
}

} // namespace
