// The image control's multipage members: what each writes, when a JPEG goes into a PDF as it is,
// and what is left behind by a failure.
#include "support/imagebox_testutil.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/sys/userdirs.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <functional>

using namespace tf;
using tf::test::readAll;
using tf::test::runTool;
using tf::test::TempFolder;

namespace {

QImage picture(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h, QColor(200, 60, 20));
    p.fillRect(w / 2, h / 3, w / 4, h / 3, Qt::black);
    p.end();
    img.setDotsPerMeterX(11811); // 300 dpi
    img.setDotsPerMeterY(11811);
    return img.convertToFormat(format);
}

QString writeJpeg(const QString& path, const QImage& img)
{
    QImageWriter w(path, "jpg");
    EXPECT_TRUE(w.write(img));
    return path;
}

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


} // namespace

TEST(ImageBoxMultipage, AJpegGoesIntoAPdfAsItIsOnlyWhileItsPixelsAreUnchanged)
{
    TempFolder dir;
    const QString jpg = writeJpeg(dir.file("photo.jpg"), picture(90, 60));
    const QString grey = writeJpeg(dir.file("grey.jpg"), picture(50, 40, QImage::Format_Grayscale8));
    ImageDocument doc;
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
    ImageDocument direct;
    direct.setColorFormat(0);
    ASSERT_TRUE(direct.AddPdfPageFromJpegFile(jpg));
    EXPECT_FALSE(direct.HasImage());
    direct.SavePdf(dir.file("direct.pdf"));
    EXPECT_EQ(pdfEncodings(dir.file("direct.pdf")), QStringList{"jpeg rgb 8"});
    EXPECT_EQ(pageSizes(dir.file("direct.pdf")), "21.6 x 14.4 pts");
    const QByteArray whole = readAll(jpg);
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(dir.write("cut.jpg", whole.left(whole.size() - 40))));
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(dir.write("fake.jpg", "\x89PNG\r\n")));
    direct.setColorFormat(1);
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(jpg));
    direct.setColorFormat(2); // grey pages: a grey JPEG qualifies, a colour one does not
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(jpg));
    ASSERT_TRUE(direct.AddPdfPageFromJpegFile(grey));
    direct.SavePdf(dir.file("grey.pdf"));
    EXPECT_EQ(pdfEncodings(dir.file("grey.pdf")), QStringList{"jpeg gray 8"});
    EXPECT_EQ(test::imageBoxErrorOf([&] { direct.SavePdf(dir.file("none.pdf")); }), 481) << "no page was added";
    EXPECT_FALSE(QFile::exists(dir.file("none.pdf")));
}

TEST(ImageBoxMultipage, PagesKeepTheirDepthAndEveryPixelWhereTheFormatAllows)
{
    TempFolder dir;
    // 1-bit pictures with either palette order and an odd width, grey ones stored two ways.
    const QImage mono = picture(37, 21).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage flipped = mono;
    flipped.invertPixels();
    flipped.setColorTable({mono.colorTable()[1], mono.colorTable()[0]});
    const QImage grey = picture(37, 21, QImage::Format_Grayscale8);
    const QImage indexed = grey.convertToFormat(QImage::Format_Indexed8);
    struct Case {
        QImage image;
        int16_t format;
        int16_t compression;
    };
    const Case cases[] = {{mono, 6, 2}, {flipped, 5, 2},  {mono, -1, 0},
                          {grey, 2, 1}, {indexed, -1, 1}, {picture(37, 21), -1, 0}};
    ImageDocument doc;
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
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"exact.tif"});
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

TEST(ImageBoxMultipage, EveryCompressionAndColourFormatWritesItsDepth)
{
    struct Depth {
        int bits, samples, photometric;
    };
    // Colour formats 0 to 6: 24 bit, 256 colours, 256 greys, 16 colours, 16 greys, Mono, Mono BW.
    const Depth depths[] = {{8, 3, 2}, {8, 1, 3}, {8, 1, 1}, {4, 1, 3}, {4, 1, 1}, {1, 1, 0}, {1, 1, 0}};
    const int codes[] = {1, 32773, 4}; // none, PackBits, CCITT Group 4
    TempFolder dir;
    ImageDocument doc;
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

TEST(ImageBoxMultipage, AppendingInPlaceOrIntoASecondFile)
{
    TempFolder dir;
    ImageDocument doc;
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
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.tif", "b.tif", "d.tif"}));
}
