// The page writers and the image control's multipage members over them; a killed run's work files.
#include "support/imagebox_testutil.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/doctools.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include "platform/sys/safefile.h"

#include <gtest/gtest.h>
#include <thread>
#include <tiffio.h>

#include <clocale>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

// A picture with colour, a grey ramp and black text-like bars, at a given resolution.
QImage samplePage(int w = 120, int h = 80, int dpi = 150, QColor tint = QColor(200, 40, 40))
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(0, 0, w / 3, h, tint);
    for (int x = w / 3; x < 2 * w / 3; ++x) p.fillRect(x, 0, 1, h / 2, QColor::fromHsv(0, 0, 255 * (x - w / 3) / (w / 3)));
    p.fillRect(2 * w / 3, h / 4, w / 6, h / 2, Qt::black);
    p.end();
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

// The image control's pages, at 300 dpi.
QImage picture(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    return samplePage(w, h, 300).convertToFormat(format);
}

QByteArray jpegBytes(const QImage& img)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buf, "jpg").write(img));
    return bytes;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }

// pdfimages -list: "enc color bpc" per image; the page sizes pdfinfo reports.
QStringList pdfEncodings(const QString& path)
{
    QStringList rows;
    for (const test::PdfImage& im : test::pdfImages(path)) rows << im.enc + ' ' + im.color + ' ' + QString::number(im.bpc);
    return rows;
}
QString pageSizes(const QString& path) { return test::pdfPageSizes(path).join(" | "); }

// A page of a TIFF as FreeImage reads it, not through the code under test.
QImage tiffPage(const QString& path, int page)
{
    ensureFreeImage();
    FIMULTIBITMAP* doc = FreeImage_OpenMultiBitmap(FIF_TIFF, QFile::encodeName(path).constData(), FALSE, TRUE, TRUE, 0);
    if (!doc) return {};
    FIBITMAP* bitmap = FreeImage_LockPage(doc, page);
    const QImage image = qimageFromFreeImage(bitmap);
    if (bitmap) FreeImage_UnlockPage(doc, bitmap, FALSE);
    FreeImage_CloseMultiBitmap(doc, 0);
    return image;
}

// A JPEG of 16 x 8 pixels with the JFIF density and the EXIF segment given (empty: none).
QByteArray jpegWith(int units, int x, int y, const QByteArray& exif)
{
    QByteArray bytes = jpegBytes(picture(16, 8));
    // Qt writes SOI then the JFIF segment: its density fields sit at fixed places.
    EXPECT_EQ(bytes.mid(6, 5), QByteArray("JFIF\0", 5));
    bytes[13] = char(units);
    bytes[14] = char(x >> 8), bytes[15] = char(x & 0xFF);
    bytes[16] = char(y >> 8), bytes[17] = char(y & 0xFF);
    if (!exif.isEmpty()) {
        const int length = int(exif.size()) + 2;
        bytes.insert(20, QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + exif);
    }
    return bytes;
}

// An EXIF segment (little-endian) stating X and Y resolutions as num/1 and a ResolutionUnit.
QByteArray exifWith(quint32 x, quint32 y, quint16 unit)
{
    QByteArray b("Exif\0\0II*\0\x08\0\0\0", 14);
    auto u16 = [&](quint16 v) { b += char(v & 0xFF), b += char(v >> 8); };
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) b += char((v >> (8 * i)) & 0xFF); };
    u16(3);
    const quint32 values = 8 + 2 + 3 * 12 + 4; // after IFD0 and its next link
    u16(0x011A), u16(5), u32(1), u32(values);
    u16(0x011B), u16(5), u32(1), u32(values + 8);
    u16(0x0128), u16(3), u32(1), u16(unit), u16(0);
    u32(0);
    u32(x), u32(1), u32(y), u32(1);
    return b;
}

} // namespace

TEST(PageRaster, PixelsSurviveWhereTheDepthAllows)
{
    const QImage page = samplePage(33, 9); // odd widths exercise the row packing
    EXPECT_EQ(imageFromRaster(rasterForColorFormat(page, kColor24Bit)).convertToFormat(QImage::Format_RGB32),
              page.convertToFormat(QImage::Format_RGB32));
    // Threshold: black stays black, white stays white, a light tint becomes white.
    QImage bw(17, 3, QImage::Format_RGB32);
    bw.fill(Qt::white);
    bw.setPixel(0, 0, qRgb(0, 0, 0));
    bw.setPixel(16, 2, qRgb(20, 20, 20));
    bw.setPixel(5, 1, qRgb(230, 230, 200));
    const QImage back = imageFromRaster(rasterForColorFormat(bw, kMonoThreshold));
    EXPECT_EQ(back.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(back.pixel(16, 2), qRgb(0, 0, 0));
    EXPECT_EQ(back.pixel(5, 1), qRgb(255, 255, 255));
    EXPECT_EQ(back.pixel(8, 0), qRgb(255, 255, 255));
    // Transparent pixels are flattened onto white, not black.
    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_EQ(imageFromRaster(rasterForColorFormat(clear, kGray256)).pixel(1, 1), qRgb(255, 255, 255));
    // A palette never outgrows its depth (each format's depth is the image control's test).
    for (int format : {kColor256, kColor16}) {
        const PageRaster r = rasterForColorFormat(samplePage(), format);
        ASSERT_EQ(r.kind, PageRaster::Palette);
        EXPECT_LE(r.palette.size(), 1 << r.bitsPerSample) << format;
    }
    EXPECT_FALSE(rasterForColorFormat(QImage(), kColor24Bit).isValid());
}

// An opaque colour page's samples, taken four pixels at a time, are Qt's own conversion's.
TEST(PageRaster, ColourSamplesAreQtsOwnWhateverTheWidth)
{
    for (const int width : {1, 4, 7, 37}) {
        QImage page(width, 5, QImage::Format_RGB32);
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < width; ++x)
                page.setPixel(x, y, qRgb((x * 71 + y * 13) & 255, (x * 29 + 200 * y) & 255, (x * x * 7 + y) & 255));
        const QImage expected = page.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < page.height(); ++y) {
            QByteArray row(3 * width, '\0');
            rgbSamplesFromRgb32(reinterpret_cast<const QRgb*>(page.constScanLine(y)), width,
                                reinterpret_cast<uchar*>(row.data()));
            EXPECT_EQ(row, QByteArray(reinterpret_cast<const char*>(expected.constScanLine(y)), 3 * width))
                << width << " wide, row " << y;
        }
    }
    // Every page writer takes these samples: the raster is the conversion's too.
    const QImage page = samplePage(37, 9);
    EXPECT_EQ(imageFromRaster(rasterForColorFormat(page, kColor24Bit)), page);
    ImageDocument doc;
    doc.setBitmapHandle(page);
    doc.setColorFormat(kColor24Bit);
    EXPECT_EQ(tiffPageRaster(doc.pageImage()).rows, rasterForColorFormat(page, kColor24Bit).rows);
}

TEST(TiffWriting, TheTargetAppearsOnlyAtCommitAndADroppedWriterLeavesItAlone)
{
    TempFolder dir;
    const QString path = dir.write("keep.tif", "precious bytes");
    {
        TiffDocumentWriter writer(path);
        QString error;
        EXPECT_FALSE(writer.commit(&error)) << "no page";
        EXPECT_FALSE(error.isEmpty());
    }
    {
        TiffDocumentWriter dropped(path); // a cancelled or failed save drops the writer
        ASSERT_TRUE(dropped.addPage(rasterForColorFormat(samplePage(), kColor24Bit), kTiffNone, QString(), nullptr));
    }
    EXPECT_EQ(readAll(path), QByteArray("precious bytes"));

    // Each compression's depth and tags are the image control's test; here the writer's own work.
    const QString fresh = dir.file("out.tif");
    TiffDocumentWriter writer(fresh);
    const PageRaster page = rasterForColorFormat(samplePage(), kColor24Bit);
    QString error;
    for (int compression : {kTiffNone, kTiffPackBits})
        ASSERT_TRUE(writer.addPage(page, compression, QString(), &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(fresh));
    ASSERT_TRUE(writer.commit(&error)) << error.toStdString();
    EXPECT_EQ(filesIn(dir.path()), QStringList({"keep.tif", "out.tif"})) << "no temporary file left";
    EXPECT_EQ(tiffPageCount(fresh), 2);
    EXPECT_TRUE(tiffinfoValues(fresh, "Resolution").value(0).startsWith("150, 150 pixels/inch"));
    EXPECT_EQ(QColor(loadPage(fresh, 1).pixel(2, 2)), QColor(200, 40, 40));
}

TEST(TiffWriting, GroupFourPagesCodedAlongsideEachOtherLandInTheirOrderWithTheirPixels)
{
    // More fax pages than cores code at once, with a PackBits page in between that must wait for
    // the fax pages before it; each page has its own width and its own pixels.
    TempFolder dir;
    const QString path = dir.file("fax.tif");
    const int pages = 2 * int(std::max(2u, std::thread::hardware_concurrency())) + 3;
    std::vector<PageRaster> written;
    {
        TiffDocumentWriter writer(path);
        for (int i = 0; i < pages; ++i) {
            QImage picture = samplePage(61 + i, 40 + i % 3, 200, QColor::fromHsv(i * 23 % 360, 200, i % 2 ? 60 : 200));
            const bool packBits = i == pages / 2;
            written.push_back(rasterForColorFormat(picture, i % 4 == 0 ? kMonoDithered : kMonoThreshold));
            QString error;
            ASSERT_TRUE(writer.addPage(written.back(), packBits ? kTiffPackBits : kTiffGroup4, "Tavrel Folio", &error))
                << error.toStdString();
        }
        EXPECT_FALSE(QFile::exists(path));
        QString error;
        ASSERT_TRUE(writer.commit(&error)) << error.toStdString();
    }
    const std::vector<TiffDirectory> dirs = tiffDirectories(path);
    ASSERT_EQ(int(dirs.size()), pages);
    for (int i = 0; i < pages; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(dirs[size_t(i)].value(256), 61 + i);
        EXPECT_EQ(dirs[size_t(i)].value(259), i == pages / 2 ? 32773 : 4) << "PackBits, else Group 4";
        EXPECT_EQ(loadPage(path, i + 1).convertToFormat(QImage::Format_RGB32),
                  imageFromRaster(written[size_t(i)]).convertToFormat(QImage::Format_RGB32));
    }
    EXPECT_EQ(tiffinfoValues(path, "Software").size(), size_t(pages));
    EXPECT_EQ(filesIn(dir.path()), QStringList{"fax.tif"});

    // Dropped while pages are still coding: nothing appears.
    {
        TiffDocumentWriter dropped(dir.file("dropped.tif"));
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(dropped.addPage(written[1], kTiffGroup4, QString(), nullptr));
    }
    EXPECT_EQ(filesIn(dir.path()), QStringList{"fax.tif"});
}

namespace {
// A page inserted as the image control inserts one: into a hidden copy that replaces the file.
bool insertInto(const QString& path, const tf::PageRaster& page, int compression, const QString& software, int position,
                QString* error)
{
    tf::SafeFile copy(path);
    return copy.open(error) && copy.copyFrom(path, error) &&
           tf::insertTiffPage(copy, page, compression, software, position, error) && copy.commit(error);
}
} // namespace

TEST(TiffWriting, InsertedPagesKeepTheOldPagesBytesAndLandWhereAsked)
{
    TempFolder dir;
    const QString path = dir.file("doc.tif");
    {
        TiffDocumentWriter writer(path);
        for (QColor c : {QColor(255, 0, 0), QColor(0, 255, 0)})
            ASSERT_TRUE(writer.addPage(rasterForColorFormat(samplePage(40, 30, 100, c), kColor24Bit), kTiffNone, QString(), nullptr));
        ASSERT_TRUE(writer.commit(nullptr));
    }
    const QByteArray before = readAll(path);

    QString error;
    ASSERT_TRUE(insertInto(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(0, 0, 255)), kColor24Bit), kTiffPackBits,
                               "Tavrel Folio", 1, &error)) << error.toStdString();
    ASSERT_TRUE(insertInto(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(255, 255, 0)), kColor24Bit), kTiffNone,
                               "Tavrel Folio", 2, &error)) << error.toStdString();
    ASSERT_TRUE(insertInto(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(0, 0, 0)), kMonoThreshold), kTiffGroup4,
                               "Tavrel Folio", 0, &error)) << error.toStdString();

    // Order: blue, yellow (inserted at 1 and 2), the old red and green, then black at the end.
    const QColor expected[] = {QColor(0, 0, 255), QColor(255, 255, 0), QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 0)};
    ASSERT_EQ(tiffPageCount(path), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(QColor(loadPage(path, i + 1).pixel(1, 1)), expected[i]) << "page " << i + 1;

    // The old bytes stay but for the first-page link and the old last page's next link.
    const QByteArray after = readAll(path);
    ASSERT_GT(after.size(), before.size());
    int differing = 0;
    for (qsizetype i = 0; i < before.size(); ++i) differing += before[i] != after[i];
    EXPECT_LE(differing, 8);
    EXPECT_EQ(tiffinfoValues(path, "Software").size(), 3) << "only the added pages name the program";
}

TEST(TiffWriting, InsertIntoSomethingElseFailsAndChangesNothing)
{
    TempFolder dir;
    const QString notTiff = dir.write("fake.tif", "this is not a tiff");
    QString error;
    EXPECT_FALSE(insertInto(notTiff, rasterForColorFormat(samplePage(), kColor24Bit), kTiffNone, QString(), 1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(notTiff), QByteArray("this is not a tiff"));
    EXPECT_FALSE(insertInto(dir.file("missing.tif"), rasterForColorFormat(samplePage(), kColor24Bit), kTiffNone, QString(), 0, &error));
    EXPECT_FALSE(QFile::exists(dir.file("missing.tif")));
}

TEST(PdfWriting, EachPageIsEncodedTheWayThatSuitsIt)
{
    TempFolder dir;
    const QString path = dir.file("out.pdf");
    const QImage photo = samplePage(200, 100, 200);
    const QByteArray jpeg = jpegBytes(photo);

    PdfDocumentWriter writer(path);
    QString error;
    ASSERT_TRUE(writer.addPage(pdfImageFromJpeg(jpeg, 200, 200), &error)) << error.toStdString();
    ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(photo, kMonoThreshold)), &error)) << error.toStdString();
    ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(photo, kColor256)), &error));
    ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(photo, kGray16)), &error));
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(writer.commit("Tavrel Folio", &error)) << error.toStdString();
    EXPECT_EQ(filesIn(dir.path()), QStringList{"out.pdf"});

    EXPECT_TRUE(qpdfCheckPasses(path));
    EXPECT_EQ(pdfEncodings(path), QStringList({"jpeg rgb 8", "ccitt gray 1", "image index 8", "image gray 4"}));
    for (const PdfImage& r : pdfImages(path)) EXPECT_EQ(QSize(r.width, r.height), QSize(200, 100));

    // The JPEG went in byte for byte; 200 x 100 pixels at 200 dpi is a 72 x 36 point page.
    const QString extracted = dir.file("img");
    runTool("pdfimages", {"-f", "1", "-l", "1", "-all", path, extracted});
    EXPECT_EQ(readAll(extracted + "-000.jpg"), jpeg);
    EXPECT_EQ(pdfPageSizes(path).value(0), "72 x 36 pts");
    EXPECT_TRUE(pdfInfo(path).contains("Tavrel Folio"));

    // The Group 4 page decodes to the same black and white pixels as the threshold raster.
    runTool("pdfimages", {"-f", "2", "-l", "2", "-png", path, dir.file("p2")});
    const QImage rendered = loadPage(dir.file("p2-000.png"));
    ASSERT_EQ(rendered.size(), QSize(200, 100));
    const QImage expected = imageFromRaster(rasterForColorFormat(photo, kMonoThreshold));
    int mismatches = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) mismatches += (qGray(rendered.pixel(x, y)) < 128) != (qGray(expected.pixel(x, y)) < 128);
    EXPECT_EQ(mismatches, 0);
}

TEST(PdfWriting, OnlyPlainJpegsAreEmbeddedAsTheyAre)
{
    EXPECT_FALSE(pdfImageFromJpeg(QByteArray("not a jpeg"), 72, 72).isValid());
    EXPECT_FALSE(pdfImageFromJpeg(QByteArray(), 72, 72).isValid());
    QByteArray truncated = jpegBytes(samplePage()).left(20);
    EXPECT_FALSE(pdfImageFromJpeg(truncated, 72, 72).isValid());
    const PdfPageImage grey = pdfImageFromJpeg(jpegBytes(samplePage().convertToFormat(QImage::Format_Grayscale8)), 72, 72);
    ASSERT_TRUE(grey.isValid());
    EXPECT_EQ(grey.space, PdfPageImage::Gray);
}

TEST(PdfWriting, InsertedPagesGoWhereAskedAndFailuresChangeNothing)
{
    TempFolder dir;
    const QString path = dir.file("doc.pdf");
    {
        PdfDocumentWriter writer(path);
        ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(samplePage(10, 10), kColor24Bit)), nullptr));
        ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(samplePage(20, 10), kColor24Bit)), nullptr));
        ASSERT_TRUE(writer.commit(QString(), nullptr));
    }
    QString error;
    {
        PdfAppender appender(path, path, dir.file(".doc.pdf.pages-XXXXXX"));
        ASSERT_TRUE(appender.open(&error)) << error.toStdString();
        for (const auto& [width, at] : {std::pair{30, 1}, {40, 2}, {50, 0}})
            ASSERT_TRUE(appender.addPage(pdfImageFromRaster(rasterForColorFormat(samplePage(width, 10), kColor24Bit)), at, &error));
        ASSERT_TRUE(appender.commit(&error)) << error.toStdString();
    }
    EXPECT_TRUE(qpdfCheckPasses(path));
    EXPECT_EQ(pdfPageCount(path), 5);
    EXPECT_EQ(widthsOf(pdfImages(path)), QList<int>({30, 40, 10, 20, 50}));

    const QString broken = dir.write("broken.pdf", "%PDF-1.4\nnothing useful here");
    const QByteArray brokenBefore = readAll(broken);
    PdfAppender refused(broken, broken, dir.file(".broken.pdf.pages-XXXXXX"));
    EXPECT_FALSE(refused.open(&error));
    EXPECT_EQ(readAll(broken), brokenBefore);
    EXPECT_EQ(pdfPageCount(broken), 0);
    EXPECT_EQ(filesIn(dir.path()).size(), 2) << "no temporary file is left behind";
}

TEST(PdfWriting, PageSizesAreWrittenTheSameWhateverTheUsersLocale)
{
    // A decimal comma, which no PDF reader parses, from a locale built here: the system may lack one.
    TempFolder locales;
    int code = -1;
    runTool("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.file("de_DE.UTF-8")}, &code);
    const QByteArray oldPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    const std::string oldNumeric = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = code == 0 && std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    const bool comma = german && std::string(probe) == "0,5";

    TempFolder dir;
    const QString path = dir.file("out.pdf");
    QString error;
    bool written = false;
    {
        PdfDocumentWriter writer(path);
        // 101 pixels at 150 dpi: 48.48 points, a size with a fraction.
        written = writer.addPage(pdfImageFromRaster(rasterForColorFormat(samplePage(101, 80, 150), kColor24Bit)), &error) &&
                  writer.commit(QString(), &error);
    }
    std::setlocale(LC_NUMERIC, oldNumeric.c_str());
    if (oldPath.isNull()) qunsetenv("LOCPATH");
    else qputenv("LOCPATH", oldPath);
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma can be made here";

    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_TRUE(qpdfCheckPasses(path));
    EXPECT_FALSE(readAll(path).contains("48,48"));
    EXPECT_EQ(pdfPageSizes(path), QStringList{"48.48 x 38.4 pts"});
}

class ImageBoxMultipage : public testing::Test {
    // Decodes on the test's own thread on purpose: what is tested is the call itself.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    TempFolder dir;
    ImageDocument doc;
};

TEST_F(ImageBoxMultipage, AJpegGoesIntoAPdfAsItIsOnlyWhileItsPixelsAreUnchanged)
{
    const QString jpg = dir.write("photo.jpg", jpegBytes(picture(90, 60)));
    const QString grey = dir.write("grey.jpg", jpegBytes(picture(50, 40, QImage::Format_Grayscale8)));
    doc.setColorFormat(0);
    doc.LoadFromFile(jpg);
    doc.AddPdfPage(1);             // the file itself
    doc.setPicture(doc.Picture()); // the same pixels, but set anew
    doc.AddPdfPage(2);
    doc.LoadFromFile(jpg);
    doc.LoadFromVariant(7, doc.SaveToVariant(7));
    doc.AddPdfPage(3);
    doc.LoadFromFile(jpg);
    doc.setColorFormat(2); // grey: a colour JPEG must be converted...
    doc.AddPdfPage(4);
    doc.LoadFromFile(grey); // ... a grey one need not
    doc.AddPdfPage(5);
    doc.setColorFormat(5);
    doc.AddPdfPage(6);
    const QString pdf = dir.file("out.pdf");
    doc.SavePdf(pdf);
    EXPECT_EQ(pdfEncodings(pdf),
              QStringList({"jpeg rgb 8", "image rgb 8", "image rgb 8", "image gray 8", "jpeg gray 8", "ccitt gray 1"}));
    // 90 pixels at 300 dpi are 21.6 points, whichever way the page was coded.
    EXPECT_TRUE(pageSizes(pdf).startsWith("21.6 x 14.4 pts | 21.6 x 14.4 pts")) << pageSizes(pdf).toStdString();

    // Added undecoded, a JPEG file gives the same page; files that do not qualify are left to loading.
    NewPdfWriter direct;
    PageFormat format{0, 0};
    ASSERT_TRUE(direct.addJpegFile(jpg, format));
    direct.save(dir.file("direct.pdf"));
    EXPECT_EQ(pdfEncodings(dir.file("direct.pdf")), QStringList{"jpeg rgb 8"});
    EXPECT_EQ(pageSizes(dir.file("direct.pdf")), "21.6 x 14.4 pts");
    EXPECT_FALSE(direct.addJpegFile(dir.write("cut.jpg", readAll(jpg).chopped(40)), format));
    EXPECT_FALSE(direct.addJpegFile(dir.write("fake.jpg", "\x89PNG\r\n"), format));
    format.colorFormat = 1;
    EXPECT_FALSE(direct.addJpegFile(jpg, format));
    format.colorFormat = 2; // grey pages: a grey JPEG qualifies, a colour one does not
    EXPECT_FALSE(direct.addJpegFile(jpg, format));
    ASSERT_TRUE(direct.addJpegFile(grey, format));
    direct.save(dir.file("grey.pdf"));
    EXPECT_EQ(pdfEncodings(dir.file("grey.pdf")), QStringList{"jpeg gray 8"});
    EXPECT_EQ(test::imageBoxErrorOf([&] { direct.save(dir.file("none.pdf")); }), 481) << "no page was added";
    EXPECT_FALSE(QFile::exists(dir.file("none.pdf")));
}

TEST_F(ImageBoxMultipage, ANamedNewDocumentIsWrittenOnceBesideItsTarget)
{
    const QString jpg = dir.write("photo.jpg", jpegBytes(picture(90, 60)));
    const QString pdf = dir.file("out.pdf");
    auto spools = [] { return QDir(userTempDir()).entryList({"multipage-*"}, QDir::Dirs); };
    const QStringList spoolsBefore = spools();
    doc.setColorFormat(-1);
    NewPdfWriter writer(pdf);
    ASSERT_TRUE(writer.addJpegFile(jpg, PageFormat{}));
    doc.setPicture(picture(70, 50));
    writer.addPage(doc.pageImage());
    // The pages are already in the hidden file beside the target; no work folder holds them.
    EXPECT_EQ(spools(), spoolsBefore);
    const QStringList hidden = QDir(dir.path()).entryList({".tavrel-folio-*"}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(hidden.size(), 1);
    EXPECT_GT(QFileInfo(dir.file(hidden[0])).size(), QFileInfo(jpg).size());
    writer.save(pdf);
    EXPECT_EQ(filesIn(dir.path()), QStringList({"out.pdf", "photo.jpg"}));
    EXPECT_TRUE(qpdfCheckPasses(pdf));
    EXPECT_EQ(pdfEncodings(pdf), QStringList({"jpeg rgb 8", "image rgb 8"}));

    // A TIFF that may pass 4 GiB starts as BigTIFF; abandoned, it leaves nothing.
    const QString tif = dir.file("big.tif");
    NewTiffWriter big(tif, kClassicTiffMaxBytes + 1);
    big.addPage(doc.pageImage());
    big.save(tif);
    EXPECT_EQ(readAll(tif).mid(0, 4), QByteArray("II+\0", 4));
    NewTiffWriter dropped(dir.file("dropped.tif"), 0);
    dropped.addPage(doc.pageImage());
    dropped.abandon();
    EXPECT_EQ(filesIn(dir.path()), QStringList({"big.tif", "out.pdf", "photo.jpg"}));
}

TEST_F(ImageBoxMultipage, PagesKeepTheirDepthAndEveryPixelWhereTheFormatAllows)
{
    // 1-bit pictures with either palette order and an odd width, grey ones stored two ways.
    const QImage mono = picture(37, 21).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage flipped = mono;
    flipped.invertPixels();
    flipped.setColorTable({mono.colorTable()[1], mono.colorTable()[0]});
    const QImage grey = picture(37, 21, QImage::Format_Grayscale8);
    const QImage indexed = grey.convertToFormat(QImage::Format_Indexed8);
    struct Case { QImage image; int16_t format; int16_t compression; };
    const Case cases[] = {{mono, 6, 2}, {flipped, 5, 2},  {mono, -1, 0},
                          {grey, 2, 1}, {indexed, -1, 1}, {picture(37, 21), -1, 0}};
    EXPECT_EQ(doc.ColorFormat(), -1) << "until set, each image keeps its own depth";
    for (const Case& c : cases) {
        doc.setPicture(c.image);
        doc.setColorFormat(c.format);
        doc.setTiffCompression(c.compression);
        doc.AddTiffPage(1);
    }
    doc.setTiffCompression(2); // Group 4 makes a colour page black and white
    doc.AddTiffPage(7);
    const QString tif = dir.file("exact.tif");
    doc.SaveTiff(tif);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(tiffPage(tif, i).convertToFormat(QImage::Format_RGB32),
                  cases[i].image.convertToFormat(QImage::Format_RGB32))
            << "page " << i + 1;
    EXPECT_EQ(test::tiffTagValues(tif, 258 /*BitsPerSample*/), QStringList({"1", "1", "1", "8", "8", "8 8 8", "1"}));
    EXPECT_EQ(test::tiffTagValues(tif, 259 /*Compression*/), QStringList({"4", "4", "1", "32773", "32773", "1", "4"}));
    EXPECT_EQ(test::tiffTagValues(tif, 282 /*XResolution*/).value(6), "300");
    // The document was handed over and its work folder removed.
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.SaveTiff(dir.file("again.tif")); }), 481);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"exact.tif"});
    EXPECT_TRUE(QDir(userTempDir()).entryList({"multipage-*"}, QDir::Dirs | QDir::Hidden).isEmpty());

    // A one-page size is what SaveTiff writes; out-of-range settings are refused.
    doc.setColorFormat(3);
    doc.setTiffCompression(1);
    doc.AddTiffPage(1);
    doc.SaveTiff(dir.file("one.tif"));
    EXPECT_EQ(doc.EncodedSize(7), QFileInfo(dir.file("one.tif")).size());
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.setColorFormat(7); }), 380);
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.EncodedSize(9); }), 5);
    doc.Clear();
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.AddTiffPage(1); }), 481);
}

TEST_F(ImageBoxMultipage, EveryCompressionAndColourFormatWritesItsDepth)
{
    struct Depth { int bits, samples, photometric; };
    // Colour formats 0 to 6: 24 bit, 256 colours, 256 greys, 16 colours, 16 greys, Mono, Mono BW.
    const Depth depths[] = {{8, 3, 2}, {8, 1, 3}, {8, 1, 1}, {4, 1, 3}, {4, 1, 1}, {1, 1, 0}, {1, 1, 0}};
    const int codes[] = {1, 32773, 4}; // none, PackBits, CCITT Group 4
    doc.setPicture(picture(101, 80));
    for (int16_t compression = 0; compression < 3; ++compression) {
        for (int16_t format = 0; format < 7; ++format) {
            doc.setTiffCompression(compression);
            doc.setColorFormat(format);
            doc.AddTiffPage(1);
        }
    }
    const QString tif = dir.file("all.tif");
    doc.SaveTiff(tif);
    const std::vector<test::TiffDirectory> dirs = test::tiffDirectories(tif);
    ASSERT_EQ(dirs.size(), 21u);
    for (int i = 0; i < 21; ++i) {
        const int compression = i / 7, format = i % 7;
        SCOPED_TRACE(testing::Message() << "compression " << compression << ", colour format " << format);
        // Group 4 codes black and white only: every format but the dithered one becomes Mono BW.
        const Depth d = depths[compression == 2 && format != 5 ? 6 : format];
        EXPECT_EQ(dirs[i].value(259), codes[compression]);
        EXPECT_EQ(dirs[i].value(258), d.bits);
        EXPECT_EQ(dirs[i].value(277), d.samples);
        EXPECT_EQ(dirs[i].value(262), d.photometric);
        EXPECT_EQ(dirs[i].value(282), 300) << "the picture's resolution";
    }
}

TEST_F(ImageBoxMultipage, AppendingInPlaceOrIntoASecondFile)
{
    doc.setPicture(picture(40, 30));
    doc.AddTiffPage(1);
    const QString a = dir.file("a.tif");
    doc.SaveTiff(a);
    const QByteArray original = readAll(a);

    // Into a second file: the first stays as it was.
    doc.setPicture(picture(41, 30));
    doc.SetExifAttribute("Software", "Tavrel Folio");
    const QString b = dir.file("b.tif");
    doc.AppendToTiff(a, b, 1);
    EXPECT_EQ(readAll(a), original);
    EXPECT_EQ(test::tiffTagValues(b, 256 /*ImageWidth*/), QStringList({"41", "40"}));
    EXPECT_EQ(test::tiffTagValues(b, 305 /*Software*/), QStringList({"Tavrel Folio\\0"}));

    // In place; the metadata went with the image it was set for.
    doc.setPicture(picture(42, 30));
    doc.AppendToTiff(b, "", 0);
    EXPECT_EQ(test::tiffTagValues(b, 256 /*ImageWidth*/), QStringList({"41", "40", "42"}));
    EXPECT_EQ(test::tiffTagValues(b, 305 /*Software*/).size(), 1);

    // Files that are missing or of another kind are refused, and nothing is written.
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.AppendToPdf(dir.file("missing.pdf"), "", 0); }), 53);
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.AppendToPdf(a, dir.file("c.pdf"), 0); }), 321);
    EXPECT_EQ(test::imageBoxErrorOf([&] { doc.AppendToTiff(dir.write("d.tif", "II*"), "", 0); }), 321);
    EXPECT_EQ(filesIn(dir.path()), QStringList({"a.tif", "b.tif", "d.tif"}));
}

TEST(TiffSizeLimit, DocumentsThatMayPassFourGiBAreKnownBeforeWriting)
{
    // A4 at 300 dpi; PackBits may grow each row by one byte in 128, taking 163 pages past 4 GiB.
    const struct { int pages, bits, compression; bool big; } cases[] = {
        {150, 24, kTiffNone, false}, {165, 24, kTiffNone, true},    {163, 24, kTiffNone, false},
        {163, 24, kTiffPackBits, true}, {490, 8, kTiffNone, false},  {500, 8, kTiffNone, true},
        {500, 1, kTiffGroup4, false}, {3000, 1, kTiffPackBits, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 pages, %2 bit, compression %3").arg(c.pages).arg(c.bits).arg(c.compression).toStdString());
        EXPECT_EQ(c.pages * tiffPageBytesAtMost(2480, 3508, c.bits, c.compression) > kClassicTiffMaxBytes, c.big);
    }
    EXPECT_EQ(tiffPageBytesAtMost(0, 3508, 24, kTiffNone), 0);

    // The depth a page is written in, from the settings and the picture.
    EXPECT_EQ(tiffBitsPerPixel(-1, kTiffNone, 1, true), 1);
    EXPECT_EQ(tiffBitsPerPixel(-1, kTiffNone, 8, true), 8);
    EXPECT_EQ(tiffBitsPerPixel(-1, kTiffNone, 8, false), 24) << "a palette picture keeps its colours";
    EXPECT_EQ(tiffBitsPerPixel(kGray256, kTiffGroup4, 24, false), 1) << "Group 4 is black and white";
    EXPECT_EQ(tiffBitsPerPixel(kColor16, kTiffPackBits, 24, false), 4);
}

TEST_F(ImageBoxMultipage, ALargeDocumentIsABigTiffThatTakesPagesAnywhere)
{
    const QString small = dir.file("small.tif"), big = dir.file("big.tif");
    for (const QString& path : {small, big}) {
        NewTiffWriter writer({}, path == big ? kClassicTiffMaxBytes + 1 : kClassicTiffMaxBytes);
        for (int w : {40, 41}) {
            doc.setPicture(picture(w, 30));
            writer.addPage(doc.pageImage());
        }
        writer.save(path);
    }
    // The version in the header: 42 classic, 43 BigTIFF.
    EXPECT_EQ(readAll(small).mid(2, 2), QByteArray("\x2a\0", 2));
    EXPECT_EQ(readAll(big).mid(2, 2), QByteArray("\x2b\0", 2));
    EXPECT_EQ(tiffPageCount(big), 2);

    // Pages go first and last in a BigTIFF as in a classic one.
    doc.setPicture(picture(42, 30));
    doc.AppendToTiff(big, "", 1);
    doc.setPicture(picture(43, 30));
    doc.AppendToTiff(big, "", 0);
    EXPECT_EQ(test::tiffinfoValues(big, "Image Width").join(' ').remove(QRegularExpression(" Image Length: \\d+")),
              "42 40 41 43");
    EXPECT_EQ(readAll(big).mid(2, 2), QByteArray("\x2b\0", 2));
    EXPECT_FALSE(isClassicTiff(big));
    EXPECT_TRUE(isClassicTiff(small));
}

TEST_F(ImageBoxMultipage, PdfPagesOfOneDocumentAreGatheredAndWrittenOnce)
{
    for (int w : {10, 11}) {
        doc.setPicture(picture(w, 10));
        doc.AddPdfPage(1);
    }
    const QString pdf = dir.file("doc.pdf");
    doc.SavePdf(pdf);
    const QByteArray before = readAll(pdf);

    // First, first again (ahead of the one before), last.
    const std::pair<int, int> appends[] = {{20, 1}, {21, 1}, {22, 0}};
    for (auto [w, position] : appends) {
        doc.setPicture(picture(w, 10));
        doc.AppendToPdf(pdf, "", position);
    }
    EXPECT_EQ(readAll(pdf), before) << "nothing is written while pages are gathered";
    doc.ResetMultipage();
    EXPECT_TRUE(test::qpdfCheckPasses(pdf));
    EXPECT_EQ(test::widthsOf(test::pdfImages(pdf)), QList<int>({21, 20, 10, 11, 22}));

    // Another target flushes what was gathered; a new file gets the document's and gathered pages.
    const QString copy = dir.file("copy.pdf");
    doc.setPicture(picture(30, 10));
    doc.AppendToPdf(pdf, copy, 0);
    doc.setPicture(picture(31, 10));
    doc.AppendToPdf(pdf, "", 0);
    EXPECT_EQ(test::pdfPages(copy), 6);
    doc.AbandonMultipage();
    EXPECT_EQ(test::pdfPages(pdf), 5) << "abandoned pages are never written";
    EXPECT_EQ(filesIn(dir.path()), QStringList({"copy.pdf", "doc.pdf"}));
}

TEST(PdfAppend, AJpegPageIsSizedByItsJfifOrElseItsExifResolution)
{
    tf::BlockingCallsAllowed readsHere; // the pages are read back on the test's thread
    const struct {
        const char* what;
        int units, x, y;
        QByteArray exif;
        bool stated;
        double dpiX, dpiY;
    } cases[] = {
        {"JFIF in dpi", 1, 300, 150, {}, true, 300, 150},
        {"JFIF in dots per cm", 2, 100, 100, {}, true, 254, 254},
        {"JFIF wins over EXIF", 1, 200, 200, exifWith(600, 600, 2), true, 200, 200},
        {"EXIF when JFIF has an aspect ratio only", 0, 1, 1, exifWith(300, 300, 2), true, 300, 300},
        {"EXIF in cm", 0, 1, 1, exifWith(40, 40, 3), true, 101.6, 101.6},
        {"EXIF without a unit of length", 0, 1, 1, exifWith(300, 300, 1), false, 0, 0},
        {"nothing", 0, 1, 1, {}, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double x = 0, y = 0;
        EXPECT_EQ(jpegResolution(jpegWith(c.units, c.x, c.y, c.exif), &x, &y), c.stated);
        if (c.stated) {
            EXPECT_NEAR(x, c.dpiX, 0.01);
            EXPECT_NEAR(y, c.dpiY, 0.01);
        }
    }

    // 16 x 8 pixels at 300 dpi (EXIF only) is 3.84 x 1.92 pt; with none, a pixel is a point.
    TempFolder dir;
    const QByteArray exifOnly = jpegWith(0, 1, 1, exifWith(300, 300, 2));
    const QString a = dir.write("exif.jpg", exifOnly), b = dir.write("none.jpg", jpegWith(0, 1, 1, {}));
    ImageDocument doc;
    NewPdfWriter writer;
    ASSERT_TRUE(writer.addJpegFile(a, PageFormat{}));
    ASSERT_TRUE(writer.addJpegFile(b, PageFormat{}));
    // Decoded pages too; a TIFF stating no resolution (the library says 300) takes the default.
    const QString tiff = dir.file("none.tif");
    ASSERT_TRUE(test::writeRgbTiff(tiff, {picture(16, 8)}));
    doc.setColorFormat(kColor256);
    for (const QString& file : {a, tiff}) {
        doc.LoadFromFile(file);
        ASSERT_FALSE(doc.LoadFailed());
        writer.addPage(doc.pageImage());
    }
    writer.save(dir.file("out.pdf"));
    EXPECT_EQ(test::pdfPageSizes(dir.file("out.pdf")),
              QStringList({"3.84 x 1.92 pts", "16 x 8 pts", "3.84 x 1.92 pts", "16 x 8 pts"}));
}

TEST(WorkFiles, ThoseOfADeadRunAreRemovedAndThoseOfALiveOneKept)
{
    TempFolder dir;
    QString mine, theirs;
    ::close(createWorkFile(dir.path(), QString(), 0600, &mine));
    const QString folder = userTempDir() + QStringLiteral("/multipage-dead01");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString document = dir.write("doc.pdf", "the user's document");

    // A run that records its work files and is killed before it can remove them.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QString made;
        ::close(createWorkFile(dir.path(), QStringLiteral("pdf"), 0600, &made));
        recordWorkFile(folder);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QFileInfo(mine).fileName(), "doc.pdf"}))
        << "this run is alive";
    EXPECT_FALSE(QFile::exists(folder));
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0) << "the dead run's journal went with its files";
    QFile::remove(mine);
}

TEST(PdfPages, AFileStatingNoResolutionMakesAPointAPixelWhateverItsType)
{
    tf::BlockingCallsAllowed readsHere; // the pages are read back on the test's thread
    const auto encoded = [](const char* format, int dpi) {
        QImage image = picture(16, 8);
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, format).write(image);
        return bytes;
    };
    QByteArray pngBare = encoded("png", 150);
    pngBare.remove(pngBare.indexOf("pHYs") - 4, 21);
    QByteArray bmpBare = encoded("bmp", 150);
    bmpBare.replace(38, 8, QByteArray(8, '\0'));
    // A flat 8-bit grey PSD with no resources at all.
    QByteArray greyPsd;
    {
        QDataStream s(&greyPsd, QIODevice::WriteOnly);
        s.writeRawData("8BPS", 4);
        s << quint16(1) << quint32(0) << quint16(0) << quint16(1) << quint32(8) << quint32(16) << quint16(8) << quint16(1);
        s << quint32(0) << quint32(0) << quint32(0) << quint16(0);
        s.writeRawData(QByteArray(16 * 8, '\x80').constData(), 16 * 8);
    }
    const struct {
        const char* name;
        QByteArray bytes;
        const char* size;
    } cases[] = {
        {"stated.png", encoded("png", 150), "7.68 x 3.84 pts"},
        {"bare.png", pngBare, "16 x 8 pts"},
        {"stated.bmp", encoded("bmp", 150), "7.68 x 3.84 pts"},
        {"bare.bmp", bmpBare, "16 x 8 pts"},
        {"bare.ppm", encoded("ppm", 150), "16 x 8 pts"},
        {"bare.xbm", encoded("xbm", 150), "16 x 8 pts"},
        {"bare.psd", greyPsd, "16 x 8 pts"},
    };
    TempFolder dir;
    ImageDocument doc;
    doc.setColorFormat(kColor24Bit);
    QStringList expected;
    for (const auto& c : cases) {
        doc.LoadFromFile(dir.write(c.name, c.bytes));
        ASSERT_FALSE(doc.LoadFailed()) << c.name;
        doc.AddPdfPage(1);
        expected << c.size;
    }
    doc.SavePdf(dir.file("out.pdf"));
    EXPECT_EQ(test::pdfPageSizes(dir.file("out.pdf")), expected);
}

// PackBits is coded row by row here; libtiff, reading it back, must find every row's bytes.
TEST(TiffWriting, PackBitsRowsReadBackExactlyWhateverTheirRuns)
{
    // Rows of 300 bytes: one long run (past a run's 128), literals past a literal's 128, pairs
    // (too short for a run), a run ending the row, a run of exactly three, a pattern mixing all.
    std::vector<QByteArray> rows(6, QByteArray(300, '\0'));
    for (int x = 0; x < 300; ++x) {
        rows[1][x] = char(x * 7 + 1);
        rows[2][x] = char(x / 2);
        rows[3][x] = char(x < 290 ? x % 251 : 9);
        rows[4][x] = char(x >= 100 && x < 103 ? 5 : x % 200);
        rows[5][x] = char((x / 37) % 2 ? 42 : x * 13 % 255);
    }
    PageRaster gray;
    gray.kind = PageRaster::Gray;
    gray.width = 300;
    gray.height = int(rows.size());
    for (const QByteArray& row : rows) gray.rows += row;
    PageRaster narrow; // one byte a row
    narrow.kind = PageRaster::Gray;
    narrow.width = 1;
    narrow.height = 3;
    narrow.rows = QByteArray("\x01\x01\x02", 3);
    const PageRaster rgb = rasterForColorFormat(samplePage(33, 9), kColor24Bit);

    TempFolder dir;
    for (const PageRaster* page : std::initializer_list<const PageRaster*>{&gray, &narrow, &rgb}) {
        const QString path = dir.file("packed.tif");
        QFile::remove(path);
        TiffDocumentWriter writer(path);
        QString error;
        ASSERT_TRUE(writer.addPage(*page, kTiffPackBits, QString(), &error) && writer.commit(&error)) << error.toStdString();
        EXPECT_EQ(tiffinfoValues(path, "Compression Scheme"), QStringList{"PackBits"});
        TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
        ASSERT_TRUE(tif);
        QByteArray back(page->bytesPerRow(), '\0');
        for (int y = 0; y < page->height; ++y) {
            ASSERT_EQ(TIFFReadScanline(tif, back.data(), uint32_t(y)), 1) << y;
            EXPECT_EQ(back, page->rows.mid(qsizetype(y) * page->bytesPerRow(), page->bytesPerRow())) << "row " << y;
        }
        TIFFClose(tif);
    }
}

// A page written into a work file another process made: the same page as the document writers
// write, and never into anything but the empty file made for it.
TEST(TiffWriting, APageWrittenIntoAWorkFileIsTheDocumentWritersPage)
{
    TempFolder dir;
    QImage alpha = samplePage(33, 9).convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(3, 3, qRgba(0, 0, 0, 0));
    const struct {
        const char* what;
        QImage picture;
        int colorFormat;
        int compression;
    } cases[] = {
        {"opaque colour, PackBits", samplePage(33, 9), kColor24Bit, kTiffPackBits},
        {"opaque colour, none", samplePage(33, 9), kColor24Bit, kTiffNone},
        {"24-bit rows", samplePage(33, 9).convertToFormat(QImage::Format_RGB888), kColor24Bit, kTiffPackBits},
        {"transparency", alpha, kColor24Bit, kTiffPackBits},
        {"grey", samplePage(33, 9), kGray256, kTiffPackBits},
        {"Group 4", samplePage(600, 400), kColor24Bit, kTiffGroup4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageDocument doc;
        doc.setBitmapHandle(c.picture);
        doc.setColorFormat(int16_t(c.colorFormat));
        doc.setTiffCompression(int16_t(c.compression));
        const QString expected = dir.file("expected.tif");
        QFile::remove(expected);
        const QString work = dir.write("work.tif", "");
        TiffDocumentWriter writer(expected);
        QString error;
        ASSERT_TRUE(writer.addPage(tiffPageRaster(doc.pageImage()), c.compression, QString(), &error) && writer.commit(&error));
        ASSERT_TRUE(doc.WriteTiffPageInto(work, &error)) << error.toStdString();
        EXPECT_FALSE(doc.HasImage());
        EXPECT_EQ(tiffinfoValues(work, "Compression Scheme"), tiffinfoValues(expected, "Compression Scheme"));
        EXPECT_EQ(tiffinfoValues(work, "Bits/Sample"), tiffinfoValues(expected, "Bits/Sample"));
        EXPECT_EQ(loadPage(work, 1), loadPage(expected, 1));
        EXPECT_EQ(readAll(work), readAll(expected)) << "the same bytes: one page, its tags, its strips";
    }
    // Only the empty file made for the page takes it: not a file with content, not a link.
    const PageRaster page = rasterForColorFormat(samplePage(), kColor24Bit);
    const QString full = dir.write("full.tif", "someone's bytes");
    const QString link = dir.file("link.tif");
    const QString target = dir.write("target.tif", "");
    ASSERT_TRUE(QFile::link(target, link));
    for (const QString& path : {full, link, dir.file("missing.tif")}) {
        QString error;
        EXPECT_FALSE(writeTiffPageInto(path, page, kTiffPackBits, &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(readAll(full), QByteArray("someone's bytes"));
    EXPECT_EQ(QFileInfo(target).size(), 0);
}
