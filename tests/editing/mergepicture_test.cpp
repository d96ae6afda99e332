// A watermark picture keeps its transparency whatever kind of PNG holds it: the PNGs are built
// byte by byte here, so each kind is exactly what its name says.
#include "platform/sys/blockingcalls.h"
#include "editing/ImageOperations.h"
#include "editing/modProcessTasks.h"

#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <zlib.h>

namespace tf::test {
namespace {

QByteArray be32(uint32_t v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return be32(uint32_t(data.size())) + body +
           be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// A 4 x 4 PNG, 8 bits per sample, of the colour type given: a 2 x 2 block of `opaque` samples at
// the top left and `clear` samples elsewhere, with the extra chunks before the pixels.
QByteArray png(uint8_t colourType, const QByteArray& opaque, const QByteArray& clear, const QByteArray& extra = {})
{
    QByteArray rows;
    for (int y = 0; y < 4; ++y) {
        rows += char(0); // no filter
        for (int x = 0; x < 4; ++x) rows += x < 2 && y < 2 ? opaque : clear;
    }
    QByteArray header = be32(4) + be32(4);
    header += char(8);
    header += char(colourType);
    header += QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + extra +
           chunk("IDAT", qCompress(rows).mid(4)) + chunk("IEND", {});
}

TEST(MergePicture, TransparentPixelsOfEveryPngKindStayTransparent)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    TempFolder dir;
    // The palette's entry 0 is black and transparent, entry 1 red and opaque.
    const QByteArray palette = chunk("PLTE", QByteArray("\0\0\0\xff\0\0", 6)) + chunk("tRNS", QByteArray(1, '\0'));
    const struct {
        const char* kind;
        QByteArray bytes;
    } kinds[] = {{"palette with tRNS", png(3, QByteArray(1, '\1'), QByteArray(1, '\0'), palette)},
                 {"grey and alpha", png(4, QByteArray("\x40\xff", 2), QByteArray(2, '\0'))},
                 {"RGBA", png(6, QByteArray("\xff\0\0\xff", 4), QByteArray(4, '\0'))}};
    QImage page(8, 8, QImage::Format_RGB32);
    page.fill(qRgb(200, 220, 240));
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        const QImage picture = loadMergePicture(dir.write(QStringLiteral("mark.png"), k.bytes));
        ASSERT_FALSE(picture.isNull());
        // Merged at the centre: the picture covers 2..5, its opaque block 2..3.
        const QImage merged = editops::Merge(page, picture, {});
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool covered = x >= 2 && x < 4 && y >= 2 && y < 4;
                if (!covered) EXPECT_EQ(merged.pixel(x, y), page.pixel(x, y)) << x << "," << y;
                else EXPECT_NE(merged.pixel(x, y), page.pixel(x, y)) << x << "," << y;
            }
    }
}

} // namespace
} // namespace tf::test
