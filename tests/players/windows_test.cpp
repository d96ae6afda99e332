// The players' windows, worked through their buttons, timers' slots and input events.
#include "players/PlayerBuild.h"
#include "players/kit/PlayerWindows.h"

#include "reference.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tf::players;
using tf::test::TempFolder;

namespace {

// A show of `pages` plain pages in a file, opened as a player opens its own.
std::shared_ptr<OwnShow> showOf(const TempFolder& dir, int pages, int16_t interval)
{
    QFile file(dir.file(QStringLiteral("show")));
    file.open(QIODevice::WriteOnly);
    PackageWriter writer(file);
    writer.writePlayer("player");
    for (int i = 0; i < pages; ++i) {
        QImage page(20 + i, 10, QImage::Format_RGB32);
        page.fill(Qt::red);
        writer.addPage(QStringLiteral("p%1").arg(i), tf::fncPageJpeg(page, 80));
    }
    writer.finish(packSaverOptions({0, interval}));
    file.close();
    auto show = std::make_shared<OwnShow>();
    EXPECT_TRUE(show->openFile(file.fileName(), OptionsKind::Saver));
    return show;
}

// A show whose pages are the given JPEGs (or anything else), with saver options.
std::shared_ptr<OwnShow> showOfBytes(const TempFolder& dir, const QList<QByteArray>& pages, const QByteArray& options,
                                     OptionsKind kind = OptionsKind::Saver)
{
    QFile file(dir.file(QStringLiteral("bytes")));
    file.open(QIODevice::WriteOnly);
    PackageWriter writer(file);
    writer.writePlayer("player");
    for (const QByteArray& page : pages) writer.addPage(QStringLiteral("p"), page);
    writer.finish(options);
    file.close();
    auto show = std::make_shared<OwnShow>();
    EXPECT_TRUE(show->openFile(file.fileName(), kind));
    return show;
}

QByteArray jpegOf(QColor color, int width)
{
    QImage page(width, 8, QImage::Format_RGB32);
    page.fill(color);
    return tf::fncPageJpeg(page, 90);
}

// Waits until the page the show is at has been read; false when it was left out.
bool pageRead(SaverWindow& window)
{
    QSignalSpy read(&window, &SaverWindow::pageRead);
    EXPECT_TRUE(read.wait(30000)) << "the page is read";
    return !read.isEmpty() && read.last().at(1).toBool();
}

void moveMouse(QWidget& window, int times)
{
    for (int i = 0; i < times; ++i) {
        QMouseEvent move(QEvent::MouseMove, QPointF(i, i), QPointF(i, i), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
    }
}

} // namespace

TEST(PlayerStart, OnlyTheFirstTwoCharactersOfTheFirstArgumentCount)
{
    const struct {
        QStringList args;
        PlayerKind kind;
        StartMode mode;
    } cases[] = {
        {{}, PlayerKind::Slide, StartMode::Show},
        {{"/s"}, PlayerKind::Clock, StartMode::Show},
        {{"/Show", "x"}, PlayerKind::Saver, StartMode::Show},
        {{"/c"}, PlayerKind::Simple, StartMode::Configure},
        {{"/C:1234"}, PlayerKind::Saver, StartMode::Configure},
        {{"/p", "77"}, PlayerKind::Saver, StartMode::Show},
        {{"/P", "77"}, PlayerKind::Watery, StartMode::End},
        {{"/P"}, PlayerKind::Saver, StartMode::Show},
        {{"/p"}, PlayerKind::Slide, StartMode::End},
        {{"/x"}, PlayerKind::Saver, StartMode::End},
        {{"S"}, PlayerKind::Saver, StartMode::End},
    };
    for (const auto& c : cases) EXPECT_EQ(startMode(c.args, c.kind), c.mode) << c.args.join(' ').toStdString();
}

TEST(SlidePlayer, ButtonsStepWrapPauseAndPlay)
{
    TempFolder dir;
    SaverWindow slide(showOf(dir, 3, 3), true);
    EXPECT_EQ(slide.tmrShowInterval(), 3000);
    EXPECT_TRUE(slide.playing());
    const auto button = [&](const char* name) { return slide.findChild<QPushButton*>(QString::fromLatin1(name)); };
    button("cmdPrevious")->click();
    EXPECT_EQ(slide.shownPage(), 2);
    EXPECT_FALSE(slide.playing());
    button("cmdNext")->click();
    EXPECT_EQ(slide.shownPage(), 0);
    button("cmdPlay")->click();
    EXPECT_TRUE(slide.playing());
    EXPECT_FALSE(button("cmdPlay")->isVisibleTo(&slide));
    button("cmdPause")->click();
    EXPECT_FALSE(slide.playing());
    EXPECT_TRUE(button("cmdPlay")->isVisibleTo(&slide));
    // The slide show keeps going whatever the mouse does.
    slide.show();
    moveMouse(slide, 40);
    EXPECT_TRUE(slide.isVisible());
}

TEST(SaverPlayer, AQuickRunOfMovesEndsItAndPagesWrap)
{
    TempFolder dir;
    SaverWindow saver(showOf(dir, 1, 0), false);
    // A package that says 0 seconds still changes pages once a second.
    EXPECT_EQ(saver.tmrShowInterval(), 1000);
    saver.cmdNext_Click();
    EXPECT_EQ(saver.shownPage(), 0);
    saver.show();
    EXPECT_EQ(saver.cursor().shape(), Qt::BlankCursor);
    moveMouse(saver, 15);
    EXPECT_TRUE(saver.isVisible());
    moveMouse(saver, 1);
    EXPECT_FALSE(saver.isVisible());
    EXPECT_NE(saver.cursor().shape(), Qt::BlankCursor);
}

TEST(SaverPlayer, NoPagesShowsTheBackgroundAndTheButtonsDoNothing)
{
    TempFolder dir;
    for (const bool slide : {false, true}) {
        SaverWindow window(showOf(dir, 0, 2), slide);
        EXPECT_FALSE(window.playing());
        window.cmdNext_Click();
        window.cmdPrevious_Click();
        EXPECT_EQ(window.shownPage(), 0);
        EXPECT_TRUE(window.shownPicture().isNull());
    }
}

TEST(WateryPlayer, DropsAreCappedAndTheTimerStopsWhenTheyAreGone)
{
    QImage page(30, 20, QImage::Format_RGB32);
    page.fill(Qt::blue);
    for (int x = 0; x < 30; x += 3) page.setPixel(x, x % 20, qRgb(255, 255, 0));
    WateryWindow watery(page);
    for (int i = 0; i < WateryWindow::kMaxDrops + 10; ++i) watery.addDrop(QPoint(i % 30, i % 20));
    EXPECT_EQ(watery.liveDrops(), WateryWindow::kMaxDrops);
    EXPECT_TRUE(watery.animating());
    watery.tick();
    EXPECT_NE(watery.picBlank()->picture(), page);
    // Rings grow 3 pixels a tick: every drop is past the picture's larger side within 11 ticks.
    for (int i = 0; i < 11; ++i) watery.tick();
    EXPECT_EQ(watery.liveDrops(), 0);
    EXPECT_FALSE(watery.animating());
    EXPECT_EQ(watery.picBlank()->picture(), page);
}

TEST(ClockPlayer, AClickFreezesAndRunsTheClockAgain)
{
    QImage page(80, 80, QImage::Format_RGB32);
    page.fill(Qt::white);
    ClockWindow clock(page, {});
    EXPECT_NE(clock.picBlank()->picture(), page);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(clock.picBlank(), &press);
    EXPECT_TRUE(clock.stopped());
    QApplication::sendEvent(clock.picBlank(), &press);
    EXPECT_FALSE(clock.stopped());
}

TEST(PlayerOptions, IntervalAndBorderFromWhateverThePackageSays)
{
    const struct {
        int seconds, ms;
    } intervals[] = {{0, 1000}, {-5, 1000}, {1, 1000}, {3, 3000}, {9, 9000}, {12, 9000}, {66, 9000}, {32767, 9000}};
    for (const auto& c : intervals) EXPECT_EQ(showIntervalMs(c.seconds), c.ms) << c.seconds;

    const struct {
        QByteArray record;
        bool border;
    } borders[] = {{{}, false}, {QByteArray(1, 0), false}, {QByteArray(1, 1), true}, {QByteArray(1, 2), false},
                   {packEffectOptions({}), false}, {packEffectOptions({"x"}), true}, {packEffectOptions({"xy"}), false},
                   {QByteArray("\x01\x01", 2), true}};
    for (const auto& c : borders) EXPECT_EQ(hasSingleBorder(c.record), c.border) << c.record.toHex().toStdString();

    // Wiring: the built window carries the line round its page.
    TempFolder dir;
    const auto show = showOfBytes(dir, {jpegOf(Qt::red, 20)}, packEffectOptions({"x"}), OptionsKind::Effect);
    const auto simple = makePlayerWindow(PlayerKind::Simple, show);
    EXPECT_EQ(simple->size(), QSize(22, 10));
    const auto saver = makePlayerWindow(PlayerKind::Saver, showOfBytes(dir, {jpegOf(Qt::red, 20)}, packSaverOptions({0, 99})));
    EXPECT_EQ(static_cast<SaverWindow*>(saver.get())->tmrShowInterval(), 9000);
}

TEST(SaverPlayer, APageThatCannotBeReadLeavesThePreviousOneAndTheShowGoesOn)
{
    TempFolder dir;
    SaverWindow window(showOfBytes(dir, {jpegOf(Qt::red, 20), jpegOf(Qt::green, 25).first(40) + "\xff\xd9", jpegOf(Qt::blue, 30)},
                                   packSaverOptions({0, 3})),
                       false);
    EXPECT_TRUE(pageRead(window));
    window.cmdNext_Click();
    EXPECT_EQ(window.shownPage(), 1);
    EXPECT_FALSE(pageRead(window));
    EXPECT_EQ(window.shownPicture().width(), 20);
    window.cmdNext_Click();
    EXPECT_EQ(window.shownPage(), 2);
    EXPECT_TRUE(pageRead(window));
    EXPECT_EQ(window.shownPicture().width(), 30);
    window.cmdPrevious_Click();
    EXPECT_EQ(window.shownPage(), 1);
    EXPECT_FALSE(pageRead(window));
    EXPECT_EQ(window.shownPicture().width(), 30);
    EXPECT_FALSE(window.ended());
}

TEST(SaverPlayer, OnlyThePageLastAskedForIsShown)
{
    TempFolder dir;
    SaverWindow window(showOfBytes(dir, {jpegOf(Qt::red, 20), jpegOf(Qt::green, 25), jpegOf(Qt::blue, 30)},
                                   packSaverOptions({0, 3})),
                       false);
    // Two steps before the first page is read: the pages passed over never reach the screen.
    QSignalSpy read(&window, &SaverWindow::pageRead);
    window.cmdNext_Click();
    window.cmdNext_Click();
    ASSERT_TRUE(read.wait(30000));
    EXPECT_EQ(read.size(), 1);
    EXPECT_EQ(read.first().at(0).toInt(), 2);
    EXPECT_EQ(window.shownPicture().width(), 30);
}

TEST(SlidePlayer, APageThatCannotBeReadIsNamedWithItsCauseAndEndsTheShow)
{
    TempFolder dir;
    tf::ScriptedMessageBoxes boxes;
    const QByteArray damaged = jpegOf(Qt::green, 25).first(40) + "\xff\xd9";
    SaverWindow slide(showOfBytes(dir, {jpegOf(Qt::red, 20), damaged, jpegOf(Qt::blue, 30)}, packSaverOptions({0, 3})), true);
    slide.show();
    EXPECT_TRUE(pageRead(slide));
    EXPECT_TRUE(boxes.shown().empty());
    // Reached by the timer as by a button.
    slide.findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
    EXPECT_FALSE(pageRead(slide));
    ASSERT_EQ(boxes.prompts(), QStringList({"This slide show cannot show page 2: The page's picture is damaged."}));
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_TRUE(slide.ended());
    EXPECT_FALSE(slide.isVisible());
    EXPECT_FALSE(slide.playing());
    // Nothing more is shown or said once it has ended.
    slide.cmdNext_Click();
    EXPECT_EQ(boxes.shown().size(), 1u);

    // A first page that cannot be read ends the show as soon as it is read.
    boxes.clear();
    SaverWindow first(showOfBytes(dir, {damaged}, packSaverOptions({0, 3})), true);
    first.show();
    EXPECT_FALSE(pageRead(first));
    EXPECT_EQ(boxes.prompts(), QStringList({"This slide show cannot show page 1: The page's picture is damaged."}));
    EXPECT_TRUE(first.ended());
    EXPECT_FALSE(first.playing());
    EXPECT_FALSE(first.isVisible());
}

TEST(ShowPages, PagesUpToTheProgramsOwnLimitAreTakenAndLargerOnesAreNamedAsSuch)
{
    // Past Qt's default limit for one picture (5800 x 5800 at 32 bits), not past ours.
    QImage wide(5800, 5800, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    QString cause = QStringLiteral("untouched");
    const QImage read = decodeShowPage(tf::fncPageJpeg(wide, 50), &cause);
    EXPECT_EQ(read.size(), QSize(5800, 5800));
    EXPECT_EQ(cause, QStringLiteral("untouched"));

    // A header that claims 60000 x 60000 pixels is refused before anything is allocated.
    QByteArray huge = jpegOf(Qt::red, 20);
    const qsizetype sof = huge.indexOf("\xff\xc0");
    ASSERT_GT(sof, 0);
    huge.replace(sof + 5, 4, QByteArray("\xea\x60\xea\x60", 4));
    EXPECT_TRUE(decodeShowPage(huge, &cause).isNull());
    EXPECT_EQ(cause, QStringLiteral("The page is too large to be shown (60000 x 60000 pixels)."));
    EXPECT_TRUE(decodeShowPage({}, &cause).isNull());
    EXPECT_EQ(cause, QStringLiteral("The page could not be read from the show's file."));
}

TEST(SaverPlayer, APageSmallerThanTheScreenSitsInItsMiddleOnTheChosenColour)
{
    TempFolder dir;
    // A red page smaller than the screen, then a yellow one wider than it; on teal.
    QImage wide(90, 10, QImage::Format_RGB32);
    wide.fill(Qt::yellow);
    SaverWindow window(showOfBytes(dir, {jpegOf(Qt::red, 20), tf::fncPageJpeg(wide, 90)}, packSaverOptions({0x00808000, 3})),
                       false);
    window.resize(60, 40);
    for (const char* reference : {"saver-page-centred", "saver-page-wider-than-the-screen"}) {
        EXPECT_TRUE(pageRead(window));
        EXPECT_TRUE(matchesReference(window.grab().toImage(), QString::fromLatin1(reference))) << reference;
        window.cmdNext_Click();
    }
}

TEST(SlidePlayer, EachButtonShowsItsPressedPictureWhileHeldDown)
{
    TempFolder dir;
    for (const char* name : {"cmdPrevious", "cmdPlay", "cmdPause", "cmdNext", "cmdExit"}) {
        SaverWindow slide(showOf(dir, 2, 3), true);
        auto* button = slide.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        button->show();
        EXPECT_TRUE(matchesReference(button->grab().toImage(), QStringLiteral("slide-%1").arg(QString::fromLatin1(name))))
            << name;
        const QPointF middle(button->width() / 2.0, button->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, middle, button->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        EXPECT_TRUE(matchesReference(button->grab().toImage(),
                                     QStringLiteral("slide-%1-pressed").arg(QString::fromLatin1(name))))
            << name;
        QMouseEvent release(QEvent::MouseButtonRelease, middle, button->mapToGlobal(middle), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &release);
        EXPECT_TRUE(matchesReference(button->grab().toImage(), QStringLiteral("slide-%1").arg(QString::fromLatin1(name))))
            << name << " released";
    }
}
