#include "players/kit/PlayerPackage.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <functional>

using namespace tf::players;

namespace {

std::optional<Package> read(const QByteArray& bytes)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    return readPackage(file, bytes.size());
}

// A file of `body` followed by `list` (the list text, ";\r\n" included) and a trailer naming where
// the list starts: enough to forge any list over any bytes.
QByteArray forge(const QByteArray& body, const QByteArray& list)
{
    return body + list + '\0' + packageTrailer(static_cast<int32_t>(body.size()));
}

} // namespace

TEST(PlayerPackage, WritesWhatTheReaderFindsAgain)
{
    const QByteArray player("\x7f" "ELF player", 11);
    const QList<QByteArray> jpegs = {QByteArray(100, 'a'), QByteArray(1, 'b'), QByteArray(37, 'c')};
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    PackageWriter writer(out);
    ASSERT_TRUE(writer.writePlayer(player));
    ASSERT_TRUE(writer.addPage(QStringLiteral("one.tif"), jpegs[0]));
    ASSERT_TRUE(writer.addPage(QStringLiteral("two;\r\n.png"), jpegs[1]));
    ASSERT_TRUE(writer.addPage(QStringLiteral("drei ä.jpg"), jpegs[2]));
    const SaverOptions saver{0x00C0FFEE, 5};
    ASSERT_TRUE(writer.finish(packSaverOptions(saver)));
    const QByteArray bytes = out.data();

    const std::optional<Package> p = read(bytes);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->items.size(), 3);
    // Each blob sits after everything before it, one byte longer than its JPEG.
    qint64 expected = player.size() + 1;
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p->items[i].offset, expected);
        EXPECT_EQ(p->items[i].size, jpegs[i].size());
        EXPECT_EQ(readItem(in, p->items[i]), jpegs[i]);
        EXPECT_EQ(bytes.at(p->items[i].offset + jpegs[i].size()), '\0');
        expected += jpegs[i].size() + 1;
    }
    EXPECT_EQ(p->items[1].name, QStringLiteral("two___.png"));
    EXPECT_EQ(p->items[2].name, QStringLiteral("drei ä.jpg"));
    EXPECT_EQ(p->optionsOffset, expected);
    EXPECT_EQ(unpackSaverOptions(p->options), saver);
    // The list ends the file: its length, the 0 and the trailer make up the rest.
    const QByteArray list = bytes.mid(expected + kSaverOptionsSize);
    EXPECT_TRUE(list.startsWith("one.tif;12;100;\r\n"));
    EXPECT_TRUE(list.contains(QByteArray("OPTIONS;") + QByteArray::number(expected) + ";\r\n"));
}

TEST(PlayerPackage, RecordsAndTrailerBytes)
{
    const QByteArray empty = packEffectOptions({});
    EXPECT_EQ(empty, QByteArray(28, '\0'));

    EffectExeOptions clock;
    clock.RollingText = "Happy Greetings!";
    clock.RollingTextColor = 0x112233;
    clock.ClockType = 1;
    clock.ShowDate = 1;
    clock.DateColor = 7;
    clock.HourHandColor = 255;
    clock.MinuteHandColor = 32768;
    clock.SecondHandColor = 0xE0E0E0;
    const QByteArray packed = packEffectOptions(clock);
    EXPECT_EQ(packed.size(), 28 + 16);
    EXPECT_EQ(packed.left(2), QByteArray("\x10\x00", 2));
    EXPECT_EQ(unpackEffectOptions(packed), clock);

    EXPECT_EQ(packageTrailer(987), QByteArray("\x08\x00\x0b\x00" "987       \x00", 15));

    // The record's text length is 16-bit: a long text is cut, never in the middle of a character.
    const QByteArray cut = rollingTextBytes(QString(20000, QChar(0x00E4)));
    EXPECT_EQ(cut.size(), 32766);
    EXPECT_TRUE(QString::fromUtf8(cut) == QString(16383, QChar(0x00E4)));
}

TEST(PlayerPackage, OptionRecordsThatDoNotFitAreRefused)
{
    QByteArray negative = packEffectOptions({});
    negative[0] = '\xff';
    negative[1] = '\xff';
    QByteArray oversized = packEffectOptions({});
    oversized[0] = '\x05';
    EXPECT_FALSE(unpackEffectOptions(negative));
    EXPECT_FALSE(unpackEffectOptions(oversized));
    EXPECT_FALSE(unpackEffectOptions(QByteArray(27, '\0')));
    EXPECT_FALSE(unpackSaverOptions(QByteArray(5, '\0')));
}

TEST(PlayerPackage, CorruptPackagesAreRefused)
{
    const QByteArray body(64, 'P'); // player 0..9, page 10..29 (+0), options at 31
    const QByteArray good = forge(body, "a;10;20;\r\nOPTIONS;31;\r\n");
    ASSERT_TRUE(read(good));

    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const auto withTrailerChars = [&](const QByteArray& chars) {
        QByteArray b = good;
        b.replace(b.size() - 11, 10, chars);
        return b;
    };
    const auto withTrailerByte = [&](int at, char c) {
        QByteArray b = good;
        b[b.size() - 15 + at] = c;
        return b;
    };
    const Case cases[] = {
        {"no trailer at all", body},
        {"shorter than a trailer", good.right(14)},
        {"a letter among the digits", withTrailerChars("6x        ")},
        {"a sign", withTrailerChars("+64       ")},
        {"a digit after the padding", withTrailerChars("64       1")},
        {"only spaces", withTrailerChars("          ")},
        {"more than 31 bits", withTrailerChars("4294967360")},
        {"bad magic", withTrailerByte(0, 9)},
        {"no closing zero", withTrailerByte(14, 'x')},
        {"list offset zero", withTrailerChars("0         ")},
        {"list offset past the end", withTrailerChars("9999      ")},
        {"list not ended by ;CR LF", forge(body, "a;10;20;\r\nOPTIONS;31\r\n")},
        {"no OPTIONS line", forge(body, "a;10;20;\r\n")},
        {"OPTIONS not last", forge(body, "OPTIONS;31;\r\na;10;20;\r\n")},
        {"options past the list", forge(body, "OPTIONS;65;\r\n")},
        {"options too short for any record", forge(body, "OPTIONS;60;\r\n")},
        {"page past the options", forge(body, "a;10;21;\r\nOPTIONS;31;\r\n")},
        {"page offset negative", forge(body, "a;-1;20;\r\nOPTIONS;31;\r\n")},
        {"page size with exponent", forge(body, "a;10;2e1;\r\nOPTIONS;31;\r\n")},
        {"page number too long", forge(body, "a;10;00000000020;\r\nOPTIONS;31;\r\n")},
        {"a name with ';'", forge(body, "a;b;10;20;\r\nOPTIONS;31;\r\n")},
        {"a line with LF only", forge(body, "a;10;20;\nOPTIONS;31;\r\n")},
        {"an empty line", forge(body, "\r\nOPTIONS;31;\r\n")},
    };
    for (const Case& c : cases) EXPECT_FALSE(read(c.bytes)) << c.what;
}

TEST(PlayerPackage, ZeroPagesIsAPackageWithNothingToShow)
{
    const std::optional<Package> p = read(forge(QByteArray(40, 'P'), "OPTIONS;34;\r\n"));
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->items.isEmpty());
    EXPECT_EQ(p->options.size(), 6);
}

TEST(PlayerPackage, WriterRefusesAShowPastTwoGigabytes)
{
    // A device that takes anything and keeps nothing: the size check alone decides.
    class Sink : public QIODevice {
    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char*, qint64 n) override { return n; }
    } sink;
    sink.open(QIODevice::WriteOnly);
    PackageWriter writer(sink);
    ASSERT_TRUE(writer.writePlayer(QByteArray(1 << 20, 'p')));
    const QByteArray page(256 << 20, 'j');
    int taken = 0;
    while (writer.addPage(QStringLiteral("p"), page)) ++taken;
    EXPECT_EQ(taken, 7);
    EXPECT_FALSE(writer.error().isEmpty());
    EXPECT_FALSE(writer.finish(packSaverOptions({})));
}
