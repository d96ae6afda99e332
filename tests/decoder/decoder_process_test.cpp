// One guarded decoder: exact transfer, and any failure costs one request and nothing after it.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decoder_client.h"
#include "platform/decode/decoder_server.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <csignal>
#include <sys/wait.h>

using namespace tf::decode;
namespace stub = tf::test::stub;
using namespace std::chrono_literals;

namespace {

DecoderSettings stubSettings(std::chrono::milliseconds timeLimit = 2000ms)
{
    DecoderSettings s;
    s.program = QStringLiteral(TF_STUB_DECODER);
    s.timeLimit = timeLimit;
    return s;
}

DecodeRequest pictureRequest(QImage::Format format, int width, int height, const QString& path = QStringLiteral("x"))
{
    return {.kind = stub::Picture, .path = path, .width = width, .height = height, .flags = format};
}

TEST(DecoderProcess, PicturesOfEveryLayoutArriveExactly)
{
    struct Case {
        QImage::Format format;
        int width, height;
    };
    // Odd widths leave padding at the end of the rows at every depth.
    const Case cases[] = {{QImage::Format_Mono, 13, 5},          {QImage::Format_MonoLSB, 9, 3},
                          {QImage::Format_Indexed8, 7, 4},       {QImage::Format_Grayscale8, 5, 6},
                          {QImage::Format_Grayscale16, 3, 3},    {QImage::Format_RGB888, 3, 7},
                          {QImage::Format_RGB32, 4, 4},          {QImage::Format_ARGB32, 2, 9},
                          {QImage::Format_ARGB32_Premultiplied, 6, 1}, {QImage::Format_RGBA64, 5, 2},
                          {QImage::Format_RGBA8888, 1, 1},       {QImage::Format_RGB888, 2480, 3508}};
    DecoderProcess decoder(stubSettings());
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << ", " << c.width << " x " << c.height);
        const DecodeResult r = decoder.decode(pictureRequest(c.format, c.width, c.height));
        ASSERT_EQ(r.status, DecodeStatus::Done);
        const QImage expected = stub::picture(c.format, c.width, c.height);
        EXPECT_EQ(r.image.format(), c.format);
        EXPECT_TRUE(r.image == expected);
        EXPECT_EQ(r.image.colorTable(), expected.colorTable());
        EXPECT_EQ(r.image.dotsPerMeterX(), 11811);
        EXPECT_EQ(r.image.dotsPerMeterY(), 3937);
    }
}

TEST(DecoderProcess, RequestAndAnswerFieldsTravelUnchanged)
{
    DecoderProcess decoder(stubSettings());
    // Path text that UTF-8 or the locale could mangle: an unpaired surrogate, a character outside the BMP.
    const QString path = QStringLiteral("/tmp/Bilder \u00e4\u00df/") + QChar(0xD800) + QString::fromUcs4(U"\U0001D11E.jpg");
    DecodeRequest request = pictureRequest(QImage::Format_RGB32, 3, 2, path);
    request.page = 7;
    request.sizeMode = -481;
    request.backColor = 0x00C0FFEE;
    const DecodeResult r = decoder.decode(request);
    ASSERT_EQ(r.status, DecodeStatus::Done);
    EXPECT_EQ(r.message, path);
    EXPECT_EQ(r.pageCount, 7);
    EXPECT_EQ(r.errorNumber, -481);
    EXPECT_EQ(r.route, 0x00C0FFEE);
    EXPECT_EQ(r.sourceWidth, 6);
    EXPECT_EQ(r.sourceHeight, 4);
}

TEST(DecoderProcess, AFailingDecoderCostsOneRequestAndIsStartedAgain)
{
    struct Case {
        const char* what;
        uint32_t kind;
        int width;
        DecodeStatus expected;
    };
    const Case cases[] = {
        {"crash", stub::Crash, 0, DecodeStatus::Crashed},
        {"hang", stub::Hang, 0, DecodeStatus::TimedOut},
        {"slower than the limit", stub::Sleep, 5000, DecodeStatus::TimedOut},
        {"past the memory limit", stub::Allocate, 3000, DecodeStatus::OutOfMemory},
        {"garbled answer", stub::Garbage, 0, DecodeStatus::ProtocolError},
        {"exit without answer", stub::Quit, 0, DecodeStatus::Crashed},
    };
    DecoderSettings settings = stubSettings(400ms);
    settings.memoryLimit = int64_t(1) << 30;
    DecoderProcess decoder(settings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A sanitized decoder (scripts/sanitize) has no address-space limit to run past.
        if (c.expected == DecodeStatus::OutOfMemory && !kAddressSpaceLimitUsable) continue;
        ASSERT_EQ(decoder.decode(pictureRequest(QImage::Format_RGB32, 2, 2)).status, DecodeStatus::Done);
        const pid_t before = decoder.pid();
        QElapsedTimer timer;
        timer.start();
        const DecodeResult r = decoder.decode({.kind = c.kind, .path = {}, .width = c.width});
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_EQ(r.status, c.expected);
        EXPECT_TRUE(r.image.isNull());
        EXPECT_EQ(r.message, QString::fromLatin1(kUnableToRead));
        EXPECT_EQ(decoder.pid(), 0);
        EXPECT_EQ(::waitpid(before, nullptr, WNOHANG), -1) << "the failed decoder was reaped";

        const DecodeResult after = decoder.decode(pictureRequest(QImage::Format_Indexed8, 3, 3));
        EXPECT_EQ(after.status, DecodeStatus::Done);
        EXPECT_TRUE(after.image == stub::picture(QImage::Format_Indexed8, 3, 3));
    }
}

TEST(DecoderProcess, ADecoderThatDiedOrWasAbortedWhileIdleDoesNotCostTheNextFile)
{
    DecoderProcess decoder(stubSettings());
    ASSERT_EQ(decoder.decode(pictureRequest(QImage::Format_RGB32, 2, 2)).status, DecodeStatus::Done);
    ASSERT_EQ(::kill(decoder.pid(), SIGKILL), 0);
    ::usleep(50000);
    // The kill lands after abort() returns: the next request must not go to the dying decoder.
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(decoder.decode(pictureRequest(QImage::Format_RGB32, 2, 2)).status, DecodeStatus::Done) << "round " << i;
        decoder.abort();
    }
}

TEST(DecoderProcess, AMissingProgramIsReportedForEachRequest)
{
    DecoderSettings settings;
    settings.program = QStringLiteral("/nonexistent/tavrel-folio-decoder");
    DecoderProcess decoder(settings);
    for (int i = 0; i < 2; ++i) {
        const DecodeResult r = decoder.decode(pictureRequest(QImage::Format_RGB32, 2, 2));
        EXPECT_EQ(r.status, DecodeStatus::NoDecoder);
        EXPECT_TRUE(r.message.startsWith(QString::fromLatin1(kUnableToRead)));
        EXPECT_TRUE(r.message.contains(QStringLiteral("/nonexistent/tavrel-folio-decoder")));
    }
}

} // namespace
