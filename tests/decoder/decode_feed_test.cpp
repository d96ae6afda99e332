// Decoder answers as events: delivered on the feed's thread without anyone waiting, in order when
// asked, and never after a cancel.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decode_feed.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>

using namespace tf::decode;
namespace stub = tf::test::stub;

namespace {

DecoderSettings stubPool(int processes)
{
    DecoderSettings s;
    s.program = QStringLiteral(TF_STUB_DECODER);
    // Only a decoder that is really stuck meets it: a gate waits for the test.
    s.timeLimit = std::chrono::milliseconds(120000);
    s.processes = processes;
    return s;
}

DecodeRequest sleepFor(int ms) { return {.kind = stub::Sleep, .path = {}, .width = ms}; }

// Runs the event loop until the feed has nothing pending (each wait ends at an answer).
void waitUntilIdle(DecodeFeed& feed)
{
    QSignalSpy idle(&feed, &DecodeFeed::idle);
    while (feed.pending() > 0 && idle.wait(120000)) {
    }
}

} // namespace

TEST(DecodeFeed, AnswersArriveAsEventsInFinishingOrderOrSubmissionOrder)
{
    DecoderPool pool(stubPool(3));
    // The first request ends last: finishing order puts it last, submission order first.
    for (const bool inOrder : {false, true}) {
        SCOPED_TRACE(inOrder ? "in order" : "as they finish");
        DecodeFeed feed(pool);
        feed.setInOrder(inOrder);
        stub::GateFifo gate;
        QTemporaryDir marks;
        std::vector<int> order;
        QObject::connect(&feed, &DecodeFeed::decoded, &feed, [&](int index, const DecodeResult&) {
            order.push_back(index);
        });
        feed.submit(gate.request());
        for (const char* mark : {"1", "2"})
            feed.submit({.kind = stub::Touch, .path = marks.filePath(QString::fromLatin1(mark))});
        EXPECT_EQ(feed.pending(), 3);
        // The later two are done in their decoders (as they finish, their answers are in too)
        // before the first may end; held in order, they wait for it.
        const auto laterDone = [&] {
            return QDir(marks.path()).entryList(QDir::Files).size() == 2 && (inOrder || order.size() == 2);
        };
        ASSERT_TRUE(QTest::qWaitFor(laterDone, 120000));
        if (inOrder) {
            EXPECT_TRUE(order.empty()) << "an answer went ahead of an earlier request's";
        }
        gate.open();
        waitUntilIdle(feed);
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
    ASSERT_TRUE(answers.wait(120000));
    EXPECT_EQ(feed.pending(), 0);

    // Indexes go on counting after a cancel, and the hung decoder was replaced.
    const int next = feed.submit(sleepFor(1));
    EXPECT_EQ(next, 3);
    ASSERT_TRUE(answers.wait(120000));
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
    ASSERT_TRUE(gone.wait(120000));
    EXPECT_EQ(delivered, 1);
}
