// Pictures as other programs write them, decoded on the image control's route (previews, pages)
// and the shared loader's (thumbnails). Each test picture is made here with libtiff, libjpeg,
// libpng (through Qt's writer) or byte by byte, so the pixels and sizes it holds are known
// without any reader of ours.
#include "platform/sys/blockingcalls.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_geometry.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modLoadPic.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QImageWriter>
#include <QFloat16>
#include <QtEndian>

#include <cstdio>
#include <tuple>
#include <jpeglib.h>
#include <tiffio.h>
#include <vector>

using namespace tf;

namespace {

struct TiffPage {
    int width = 0, height = 0;
    int bitsPerSample = 8, samples = 1;
    int photometric = PHOTOMETRIC_MINISBLACK;
    int sampleFormat = SAMPLEFORMAT_UINT;
    uint16_t alpha = 0; // the last sample's kind of alpha (EXTRASAMPLE_...), 0 for none
    QByteArray pixels;  // rows packed as libtiff takes them, top row first
};

template <typename T>
QByteArray samples(std::initializer_list<T> values)
{
    QByteArray out;
    for (const T v : values) out.append(reinterpret_cast<const char*>(&v), sizeof v);
    return out;
}

// Writes the pages with libtiff, in the byte order asked ("l" or "b").
bool writeTiff(const QString& path, const std::vector<TiffPage>& pages, const char* order = "l")
{
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), (QByteArray("w") + order).constData());
    if (!t) return false;
    bool ok = true;
    for (const TiffPage& p : pages) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, p.bitsPerSample);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p.samples);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.photometric);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, p.sampleFormat);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.height);
        if (p.alpha) {
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &p.alpha);
        }
        const tmsize_t row = TIFFScanlineSize(t);
        ok = ok && row * p.height == p.pixels.size();
        for (int y = 0; ok && y < p.height; ++y)
            ok = TIFFWriteScanline(t, const_cast<char*>(p.pixels.constData()) + row * y, uint32_t(y), 0) == 1;
        ok = ok && TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return ok;
}

// A bottom-up BMP with a version 5 header and the bit masks given; `rows` bottom row first,
// each padded to four bytes.
QByteArray bitfieldBmp(int width, int height, int bits, quint32 r, quint32 g, quint32 b, quint32 a, const QByteArray& rows)
{
    QByteArray h(14 + 124, '\0');
    auto put32 = [&](int at, quint32 v) { qToLittleEndian<quint32>(v, h.data() + at); };
    h[0] = 'B';
    h[1] = 'M';
    put32(2, quint32(h.size() + rows.size()));
    put32(10, quint32(h.size()));
    put32(14, 124);
    put32(18, quint32(width));
    put32(22, quint32(height));
    qToLittleEndian<quint16>(1, h.data() + 26);
    qToLittleEndian<quint16>(quint16(bits), h.data() + 28);
    put32(30, 3); // BI_BITFIELDS
    put32(34, quint32(rows.size()));
    put32(54, r);
    put32(58, g);
    put32(62, b);
    put32(66, a);
    put32(70, 0x73524742); // "sRGB"
    return h + rows;
}

// An uncompressed grey Targa of 16 bits a pixel (grey, then the attribute byte), top row first.
QByteArray greyTarga16(int width, int height, int alphaBits, const QByteArray& pixels)
{
    QByteArray h(18, '\0');
    h[2] = 3;
    qToLittleEndian<quint16>(quint16(width), h.data() + 12);
    qToLittleEndian<quint16>(quint16(height), h.data() + 14);
    h[16] = 16;
    h[17] = char(0x20 | alphaBits);
    return h + pixels;
}

// A baseline JPEG from libjpeg with `components` colour components of no known colour space.
QByteArray jpegWithComponents(int width, int height, int components)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = JCS_UNKNOWN;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, JCS_UNKNOWN);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(width * components), 90);
    while (c.next_scanline < c.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

DecodeResult decodeBy(decode::DecoderProcess& decoder, const QString& path, DecodeCaller caller, int page = 1)
{
    return routedAnswer(decoder.decode(routedRequest({path, page, caller, kSizeModeOwn, 0, 0})));
}

const DecodeCaller kBothRoutes[] = {DecodeCaller::Control, DecodeCaller::Loader};

// The first row's pixels as ARGB.
std::vector<QRgb> firstRow(const QImage& image)
{
    std::vector<QRgb> row;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < argb.width(); ++x) row.push_back(argb.pixel(x, 0));
    return row;
}

} // namespace

TEST(PicturesAsTheyAre, TiffsKeepTheirAlphaTheirLevelsAndTheirPages)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    test::TempFolder folder;
    decode::DecoderProcess decoder;
    const struct {
        const char* what;
        TiffPage page;
        const char* order;
        std::vector<QRgb> expected;
    } cases[] = {
        {"grey and unassociated alpha",
         {4, 1, 8, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, EXTRASAMPLE_UNASSALPHA, QByteArray::fromHex("0000 40ff 8080 ff00")}, "l",
         {0x00000000, 0xff404040, 0x80808080, 0x00ffffff}},
        {"16-bit grey holding 0..255 of 65535, and the full range",
         {4, 1, 16, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, 0, samples<uint16_t>({0, 255, 32896, 65535})}, "l",
         {0xff000000, 0xff010101, 0xff808080, 0xffffffff}},
        {"64-bit float grey: 0 black, 1 white, beyond clamped",
         {4, 1, 64, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP, 0, samples<double>({-1.0, 0.25, 0.5, 7.0})}, "l",
         {0xff000000, 0xff404040, 0xff808080, 0xffffffff}},
        {"64-bit float colour",
         {2, 1, 64, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_IEEEFP, 0, samples<double>({1.0, 0.5, 0.0, 0.0, 0.25, 1.0})}, "l",
         {0xffff8000, 0xff0040ff}},
        {"16-bit float grey with alpha",
         {2, 1, 16, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP, EXTRASAMPLE_UNASSALPHA,
          samples<qfloat16>({qfloat16(0.25f), qfloat16(1.f), qfloat16(1.f), qfloat16(0.5f)})}, "b",
         {0xff404040, 0x80ffffff}},
        {"big-endian 16-bit grey",
         {3, 1, 16, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, 0, samples<uint16_t>({257, 32768, 65535})}, "b",
         {0xff010101, 0xff808080, 0xffffffff}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = folder.file(QStringLiteral("p%1.tif").arg(++n));
        ASSERT_TRUE(writeTiff(path, {c.page}, c.order));
        // The folder's details give the size libtiff's own tool reads, in either byte order.
        const QSize size(c.page.width, c.page.height);
        EXPECT_TRUE(test::runTool("tiffinfo", {path}).contains(QStringLiteral("Image Width: %1 Image Length: %2").arg(size.width()).arg(size.height())));
        clsImageHeaderInfo header;
        EXPECT_TRUE(header.ReadJPEG_TIFF_PNG_Header(path));
        EXPECT_EQ(QSize(header.Width(), header.Height()), size);
        for (const DecodeCaller caller : kBothRoutes) {
            const DecodeResult r = decodeBy(decoder, path, caller);
            ASSERT_TRUE(r.ok()) << int(caller) << " " << r.failure.toStdString();
            EXPECT_EQ(r.image.size(), size) << int(caller);
            EXPECT_EQ(firstRow(r.image), c.expected) << int(caller);
        }
    }

    // Pages of other kinds after a colour page with premultiplied (associated) alpha.
    const TiffPage rgba{2, 1, 8, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, EXTRASAMPLE_ASSOCALPHA, QByteArray::fromHex("80000080 00ff00ff")};
    const TiffPage greyAlpha{2, 1, 8, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, EXTRASAMPLE_UNASSALPHA, QByteArray::fromHex("20ff 6000")};
    const TiffPage grey16{3, 2, 16, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, 0, samples<uint16_t>({0, 255, 65535, 65535, 255, 0})};
    const QString pages = folder.file("pages.tif");
    ASSERT_TRUE(writeTiff(pages, {rgba, greyAlpha, grey16}));
    const std::vector<QRgb> expected[] = {{0x80ff0000, 0xff00ff00}, {0xff202020, 0x00606060}, {0xff000000, 0xff010101, 0xffffffff}};
    for (int page = 1; page <= 3; ++page) {
        const DecodeResult r = decodeBy(decoder, pages, DecodeCaller::Control, page);
        ASSERT_TRUE(r.ok()) << page << " " << r.failure.toStdString();
        EXPECT_EQ(r.pageCount, 3);
        EXPECT_EQ(firstRow(r.image), expected[page - 1]) << page;
    }
    EXPECT_EQ(decoder.decode({.kind = uint32_t(decode::DecodeKind::PageCount), .path = pages}).pageCount, 3);

    // A file that only starts like a TIFF, and one whose only page has its pixels past the end of
    // the file, have no pages to count and nothing to show.
    QByteArray stripGone = QByteArray("II*\0\x08\0\0\0\x03\0", 10);
    for (const auto& [tag, type, value] : {std::tuple{256, 3, 4}, {257, 3, 4}, {273, 4, 100000}}) {
        stripGone.append(char(tag & 0xFF)).append(char(tag >> 8)).append(char(type)).append('\0');
        stripGone += QByteArray::fromHex("01000000") + samples<uint32_t>({uint32_t(value)});
    }
    stripGone += QByteArray(4, '\0');
    for (const QString& unreadable : {folder.write("broken.tif", QByteArray("II*\0\x08\0\0\0", 8) + QByteArray(40, '\xEE')),
                                      folder.write("strip.tif", stripGone)}) {
        EXPECT_EQ(decoder.decode({.kind = uint32_t(decode::DecodeKind::PageCount), .path = unreadable}).pageCount, 0);
        for (const DecodeCaller caller : kBothRoutes) EXPECT_EQ(decodeBy(decoder, unreadable, caller).status, DecodeStatus::Invalid);
    }
}

TEST(PicturesAsTheyAre, BitMaskBmpsGreyTargasAndPalettePngsReadAlikeOnBothRoutes)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    test::TempFolder folder;
    decode::DecoderProcess decoder;
    QImage palette(3, 1, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(0, 0, 0, 0), qRgb(255, 0, 0), qRgba(0, 0, 255, 128)});
    for (int x = 0; x < 3; ++x) palette.setPixel(x, 0, uint(x));
    ASSERT_TRUE(QImageWriter(folder.file("palette.png"), "png").write(palette));
    const struct {
        const char* what;
        QString path;
        std::vector<QRgb> expected;
    } cases[] = {
        {"32 bits, masks in RGBA order",
         folder.write("rgba.bmp", bitfieldBmp(2, 1, 32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF,
                                              QByteArray::fromHex("80ff0000 ff00ff00"))),
         {0x800000ff, 0xff00ff00}},
        {"16 bits, 5-6-5", folder.write("565.bmp", bitfieldBmp(2, 1, 16, 0xF800, 0x07E0, 0x001F, 0, QByteArray::fromHex("00f8 1f00"))),
         {0xfff80000, 0xff0000f8}},
        {"16-bit grey Targa with alpha", folder.write("ga.tga", greyTarga16(3, 1, 8, QByteArray::fromHex("10ff 8080 ff00"))),
         {0xff101010, 0x80808080, 0x00ffffff}},
        {"16-bit grey Targa without alpha bits", folder.write("g.tga", greyTarga16(2, 1, 0, QByteArray::fromHex("1000 c0ff"))),
         {0xff101010, 0xffc0c0c0}},
        {"palette PNG with a transparent entry", folder.file("palette.png"), {0x00000000, 0xffff0000, 0x800000ff}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const DecodeCaller caller : kBothRoutes) {
            const DecodeResult r = decodeBy(decoder, c.path, caller);
            ASSERT_TRUE(r.ok()) << int(caller) << " " << r.failure.toStdString();
            std::vector<QRgb> row = firstRow(r.image);
            // Fully transparent pixels hold no colour worth comparing.
            for (QRgb& p : row) p = qAlpha(p) == 0 ? 0 : p;
            std::vector<QRgb> expected = c.expected;
            for (QRgb& p : expected) p = qAlpha(p) == 0 ? 0 : p;
            EXPECT_EQ(row, expected) << int(caller);
        }
    }
}

TEST(PicturesAsTheyAre, LongThinPicturesGetAVisibleThumbnail)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    test::TempFolder folder;
    for (const QSize size : {QSize(99, 1), QSize(1, 118)}) {
        QImage line(size, QImage::Format_RGB32);
        line.fill(Qt::black);
        const QString path = folder.file(QStringLiteral("%1x%2.png").arg(size.width()).arg(size.height()));
        ASSERT_TRUE(line.save(path));
        for (const int32_t mode : {kSizeModeFit, kSizeModeBox}) {
            int32_t w = 0, h = 0;
            LoadPicOptions quiet;
            quiet.quiet = true;
            const QImage thumbnail = LoadPic(path, mode, 48, 48, 0xFFFFFF, w, h, quiet);
            ASSERT_FALSE(thumbnail.isNull()) << mode;
            EXPECT_EQ(QSize(w, h), size);
            int dark = 0;
            for (int y = 0; y < thumbnail.height(); ++y)
                for (int x = 0; x < thumbnail.width(); ++x) dark += qGray(thumbnail.pixel(x, y)) < 128;
            EXPECT_EQ(dark, 48) << size.width() << "x" << size.height() << " mode " << mode;
        }
    }
}

TEST(PicturesAsTheyAre, JpegsAreReadByTheThumbnailsReaderAndRefusedForWhatTheyAre)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    test::TempFolder folder;
    decode::DecoderProcess decoder;
    // Two colour components: Qt's reader refuses them; FreeImage's wrote past its buffer on
    // such a file, so a decoder that died would answer "Unable to read".
    const QString odd = folder.write("two.jpg", jpegWithComponents(16, 16, 2));
    // A frame far over the size cap, the file otherwise whole.
    QByteArray huge = jpegWithComponents(8, 8, 3);
    const qsizetype sof = huge.indexOf(QByteArray::fromHex("ffc0"));
    ASSERT_GT(sof, 0);
    qToBigEndian<quint16>(40000, huge.data() + sof + 5);
    qToBigEndian<quint16>(40000, huge.data() + sof + 7);
    const QString large = folder.write("large.jpg", huge);
    const QByteArray whole = jpegWithComponents(64, 64, 3);
    const QString cut = folder.write("cut.jpg", whole.left(whole.size() * 2 / 3));
    const QString good = folder.write("good.jpg", whole);
    const QString unnamed = folder.write("good.dat", whole);

    for (const DecodeCaller caller : kBothRoutes) {
        SCOPED_TRACE(int(caller));
        for (const QString& path : {odd, cut}) {
            const DecodeResult r = decodeBy(decoder, path, caller);
            EXPECT_EQ(r.status, DecodeStatus::Invalid) << path.toStdString();
            EXPECT_NE(r.failure, QString::fromLatin1(decode::kUnableToRead)) << path.toStdString();
        }
        const DecodeResult tooLarge = decodeBy(decoder, large, caller);
        EXPECT_EQ(tooLarge.status, DecodeStatus::TooLarge) << tooLarge.failure.toStdString();
        for (const QString& path : {good, unnamed}) {
            const DecodeResult r = decodeBy(decoder, path, caller);
            ASSERT_TRUE(r.ok()) << path.toStdString();
            EXPECT_EQ(r.image.convertToFormat(QImage::Format_RGB32), QImage(good, "jpeg").convertToFormat(QImage::Format_RGB32));
        }
    }
}

TEST(PicturesAsTheyAre, AGifHasItsLogicalScreensSizeInThumbnailsDetailsAndTheFullDecode)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    // A 20 x 10 screen holding one 2 x 1 frame at (3, 2) of colour 1 (red); colour 0 is transparent.
    QByteArray gif = QByteArray("GIF89a") + QByteArray::fromHex("14000a00 80 00 00") + QByteArray::fromHex("000000 ff0000") +
                     QByteArray::fromHex("21f904 01 0000 00 00") + QByteArray::fromHex("2c 0300 0200 0200 0100 00") +
                     QByteArray::fromHex("02 02 4c0a 00") + QByteArray::fromHex("3b");
    test::TempFolder folder;
    const QString path = folder.write("framed.gif", gif);
    decode::DecoderProcess decoder;
    for (const DecodeCaller caller : kBothRoutes) {
        const DecodeResult r = decodeBy(decoder, path, caller);
        ASSERT_TRUE(r.ok()) << int(caller) << " " << r.failure.toStdString();
        EXPECT_EQ(r.image.size(), QSize(20, 10)) << int(caller);
        EXPECT_EQ(r.image.pixel(4, 2), qRgb(255, 0, 0)) << int(caller);
        EXPECT_EQ(qAlpha(r.image.pixel(0, 0)), 0) << int(caller);
    }
    int32_t w = 0, h = 0;
    EXPECT_FALSE(LoadPic(path, kSizeModeBox, 48, 48, 0xFFFFFF, w, h).isNull());
    EXPECT_EQ(QSize(w, h), QSize(20, 10));
    clsImageHeaderInfo header;
    ASSERT_TRUE(header.ReadGIF_BMP_Header(path));
    EXPECT_EQ(QSize(header.Width(), header.Height()), QSize(20, 10));
}
