// What a decoder takes on: claims refused before a library allocates for them, caps that follow
// the machine's memory, SVG drawn with its text, and decoders running before they are needed.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_geometry.h"
#include "platform/imagebox/picture_limits.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageWriter>
#include <QThread>
#include <QtEndian>
#include <unistd.h>
#include <zlib.h>

using namespace tf::decode;
using namespace std::chrono_literals;
using tf::FileClaims;

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
    return be32(uint32_t(data.size())) + body + be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

QByteArray zlibStream(const QByteArray& plain) { return qCompress(plain).mid(4); } // without Qt's length prefix

// A 16 x 12 PNG with `extra` chunks just before its end.
QByteArray pngWith(const QByteArray& extra)
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray whole;
    QBuffer buffer(&whole);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return whole.left(whole.size() - 12) + extra + whole.right(12);
}

QByteArray pngClaiming(uint32_t width, uint32_t height)
{
    const QByteArray header = be32(width) + be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IEND", {});
}

TEST(PngClaims, AreRefusedWhenTheyWouldTakeMoreThanTheFileCouldHold)
{
    const QByteArray lotsOfText = chunk("zTXt", QByteArray("Comment\0\0", 9) + zlibStream(QByteArray(33 << 20, ' ')));
    const QByteArray hugeProfile = chunk("iCCP", QByteArray("icc\0\0", 5) + zlibStream(be32(1u << 30) + QByteArray(128, '\0')));
    const QByteArray plainInternational = chunk("iTXt", QByteArray("Title\0\0\0en\0\0", 12) + "a plain title");
    const QByteArray whole = pngWith({});
    struct Case { const char* what; QByteArray bytes; FileClaims::Verdict verdict; QString why; };
    const Case cases[] = {
        {"a plain picture", whole, FileClaims::Believable, {}},
        {"text and a profile of ordinary size", pngWith(lotsOfText + plainInternational), FileClaims::Believable, {}},
        {"pixel data cut short: the reader's to report", whole.left(whole.size() - 20), FileClaims::Believable, {}},
        {"no PNG", QByteArray("GIF89a") + whole, FileClaims::Believable, {}},
        {"a text chunk claiming more than the file holds", pngWith(be32(0x61000025) + "tEXtdate\0" + "2026"),
         FileClaims::Damaged, "truncated file"},
        {"a header claiming 70000 x 70000", pngClaiming(70000, 70000), FileClaims::TooLarge,
         "The picture is too large (70000 x 70000)."},
        {"compressed text past the cap in all", pngWith(lotsOfText + lotsOfText), FileClaims::TooLarge,
         "The picture's metadata is too large."},
        {"a profile stating 1 GiB", pngWith(hugeProfile), FileClaims::TooLarge, "The picture's metadata is too large."},
    };
    for (const Case& c : cases) {
        const FileClaims r = tf::checkPngClaims(reinterpret_cast<const uchar*>(c.bytes.constData()), c.bytes.size());
        EXPECT_EQ(r.verdict, c.verdict) << c.what;
        EXPECT_EQ(r.why, c.why) << c.what;
    }
}

TEST(DecoderMemory, AllDecodersTogetherStayWithinHalfTheMachineAndEachTakesAPageAt600Dpi)
{
    constexpr int64_t GiB = int64_t(1) << 30;
    const struct { int processes; int64_t memory, limit; } cases[] = {
        {8, 64 * GiB, 2 * GiB},             // a large machine: no more than before
        {8, 16 * GiB, 1 * GiB},             // half the memory shared out
        {8, 4 * GiB, kMinimumMemoryLimit},  // too little to share: the floor
        {0, 8 * GiB, 2 * GiB},              // no processes counts as one
        {8, 0, 2 * GiB},                    // memory unknown
    };
    for (const auto& c : cases) EXPECT_EQ(decoderMemoryLimit(c.processes, c.memory), c.limit) << c.processes << ", " << c.memory;
    // Even at the floor an A4 page scanned at 600 dpi is taken on.
    EXPECT_GE(tf::picturePixelsWithin(kMinimumMemoryLimit), int64_t(4960) * 7016);
    EXPECT_LT(tf::picturePixelsWithin(kMinimumMemoryLimit), int64_t(7200) * 7200);
}

int64_t peakResidentBytes(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

DecodeRequest pageRequest(const QString& path) { return {.kind = uint32_t(DecodeKind::Page), .path = path}; }

DecodeRequest thumbnailRequest(const QString& path, tf::DecodeCaller caller)
{
    return tf::routedRequest({path, 1, caller, kSizeModeBox, 40, 40});
}

TEST(DecoderMemory, AClaimIsRefusedBeforeTheLibraryAllocatesIt)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderSettings unlimited;
    unlimited.memoryLimit = 0;
    DecoderProcess decoder(unlimited);
    const QString repro = QStringLiteral(TF_LOADER_REGRESSION_DIR "/libpng-text-chunk-1.6GB.png");
    for (const DecodeRequest& request : {pageRequest(repro), thumbnailRequest(repro, tf::DecodeCaller::Loader),
                                         thumbnailRequest(repro, tf::DecodeCaller::PageWriter)}) {
        const DecodeResult r = decoder.decode(request);
        ASSERT_EQ(r.status, DecodeStatus::Done);
        EXPECT_TRUE(r.image.isNull());
        EXPECT_EQ(r.message, QStringLiteral("truncated file"));
    }
    // libpng zeroes the 1.6 GB the chunk claims; refused first, the decoder stays at its own size.
    EXPECT_LT(peakResidentBytes(decoder.pid()), int64_t(400) << 20);
}

TEST(DecoderMemory, TheSizeCapFollowsTheDecodersLimitOnEveryRoute)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    tf::test::TempFolder folder;
    const QString big = folder.write("big.png", pngClaiming(7200, 7200));
    DecoderSettings settings;
    settings.memoryLimit = kMinimumMemoryLimit;
    DecoderProcess small(settings);
    settings.memoryLimit = int64_t(2) << 30;
    DecoderProcess roomy(settings);
    const QString tooLarge = QStringLiteral("The picture is too large (7200 x 7200).");
    for (const tf::DecodeCaller caller : {tf::DecodeCaller::Control, tf::DecodeCaller::Loader}) {
        SCOPED_TRACE(int(caller));
        const tf::DecodeResult refused = tf::routedAnswer(small.decode(thumbnailRequest(big, caller)));
        EXPECT_EQ(refused.failure, tooLarge);
        // Room enough: the claim passes, and only the missing pixel data fails the file.
        const tf::DecodeResult read = tf::routedAnswer(roomy.decode(thumbnailRequest(big, caller)));
        EXPECT_FALSE(read.ok());
        EXPECT_NE(read.failure, tooLarge);
    }
}

// Qt's SVG reader needs a GUI application for its fonts; text and gradients must come out drawn.
TEST(DecoderSvg, TextAndAGradientAreDrawn)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    tf::test::TempFolder folder;
    const QString text = folder.write("text.svg", R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="160" height="48">
        <rect width="160" height="48" fill="white"/>
        <text x="6" y="38" font-family="sans-serif" font-size="36" fill="black">Folio</text></svg>)svg");
    const QString linear = folder.write("linear.svg", R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="20">
        <defs><linearGradient id="g"><stop offset="0" stop-color="red"/><stop offset="1" stop-color="blue"/></linearGradient></defs>
        <rect width="100" height="20" fill="url(#g)"/></svg>)svg");
    DecoderProcess decoder;

    const DecodeResult t = decoder.decode(pageRequest(text));
    ASSERT_EQ(t.status, DecodeStatus::Done) << t.message.toStdString();
    ASSERT_EQ(t.image.size(), QSize(160, 48));
    int ink = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 160; ++x) ink += qGray(t.image.pixel(x, y)) < 100;
    EXPECT_GT(ink, 200) << "the text was not drawn";

    const tf::DecodeResult l = tf::routedAnswer(decoder.decode(thumbnailRequest(linear, tf::DecodeCaller::Control)));
    ASSERT_TRUE(l.ok()) << l.failure.toStdString();
    EXPECT_GT(qRed(l.image.pixel(2, 10)), 200);
    EXPECT_GT(qBlue(l.image.pixel(97, 10)), 200);
}

TEST(DecoderSvg, InstalledDrawingsCostNoDecoder)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    QStringList found;
    for (QDirIterator it(QStringLiteral("/usr/share"), {QStringLiteral("*.svg")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext() && found.size() < 24;)
        found << it.next();
    if (found.isEmpty()) GTEST_SKIP() << "no SVG files under /usr/share";
    DecodeBatch batch;
    for (const QString& path : found) batch.submit(pageRequest(path));
    int answered = 0;
    for (; auto f = batch.next(30s); ++answered) EXPECT_EQ(f->result.status, DecodeStatus::Done) << found[f->index].toStdString();
    EXPECT_EQ(answered, found.size());
}

// Whether the stand-in decoders this process started and that are alive come to `count`.
bool stubDecodersBecome(int count)
{
    for (int attempt = 0; attempt < 3000; ++attempt, QThread::msleep(20)) {
        int alive = 0;
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' '); // state, parent, ...
            alive += line.contains("(tf_stub_decoder)") && fields.size() > 1 && fields[0] != "Z" && fields[1].toLongLong() == ::getpid();
        }
        if (alive == count) return true;
    }
    return false;
}

TEST(DecoderPool, NoDecoderRunsBeforeTheFirstRequestAndAFailedOneIsReplacedAtOnce)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderSettings settings;
    settings.program = QStringLiteral(TF_STUB_DECODER);
    settings.processes = 3;
    DecoderPool pool(settings);
    EXPECT_TRUE(stubDecodersBecome(0));
    EXPECT_EQ(pool.decode({.kind = tf::test::stub::Sleep, .path = {}, .width = 1}).status, DecodeStatus::Done);
    EXPECT_TRUE(stubDecodersBecome(1)) << "the decoder that answered stays for the next request";
    EXPECT_EQ(pool.decode({.kind = tf::test::stub::Crash, .path = {}}).status, DecodeStatus::Crashed);
    EXPECT_TRUE(stubDecodersBecome(1)) << "the crashed decoder was not replaced ahead of the next request";
}

} // namespace
