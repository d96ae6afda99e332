// Which TIFF pages give their Group 4 strip as it is: only those whose strip means exactly the
// page the program would code again; any other is to be decoded.
#include "platform/imagebox/tiff_pages.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

using namespace tf;

namespace {

struct Layout {
    uint16_t compression = COMPRESSION_CCITTFAX4;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t fillOrder = FILLORDER_MSB2LSB;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint32_t rowsPerStrip = 32;
    float dpi = 300; // 0: none stated
};

// A 61 x 32 page of stripes, written by libtiff in the layout given.
QString writePage(const QString& path, const Layout& l)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif) return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 61u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 32u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_FILLORDER, l.fillOrder);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
    if (l.dpi > 0) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, l.dpi);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, l.dpi / 2);
    }
    for (uint32_t y = 0; y < 32; ++y) {
        uint8_t row[8];
        for (int i = 0; i < 8; ++i) row[i] = static_cast<uint8_t>((y * 37 + i * 11) % 7 == 0 ? 0xF0 : 0x0C);
        TIFFWriteScanline(tif, row, y, 0);
    }
    TIFFClose(tif);
    return path;
}

QByteArray rawStrip(const QString& path)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    QByteArray strip(qsizetype(TIFFRawStripSize(tif, 0)), '\0');
    TIFFReadRawStrip(tif, 0, strip.data(), strip.size());
    TIFFClose(tif);
    return strip;
}

TEST(Group4Strip, AOneStripPageGivesItsStripSizeAndResolution)
{
    QTemporaryDir dir;
    const QString path = writePage(dir.filePath("page.tif"), {});
    const Group4Strip page = readGroup4Strip(path);
    ASSERT_TRUE(page.isValid());
    EXPECT_TRUE(isGroup4StripPage(path));
    EXPECT_EQ(page.strip, rawStrip(path));
    EXPECT_EQ(page.header.width, 61);
    EXPECT_EQ(page.header.height, 32);
    EXPECT_EQ(page.header.kind, PageRaster::Bilevel);
    EXPECT_NEAR(page.header.dpiX, 300, 0.01);
    EXPECT_NEAR(page.header.dpiY, 150, 0.01);
    EXPECT_TRUE(page.header.rows.isEmpty());

    // A page that states no resolution gets the one a decoded page would.
    const Group4Strip bare = readGroup4Strip(writePage(dir.filePath("bare.tif"), {.dpi = 0}));
    ASSERT_TRUE(bare.isValid());
    EXPECT_EQ(bare.header.dpiX, kDefaultPageDpi);
}

TEST(Group4Strip, EveryOtherLayoutIsLeftToTheDecoders)
{
    QTemporaryDir dir;
    const std::pair<const char*, Layout> others[] = {
        {"black is zero", {.photometric = PHOTOMETRIC_MINISBLACK}},
        {"last bit first", {.fillOrder = FILLORDER_LSB2MSB}},
        {"turned", {.orientation = ORIENTATION_BOTRIGHT}},
        {"many strips", {.rowsPerStrip = 8}},
        {"Group 3", {.compression = COMPRESSION_CCITTFAX3}},
        {"uncompressed", {.compression = COMPRESSION_NONE}},
    };
    for (const auto& [what, layout] : others) {
        SCOPED_TRACE(what);
        const QString path = writePage(dir.filePath(QString::fromLatin1(what) + ".tif"), layout);
        ASSERT_FALSE(path.isEmpty());
        EXPECT_FALSE(readGroup4Strip(path).isValid());
        EXPECT_FALSE(isGroup4StripPage(path));
    }

    // A strip that claims more bytes than the file holds, or no TIFF at all.
    const QString whole = writePage(dir.filePath("whole.tif"), {});
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    const auto le = [&](qsizetype at, int n) {
        quint32 v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | uchar(bytes[at + i]);
        return v;
    };
    const qsizetype ifd = le(4, 4);
    bool patched = false;
    for (quint32 e = 0; e < le(ifd, 2); ++e) {
        const qsizetype entry = ifd + 2 + 12 * e;
        if (le(entry, 2) != TIFFTAG_STRIPBYTECOUNTS) continue;
        ASSERT_EQ(le(entry + 4, 4), 1u);
        const quint32 claimed = quint32(bytes.size()) * 2;
        for (int i = 0; i < 4; ++i) bytes[entry + 8 + i] = char(claimed >> (8 * i));
        bytes[entry + 2] = char(TIFF_LONG); // the count fits a long whatever type libtiff chose
        bytes[entry + 3] = 0;
        patched = true;
    }
    ASSERT_TRUE(patched);
    QFile cut(dir.filePath("claims.tif"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes);
    cut.close();
    EXPECT_FALSE(readGroup4Strip(cut.fileName()).isValid());
    QFile text(dir.filePath("text.tif"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("II*\0 not a directory");
    text.close();
    EXPECT_FALSE(readGroup4Strip(text.fileName()).isValid());
}

} // namespace
