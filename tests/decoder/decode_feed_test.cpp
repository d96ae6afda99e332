// Decoder answers as events: delivered on the feed's thread without anyone waiting, in order when
// asked, and never after a cancel.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decode_feed.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace tf::decode;
namespace stub = tf::test::stub;

namespace {

DecoderSettings stubPool(int processes)
{
    DecoderSettings s;
    s.program = QStringLiteral(TF_STUB_DECODER);
    s.timeLimit = std::chrono::milliseconds(3000);
    s.processes = processes;
    return s;
}

DecodeRequest sleepFor(int ms) { return {.kind = stub::Sleep, .path = {}, .width = ms}; }

// Runs the event loop until the feed has nothing pending (each wait ends at an answer).
std::vector<int> collect(DecodeFeed& feed)
{
    std::vector<int> order;
    QObject::connect(&feed, &DecodeFeed::decoded, &feed, [&](int index, const DecodeResult&) { order.push_back(index); });
    QSignalSpy idle(&feed, &DecodeFeed::idle);
    while (feed.pending() > 0 && idle.wait(5000)) {
    }
    return order;
}

} // namespace

TEST(DecodeFeed, AnswersArriveAsEventsInFinishingOrderOrSubmissionOrder)
{
    DecoderPool pool(stubPool(3));
    // The first request is the slowest: finishing order puts it last, submission order first.
    for (const bool inOrder : {false, true}) {
        SCOPED_TRACE(inOrder ? "in order" : "as they finish");
        DecodeFeed feed(pool);
        feed.setInOrder(inOrder);
        feed.submit(sleepFor(600));
        feed.submit(sleepFor(1));
        feed.submit(sleepFor(1));
        EXPECT_EQ(feed.pending(), 3);
        const std::vector<int> order = collect(feed);
        ASSERT_EQ(order.size(), 3u);
        if (inOrder)
            EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
        else
            EXPECT_EQ(order.back(), 0);
        EXPECT_EQ(feed.pending(), 0);
    }
}

TEST(DecodeFeed, CancelFromASlotDropsTheRestAndLaterRequestsStillArrive)
{
    DecoderPool pool(stubPool(2));
    DecodeFeed feed(pool);
    feed.setInOrder(true);
    std::vector<int> seen;
    QObject::connect(&feed, &DecodeFeed::decoded, &feed, [&](int index, const DecodeResult& r) {
        seen.push_back(index);
        EXPECT_EQ(r.status, DecodeStatus::Done);
        if (index == 0) feed.cancel();
    });
    feed.submit(sleepFor(1));
    feed.submit(sleepFor(1));
    feed.submit({.kind = stub::Hang, .path = {}});
    QSignalSpy answers(&feed, &DecodeFeed::decoded);
    ASSERT_TRUE(answers.wait(5000));
    EXPECT_EQ(feed.pending(), 0);

    // Indexes go on counting after a cancel, and the hung decoder was replaced.
    const int next = feed.submit(sleepFor(1));
    EXPECT_EQ(next, 3);
    ASSERT_TRUE(answers.wait(5000));
    EXPECT_EQ(seen, (std::vector<int>{0, 3}));
}

TEST(DecodeFeed, DeletingTheFeedFromItsOwnSlotIsSafe)
{
    DecoderPool pool(stubPool(2));
    auto* feed = new DecodeFeed(pool);
    QObject watcher;
    int delivered = 0;
    QObject::connect(feed, &DecodeFeed::decoded, &watcher, [&](int, const DecodeResult&) {
        ++delivered;
        delete feed;
    });
    QSignalSpy gone(feed, &QObject::destroyed);
    for (int i = 0; i < 4; ++i) feed->submit(sleepFor(1));
    ASSERT_TRUE(gone.wait(5000));
    EXPECT_EQ(delivered, 1);
}
