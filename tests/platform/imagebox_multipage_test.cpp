// The image control's multipage members: what each writes, when a JPEG goes into a PDF as it is,
// and what is left behind by a failure.
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/sys/userdirs.h"
#include "support/testenv.h"

#include <QBuffer>
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

// pdfimages -list: "enc color bpc" per image, and the page sizes pdfinfo reports.
QStringList pdfEncodings(const QString& path)
{
    QStringList rows;
    const QStringList lines = runTool("pdfimages", {"-list", path}).split('\n');
    for (int i = 2; i < lines.size(); ++i) {
        const QStringList f = lines[i].simplified().split(' ');
        if (f.size() >= 10) rows << f[8] + ' ' + f[5] + ' ' + f[7];
    }
    return rows;
}
QString pageSizes(const QString& path)
{
    QStringList sizes;
    const QString info = runTool("pdfinfo", {"-f", "1", "-l", "99", path});
    for (auto it = QRegularExpression("size:\\s+([^\\n]*)").globalMatch(info); it.hasNext();) sizes << it.next().captured(1);
    return sizes.join(" | ");
}
QStringList tiffValues(const QString& path, const QString& tag)
{
    QStringList out;
    const QRegularExpression re(QRegularExpression::escape(tag) + " \\(\\d+\\) \\S+ \\(\\d+\\) \\d+<([^>]*)>");
    for (auto it = re.globalMatch(runTool("tiffdump", {path})); it.hasNext();) out << it.next().captured(1);
    return out;
}

int errorNumberOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ImageBoxError& e) {
        return e.number();
    }
    return 0;
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
    doc.AddPdfPage(1);                                   // the file itself
    doc.setPicture(doc.Picture());                       // the same pixels, but set anew
    doc.AddPdfPage(2);
    doc.LoadFromFile(jpg);
    doc.LoadFromVariant(7, doc.SaveToVariant(7));
    doc.AddPdfPage(3);
    doc.LoadFromFile(jpg);
    doc.setColorFormat(2);                               // grey: a colour JPEG must be converted
    doc.AddPdfPage(4);
    doc.LoadFromFile(grey);                              // ... a grey one need not
    doc.AddPdfPage(5);
    doc.setColorFormat(5);
    doc.AddPdfPage(6);
    const QString pdf = dir.file("out.pdf");
    doc.SavePdf(pdf);
    EXPECT_EQ(pdfEncodings(pdf), QStringList({"jpeg rgb 8", "image rgb 8", "image rgb 8", "image gray 8", "jpeg gray 8",
                                              "ccitt gray 1"}));
    // 90 pixels at 300 dpi are 21.6 points, whichever way the page was coded.
    EXPECT_TRUE(pageSizes(pdf).startsWith("21.6 x 14.4 pts | 21.6 x 14.4 pts")) << pageSizes(pdf).toStdString();
    const qint64 jpegSize = QFileInfo(jpg).size();
    doc.LoadFromFile(jpg);
    doc.setColorFormat(0);
    EXPECT_GT(doc.EncodedSize(8), jpegSize);
    EXPECT_LT(doc.EncodedSize(8), jpegSize + 2000) << "the JPEG plus a small document around it";
}

TEST(ImageBoxMultipage, JpegFilesAddedUndecodedMatchTheLoadedWay)
{
    TempFolder dir;
    const QString jpg = writeJpeg(dir.file("a.jpg"), picture(90, 60));
    ImageDocument loaded, direct;
    loaded.setColorFormat(0);
    direct.setColorFormat(0);
    loaded.LoadFromFile(jpg);
    loaded.AddPdfPage(1);
    ASSERT_TRUE(direct.AddPdfPageFromJpegFile(jpg));
    EXPECT_FALSE(direct.HasImage()) << "nothing was decoded";
    loaded.SavePdf(dir.file("loaded.pdf"));
    direct.SavePdf(dir.file("direct.pdf"));
    EXPECT_EQ(pdfEncodings(dir.file("direct.pdf")), pdfEncodings(dir.file("loaded.pdf")));
    EXPECT_EQ(pageSizes(dir.file("direct.pdf")), pageSizes(dir.file("loaded.pdf")));

    // Files the short way cannot take as they are: the caller loads them instead.
    QByteArray whole = readAll(jpg);
    const QString cut = dir.write("cut.jpg", whole.left(whole.size() - 40));
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    picture(10, 10).save(&png, "png");
    const QString fake = dir.write("fake.jpg", png.data());
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(cut));
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(fake));
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(dir.file("missing.jpg")));
    direct.setColorFormat(1);
    EXPECT_FALSE(direct.AddPdfPageFromJpegFile(jpg));
    EXPECT_EQ(errorNumberOf([&] { direct.SavePdf(dir.file("none.pdf")); }), 481) << "no page was added";
    EXPECT_FALSE(QFile::exists(dir.file("none.pdf")));
}

TEST(ImageBoxMultipage, NewTiffKeepsEachImagesDepthUntilAFormatIsChosen)
{
    TempFolder dir;
    ImageDocument doc;
    EXPECT_EQ(doc.ColorFormat(), -1);
    doc.setPicture(picture(40, 30).convertToFormat(QImage::Format_Mono));
    doc.AddTiffPage(1);
    doc.setPicture(picture(40, 30, QImage::Format_Grayscale8));
    doc.AddTiffPage(2);
    doc.setPicture(picture(40, 30));
    doc.AddTiffPage(3);
    doc.setTiffCompression(2);                           // Group 4 makes the colour page black and white
    doc.AddTiffPage(4);
    const QString tif = dir.file("depths.tif");
    doc.SaveTiff(tif);
    EXPECT_EQ(tiffValues(tif, "BitsPerSample"), QStringList({"1", "8", "8 8 8", "1"}));
    EXPECT_EQ(tiffValues(tif, "Compression"), QStringList({"1", "1", "1", "4"}));
    EXPECT_EQ(tiffValues(tif, "XResolution"), QStringList({"300", "300", "300", "300"}));
    // The document was handed over: the next save has no pages of its own.
    EXPECT_EQ(errorNumberOf([&] { doc.SaveTiff(dir.file("again.tif")); }), 481);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"depths.tif"});
    EXPECT_TRUE(QDir(userTempDir()).entryList({"multipage-*"}, QDir::Dirs | QDir::Hidden).isEmpty());

    // Its one-page size is what SaveTiff writes for it.
    doc.setPicture(picture(40, 30));
    doc.setColorFormat(3);
    doc.setTiffCompression(1);
    doc.AddTiffPage(1);
    doc.SaveTiff(dir.file("one.tif"));
    EXPECT_EQ(doc.EncodedSize(7), QFileInfo(dir.file("one.tif")).size());
    EXPECT_EQ(errorNumberOf([&] { doc.setColorFormat(7); }), 380);
    EXPECT_EQ(errorNumberOf([&] { doc.setTiffCompression(3); }), 380);
    EXPECT_EQ(errorNumberOf([&] { doc.EncodedSize(9); }), 5);
    doc.Clear();
    EXPECT_EQ(errorNumberOf([&] { doc.AddTiffPage(1); }), 481);
}

TEST(ImageBoxMultipage, AppendingInPlaceOrIntoASecondFile)
{
    TempFolder dir;
    ImageDocument doc;
    doc.setColorFormat(0);
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
    EXPECT_EQ(tiffValues(b, "ImageWidth"), QStringList({"41", "40"}));
    EXPECT_EQ(tiffValues(b, "Software"), QStringList({"Tavrel Folio\\0"}));

    // In place, and the metadata went with the image it was set for.
    doc.setPicture(picture(42, 30));
    doc.AppendToTiff(b, "", 0);
    EXPECT_EQ(tiffValues(b, "ImageWidth"), QStringList({"41", "40", "42"}));
    EXPECT_EQ(tiffValues(b, "Software").size(), 1);

    // Files that are missing or of another kind are refused, and nothing is written.
    EXPECT_EQ(errorNumberOf([&] { doc.AppendToPdf(dir.file("missing.pdf"), "", 0); }), 53);
    EXPECT_EQ(errorNumberOf([&] { doc.AppendToPdf(a, dir.file("c.pdf"), 0); }), 321);
    EXPECT_EQ(errorNumberOf([&] { doc.AppendToTiff(dir.write("d.tif", "II*"), "", 0); }), 321);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.tif", "b.tif", "d.tif"}));
}

TEST(ImageBoxMultipage, BlackAndWhiteAndGreyPagesKeepEveryPixel)
{
    TempFolder dir;
    // 1-bit pictures with either palette order, an odd width, and grey ones stored two ways.
    QImage mono = picture(37, 21).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage flipped = mono;
    flipped.invertPixels();
    flipped.setColorTable({mono.colorTable()[1], mono.colorTable()[0]});
    const QImage grey = picture(37, 21, QImage::Format_Grayscale8);
    QImage indexed = grey.convertToFormat(QImage::Format_Indexed8);
    struct Case { QImage image; int16_t format; };
    const Case cases[] = {{mono, 6}, {flipped, 5}, {mono, -1}, {grey, 2}, {indexed, 2}, {indexed, -1}};
    ImageDocument doc;
    doc.setTiffCompression(2);
    for (const Case& c : cases) {
        doc.setPicture(c.image);
        doc.setColorFormat(c.format);
        doc.setTiffCompression(c.image.format() == QImage::Format_Mono ? 2 : 1);
        doc.AddTiffPage(1);
    }
    const QString tif = dir.file("exact.tif");
    doc.SaveTiff(tif);
    for (int i = 0; i < 6; ++i) {
        const QImage back = loadWithFreeImage(tif, i).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(back, cases[i].image.convertToFormat(QImage::Format_RGB32)) << "page " << i + 1;
    }
    EXPECT_EQ(tiffValues(tif, "Compression"), QStringList({"4", "4", "4", "32773", "32773", "32773"}));
}
