// Work handed to workers: answered later on the asking thread, only the newest request counts,
// and the pointer is busy exactly while work runs.
#include "editing/LatestWork.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

using namespace tf;

namespace {
Qt::CursorShape pointer() { return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor; }
} // namespace

TEST(LatestWork, TheAnswerComesLaterFromAWorkerWithTheBusyPointerMeanwhile)
{
    LatestWork work;
    QSignalSpy idle(&work, &LatestWork::idle);
    std::vector<QThread*> ranOn;
    work.start([](const LatestWork::Flag&) { return QThread::currentThread(); }, [&](QThread* t) { ranOn.push_back(t); });
    EXPECT_TRUE(work.pending());
    EXPECT_TRUE(ranOn.empty());
    EXPECT_EQ(pointer(), Qt::BusyCursor);
    ASSERT_TRUE(idle.wait(10000));
    ASSERT_EQ(ranOn.size(), 1u);
    EXPECT_NE(ranOn[0], QThread::currentThread());
    EXPECT_FALSE(work.pending());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(LatestWork, ASupersededAnswerIsDroppedWhenItComesAndItsWorkIsToldToStop)
{
    LatestWork work;
    QSemaphore started, gate;
    std::atomic_bool toldToStop = false;
    std::vector<int> delivered;
    work.start(
        [&](const LatestWork::Flag& stop) {
            started.release();
            gate.acquire();
            toldToStop = stop.load();
            return 1;
        },
        [&](int v) { delivered.push_back(v); });
    started.acquire(); // superseded while running, not merely queued
    // The newer answer lets the older work finish, so the older answer surely comes second.
    work.start([](const LatestWork::Flag&) { return 2; },
               [&](int v) {
                   delivered.push_back(v);
                   gate.release();
               });
    QSignalSpy idle(&work, &LatestWork::idle);
    ASSERT_TRUE(idle.wait(10000));
    EXPECT_EQ(delivered, std::vector<int>{2});
    EXPECT_TRUE(toldToStop);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(LatestWork, WorkCancelledOrOutlivingItsOwnerIsNeverAnswered)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "owner destroyed" : "cancelled");
        auto work = std::make_unique<LatestWork>();
        QSemaphore started, gate;
        std::atomic_bool toldToStop = false;
        auto delivered = std::make_shared<int>(0);
        work->start(
            [&](const LatestWork::Flag& stop) {
                started.release();
                gate.acquire();
                toldToStop = stop.load();
                return 0;
            },
            [delivered](int) { ++*delivered; });
        started.acquire();
        if (destroy) {
            work.reset();
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        } else {
            work->cancel();
            EXPECT_FALSE(work->pending());
            EXPECT_EQ(pointer(), Qt::BusyCursor) << "the work still runs";
        }
        gate.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(*delivered, 0);
        EXPECT_TRUE(toldToStop);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}
