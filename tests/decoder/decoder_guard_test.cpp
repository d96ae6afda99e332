// The guarded decoders: exact transfer, any failure costs one request and nothing after it; the
// pool answers many requests as they finish, cancels, and serves urgent requests first.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decoder_client.h"
#include "platform/decode/decoder_server.h"
#include "platform/sys/blockingcalls.h"
#include "support/testenv.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <csignal>
#include <poll.h>
#include <set>
#include <sys/wait.h>
#include <thread>

using namespace tf::decode;
namespace stub = tf::test::stub;
using namespace std::chrono_literals;

namespace {

DecoderSettings stubSettings(std::chrono::milliseconds timeLimit = 2000ms, int processes = 1)
{
    DecoderSettings s;
    s.program = QStringLiteral(TF_STUB_DECODER);
    s.timeLimit = timeLimit;
    s.processes = processes;
    return s;
}

DecodeRequest request(uint32_t kind, int width = 0) { return {.kind = kind, .path = {}, .width = width}; }

// Whether `count` files are in the folder, waiting as long as a stuck machine might take.
bool waitForFiles(const tf::test::TempFolder& folder, int count)
{
    return QTest::qWaitFor([&] { return QDir(folder.path()).entryList(QDir::Files).size() >= count; }, 120000);
}

DecodeRequest pictureRequest(QImage::Format format, int width, int height, const QString& path = QStringLiteral("x"))
{
    return {.kind = stub::Picture, .path = path, .width = width, .height = height, .flags = format};
}

TEST(DecoderProcess, PicturesOfEveryLayoutArriveExactly)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    struct Case { QImage::Format format; int width, height; };
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
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderProcess decoder(stubSettings());
    // Path text that UTF-8 or the locale could mangle: an unpaired surrogate, a character outside the BMP.
    const QString path = QStringLiteral("/tmp/Bilder \u00e4\u00df/") + QChar(0xD800) + QString::fromUcs4(U"\U0001D11E.jpg");
    DecodeRequest request = pictureRequest(QImage::Format_RGB32, 3, 2, path);
    request.page = 7;
    request.sizeMode = -481;
    request.backColor = 0x00C0FFEE;
    request.target = QStringLiteral("|") + path;
    const DecodeResult r = decoder.decode(request);
    ASSERT_EQ(r.status, DecodeStatus::Done);
    EXPECT_EQ(r.message, path + request.target) << "the path, then the target";
    EXPECT_EQ(r.pageCount, 7);
    EXPECT_EQ(r.errorNumber, -481);
    EXPECT_EQ(r.route, 0x00C0FFEE);
    EXPECT_EQ(r.sourceWidth, 6);
    EXPECT_EQ(r.sourceHeight, 4);
}

TEST(DecoderProcess, AFailingDecoderCostsOneRequestAndIsStartedAgain)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    const struct { const char* what; uint32_t kind; int width; DecodeStatus expected; } cases[] = {
        {"crash", stub::Crash, 0, DecodeStatus::Crashed},
        {"hang", stub::Hang, 0, DecodeStatus::TimedOut},
        {"slower than the limit", stub::Sleep, 60000, DecodeStatus::TimedOut},
        {"past the memory limit", stub::Allocate, 3000, DecodeStatus::OutOfMemory},
        {"garbled answer", stub::Garbage, 0, DecodeStatus::ProtocolError},
        {"exit without answer", stub::Quit, 0, DecodeStatus::Crashed},
    };
    // Far above what a decoder needs on a busy machine, far below what the slow one asks for.
    DecoderSettings settings = stubSettings(2000ms);
    settings.memoryLimit = int64_t(1) << 30;
    DecoderProcess decoder(settings);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A sanitized decoder (scripts/sanitize) has no address-space limit to run past.
        if (c.expected == DecodeStatus::OutOfMemory && !kAddressSpaceLimitUsable) continue;
        ASSERT_EQ(decoder.decode(pictureRequest(QImage::Format_RGB32, 2, 2)).status, DecodeStatus::Done);
        const pid_t before = decoder.pid();
        QElapsedTimer timer;
        timer.start();
        const DecodeResult r = decoder.decode(request(c.kind, c.width));
        EXPECT_LT(timer.elapsed(), 30000) << "ended at the limit, not when the decoder gave up";
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

// The limit is on a decoder that makes no progress: one that keeps saying it is still working
// (a page written to a slow disk) goes on past it, past its own backstop too, and answers.
TEST(DecoderProcess, ADecoderThatSaysItIsStillWorkingKeepsItsRequest)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderProcess decoder(stubSettings(1500ms));
    const DecodeResult r = decoder.decode(request(stub::Working, 5000)); // the backstop is at 4 s
    EXPECT_EQ(r.status, DecodeStatus::Done);
    EXPECT_FALSE(r.image.isNull());
    EXPECT_NE(decoder.pid(), 0) << "the decoder stays for the next request";
}

TEST(DecoderProcess, ADecoderThatDiedOrWasAbortedWhileIdleDoesNotCostTheNextFile)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
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
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
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

TEST(DecoderPool, EveryRequestOfABatchIsAnsweredOnceWhateverBecomesOfOthers)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderPool pool(stubSettings(3000ms, 3));
    DecodeBatch batch(pool);
    const std::vector<std::pair<uint32_t, DecodeStatus>> plan = {
        {stub::Sleep, DecodeStatus::Done}, {stub::Crash, DecodeStatus::Crashed}, {stub::Hang, DecodeStatus::TimedOut},
        {stub::Sleep, DecodeStatus::Done}, {stub::Quit, DecodeStatus::Crashed},  {stub::Sleep, DecodeStatus::Done},
        {stub::Sleep, DecodeStatus::Done}, {stub::Hang, DecodeStatus::TimedOut}, {stub::Sleep, DecodeStatus::Done},
    };
    for (size_t i = 0; i < plan.size(); ++i) EXPECT_EQ(batch.submit(request(plan[i].first, 20)), int(i));
    EXPECT_EQ(batch.pending(), int(plan.size()));

    std::set<int> seen;
    while (auto f = batch.next(60s)) {
        ASSERT_TRUE(seen.insert(f->index).second) << "answered twice: " << f->index;
        EXPECT_EQ(f->result.status, plan[size_t(f->index)].second) << "request " << f->index;
    }
    EXPECT_EQ(seen.size(), plan.size());
    EXPECT_EQ(batch.pending(), 0);
}

TEST(DecoderPool, DecodersStartAsWorkComesGrowToThePoolsSizeAndStay)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    DecoderPool pool(stubSettings(30s, 3));
    EXPECT_EQ(pool.processCount(), 3);
    EXPECT_EQ(pool.decoderCount(), 0) << "a pool nobody asked anything of starts no decoder";
    EXPECT_EQ(pool.decodersStarted(), 0);

    // One request after another needs one decoder, and it serves them all.
    for (int i = 0; i < 4; ++i) ASSERT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done);
    EXPECT_EQ(pool.decoderCount(), 1);
    EXPECT_EQ(pool.decodersStarted(), 1);

    // Many at once: the pool grows to its size and no further.
    DecodeBatch batch(pool);
    for (int i = 0; i < 9; ++i) batch.submit(request(stub::Sleep, 60));
    int answered = 0;
    while (auto f = batch.next(60s)) answered += f->result.status == DecodeStatus::Done;
    EXPECT_EQ(answered, 9);
    EXPECT_EQ(pool.decoderCount(), 3);
    EXPECT_EQ(pool.decodersStarted(), 3) << "every decoder stayed warm for the next request";

    // A decoder that dies is started again; the others are not touched.
    EXPECT_EQ(pool.decode(request(stub::Crash)).status, DecodeStatus::Crashed);
    EXPECT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done);
    EXPECT_EQ(pool.decoderCount(), 3);
    EXPECT_EQ(pool.decodersStarted(), 4);
}

TEST(DecoderPool, AnswersCanBeTakenInTheOrderOfTheRequests)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderPool pool(stubSettings(30s, 4));
    DecodeBatch batch(pool);
    for (int ms : {120, 90, 60, 30, 1, 1}) batch.submit(request(stub::Sleep, ms));
    for (int expected = 0; expected < 6; ++expected) {
        const auto f = batch.nextInOrder(60s);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->index, expected);
    }
    EXPECT_FALSE(batch.nextInOrder(0ms).has_value());
}

TEST(DecoderPool, ACancelledBatchHandsOutNothingMoreAndTheFreedPoolGoesOn)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    // Its requests end only when the gate opens, which it never does while the test looks.
    stub::GateFifo gate;
    tf::test::TempFolder marks;
    DecoderPool pool(stubSettings(120s, 2));
    DecodeBatch batch(pool);
    for (int i = 0; i < 20; ++i) batch.submit(gate.request(marks.file(QString::number(i))));
    ASSERT_TRUE(waitForFiles(marks, 2)) << "two of them run";
    batch.cancel();
    EXPECT_EQ(batch.pending(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(batch.next(60s).has_value());
    EXPECT_LT(timer.elapsed(), 30000) << "nothing is pending, so there is nothing to wait for";

    // The running requests were ended and the queued ones dropped: a new one is answered.
    const int index = batch.submit(request(stub::Sleep, 1));
    const auto f = batch.next(60s);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->index, index);
    EXPECT_EQ(f->result.status, DecodeStatus::Done);
    gate.open();
    EXPECT_FALSE(batch.next(300ms).has_value()) << "an answer of a cancelled request came through";
}

TEST(DecoderPool, CancellingEndsTheBatchsRunningDecodesAndNoOtherBatchs)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    stub::GateFifo gate;
    tf::test::TempFolder marks;
    DecoderPool pool(stubSettings(120s, 3));
    DecodeBatch hanging(pool);
    DecodeBatch other(pool);
    hanging.submit(request(stub::Hang));
    hanging.submit(request(stub::Hang));
    other.submit(gate.request(marks.file(QStringLiteral("other"))));
    ASSERT_TRUE(waitForFiles(marks, 1)) << "the other batch's decode runs, after both hung ones";
    QElapsedTimer timer;
    timer.start();
    hanging.cancel();
    // The two decoders are free long before the time limit: a waited decode is served at once.
    EXPECT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done);
    EXPECT_LT(timer.elapsed(), 60000);
    gate.open();
    const auto f = other.next(60s);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->result.status, DecodeStatus::Done) << "the other batch's decode ran on";
}

TEST(DecoderPool, CancellingABatchCostsAnotherBatchNoAnswer)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    // A folder listed again: the old batch's decodes end on decoders the new batch goes to next.
    DecoderPool pool(stubSettings(30s, 4));
    for (int round = 0; round < 40; ++round) {
        DecodeBatch old(pool);
        DecodeBatch current(pool);
        for (int i = 0; i < 12; ++i) old.submit(request(stub::Sleep, 1 + i % 3));
        for (int i = 0; i < 8; ++i) current.submit(request(stub::Sleep, 1));
        ::usleep(1000 + 200 * (round % 10));
        old.cancel();
        int answered = 0;
        while (auto f = current.next(60s)) {
            ++answered;
            EXPECT_EQ(f->result.status, DecodeStatus::Done) << "round " << round << ", request " << f->index;
        }
        EXPECT_EQ(answered, 8);
    }
}

TEST(DecoderPool, AWaitedDecodeGoesAheadOfQueuedBatchWork)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderPool pool(stubSettings(60s, 1));
    DecodeBatch batch(pool);
    // Behind the queue the decode would wait for ten of them; ahead of it, for one at most.
    for (int i = 0; i < 10; ++i) batch.submit(request(stub::Sleep, 2000));
    QElapsedTimer timer;
    timer.start();
    const DecodeResult r = pool.decode(request(stub::Sleep, 1));
    EXPECT_EQ(r.status, DecodeStatus::Done);
    EXPECT_LT(timer.elapsed(), 12000) << "waited behind the batch";
}

TEST(DecoderPool, TheNotifyDescriptorIsReadableExactlyWhileAnAnswerWaits)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderPool pool(stubSettings(2000ms, 1));
    DecodeBatch batch(pool);
    pollfd p{batch.notifyFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    batch.submit(request(stub::Sleep, 1));
    batch.submit(request(stub::Sleep, 1));
    ASSERT_EQ(::poll(&p, 1, 60000), 1);
    ASSERT_TRUE(batch.next(0ms).has_value());
    ASSERT_TRUE(batch.next(60s).has_value());
    EXPECT_EQ(::poll(&p, 1, 0), 0);
}

TEST(DecoderPool, AnInterruptEndsTheWaitsThatAskedForItAndNoOthers)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    DecoderPool pool(stubSettings(60s, 2));
    DecodeBatch batch(pool);
    batch.submit(request(stub::Hang));
    std::thread cancel([&] {
        ::usleep(50000);
        batch.interrupt();
    });
    // Woken by the interrupt, not by an answer: the hung decode is still pending.
    EXPECT_FALSE(batch.waitInOrder(/*interruptible*/ true).has_value());
    cancel.join();
    EXPECT_EQ(batch.pending(), 1);
    EXPECT_FALSE(batch.waitInOrder(true).has_value()) << "an interrupt holds for every later wait";

    // A wait that did not ask for it still gets its answer.
    DecodeBatch finishing(pool);
    finishing.submit(request(stub::Sleep, 100));
    finishing.interrupt();
    const auto f = finishing.waitInOrder(/*interruptible*/ false);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->result.status, DecodeStatus::Done);
}

// A decode waited for on the application's thread, which is the window's, fails the test that
// made it; on a worker, or inside an allowance, it is not reported.
TEST(DecoderPool, AWaitOnTheApplicationsThreadIsReported)
{
    DecoderPool pool(stubSettings(2000ms, 1));
    EXPECT_NONFATAL_FAILURE(pool.decode(request(stub::Sleep, 1)), "DecoderPool::decode ran on the application's thread");
    DecodeBatch batch(pool);
    batch.submit(request(stub::Sleep, 1));
    EXPECT_NONFATAL_FAILURE(batch.next(60s), "DecodeBatch::next ran on the application's thread");
    EXPECT_FALSE(batch.next(0ms).has_value()) << "looking without waiting is no wait";
    DecodeBatch inOrder(pool);
    inOrder.submit(request(stub::Sleep, 1));
    EXPECT_NONFATAL_FAILURE(inOrder.waitInOrder(false), "DecodeBatch::waitInOrder ran on the application's thread");

    std::thread([&] { EXPECT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done); }).join();
    tf::BlockingCallsAllowed allowed;
    EXPECT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done);
}

TEST(DecoderPool, ClosingAPoolDoesNotWaitForAHungDecoder)
{
    QElapsedTimer timer;
    {
        auto pool = std::make_unique<DecoderPool>(stubSettings(60000ms, 2));
        {
            DecodeBatch batch(*pool);
            batch.submit(request(stub::Hang));
            batch.submit(request(stub::Hang));
            ::usleep(100000);
        }
        timer.start();
        pool.reset();
    }
    EXPECT_LT(timer.elapsed(), 30000) << "waited for the hung decoders' time limit";
}

} // namespace
