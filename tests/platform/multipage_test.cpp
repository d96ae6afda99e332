#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

using namespace tf;
using namespace tf::test;
using tf::test::readAll;
using tf::test::runTool;
using tf::test::TempFolder;

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

QByteArray jpegBytes(const QImage& img, int quality = 85)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QImageWriter writer(&buf, "jpg");
    writer.setQuality(quality);
    writer.write(img);
    return bytes;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
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
    EXPECT_EQ(QColor(tf::test::loadPage(fresh, 1).pixel(2, 2)), QColor(200, 40, 40));
}

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
    ASSERT_TRUE(insertTiffPage(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(0, 0, 255)), kColor24Bit), kTiffPackBits,
                               "Tavrel Folio", 1, &error)) << error.toStdString();
    ASSERT_TRUE(insertTiffPage(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(255, 255, 0)), kColor24Bit), kTiffNone,
                               "Tavrel Folio", 2, &error)) << error.toStdString();
    ASSERT_TRUE(insertTiffPage(path, rasterForColorFormat(samplePage(40, 30, 100, QColor(0, 0, 0)), kMonoThreshold), kTiffGroup4,
                               "Tavrel Folio", 0, &error)) << error.toStdString();

    // Order: blue, yellow (inserted at 1 and 2), the old red and green, then black at the end.
    const QColor expected[] = {QColor(0, 0, 255), QColor(255, 255, 0), QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 0)};
    ASSERT_EQ(tiffPageCount(path), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(QColor(tf::test::loadPage(path, i + 1).pixel(1, 1)), expected[i]) << "page " << i + 1;

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
    EXPECT_FALSE(insertTiffPage(notTiff, rasterForColorFormat(samplePage(), kColor24Bit), kTiffNone, QString(), 1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(notTiff), QByteArray("this is not a tiff"));
    EXPECT_FALSE(insertTiffPage(dir.file("missing.tif"), rasterForColorFormat(samplePage(), kColor24Bit), kTiffNone, QString(), 0, &error));
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
    QStringList encodings;
    for (const PdfImage& r : pdfImages(path)) {
        encodings << r.enc + ' ' + r.color + ' ' + QString::number(r.bpc);
        EXPECT_EQ(QSize(r.width, r.height), QSize(200, 100));
    }
    EXPECT_EQ(encodings, QStringList({"jpeg rgb 8", "ccitt gray 1", "image index 8", "image gray 4"}));

    // The JPEG went in byte for byte; 200 x 100 pixels at 200 dpi is a 72 x 36 point page.
    const QString extracted = dir.file("img");
    runTool("pdfimages", {"-f", "1", "-l", "1", "-all", path, extracted});
    EXPECT_EQ(readAll(extracted + "-000.jpg"), jpeg);
    EXPECT_TRUE(runTool("pdfinfo", {path}).contains(QRegularExpression("Page size:\\s+72 x 36 pts")));
    EXPECT_TRUE(runTool("pdfinfo", {path}).contains("Tavrel Folio"));

    // The Group 4 page decodes to the same black and white pixels as the threshold raster.
    runTool("pdfimages", {"-f", "2", "-l", "2", "-png", path, dir.file("p2")});
    const QImage rendered = tf::test::loadPage(dir.file("p2-000.png"));
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
    ASSERT_TRUE(insertPdfPage(path, pdfImageFromRaster(rasterForColorFormat(samplePage(30, 10), kColor24Bit)), 1, &error)) << error.toStdString();
    ASSERT_TRUE(insertPdfPage(path, pdfImageFromRaster(rasterForColorFormat(samplePage(40, 10), kColor24Bit)), 2, &error));
    ASSERT_TRUE(insertPdfPage(path, pdfImageFromRaster(rasterForColorFormat(samplePage(50, 10), kColor24Bit)), 0, &error));
    EXPECT_TRUE(qpdfCheckPasses(path));
    EXPECT_EQ(pdfPageCount(path), 5);
    const auto rows = pdfImages(path);
    ASSERT_EQ(rows.size(), 5u);
    const int widths[] = {30, 40, 10, 20, 50};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rows[static_cast<size_t>(i)].width, widths[i]) << "page " << i + 1;

    const QString broken = dir.write("broken.pdf", "%PDF-1.4\nnothing useful here");
    const QByteArray brokenBefore = readAll(broken);
    EXPECT_FALSE(insertPdfPage(broken, pdfImageFromRaster(rasterForColorFormat(samplePage(), kColor24Bit)), 0, &error));
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
    EXPECT_TRUE(runTool("pdfinfo", {path}).contains(QRegularExpression("Page size:\\s+48.48 x 38.4 pts")))
        << runTool("pdfinfo", {path}).toStdString();
}
