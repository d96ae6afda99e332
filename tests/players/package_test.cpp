#include "players/kit/PlayerPackage.h"

#include "basket/BasketPageSource.h"
#include "players/PlayerBuild.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

#include <functional>

using namespace tf::players;
using tf::test::TempFolder;
using tf::test::readAll;

namespace {

std::optional<Package> read(const QByteArray& bytes, OptionsKind kind = OptionsKind::Saver, QString* damage = nullptr)
{
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    return readPackage(file, bytes.size(), kind, damage);
}

// Bytes that frame a JPEG as every JPEG file is framed; the reader decodes no page.
QByteArray jpegLike(int size)
{
    return QByteArray("\xff\xd8\xff", 3) + QByteArray(size - 5, 'j') + QByteArray("\xff\xd9", 2);
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
    const QList<QByteArray> jpegs = {jpegLike(100), jpegLike(5), jpegLike(37)};
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
    // The same bytes as the effect shows' record they are not.
    QString damage;
    EXPECT_FALSE(read(bytes, OptionsKind::Effect, &damage));
    EXPECT_EQ(damage, QStringLiteral("its options are damaged."));
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

TEST(PlayerPackage, PackagesTheWriterCannotHaveWrittenAreRefused)
{
    // player 0..8 and its 0, a page at 10..29 and its 0, the record at 31..36, the list at 37.
    const QByteArray body = QByteArray(9, 'P') + '\0' + jpegLike(20) + '\0' + packSaverOptions({});
    const QByteArray good = forge(body, "a;10;20;\r\nOPTIONS;31;\r\n");
    ASSERT_TRUE(read(good));

    struct Case {
        const char* what;
        QByteArray bytes;
        OptionsKind kind = OptionsKind::Saver;
    };
    const auto withTrailerChars = [&](const QByteArray& chars) {
        QByteArray b = good;
        b.replace(b.size() - 11, 10, chars);
        return b;
    };
    const auto withByte = [&](qsizetype at, char c) {
        QByteArray b = good;
        b[at < 0 ? b.size() + at : at] = c;
        return b;
    };
    const Case cases[] = {
        {"bad magic", withByte(-15, 9)},
        {"no closing zero", withByte(-1, 'x')},
        {"list offset zero", withTrailerChars("0         ")},
        {"list offset with a leading zero", withTrailerChars("037       ")},
        {"list offset past the end", withTrailerChars("9999      ")},
        {"list offset a byte early", withTrailerChars("36        ")},
        {"list offset three bytes early", withTrailerChars("34        ")},
        {"list offset a byte late", withTrailerChars("38        ")},
        {"list not ended by ;CR LF", forge(body, "a;10;20;\r\nOPTIONS;31\r\n")},
        {"no OPTIONS line", forge(body, "a;10;20;\r\n")},
        {"OPTIONS not last", forge(body, "OPTIONS;31;\r\na;10;20;\r\n")},
        {"OPTIONS with a field more", forge(body, "a;10;20;\r\nOPTIONS;31;;\r\n")},
        {"options past the list", forge(body, "a;10;20;\r\nOPTIONS;38;\r\n")},
        {"options record a byte long", forge(body + 'x', "a;10;20;\r\nOPTIONS;31;\r\n")},
        {"options record a byte short", forge(body.chopped(1), "a;10;20;\r\nOPTIONS;31;\r\n")},
        {"options record of the other kind", good, OptionsKind::Effect},
        {"options not right after the page", forge(body, "a;10;20;\r\nOPTIONS;32;\r\n")},
        {"page past the options", forge(body, "a;10;21;\r\nOPTIONS;31;\r\n")},
        {"page not right after the player", forge(body, "a;11;19;\r\nOPTIONS;31;\r\n")},
        {"no 0 after the player", withByte(9, 'P')},
        {"no 0 after the page", withByte(30, 'x')},
        {"page not a JPEG", withByte(10, 'J')},
        {"page without its end marker", withByte(29, 'x')},
        {"page offset negative", forge(body, "a;-1;20;\r\nOPTIONS;31;\r\n")},
        {"page size with exponent", forge(body, "a;10;2e1;\r\nOPTIONS;31;\r\n")},
        {"page size with a leading zero", forge(body, "a;10;020;\r\nOPTIONS;31;\r\n")},
        {"a name with ';'", forge(body, "a;b;10;20;\r\nOPTIONS;31;\r\n")},
        {"a name with a 0 byte", forge(body, QByteArray("a") + '\0' + "b;10;20;\r\nOPTIONS;31;\r\n")},
        {"a name that is not UTF-8", forge(body, "a\xe4;10;20;\r\nOPTIONS;31;\r\n")},
        {"a line with LF only", forge(body, "a;10;20;\nOPTIONS;31;\r\n")},
        {"an empty line", forge(body, "\r\nOPTIONS;31;\r\n")},
    };
    for (const Case& c : cases) {
        QString damage;
        EXPECT_FALSE(read(c.bytes, c.kind, &damage)) << c.what;
        // A file that ends in a trailer's number is a damaged show, and says so.
        EXPECT_FALSE(damage.isEmpty()) << c.what;
    }

    // No package at all: nothing to say.
    const QByteArray none[] = {body, good.right(14), withTrailerChars("6x        "), withTrailerChars("+37       "),
                               withTrailerChars("37       1"), withTrailerChars("          "),
                               withTrailerChars("4294967360")};
    for (const QByteArray& bytes : none) {
        QString damage = QStringLiteral("unset");
        EXPECT_FALSE(read(bytes, OptionsKind::Saver, &damage)) << bytes.right(15).toHex().toStdString();
        EXPECT_TRUE(damage.isEmpty()) << bytes.right(15).toHex().toStdString();
    }
}

TEST(PlayerPackage, ZeroPagesIsAPackageWithNothingToShow)
{
    const std::optional<Package> p = read(forge(QByteArray(33, 'P') + '\0' + packSaverOptions({}), "OPTIONS;34;\r\n"));
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

namespace {

// A show built as the builders build it, with a small stand-in for the player program.
QByteArray builtShow(const TempFolder& dir, const QString& resource, int pages, const QByteArray& options)
{
    const QString program = tf::fncPlayerProgram(resource);
    const QString fake = dir.write(QFileInfo(program).fileName(), QByteArray("\x7f" "ELF stand-in player"));
    std::vector<tf::basket::PageRecord> basket;
    for (int i = 0; i < pages; ++i) {
        QImage page(24 + 5 * i, 16, QImage::Format_RGB32);
        page.fill(qRgb(40 * i, 120, 200));
        const QString path = dir.file(QStringLiteral("page%1.png").arg(i));
        page.save(path);
        basket.push_back({});
        basket.back().tag = basket.back().source = path;
        basket.back().text = QStringLiteral("page %1").arg(i);
    }
    const QString target = dir.file(resource);
    tf::PagePipeline pipeline(std::make_unique<tf::BasketPageSource>(basket),
                              std::make_unique<tf::PlayerPackageSink>(target, fake, options, 80), {});
    tf::BlockingCallsAllowed buildsHere; // the build runs on the test's thread on purpose
    EXPECT_TRUE(pipeline.runHere().committed);
    return readAll(target);
}

// The package as the writer writes it from what the reader found: the player being all before
// the first blob's 0, the pages' bytes where the list says.
QByteArray rewritten(const QByteArray& bytes, const Package& package)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    PackageWriter writer(out);
    const qsizetype first = package.items.isEmpty() ? package.optionsOffset : package.items.first().offset;
    writer.writePlayer(bytes.first(first - 1));
    for (const PlayerItem& item : package.items) writer.addPage(item.name, bytes.mid(item.offset, item.size));
    writer.finish(package.options);
    return out.data();
}

} // namespace

TEST(PlayerPackage, EveryMutationOfABuiltShowsTailIsRefusedOrStillAsWritten)
{
    TempFolder dir;
    tf::setPlayerProgramFolder(dir.path());
    EffectExeOptions clock;
    clock.RollingText = "Happy Greetings!";
    const struct {
        const char* resource;
        int pages;
        QByteArray options;
        OptionsKind kind;
    } shows[] = {{"SLIDE", 3, packSaverOptions({0x00FF8000, 4}), OptionsKind::Saver},
                 {"CLOCK", 1, packEffectOptions(clock), OptionsKind::Effect}};
    for (const auto& show : shows) {
        const QByteArray built = builtShow(dir, QString::fromLatin1(show.resource), show.pages, show.options);
        const std::optional<Package> original = read(built, show.kind);
        ASSERT_TRUE(original) << show.resource;
        ASSERT_EQ(rewritten(built, *original), built);

        // Every byte of the tail (the last page's end, the options, the list, the trailer) changed,
        // removed, or with a byte put before it, and the file cut there.
        struct Mutant {
            QByteArray bytes;
            bool mustFail; // a cut file, or a changed trailer
        };
        std::vector<Mutant> mutants;
        const qsizetype trailer = built.size() - kTrailerSize;
        for (qsizetype at = built.size() - 600; at < built.size(); ++at) {
            const char was = built.at(at);
            for (const char c : {'\0', '\xff', '\xd9', '0', '1', '9', ';', '\r', '\n', ' ', 'O', char(was + 1),
                                 char(was - 1), char(was ^ 0x40)}) {
                if (c == was) continue;
                QByteArray m = built;
                m[at] = c;
                mutants.push_back({m, at >= trailer});
            }
            mutants.push_back({QByteArray(built).remove(at, 1), at >= trailer});
            for (const char c : {'\0', '0', ';', ' '}) mutants.push_back({QByteArray(built).insert(at, c), at >= trailer});
            mutants.push_back({built.first(at), true});
        }
        for (const Mutant& m : mutants) {
            for (const OptionsKind kind : {OptionsKind::Saver, OptionsKind::Effect}) {
                const std::optional<Package> p = read(m.bytes, kind);
                if (!p) continue;
                EXPECT_FALSE(m.mustFail) << show.resource << ' ' << m.bytes.right(20).toHex().toStdString();
                // What is left are changes the layout allows: in the picture data, a name, the text.
                EXPECT_EQ(rewritten(m.bytes, *p), m.bytes) << show.resource << " took a package the writer cannot write";
            }
        }
    }
    tf::setPlayerProgramFolder(QStringLiteral(TF_PLAYER_DIR));
}
