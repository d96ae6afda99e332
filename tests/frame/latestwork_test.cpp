// Work handed to workers: answered later on the asking thread, only the newest request counts,
// and the pointer is busy exactly while work runs.
#include "frame/LatestWork.h"

#include <QApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

using namespace tf;

TEST(LatestWork, OnlyTheNewestAnswerComesAndTheSupersededWorkIsToldToStop)
{
    LatestWork work;
    QSemaphore started, gate;
    std::atomic_bool toldToStop = false;
    std::vector<QThread*> answers;
    work.start(
        [&](const LatestWork::Flag& stop) {
            started.release();
            gate.acquire();
            toldToStop = stop.load();
            return QThread::currentThread();
        },
        [&](QThread* t) { answers.push_back(t); });
    started.acquire(); // superseded while running, not merely queued
    // The newer answer lets the older work finish, so the older answer surely comes second.
    work.start([](const LatestWork::Flag&) { return QThread::currentThread(); },
               [&](QThread* t) {
                   answers.push_back(t);
                   gate.release();
               });
    EXPECT_TRUE(answers.empty()) << "nothing is answered before the loop runs";
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QSignalSpy idle(&work, &LatestWork::idle);
    ASSERT_TRUE(idle.wait(10000));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_NE(answers.front(), QThread::currentThread());
    EXPECT_TRUE(toldToStop);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
