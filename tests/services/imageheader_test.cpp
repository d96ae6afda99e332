#include "services/clsImageHeaderInfo.h"

#include "platform/imagebox/freeimage_qt.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QImageWriter>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <ostream>

using namespace tf;

namespace {

// Little- and big-endian byte writer for hand-made headers.
struct Bytes {
    QByteArray d;
    Bytes& raw(const QByteArray& s) { d += s; return *this; }
    Bytes& u8(uint32_t v) { d += char(v & 0xFF); return *this; }
    Bytes& le16(uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes& le32(uint32_t v) { return le16(v).le16(v >> 16); }
    Bytes& be16(uint32_t v) { return u8(v >> 8).u8(v); }
    Bytes& be32(uint32_t v) { return be16(v >> 16).be16(v); }
    Bytes& fill(int n, char c = 0) { d += QByteArray(n, c); return *this; }
};

QByteArray gif(uint32_t w, uint32_t h, uint32_t flags) { return Bytes().raw("GIF89a").le16(w).le16(h).u8(flags).fill(2).d; }
QByteArray bmp(int32_t w, int32_t h, uint32_t bpp)
{
    return Bytes().raw("BM").le32(54).fill(4).le32(54).le32(40).le32(uint32_t(w)).le32(uint32_t(h)).le16(1).le16(bpp).fill(24).d;
}

QByteArray segment(uint32_t code, const QByteArray& payload) { return Bytes().u8(0xFF).u8(code).be16(uint32_t(payload.size()) + 2).raw(payload).d; }
QByteArray jfif(uint32_t unit, uint32_t density) { return segment(0xE0, Bytes().raw(QByteArray("JFIF\0", 5)).u8(1).u8(2).u8(unit).be16(density).be16(density).fill(2).d); }
QByteArray frame(uint32_t code, uint32_t w, uint32_t h, uint32_t components) { return segment(code, Bytes().u8(8).be16(h).be16(w).u8(components).fill(3 * int(components), 1).d); }
QByteArray jpeg(const QByteArray& segments) { return "\xFF\xD8" + segments + segment(0xDA, QByteArray(10, 1)) + QByteArray(40, 0x55) + "\xFF\xD9"; }

QByteArray chunk(const char* type, const QByteArray& data) { return Bytes().be32(uint32_t(data.size())).raw(type).raw(data).fill(4).d; }
QByteArray ihdr(uint32_t w, uint32_t h, uint32_t depth, uint32_t colour) { return chunk("IHDR", Bytes().be32(w).be32(h).u8(depth).u8(colour).fill(3).d); }
QByteArray phys(uint32_t perUnit, uint32_t unit) { return chunk("pHYs", Bytes().be32(perUnit).be32(perUnit).u8(unit).d); }
QByteArray png(const QByteArray& chunks) { return "\x89PNG\r\n\x1a\n" + chunks + chunk("IDAT", QByteArray(20, 7)) + chunk("IEND", {}); }

// A TIFF with one IFD at 8; `tail` lands right after it, at tailOffset(entries). In a big-endian
// file a single SHORT value fills the first two bytes of its field.
struct Entry { uint32_t tag, type, count, value; };
uint32_t tailOffset(int entries) { return 8 + 2 + 12 * uint32_t(entries) + 4; }
QByteArray tiffFile(const QList<Entry>& entries, const QByteArray& tail = {}, bool big = false)
{
    Bytes b;
    if (!big) {
        b.raw("II").le16(42).le32(8).le16(uint32_t(entries.size()));
        for (const Entry& e : entries) b.le16(e.tag).le16(e.type).le32(e.count).le32(e.value);
        return b.le32(0).raw(tail).d;
    }
    b.raw("MM").be16(42).be32(8).be16(uint32_t(entries.size()));
    for (const Entry& e : entries) {
        b.be16(e.tag).be16(e.type).be32(e.count);
        if (e.type == 3 && e.count == 1) b.be16(e.value).be16(0xABCD);
        else b.be32(e.value);
    }
    return b.be32(0).raw(tail).d;
}
// 640 x 480 with the resolution num/den; unit < 0 leaves the ResolutionUnit tag out.
QByteArray tiffResolution(uint32_t num, uint32_t den, int unit)
{
    QList<Entry> e{{256, 3, 1, 640}, {257, 3, 1, 480}, {282, 5, 1, 0}};
    if (unit >= 0) e.append({296, 3, 1, uint32_t(unit)});
    e[2].value = tailOffset(int(e.size()));
    return tiffFile(e, Bytes().le32(num).le32(den).d);
}

struct Header {
    bool ok = false;
    int width = 0, height = 0, dpi = 0, bpp = 0;
    bool grey = false;
    bool operator==(const Header&) const = default;
};
[[maybe_unused]] void PrintTo(const Header& h, std::ostream* os)
{
    *os << (h.ok ? "ok " : "failed ") << h.width << "x" << h.height << " dpi " << h.dpi << " bpp " << h.bpp << (h.grey ? " grey" : "");
}
Header facts(const clsImageHeaderInfo& r, bool ok) { return {ok, r.Width(), r.Height(), r.dpi(), r.BitsPerPixel(), r.IsGray()}; }
const Header kFailed{};

// Bytes go through a memory device; a QString goes through the file name.
Header read(const QByteArray& bytes, bool gifBmp = false)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    clsImageHeaderInfo r;
    const bool ok = gifBmp ? r.ReadGIF_BMP_Header(buffer) : r.ReadJPEG_TIFF_PNG_Header(buffer);
    return facts(r, ok);
}
Header read(const QString& path, bool gifBmp = false)
{
    clsImageHeaderInfo r;
    const bool ok = gifBmp ? r.ReadGIF_BMP_Header(path) : r.ReadJPEG_TIFF_PNG_Header(path);
    return facts(r, ok);
}

// A real TIFF from libtiff: 300 dpi stored as 118.11 dots per centimetre.
QString writeTiff(const QString& path, int bitsPerSample, int samples, int compression, bool bigEndian = false)
{
    TIFF* t = TIFFOpen(path.toUtf8().constData(), bigEndian ? "wb" : "wl");
    EXPECT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 2480);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 118.11);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    QByteArray row(int(TIFFScanlineSize(t)), '\x5a');
    for (uint32_t y = 0; y < 4; ++y) TIFFWriteScanline(t, row.data(), y, 0);
    TIFFClose(t);
    return path;
}

} // namespace

TEST(ImageHeaderGifBmp, SizesDepthsAndTopDownBitmaps)
{
    EXPECT_EQ(read(gif(320, 200, 0x80 | 3), true), (Header{true, 320, 200, 0, 4}));   // 16 colours
    EXPECT_EQ(read(gif(40000, 65535, 0x87), true), (Header{true, 40000, 65535, 0, 8}));
    EXPECT_EQ(read(bmp(640, 480, 24), true), (Header{true, 640, 480, 0, 24}));
    EXPECT_EQ(read(bmp(70000, -40000, 8), true), (Header{true, 70000, 40000, 0, 8})); // top-down
    const QByteArray os2 = Bytes().raw("BM").le32(26).fill(4).le32(26).le32(12).le16(300).le16(200).le16(1).le16(4).d;
    EXPECT_EQ(read(os2, true), (Header{true, 300, 200, 0, 4}));
    EXPECT_EQ(read(bmp(-5, 10, 24), true), kFailed);
    EXPECT_EQ(read(bmp(5, INT32_MIN, 24), true), kFailed);
    EXPECT_EQ(read(png(ihdr(5, 5, 8, 2)), true), kFailed);
}

TEST(ImageHeaderJpeg, DensityFromJfifOnlyFramesAndLongSegments)
{
    const QByteArray sof = frame(0xC0, 640, 480, 3);
    EXPECT_EQ(read(jpeg(jfif(2, 100) + sof)), (Header{true, 640, 480, 254, 24}));   // dots per cm
    EXPECT_EQ(read(jpeg(jfif(1, 300) + sof)).dpi, 300);
    EXPECT_EQ(read(jpeg(jfif(1, 65535) + sof)).dpi, 32767);
    EXPECT_EQ(read(jpeg(sof)).dpi, 1);                                                // no APP0
    EXPECT_EQ(read(jpeg(jfif(0, 1) + sof)).dpi, 1);                                   // aspect ratio only
    const QByteArray jfxx = segment(0xE0, Bytes().raw(QByteArray("JFXX\0", 5)).u8(0x10).u8(0).u8(1).be16(300).fill(20).d);
    EXPECT_EQ(read(jpeg(jfxx + sof)).dpi, 1);
    // Readable density but no size: a made-up success would show "0 X 0 X 24" for the file.
    EXPECT_EQ(read(jpeg(jfif(1, 300))), kFailed);
    EXPECT_EQ(read(jpeg(frame(0xC0, 800, 600, 1))), (Header{true, 800, 600, 1, 24, true}));
    EXPECT_EQ(read(jpeg(frame(0xC2, 800, 600, 3))), (Header{true, 800, 600, 1, 24}));     // progressive
    EXPECT_EQ(read(jpeg(frame(0xC1, 65535, 40000, 3))), (Header{true, 65535, 40000, 1, 24}));
    // Huffman and arithmetic tables share the frame range but are not frames.
    const QByteArray tables = segment(0xC4, Bytes().u8(0).be16(1).be16(2).u8(1).fill(20).d) + segment(0xCC, QByteArray(6, 3));
    EXPECT_EQ(read(jpeg(tables + frame(0xC0, 64, 48, 3))).width, 64);
    // EXIF blocks and ICC profiles longer than 32767 bytes before the frame.
    const QByteArray big = segment(0xE1, QByteArray(65000, '\xFF')) + segment(0xE2, QByteArray(65533, 9));
    EXPECT_EQ(read(jpeg(jfif(1, 96) + big + frame(0xC0, 1024, 768, 3))), (Header{true, 1024, 768, 96, 24}));
    // Fill bytes before a marker, and a standalone marker.
    EXPECT_EQ(read("\xFF\xD8\xFF\xFF\xFF" + jfif(1, 72).mid(1) + "\xFF\x01" + frame(0xC0, 5, 6, 3)).width, 5);

    EXPECT_EQ(read("\xFF\xD8\xFF\xE0" + QByteArray("\x00\x01", 2) + frame(0xC0, 5, 5, 3)), kFailed);
    EXPECT_EQ(read("\xFF\xD8\xFF\xE1\xFF\xFF" + QByteArray(100, 0)), kFailed);   // runs past the end
    QByteArray comments;
    for (int i = 0; i < 5000; ++i) comments += segment(0xFE, {});
    EXPECT_EQ(read(jpeg(comments + frame(0xC0, 5, 5, 3))), kFailed);             // the walk is capped
}

TEST(ImageHeaderPng, DepthGreyDensityAndTheChunkWalk)
{
    EXPECT_EQ(read(png(ihdr(640, 480, 8, 2) + phys(2835, 1))), (Header{true, 640, 480, 72, 24}));
    EXPECT_EQ(read(png(ihdr(640, 480, 8, 6))), (Header{true, 640, 480, 0, 24}));         // no pHYs
    EXPECT_EQ(read(png(ihdr(640, 480, 8, 2) + phys(2835, 0))).dpi, 0);                   // aspect ratio only
    EXPECT_EQ(read(png(ihdr(7, 9, 8, 0))), (Header{true, 7, 9, 0, 8, true}));
    EXPECT_EQ(read(png(ihdr(7, 9, 8, 3))), (Header{true, 7, 9, 0, 8}));
    EXPECT_EQ(read(png(ihdr(100000, 70000, 1, 0))), (Header{true, 100000, 70000, 0, 1}));
    EXPECT_EQ(read(png(phys(2835, 1))), kFailed); // no IHDR
    const QByteArray sig("\x89PNG\r\n\x1a\n");
    const QByteArray huge = Bytes().be32(0x7FFFFFF0).raw("tEXt").fill(50).d;
    EXPECT_EQ(read(sig + huge + ihdr(5, 5, 8, 2)), kFailed);
    EXPECT_EQ(read(sig + ihdr(5, 5, 8, 2) + huge + phys(2835, 1)), (Header{true, 5, 5, 0, 24}));
    EXPECT_EQ(read(sig + ihdr(5, 5, 8, 2) + Bytes().be32(0xFFFFFFFF).raw("pHYs").fill(9).d).dpi, 0);
    EXPECT_EQ(read(png(ihdr(0x80000000, 5, 8, 2))), kFailed);
    EXPECT_EQ(read(png(chunk("IHDR", "short"))), kFailed);
    QByteArray many;
    for (int i = 0; i < 5000; ++i) many += chunk("zzzz", {});
    EXPECT_EQ(read(png(ihdr(5, 5, 8, 2) + many + phys(2835, 1))).dpi, 0);   // the walk is capped
}

TEST(ImageHeaderTiff, ResolutionDepthAndBrokenDirectories)
{
    EXPECT_EQ(read(tiffResolution(300, 1, 2)), (Header{true, 640, 480, 300, 1}));
    EXPECT_EQ(read(tiffResolution(300, 1, 3)).dpi, 762);
    EXPECT_EQ(read(tiffResolution(300, 1, -1)).dpi, 300);   // no unit: inch
    EXPECT_EQ(read(tiffResolution(301, 2, 2)).dpi, 150);    // halves to even
    EXPECT_EQ(read(tiffResolution(300, 0, 2)), (Header{true, 640, 480, 0, 1}));
    EXPECT_EQ(read(tiffResolution(0xFFFFFFFF, 1, 3)).dpi, 32767);
    QByteArray farAway = tiffResolution(300, 1, 2);
    farAway[8 + 2 + 2 * 12 + 8] = '\x7F';                   // resolution offset past the end
    EXPECT_EQ(read(farAway), (Header{true, 640, 480, 0, 1}));
    EXPECT_EQ(read(tiffResolution(300, 1, 2).replace(8 + 2, 2 * 12, QByteArray(2 * 12, 0))), kFailed); // no size
    EXPECT_EQ(read(tiffFile({{256, 4, 1, 70000}, {257, 4, 1, 50000}, {258, 3, 1, 8}})), (Header{true, 70000, 50000, 0, 8}));
    const QList<Entry> rgb{{256, 3, 1, 0xABCD0000 | 10}, {257, 3, 1, 20}, {258, 3, 3, tailOffset(4)}, {277, 3, 1, 3}};
    EXPECT_EQ(read(tiffFile(rgb, Bytes().le16(8).le16(8).le16(8).d)), (Header{true, 10, 20, 0, 24}));  // padding ignored
    EXPECT_EQ(read(tiffFile({{256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 200}, {277, 3, 1, 200}})).bpp, 0);
    EXPECT_EQ(read(Bytes().raw("II").le16(43).le16(8).le16(0).le32(16).d), kFailed);   // BigTIFF
    EXPECT_EQ(read(Bytes().raw("II").le16(42).le32(0x7FFFFFFF).d), kFailed);
    QByteArray claimsMore = tiffFile({{256, 3, 1, 8}, {257, 3, 1, 9}});
    claimsMore[8] = claimsMore[9] = '\xFF';                  // 65535 entries, two present
    EXPECT_EQ(read(claimsMore).width, 8);
    EXPECT_EQ(read(tiffFile({{256, 4, 1, 0xFFFFFFFF}, {257, 3, 1, 9}})), kFailed);
    EXPECT_EQ(read(tiffFile({{256, 3, 1, 8}})), kFailed);

    // Big-endian: the same facts from the other byte order, values outside the entries included.
    const QList<Entry> bigRgb{{256, 3, 1, 640}, {257, 4, 1, 70000}, {258, 3, 3, tailOffset(6)}, {277, 3, 1, 3},
                              {282, 5, 1, tailOffset(6) + 6}, {296, 3, 1, 3}};
    EXPECT_EQ(read(tiffFile(bigRgb, Bytes().be16(16).be16(16).be16(16).be32(300).be32(1).d, true)),
              (Header{true, 640, 70000, 762, 48}));
    EXPECT_EQ(read(tiffFile({{256, 3, 1, 8}}, {}, true)), kFailed);
    EXPECT_EQ(read(Bytes().raw("MM").be16(43).be16(8).be16(0).be32(16).d), kFailed);   // BigTIFF
    EXPECT_EQ(read(Bytes().raw("MI").be16(42).be32(8).d), kFailed);
}

TEST(ImageHeaderFiles, FilesWrittenByLibrariesAndWhatAFailedReadLeaves)
{
    test::TempFolder dir;
    QImage rgb(333, 44, QImage::Format_RGB888);
    rgb.fill(Qt::red);
    ASSERT_TRUE(rgb.save(dir.file("rgb.bmp")) && rgb.convertToFormat(QImage::Format_Mono).save(dir.file("mono.bmp")));
    EXPECT_EQ(read(dir.file("rgb.bmp"), true), (Header{true, 333, 44, 0, 24}));
    EXPECT_EQ(read(dir.file("mono.bmp"), true), (Header{true, 333, 44, 0, 1}));
    FIBITMAP* indexed = freeImageFromQImage(rgb.convertToFormat(QImage::Format_Indexed8));
    EXPECT_TRUE(FreeImage_Save(FIF_GIF, indexed, dir.file("f.gif").toUtf8().constData(), 0));
    FreeImage_Unload(indexed);
    EXPECT_EQ(read(dir.file("f.gif"), true), (Header{true, 333, 44, 0, 8}));

    QImage grey(1500, 70, QImage::Format_Grayscale8);
    grey.fill(100);
    grey.setDotsPerMeterX(7874); // 200 dpi
    grey.setDotsPerMeterY(7874);
    ASSERT_TRUE(grey.convertToFormat(QImage::Format_RGB32).save(dir.file("base.jpg")));
    EXPECT_EQ(read(dir.file("base.jpg")), (Header{true, 1500, 70, 200, 24}));
    QImageWriter progressive(dir.file("prog.jpg"), "jpeg");
    progressive.setProgressiveScanWrite(true);
    ASSERT_TRUE(progressive.write(grey));
    EXPECT_EQ(read(dir.file("prog.jpg")), (Header{true, 1500, 70, 200, 24, true}));
    grey = QImage(40000, 2, QImage::Format_Grayscale8);
    grey.fill(128);
    grey.setDotsPerMeterX(11811);
    ASSERT_TRUE(grey.save(dir.file("grey.png")));
    EXPECT_EQ(read(dir.file("grey.png")), (Header{true, 40000, 2, 300, 8, true}));
    // 118.11 per cm is 299.99 dpi; the whole-number part is kept for centimetres.
    EXPECT_EQ(read(writeTiff(dir.file("g4.tif"), 1, 1, COMPRESSION_CCITTFAX4)), (Header{true, 2480, 4, 299, 1}));
    EXPECT_EQ(read(writeTiff(dir.file("grey.tif"), 8, 1, COMPRESSION_NONE)).bpp, 8);
    EXPECT_EQ(read(writeTiff(dir.file("rgb.tif"), 8, 3, COMPRESSION_LZW)).bpp, 24);
    EXPECT_EQ(read(writeTiff(dir.file("mm.tif"), 8, 3, COMPRESSION_NONE, true)), (Header{true, 2480, 4, 299, 24}));

    // A failed read of a missing file or a folder changes nothing; an empty file clears the facts.
    clsImageHeaderInfo reader;
    ASSERT_TRUE(reader.ReadJPEG_TIFF_PNG_Header(dir.write("a.png", png(ihdr(3, 4, 8, 0) + phys(2835, 1)))));
    const Header before = facts(reader, false);
    EXPECT_FALSE(reader.ReadJPEG_TIFF_PNG_Header(dir.file("gone.png")));
    EXPECT_FALSE(reader.ReadJPEG_TIFF_PNG_Header(dir.path()));
    EXPECT_EQ(facts(reader, false), before);
    EXPECT_FALSE(reader.ReadJPEG_TIFF_PNG_Header(dir.write("empty.jpg", {})));
    EXPECT_EQ(facts(reader, false), kFailed);
    EXPECT_EQ(read(dir.write("a.gif", gif(5, 5, 0))), kFailed);
    // dpi and the grey flag of an earlier read stay through a GIF or BMP read; a missing one is false.
    ASSERT_TRUE(reader.ReadJPEG_TIFF_PNG_Header(dir.write("g.jpg", jpeg(jfif(2, 100) + frame(0xC0, 9, 9, 1)))));
    EXPECT_TRUE(reader.ReadGIF_BMP_Header(dir.file("f.gif")));
    EXPECT_EQ(facts(reader, true), (Header{true, 333, 44, 254, 8, true}));
    EXPECT_FALSE(reader.ReadGIF_BMP_Header(dir.file("missing.bmp")));
    EXPECT_EQ(facts(reader, false), (Header{false, 0, 0, 254, 0, true}));
    EXPECT_FALSE(reader.ReadGIF_BMP_Header(dir.path()));
}

// Every prefix of a valid header, and every single-byte corruption of it, must end in either the
// full answer or a clean failure: no hang, no crash, no values taken from past the cut.
TEST(ImageHeaderDamage, EveryTruncationAndCorruptionEndsCleanly)
{
    const QList<QByteArray> samples{jpeg(jfif(1, 300) + segment(0xE1, QByteArray(300, 'x')) + frame(0xC2, 70, 50, 3)),
                                    png(ihdr(70, 50, 8, 0) + chunk("tEXt", "a=b") + phys(2835, 1)),
                                    tiffResolution(300, 1, 2), tiffFile({{256, 3, 1, 70}, {257, 3, 1, 50}}, {}, true),
                                    gif(70, 50, 0x80), bmp(70, -50, 24)};
    for (const QByteArray& full : samples) {
        const bool gifBmp = full.startsWith("GIF") || full.startsWith("BM");
        const Header whole = read(full, gifBmp);
        ASSERT_TRUE(whole.ok) << full.left(4).toHex().constData();
        for (int length = 0; length < full.size(); ++length) {
            const Header cut = read(full.left(length), gifBmp);
            if (cut.ok) {
                ASSERT_EQ((Header{true, whole.width, whole.height, cut.dpi, whole.bpp, whole.grey}), cut) << "prefix " << length;
                ASSERT_TRUE(cut.dpi == whole.dpi || cut.dpi == 0) << "prefix " << length;
            } else {
                ASSERT_EQ(cut, kFailed) << "prefix " << length;
            }
        }
        for (int i = 0; i < full.size(); ++i)
            for (char c : {'\x00', '\x7F', '\xFF'}) {
                QByteArray bad = full;
                bad[i] = c;
                const Header h = read(bad, gifBmp);
                ASSERT_TRUE(h.width >= 0 && h.height >= 0 && h.dpi >= 0) << "byte " << i;
            }
    }
}
