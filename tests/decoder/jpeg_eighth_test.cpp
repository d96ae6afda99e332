// Our reader of JPEGs at an eighth of their size against libjpeg's reduced decode (through Qt's
// reader), on JPEGs of every layout libjpeg writes.
#include "platform/imagebox/jpeg_eighth.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

using tf::decodeJpegEighth;

namespace {

// Smooth colour, hard edges and some noise: every kind of block.
QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 30, 60));
    p.drawEllipse(QRect(width / 5, height / 6, width / 2, height / 2));
    p.fillRect(QRect(width / 2, height / 2, width / 3, height / 4), QColor(20, 200, 40));
    p.end();
    QRandomGenerator noise(7);
    for (int y = 0; y < height; y += 3)
        for (int x = 0; x < width; x += 2) {
            const QRgb c = image.pixel(x, y);
            const int n = int(noise.bounded(31)) - 15;
            image.setPixel(x, y, qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) - n, 0, 255), qBlue(c)));
        }
    return image;
}

struct Layout {
    J_COLOR_SPACE space = JCS_YCbCr; // as written; JCS_GRAYSCALE, JCS_RGB (Adobe, no JFIF), JCS_CMYK
    int lumaH = 2, lumaV = 2;        // the first component's sampling; the others 1 x 1
    int restartInterval = 0;         // in MCUs
    bool scanPerComponent = false;   // sequential, but one scan for each component
};

// The picture as libjpeg writes it in `layout`.
QByteArray writeJpeg(const QImage& image, const Layout& layout)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    const bool grey = layout.space == JCS_GRAYSCALE, cmyk = layout.space == JCS_CMYK;
    c.input_components = grey ? 1 : cmyk ? 4 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, layout.space);
    jpeg_set_quality(&c, 90, TRUE);
    c.comp_info[0].h_samp_factor = layout.lumaH;
    c.comp_info[0].v_samp_factor = layout.lumaV;
    c.restart_interval = unsigned(layout.restartInterval);
    std::vector<jpeg_scan_info> scans;
    if (layout.scanPerComponent) {
        for (int i = 0; i < c.num_components; ++i) scans.push_back({1, {i, 0, 0, 0}, 0, 63, 0, 0});
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(image.width() * c.input_components));
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            JSAMPLE* s = row.data() + x * c.input_components;
            if (grey) {
                s[0] = JSAMPLE(qGray(px));
            } else {
                s[0] = JSAMPLE(qRed(px));
                s[1] = JSAMPLE(qGreen(px));
                s[2] = JSAMPLE(qBlue(px));
                if (cmyk) s[3] = 40;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

// libjpeg's own decode at an eighth, with the settings Qt's reader uses.
QImage libjpegEighth(const QByteArray& bytes)
{
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&c, TRUE);
    c.scale_num = 1;
    c.scale_denom = 8;
    const bool grey = c.num_components == 1;
    c.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&c);
    QImage image(int(c.output_width), int(c.output_height), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = image.scanLine(int(c.output_scanline));
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return image;
}

// Whether Qt's reader reads it.
bool qtReads(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return !QImageReader(&buffer, "jpeg").read().isNull();
}

// Each 2 x 2 pixels their mean.
QImage halve(const QImage& image)
{
    QImage half(image.width() / 2, image.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < half.height(); ++y)
        for (int x = 0; x < half.width(); ++x) {
            int r = 0, g = 0, b = 0;
            for (const QPoint at : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
                const QRgb p = image.pixel(2 * x + at.x(), 2 * y + at.y());
                r += qRed(p);
                g += qGreen(p);
                b += qBlue(p);
            }
            half.setPixel(x, y, qRgb((r + 2) / 4, (g + 2) / 4, (b + 2) / 4));
        }
    return half;
}

struct Difference {
    double mean = 0; // per channel
    int most = 0;
};

Difference compare(const QImage& a, const QImage& b)
{
    Difference d;
    int64_t sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int diff : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                sum += std::abs(diff);
                d.most = std::max(d.most, std::abs(diff));
            }
        }
    d.mean = a.isNull() ? 0 : double(sum) / (3.0 * a.width() * a.height());
    return d;
}

TEST(JpegEighth, GivesLibjpegsReducedDecode)
{
    struct Case {
        const char* what;
        QSize size;
        Layout layout;
        int most;
    };
    const Case cases[] = {
        {"grey", {403, 301}, {.space = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1}, 0},
        {"colour, 4:4:4", {403, 301}, {.lumaH = 1, .lumaV = 1}, 0},
        {"colour, 4:2:2", {403, 301}, {.lumaH = 2, .lumaV = 1}, 2},
        {"colour, 4:2:0", {403, 301}, {}, 2},
        {"colour, 4:2:0, one pixel", {1, 1}, {}, 0},
        {"colour, 4:1:1 upright", {403, 301}, {.lumaH = 1, .lumaV = 4}, 2},
        {"restarts every 5 MCUs", {403, 301}, {.restartInterval = 5}, 2},
        {"restarts every MCU", {203, 101}, {.restartInterval = 1}, 2},
        {"grey, restarts every 7 blocks", {403, 301}, {.space = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1, .restartInterval = 7}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray jpeg = writeJpeg(picture(c.size.width(), c.size.height()), c.layout);
        const QImage ours = decodeJpegEighth(jpeg);
        const QImage theirs = libjpegEighth(jpeg);
        ASSERT_FALSE(ours.isNull());
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_EQ(ours.format(), c.layout.space == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const Difference d = compare(ours, theirs);
        EXPECT_LE(d.most, c.most);
        EXPECT_LT(d.mean, 0.05);
        // Each block of colour its mean: the same once the picture is halved.
        const QImage blocks = decodeJpegEighth(jpeg, tf::EighthColour::BlockMeans);
        ASSERT_EQ(blocks.size(), theirs.size());
        const Difference halved = compare(halve(blocks), halve(theirs));
        EXPECT_LE(halved.most, 3);
    }
    // As Qt writes them.
    for (const bool grey : {false, true}) {
        QImage image = picture(640, 480);
        if (grey) image = image.convertToFormat(QImage::Format_Grayscale8);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&buffer, "jpeg").write(image));
        const QImage ours = decodeJpegEighth(buffer.data());
        ASSERT_EQ(ours.size(), QSize(80, 60));
        EXPECT_LE(compare(ours, libjpegEighth(buffer.data()).convertToFormat(ours.format())).most, 2);
    }
}

TEST(JpegEighth, LeavesOtherKindsToLibjpeg)
{
    const QImage image = picture(160, 120);
    const auto progressive = [&] {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.write(image);
        return buffer.data();
    };
    QByteArray arithmetic = writeJpeg(image, {});
    arithmetic[arithmetic.indexOf("\xFF\xC0") + 1] = char(0xC9); // the same frame, said to be arithmetic-coded
    const std::pair<const char*, QByteArray> cases[] = {
        {"progressive", progressive()},
        {"arithmetic-coded", arithmetic},
        {"RGB", writeJpeg(image, {.space = JCS_RGB})},
        {"CMYK", writeJpeg(image, {.space = JCS_CMYK})},
        {"a scan for each component", writeJpeg(image, {.scanPerComponent = true})},
    };
    for (const auto& [what, jpeg] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(qtReads(jpeg));
        EXPECT_TRUE(decodeJpegEighth(jpeg).isNull());
    }
}

// Whatever the damage, a picture of the right size or none; libjpeg then says what is wrong.
TEST(JpegEighth, DamagedFilesGiveNothingOrAPictureOfTheirSize)
{
    const QByteArray whole = writeJpeg(picture(203, 101), {.restartInterval = 4});
    const QSize size(26, 13);
    ASSERT_EQ(decodeJpegEighth(whole).size(), size);
    for (qsizetype n = 0; n < whole.size(); ++n) ASSERT_TRUE(decodeJpegEighth(whole.left(n)).isNull()) << "cut at " << n;

    QRandomGenerator random(11);
    for (int i = 0; i < 3000; ++i) {
        QByteArray damaged = whole;
        const qsizetype at = qsizetype(random.bounded(int(whole.size())));
        const char values[] = {'\0', char(0xFF), char(0xD9), char(0xD3), char(random.bounded(256))};
        damaged[at] = values[random.bounded(5)];
        const QImage image = decodeJpegEighth(damaged);
        if (!image.isNull()) {
            ASSERT_EQ(image.size(), size) << "byte " << at;
        }
    }

    // A table of more codes than their lengths allow.
    QByteArray overfull = whole;
    const qsizetype table = overfull.indexOf("\xFF\xC4");
    ASSERT_GT(table, 0);
    ASSERT_EQ(overfull.mid(table + 5, 3), QByteArray::fromHex("000105"));
    overfull[table + 5] = 3; // three codes of one bit, and two of the five of three bits fewer
    overfull[table + 7] = 2;
    EXPECT_TRUE(decodeJpegEighth(overfull).isNull());

    // Restart markers must come in turn.
    QByteArray renumbered = whole;
    const qsizetype restart = renumbered.indexOf("\xFF\xD1");
    ASSERT_GT(restart, 0);
    renumbered[restart + 1] = char(0xD2);
    EXPECT_TRUE(decodeJpegEighth(renumbered).isNull());
    EXPECT_TRUE(decodeJpegEighth(renumbered.remove(restart, 2)).isNull());
}

} // namespace
