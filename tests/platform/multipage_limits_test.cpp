// What the page writers decide before they write: BigTIFF for documents that may pass 4 GiB,
// a PDF append gathered into one pass, a JPEG page's resolution; and the removal of work files
// that a killed run left.
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using tf::test::readAll;
using tf::test::TempFolder;

namespace {

QImage picture(int w, int h, int dpi = 0)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(30, 120, 200));
    QPainter(&img).fillRect(0, 0, w / 2, h / 2, Qt::black);
    if (dpi > 0) {
        img.setDotsPerMeterX(qRound(dpi / 0.0254));
        img.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return img;
}

// The TIFF version in a file's header: 42 classic, 43 BigTIFF.
int tiffVersion(const QString& path)
{
    const QByteArray head = readAll(path).left(4);
    return head.size() == 4 ? static_cast<uchar>(head[2]) | (static_cast<uchar>(head[3]) << 8) : 0;
}

// A JPEG of 16 x 8 pixels with the JFIF density and the EXIF segment given (empty: none).
QByteArray jpegWith(int units, int x, int y, const QByteArray& exif)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpg").write(picture(16, 8));
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

TEST(TiffSizeLimit, DocumentsThatMayPassFourGiBAreKnownBeforeWriting)
{
    // A4 at 300 dpi. 165 colour pages are 4.3 GB; 163 are 4.26 GB, but PackBits may grow each
    // row by one byte in 128, which takes them past 4 GiB.
    const struct {
        int pages;
        int bits;
        int compression;
        bool big;
    } cases[] = {
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

TEST(TiffSizeLimit, ALargeDocumentIsABigTiffThatTakesPagesAnywhere)
{
    TempFolder dir;
    ImageDocument doc;
    const QString small = dir.file("small.tif"), big = dir.file("big.tif");
    for (const QString& path : {small, big}) {
        doc.ExpectTiffBytes(path == big ? kClassicTiffMaxBytes + 1 : kClassicTiffMaxBytes);
        for (int w : {40, 41}) {
            doc.setPicture(picture(w, 30));
            doc.AddTiffPage(1);
        }
        doc.SaveTiff(path);
    }
    EXPECT_EQ(tiffVersion(small), 42);
    EXPECT_EQ(tiffVersion(big), 43);
    EXPECT_EQ(tiffPageCount(big), 2);

    // Pages go first and last in a BigTIFF as in a classic one.
    doc.setPicture(picture(42, 30));
    doc.AppendToTiff(big, "", 1);
    doc.setPicture(picture(43, 30));
    doc.AppendToTiff(big, "", 0);
    EXPECT_EQ(test::tiffinfoValues(big, "Image Width").join(' ').remove(QRegularExpression(" Image Length: \\d+")),
              "42 40 41 43");
    EXPECT_EQ(tiffVersion(big), 43);
    EXPECT_FALSE(isClassicTiff(big));
    EXPECT_TRUE(isClassicTiff(small));
}

TEST(PdfAppend, PagesOfOneDocumentAreGatheredAndWrittenOnce)
{
    TempFolder dir;
    ImageDocument doc;
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

    // Another target writes what was gathered for the one before; a new file beside the
    // document gets the document's pages and those gathered for it.
    const QString copy = dir.file("copy.pdf");
    doc.setPicture(picture(30, 10));
    doc.AppendToPdf(pdf, copy, 0);
    doc.setPicture(picture(31, 10));
    doc.AppendToPdf(pdf, "", 0);
    EXPECT_EQ(test::pdfPages(copy), 6);
    doc.AbandonMultipage();
    EXPECT_EQ(test::pdfPages(pdf), 5) << "abandoned pages are never written";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"copy.pdf", "doc.pdf"}));
}

TEST(PdfAppend, AJpegPageIsSizedByItsJfifOrElseItsExifResolution)
{
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

    // Through the writer: 16 x 8 pixels at 300 dpi (EXIF only) is 38.4 x 19.2 pt; with no
    // resolution at all, the default makes a point of a pixel.
    TempFolder dir;
    const QByteArray exifOnly = jpegWith(0, 1, 1, exifWith(300, 300, 2));
    const QString a = dir.write("exif.jpg", exifOnly), b = dir.write("none.jpg", jpegWith(0, 1, 1, {}));
    ImageDocument doc;
    ASSERT_TRUE(doc.AddPdfPageFromJpegFile(a));
    ASSERT_TRUE(doc.AddPdfPageFromJpegFile(b));
    // Decoded pages (256 colours) are sized the same way; a TIFF that states no resolution, to
    // which the library gives 300 dpi, takes the one default too.
    const QString tiff = dir.file("none.tif");
    {
        TIFF* tif = TIFFOpen(QFile::encodeName(tiff).constData(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 8);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
        unsigned char row[16] = {};
        for (uint32_t y = 0; y < 8; ++y) TIFFWriteScanline(tif, row, y, 0);
        TIFFClose(tif);
    }
    doc.setColorFormat(kColor256);
    for (const QString& file : {a, tiff}) {
        doc.LoadFromFile(file);
        ASSERT_FALSE(doc.LoadFailed());
        doc.AddPdfPage(1);
    }
    doc.SavePdf(dir.file("out.pdf"));
    EXPECT_EQ(test::pdfPageSizes(dir.file("out.pdf")),
              QStringList({"3.84 x 1.92 pts", "16 x 8 pts", "3.84 x 1.92 pts", "16 x 8 pts"}));
}

TEST(WorkFiles, ThoseOfADeadRunAreRemovedAndThoseOfALiveOneKept)
{
    TempFolder dir;
    const QString mine = dir.write(".doc.pdf.mine01", "in use");
    recordWorkFile(mine);
    const QString folder = userTempDir() + QStringLiteral("/multipage-dead01");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString theirs = dir.write(".doc.pdf.dead01", "left by a killed run");
    const QString document = dir.write("doc.pdf", "the user's document");

    // A run that records its work files and is killed before it can remove them.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        recordWorkFile(theirs);
        recordWorkFile(folder);
        // Lines no run of ours writes never reach the user's files.
        recordWorkFile(document);
        recordWorkFile(dir.path());
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 2);
    EXPECT_FALSE(QFile::exists(theirs));
    EXPECT_FALSE(QFile::exists(folder));
    EXPECT_TRUE(QFile::exists(mine)) << "this run is alive";
    EXPECT_TRUE(QFile::exists(document));
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0) << "the dead run's journal went with its files";
}
