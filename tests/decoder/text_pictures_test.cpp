// X11 bitmaps and pixmaps as other programs write them: the image control's route and the shared
// loader's read each file, and read it alike.
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_geometry.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <gtest/gtest.h>

#include <QImageReader>

using namespace tf;

namespace {

DecodeResult decodeBy(decode::DecoderProcess& decoder, const QString& path, DecodeCaller caller)
{
    return routedAnswer(decoder.decode(routedRequest({path, 1, caller, kSizeModeOwn, 0, 0})));
}

// The picture as rows of '#' (black) and '.' (white).
QStringList rowsOf(const QImage& image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x) row += qGray(image.pixel(x, y)) < 128 ? QLatin1Char('#') : QLatin1Char('.');
        rows << row;
    }
    return rows;
}

} // namespace

TEST(TextPictures, BitmapsFromEveryKindOfWriterReadTheSameOnBothRoutes)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    const QStringList picture = {"#........#", ".......##."};
    const struct {
        const char* what;
        const char* name;
        QByteArray text;
    } cases[] = {
        {"a comment before the first define", "commented.xbm",
         "/* Created with The GIMP */\n\n#define commented_width 10\n#define commented_height 2\n"
         "static unsigned char commented_bits[] = {\n 0x01, 0x02, 0x80, 0x01 };\n"},
        {"names with dashes", "my-icon.xbm",
         "#define my-icon_width 10\n#define my-icon_height 2\nstatic char my-icon_bits[] = {\n 0x01, 0x02, 0x80, 0x01};\n"},
        {"a hot spot, decimal values, comments between values", "hot.xbm",
         "#define hot_width 10\n#define hot_height 2\n#define hot_x_hot 3\n"
         "static char hot_bits[] = { 1, /* first row */ 2,\n // second row\n 128, 1 }"},
        {"X10 shorts", "old.xbm",
         "#define old_width 10\n#define old_height 2\nstatic unsigned short old_bits[] = {\n 0x0201, 0x0180 };\n"},
    };
    test::TempFolder folder;
    decode::DecoderProcess decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = folder.write(c.name, c.text);
        for (const DecodeCaller caller : {DecodeCaller::Control, DecodeCaller::Loader}) {
            const DecodeResult r = decodeBy(decoder, path, caller);
            ASSERT_TRUE(r.ok()) << int(caller) << " " << r.failure.toStdString();
            EXPECT_EQ(rowsOf(r.image), picture) << int(caller);
        }
    }

    // Fewer values than the size needs is a damaged file on both routes, not a picture padded white.
    const QString cut = folder.write("cut.xbm", "#define cut_width 10\n#define cut_height 2\nstatic char cut_bits[] = {0x01, 0x02};");
    for (const DecodeCaller caller : {DecodeCaller::Control, DecodeCaller::Loader})
        EXPECT_FALSE(decodeBy(decoder, cut, caller).ok()) << int(caller);
}

TEST(TextPictures, PixmapsQtReadsAreReadOnBothRoutes)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    const struct {
        const char* what;
        QByteArray colours;
    } cases[] = {
        {"named colours", "\"a c red\",\n\"b c white\",\n"},
        {"a symbolic key before the colour, and None", "\"a s edge c #FF0000\",\n\"b s background c None\",\n"},
        {"sixteen bits a channel", "\"a c #FFFF00000000\",\n\"b c #FFFFFFFFFFFF\",\n"},
    };
    test::TempFolder folder;
    decode::DecoderProcess decoder;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = folder.write(QStringLiteral("p%1.xpm").arg(++n), "/* XPM */\nstatic char *p[] = {\n\"3 2 2 1\",\n" +
                                                                                 c.colours + "\"aba\",\n\"bab\"};\n");
        const QImage qt = QImageReader(path).read();
        ASSERT_FALSE(qt.isNull());
        for (const DecodeCaller caller : {DecodeCaller::Control, DecodeCaller::Loader}) {
            const DecodeResult r = decodeBy(decoder, path, caller);
            ASSERT_TRUE(r.ok()) << int(caller) << " " << r.failure.toStdString();
            ASSERT_EQ(r.image.size(), qt.size());
            for (int y = 0; y < qt.height(); ++y)
                for (int x = 0; x < qt.width(); ++x) EXPECT_EQ(r.image.pixel(x, y), qt.pixel(x, y)) << x << "," << y;
        }
    }
}
