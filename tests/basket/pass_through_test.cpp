// Pages that go into a document as their files hold them start no decoder: JPEG files into a PDF,
// Group 4 pages of TIFFs into a Group 4 TIFF (new or appended to) or a PDF.
#include "multipage_fixture.h"

#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_codecs.h"

#include <QPainter>
#include <tiffio.h>

using namespace tf;
using namespace tf::test;
using namespace tf::test::multipage;

namespace {

// The requests the program's decoders have taken so far. Not the decoders started: the pool
// may still be replacing one that an earlier test ended, which on a busy machine lands late.
int64_t decoderWork()
{
    return decode::DecoderPool::shared().requestsTaken();
}

// The raw strips of every page, as the file holds them.
std::vector<QByteArray> rawStrips(const QString& path)
{
    std::vector<QByteArray> strips;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif) return strips;
    do {
        QByteArray page;
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
            uint64_t* counts = nullptr;
            TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
            QByteArray strip(qsizetype(counts[s]), '\0');
            TIFFReadRawStrip(tif, s, strip.data(), strip.size());
            page += strip;
        }
        strips.push_back(page);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return strips;
}

// A scanned page of text in black and white, `width` wide, at 300 dpi.
QImage scannedPage(int width)
{
    QImage page(width, 140, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    for (int line = 0; line < 6; ++line)
        for (int x = 8; x < width - 12; x += 9) p.fillRect(x, 10 + line * 21, 6 + (x * 7 + line) % 5, 11, Qt::black);
    p.end();
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(11811);
    mono.setDotsPerMeterY(11811);
    return mono;
}

// One page in Group 4, one strip, as the program writes its own.
QString group4Scan(const QString& path, int width)
{
    ImageDocument doc;
    doc.setBitmapHandle(scannedPage(width));
    doc.setTiffCompression(kTiffGroup4);
    doc.AddTiffPage(1);
    doc.SaveTiff(path);
    return path;
}

class PassThrough : public MultiPageFixture {
protected:
    void SetUp() override
    {
        MultiPageFixture::SetUp();
        scans = {group4Scan(src.file("scan1.tif"), 301), group4Scan(src.file("scan2.tif"), 302)};
        for (const QString& scan : scans) sourceStrips.push_back(rawStrips(scan).at(0));
    }
    QStringList scans;
    std::vector<QByteArray> sourceStrips;
};

} // namespace

TEST_F(PassThrough, JpegPagesGoIntoAPdfWithoutADecoderStarting)
{
    setBasket({pages[0], pages[1], pages[2]});
    const auto before = decoderWork();
    const QString path = out.file(QStringLiteral("photos.pdf"));
    ASSERT_TRUE(save(path, 0, 0, 3));
    const std::vector<PdfImage> images = pdfImages(path);
    ASSERT_EQ(images.size(), 3u);
    for (const PdfImage& image : images) EXPECT_EQ(image.enc, "jpeg");
    EXPECT_EQ(decoderWork(), before) << "nothing was decoded";
}

TEST_F(PassThrough, Group4PagesKeepTheirStripsInANewGroup4Tiff)
{
    setBasket(scans);
    const auto before = decoderWork();
    const QString path = out.file(QStringLiteral("scans.tif"));
    // "24 bit" chosen: Group 4 writes black and white whatever the format.
    ASSERT_TRUE(save(path, 2, 0));
    EXPECT_EQ(decoderWork(), before) << "nothing was decoded";
    EXPECT_EQ(rawStrips(path), sourceStrips);
    const std::vector<TiffDirectory> dirs = tiffDirectories(path);
    ASSERT_EQ(dirs.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(dirs[i].value(256), 301 + i);
        EXPECT_EQ(dirs[i].value(259), 4);
        EXPECT_EQ(dirs[i].value(262), 0) << "white is zero";
    }
    EXPECT_EQ(tiffinfoValues(path, QStringLiteral("Resolution")).value(0).left(8), QStringLiteral("300, 300"));

    // Saved the other way, the pages are decoded and coded again: the same pixels as passed through.
    ImageDocument passed, decoded;
    passed.LoadFromFile(path);
    decoded.LoadFromFile(scans[0]);
    EXPECT_TRUE(passed.BitmapHandle().convertToFormat(QImage::Format_RGB32) ==
                decoded.BitmapHandle().convertToFormat(QImage::Format_RGB32));
}

TEST_F(PassThrough, Group4PagesGoIntoAPdfAsTheyAre)
{
    setBasket(scans);
    const auto before = decoderWork();
    const QString path = out.file(QStringLiteral("scans.pdf"));
    ASSERT_TRUE(save(path, 0, /*Mono BW*/ 6, 3));
    EXPECT_EQ(decoderWork(), before) << "nothing was decoded";
    EXPECT_TRUE(qpdfCheckPasses(path));
    const std::vector<PdfImage> images = pdfImages(path);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(widthsOf(images), QList<int>({301, 302}));
    for (const PdfImage& image : images) EXPECT_EQ(image.enc + ' ' + QString::number(image.bpc), "ccitt 1");
    EXPECT_EQ(pdfPageSizes(path).value(0).left(9), QStringLiteral("72.24 x 3")) << "301 pixels at 300 dpi";
}

TEST_F(PassThrough, Group4PagesAppendedToAGroup4TiffKeepTheirStrips)
{
    const QString tiff = group4Scan(out.file(QStringLiteral("manual.tif")), 400);
    setBasket(scans);
    const auto before = decoderWork();
    ASSERT_TRUE(append(tiff, 1, 1, 0, 2));
    EXPECT_EQ(decoderWork(), before) << "nothing was decoded";
    const std::vector<QByteArray> strips = rawStrips(out.file(QStringLiteral("manual_new.tif")));
    ASSERT_EQ(strips.size(), 3u);
    EXPECT_EQ(strips[1], sourceStrips[0]);
    EXPECT_EQ(strips[2], sourceStrips[1]);
}

TEST_F(PassThrough, PagesThatAreNotOneGroup4StripAreDecoded)
{
    // Group 4 in many strips, and black and white without compression: both decoded and coded again.
    const QString strips = out.file(QStringLiteral("strips.tif"));
    runTool("tiffcp", {QStringLiteral("-c"), QStringLiteral("g4"), QStringLiteral("-r"), QStringLiteral("16"), scans[0], strips});
    const QString plain = out.file(QStringLiteral("plain.tif"));
    runTool("tiffcp", {QStringLiteral("-c"), QStringLiteral("none"), scans[1], plain});
    setBasket({strips, plain});
    const QString path = out.file(QStringLiteral("recoded.tif"));
    const auto before = decoderWork();
    ASSERT_TRUE(save(path, 2, 0));
    EXPECT_EQ(decoderWork(), before + 2);
    EXPECT_EQ(rawStrips(path), sourceStrips) << "coded again, they are what the program writes";
}
