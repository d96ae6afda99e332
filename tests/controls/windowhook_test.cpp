#include "controls/windowhook.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;

namespace {

QStringList calls;
const auto kPing = static_cast<QEvent::Type>(QEvent::User + 1);
const auto kPong = static_cast<QEvent::Type>(QEvent::User + 2);
const auto kOther = static_cast<QEvent::Type>(QEvent::User + 3);

QString name(QObject* o, QEvent* e)
{
    static const char* names[] = {"", "ping", "pong", "other"};
    const int t = e->type();
    const QString type = t > QEvent::User && t <= kOther ? names[t - QEvent::User] : QString::number(t);
    return o->objectName() + " " + type;
}

// Notes custom events and answers them in a recognisable way the hook must not change.
struct Window : QObject {
    explicit Window(const QString& n) { setObjectName(n); }
    bool event(QEvent* e) override
    {
        if (e->type() < QEvent::User) return QObject::event(e);
        calls << name(this, e);
        e->setAccepted(false);
        return e->type() != kOther;
    }
};

struct Owner : SubclassOwner {
    explicit Owner(const QString& n) : id(n) {}
    void subclassProc(bool bBefore, bool& bHandled, bool& lReturn, QObject* target, QEvent*& e) override
    {
        if (e->type() >= QEvent::User || e->type() == QEvent::MouseButtonPress || e->type() == QEvent::KeyPress)
            calls << id + (bBefore ? " before " : " after ") + name(target, e);
        if (onCall) onCall(bBefore, bHandled, lReturn, target, e);
    }
    void on(QObject* w, int type, int when) { hook.subHookStart(w); hook.subHookAddMsg(w, type, when); }
    QString id;
    SelfSubclassHook hook{this};
    std::function<void(bool, bool&, bool&, QObject*, QEvent*&)> onCall;
};

std::pair<bool, bool> send(QObject* target, QEvent::Type type)
{
    QEvent e(type);
    const bool result = QCoreApplication::sendEvent(target, &e);
    return {result, e.isAccepted()};
}

struct Recorder : QObject {
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::KeyPress)
            calls << "filter " + name(watched, e);
        return false;
    }
};

// One window with one hook owner, and an empty call log, for each test.
class WindowHook : public ::testing::Test {
protected:
    void SetUp() override { calls.clear(); }
    Window w{"w"};
    Owner owner{"A"};
};

} // namespace

TEST_F(WindowHook, PhasesRunAroundTheWindowHandledEndsTheChainAndTheEventMayBeReplaced)
{
    ASSERT_TRUE(owner.hook.subHookStart(&w));
    owner.hook.subHookAddMsg(&w, kPing, MSG_BEFORE_AND_AFTER);
    owner.hook.subHookAddMsg(&w, kPong, MSG_AFTER);

    // In neither table: the window's own answer and flag.
    EXPECT_EQ(send(&w, kOther), std::make_pair(false, false));
    send(&w, kPing);
    send(&w, kPong);
    EXPECT_EQ(calls, (QStringList{"w other", "A before w ping", "w ping", "A after w ping", "w pong",
                                "A after w pong"}));

    owner.onCall = [](bool before, bool& handled, bool& result, QObject*, QEvent*&) {
        handled = before;
        result = true; // the answer given in the window's place
    };
    calls.clear();
    EXPECT_EQ(send(&w, kPing), std::make_pair(true, true));
    EXPECT_EQ(calls, QStringList{"A before w ping"});

    // A callback may replace the event: the window and the after table (searched for the new
    // type) see the replacement, and the sender sees the changed answer.
    owner.hook.subHookDelMsg(&w, kPing, MSG_AFTER);
    QEvent pong(kPong);
    bool windowAnswer = true;
    owner.onCall = [&](bool before, bool&, bool& result, QObject*, QEvent*& e) {
        if (before) {
            e = &pong;
        } else {
            windowAnswer = result;
            result = true;
        }
    };
    calls.clear();
    EXPECT_EQ(send(&w, kPing), std::make_pair(true, true));
    EXPECT_FALSE(windowAnswer); // the window left the pong unaccepted
    EXPECT_EQ(calls, (QStringList{"A before w ping", "w pong", "A after w pong"}));
}

TEST_F(WindowHook, TablesKeepOneEntryPerEventAllMeansEveryAndEachWindowHasOneRecord)
{
    owner.on(&w, kPing, MSG_BEFORE);
    owner.hook.subHookAddMsg(&w, kPing, MSG_BEFORE);
    send(&w, kPing);
    owner.hook.subHookDelMsg(&w, kPing, MSG_BEFORE); // one delete removes it
    owner.hook.subHookAddMsg(&w, kPong, MSG_BEFORE);
    owner.hook.subHookAddMsg(&w, ALL_MESSAGES, MSG_AFTER);
    send(&w, kPing);
    send(&w, kPong);
    EXPECT_EQ(calls, (QStringList{"A before w ping", "w ping", "w ping", "A after w ping", "A before w pong",
                                "w pong", "A after w pong"}));

    calls.clear();
    owner.hook.subHookDelMsg(&w, kPing, MSG_AFTER); // one event out of "all" changes nothing
    send(&w, kPing);
    owner.hook.subHookDelMsg(&w, ALL_MESSAGES, MSG_AFTER);
    send(&w, kPing);
    EXPECT_EQ(calls, (QStringList{"w ping", "A after w ping", "w ping"}));

    // Three windows with one stopped and a restart.
    calls.clear();
    Window a("a"), b("b"), c("c");
    for (Window* w : {&a, &b, &c, &a}) owner.on(w, kPing, MSG_BEFORE); // a second start keeps one record
    owner.hook.subHookStop(&b);
    owner.hook.subHookAddMsg(&b, kPing, MSG_BEFORE); // not hooked: ignored
    EXPECT_EQ(owner.hook.hookedWindows(), (QList<QObject*>{&w, &a, &c}));
    for (Window* w : {&a, &b, &c}) send(w, kPing);
    EXPECT_EQ(calls, (QStringList{"A before a ping", "a ping", "b ping", "A before c ping", "c ping"}));

    owner.hook.subHookStart(&b); // starts again with empty tables
    owner.hook.subHookAddMsg(&b, kPong, MSG_AFTER);
    owner.hook.subHookStopAll();
    EXPECT_TRUE(owner.hook.hookedWindows().isEmpty());
    calls.clear();
    for (Window* w : {&a, &b}) send(w, kPong);
    EXPECT_EQ(calls, (QStringList{"a pong", "b pong"}));
    EXPECT_FALSE(owner.hook.subHookStart(nullptr));
}

TEST_F(WindowHook, HooksOnOneWindowNestAndStopInAnyOrderEvenFromTheirOwnCallback)
{
    Owner& first = owner;
    Owner second("B");
    for (Owner* o : {&first, &second}) o->on(&w, kPing, MSG_BEFORE_AND_AFTER);
    send(&w, kPing);
    // The inner hook answering for the window still lets the outer one see the result.
    first.onCall = [](bool before, bool& handled, bool&, QObject*, QEvent*&) { handled = before; };
    send(&w, kPing);
    // Stopping the first-installed hook out of order leaves the later one whole.
    first.hook.subHookStop(&w);
    send(&w, kPing);
    EXPECT_EQ(calls, (QStringList{"B before w ping", "A before w ping", "w ping", "A after w ping",
                                  "B after w ping",                                    //
                                  "B before w ping", "A before w ping", "B after w ping", //
                                  "B before w ping", "w ping", "B after w ping"}));

    // A hook stopped inside its own callback sees no after phase; the window and B still run.
    calls.clear();
    owner.on(&w, kPing, MSG_BEFORE_AND_AFTER);
    owner.onCall = [this](bool, bool&, bool&, QObject* target, QEvent*&) { owner.hook.subHookStop(target); };
    send(&w, kPing);
    // The last hook on the window going away inside its own callback, the hook object included.
    auto doomed = std::make_unique<Owner>("C");
    second.hook.subHookStop(&w);
    doomed->on(&w, ALL_MESSAGES, MSG_BEFORE_AND_AFTER);
    doomed->onCall = [&doomed](bool, bool&, bool&, QObject*, QEvent*&) { doomed.reset(); };
    send(&w, kPing);
    send(&w, kPing);
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(calls, (QStringList{"A before w ping", "B before w ping", "w ping", "B after w ping",
                                  "C before w ping", "w ping", "w ping"}));
}

TEST_F(WindowHook, DestroyedWindowDropsItsRecord)
{
    auto* gone = new Window("w");
    auto* kept = new Window("k");
    owner.on(gone, kPing, MSG_AFTER);
    owner.hook.subHookStart(kept);
    delete gone;
    EXPECT_EQ(owner.hook.hookedWindows(), QList<QObject*>{kept});

    // Destroyed by its own handling inside an after-phase delivery.
    owner.hook.subHookAddMsg(kept, ALL_MESSAGES, MSG_AFTER);
    kept->deleteLater();
    QCoreApplication::sendPostedEvents(kept, QEvent::DeferredDelete);
    EXPECT_TRUE(owner.hook.hookedWindows().isEmpty());

    // Destroyed by a before-phase callback: nothing runs on it afterwards.
    auto* victim = new Window("v");
    owner.on(victim, kPing, MSG_BEFORE_AND_AFTER);
    owner.onCall = [](bool before, bool&, bool&, QObject* target, QEvent*&) {
        if (before) delete target;
    };
    EXPECT_TRUE(send(victim, kPing).first);
    EXPECT_EQ(calls, QStringList{"A before v ping"});
    EXPECT_TRUE(owner.hook.hookedWindows().isEmpty());
}

TEST_F(WindowHook, AfterPhaseKeepsEarlierFiltersTheParentsTurnAndAForwardedEvent)
{
    // An input event the child leaves unaccepted still reaches the child's earlier filters and
    // then, once, the parent; an after phase that accepts it keeps it from the parent.
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::KeyPress}) {
        SCOPED_TRACE(type);
        QWidget parent;
        parent.setObjectName("parent");
        auto* child = new QWidget(&parent);
        child->setObjectName("child");
        parent.show();
        Recorder seen;
        child->installEventFilter(&seen);
        parent.installEventFilter(&seen);
        Owner hooked("A");
        hooked.on(child, type, MSG_AFTER);
        const auto sendInput = [&] {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), child->mapToGlobal(QPointF(5, 5)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QInputEvent* e = type == QEvent::KeyPress ? static_cast<QInputEvent*>(&key) : &press;
            QApplication::sendEvent(child, e);
            return e->isAccepted();
        };
        const QString t = QString::number(type);

        calls.clear();
        EXPECT_FALSE(sendInput());
        EXPECT_EQ(calls, (QStringList{"filter child " + t, "A after child " + t, "filter parent " + t}));

        hooked.onCall = [](bool, bool&, bool& result, QObject*, QEvent*&) { result = true; };
        calls.clear();
        EXPECT_TRUE(sendInput());
        EXPECT_EQ(calls, (QStringList{"filter child " + t, "A after child " + t}));
    }

    // A window that passes its key press to another widget (as composite controls do) is not cut
    // off by the after phase's delivery.
    calls.clear();
    struct Forwarder : QWidget {
        using QWidget::QWidget;
        QWidget* to = nullptr;
        void keyPressEvent(QKeyEvent* e) override { QApplication::sendEvent(to, e); }
    };
    QWidget top;
    auto* forwarder = new Forwarder(&top);
    forwarder->setObjectName("forwarder");
    forwarder->to = new QLineEdit(&top);
    forwarder->to->setObjectName("editor");
    Recorder seen;
    forwarder->to->installEventFilter(&seen);
    top.installEventFilter(&seen);
    owner.on(forwarder, QEvent::KeyPress, MSG_AFTER);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
    QApplication::sendEvent(forwarder, &key);
    const QString t = QString::number(QEvent::KeyPress);
    EXPECT_EQ(calls, (QStringList{"filter editor " + t, "A after forwarder " + t}));
    EXPECT_TRUE(key.isAccepted());
}
