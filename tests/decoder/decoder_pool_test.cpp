// The pool: many requests at once, answers as they finish, cancelling, and urgent requests.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decoder_client.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <poll.h>
#include <set>

using namespace tf::decode;
namespace stub = tf::test::stub;
using namespace std::chrono_literals;

namespace {

DecoderSettings stubPool(int processes, std::chrono::milliseconds timeLimit = 2000ms)
{
    DecoderSettings s;
    s.program = QStringLiteral(TF_STUB_DECODER);
    s.timeLimit = timeLimit;
    s.processes = processes;
    return s;
}

DecodeRequest request(uint32_t kind, int width = 0)
{
    return {.kind = kind, .path = {}, .width = width};
}

TEST(DecoderPool, EveryRequestOfABatchIsAnsweredOnceWhateverBecomesOfOthers)
{
    DecoderPool pool(stubPool(3, 300ms));
    DecodeBatch batch(pool);
    const std::vector<std::pair<uint32_t, DecodeStatus>> plan = {
        {stub::Sleep, DecodeStatus::Done}, {stub::Crash, DecodeStatus::Crashed}, {stub::Hang, DecodeStatus::TimedOut},
        {stub::Sleep, DecodeStatus::Done}, {stub::Quit, DecodeStatus::Crashed},  {stub::Sleep, DecodeStatus::Done},
        {stub::Sleep, DecodeStatus::Done}, {stub::Hang, DecodeStatus::TimedOut}, {stub::Sleep, DecodeStatus::Done},
    };
    for (size_t i = 0; i < plan.size(); ++i) EXPECT_EQ(batch.submit(request(plan[i].first, 20)), int(i));
    EXPECT_EQ(batch.pending(), int(plan.size()));

    std::set<int> seen;
    while (auto f = batch.next(5s)) {
        ASSERT_TRUE(seen.insert(f->index).second) << "answered twice: " << f->index;
        EXPECT_EQ(f->result.status, plan[size_t(f->index)].second) << "request " << f->index;
    }
    EXPECT_EQ(seen.size(), plan.size());
    EXPECT_EQ(batch.pending(), 0);
}

TEST(DecoderPool, AnswersCanBeTakenInTheOrderOfTheRequests)
{
    DecoderPool pool(stubPool(4));
    DecodeBatch batch(pool);
    for (int ms : {120, 90, 60, 30, 1, 1}) batch.submit(request(stub::Sleep, ms));
    for (int expected = 0; expected < 6; ++expected) {
        const auto f = batch.nextInOrder(5s);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->index, expected);
    }
    EXPECT_FALSE(batch.nextInOrder(0ms).has_value());
}

TEST(DecoderPool, ACancelledBatchHandsOutNothingMoreAndTheFreedPoolGoesOn)
{
    DecoderPool pool(stubPool(2));
    DecodeBatch batch(pool);
    for (int i = 0; i < 20; ++i) batch.submit(request(stub::Sleep, 150));
    ::usleep(30000); // two of them are running
    batch.cancel();
    EXPECT_EQ(batch.pending(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(batch.next(1s).has_value());
    EXPECT_LT(timer.elapsed(), 100) << "nothing is pending, so there is nothing to wait for";

    // The queued requests are gone: a new one waits for the two running at most.
    const int index = batch.submit(request(stub::Sleep, 1));
    timer.restart();
    const auto f = batch.next(5s);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->index, index);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(batch.next(300ms).has_value()) << "an answer of a cancelled request came through";
}

TEST(DecoderPool, CancellingEndsTheBatchsRunningDecodesAndNoOtherBatchs)
{
    DecoderPool pool(stubPool(3, 20s));
    DecodeBatch hanging(pool);
    DecodeBatch other(pool);
    hanging.submit(request(stub::Hang));
    hanging.submit(request(stub::Hang));
    ::usleep(100000); // both hang a decoder
    other.submit(request(stub::Sleep, 3000));
    ::usleep(100000);
    QElapsedTimer timer;
    timer.start();
    hanging.cancel();
    // The two decoders are free long before the time limit: a waited decode is served at once.
    EXPECT_EQ(pool.decode(request(stub::Sleep, 1)).status, DecodeStatus::Done);
    EXPECT_LT(timer.elapsed(), 1500);
    const auto f = other.next(5s);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->result.status, DecodeStatus::Done) << "the other batch's decode ran on";
}

TEST(DecoderPool, CancellingABatchCostsAnotherBatchNoAnswer)
{
    // A folder listed again: the old batch's decodes end on decoders the new batch goes to next.
    DecoderPool pool(stubPool(4));
    for (int round = 0; round < 40; ++round) {
        DecodeBatch old(pool);
        DecodeBatch current(pool);
        for (int i = 0; i < 12; ++i) old.submit(request(stub::Sleep, 1 + i % 3));
        for (int i = 0; i < 8; ++i) current.submit(request(stub::Sleep, 1));
        ::usleep(1000 + 200 * (round % 10));
        old.cancel();
        int answered = 0;
        while (auto f = current.next(5s)) {
            ++answered;
            EXPECT_EQ(f->result.status, DecodeStatus::Done) << "round " << round << ", request " << f->index;
        }
        EXPECT_EQ(answered, 8);
    }
}

TEST(DecoderPool, AWaitedDecodeGoesAheadOfQueuedBatchWork)
{
    DecoderPool pool(stubPool(1));
    DecodeBatch batch(pool);
    for (int i = 0; i < 10; ++i) batch.submit(request(stub::Sleep, 100));
    ::usleep(20000);
    QElapsedTimer timer;
    timer.start();
    const DecodeResult r = pool.decode(request(stub::Sleep, 1));
    EXPECT_EQ(r.status, DecodeStatus::Done);
    EXPECT_LT(timer.elapsed(), 600) << "waited behind the batch";
}

TEST(DecoderPool, TheNotifyDescriptorIsReadableExactlyWhileAnAnswerWaits)
{
    DecoderPool pool(stubPool(1));
    DecodeBatch batch(pool);
    pollfd p{batch.notifyFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    batch.submit(request(stub::Sleep, 1));
    batch.submit(request(stub::Sleep, 1));
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    ASSERT_TRUE(batch.next(0ms).has_value());
    ASSERT_TRUE(batch.next(5s).has_value());
    EXPECT_EQ(::poll(&p, 1, 0), 0);
}

TEST(DecoderPool, ClosingAPoolDoesNotWaitForAHungDecoder)
{
    QElapsedTimer timer;
    {
        auto pool = std::make_unique<DecoderPool>(stubPool(2, 60000ms));
        {
            DecodeBatch batch(*pool);
            batch.submit(request(stub::Hang));
            batch.submit(request(stub::Hang));
            ::usleep(100000);
        }
        timer.start();
        pool.reset();
    }
    EXPECT_LT(timer.elapsed(), 2000);
}

} // namespace
