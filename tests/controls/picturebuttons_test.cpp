#include "controls/modButtonPicture.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;

namespace {

QFont fixedFont() { return QFont("DejaVu Sans", 9); }

// A picture whose left half is black and right half white, so one grab shows both effects.
QPixmap halfBlack(int width, int height)
{
    QPixmap picture(width, height);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.fillRect(0, 0, width / 2, height, Qt::black);
    return picture;
}

std::unique_ptr<QPushButton> makeButton(const QString& caption, int width = 100, int height = 30)
{
    auto button = std::make_unique<QPushButton>(caption);
    button->setFont(fixedFont());
    button->resize(width, height);
    return button;
}

} // namespace

TEST(PictureButtonCaption, PaddingReachesTheWidthLessTheMarginAndThePictureIsCentred)
{
    const QFontMetrics fm(fixedFont());
    // A caption that already fills the button gets one blank and no more.
    const QString full = "A caption far too long for its button";
    EXPECT_EQ(padButtonCaption(full, 60, fm), " " + full);

    // Padded until the measured width reaches P - 11; one blank fewer stays below it.
    const QString plain = padButtonCaption("Save", 100, fm);
    EXPECT_TRUE(plain.endsWith(" Save"));
    EXPECT_GE(fm.horizontalAdvance(plain), 100 - 11);
    EXPECT_LT(fm.horizontalAdvance(plain.mid(1)), 100 - 11);

    // With an access key the threshold is P - 5, the "&" itself being measured.
    const QString keyed = padButtonCaption("&Save", 100, fm);
    EXPECT_GE(fm.horizontalAdvance(keyed), 100 - 5);
    EXPECT_LT(fm.horizontalAdvance(keyed.mid(1)), 100 - 5);
    EXPECT_GT(keyed.size(), padButtonCaption("XSave", 100, fm).size()); // the same length unpadded

    EXPECT_EQ(padButtonCaption("Go", 0, fm), "Go"); // no width, nothing to fill

    // The picture is centred, halves to even.
    EXPECT_EQ(buttonPictureTop(30, 10), 10);
    EXPECT_EQ(buttonPictureTop(25, 10), 8);   // 12.5 - 5 = 7.5 -> 8
    EXPECT_EQ(buttonPictureTop(23, 10), 6);   // 11.5 - 5 = 6.5 -> 6
    EXPECT_EQ(buttonPictureTop(30, 50), -10); // taller than the face: centred, clipped later
}

TEST(PictureButton, SetUpPadsOnceCaptionsKeepClearOfThePictureAndRemovalKeepsThePadding)
{
    const QFontMetrics fm(fixedFont());
    auto button = makeButton("Rotate");
    subSetButtonPicture(button.get(), halfBlack(10, 10));
    EXPECT_TRUE(hasButtonPicture(button.get()));
    const QString padded = button->text();
    EXPECT_TRUE(padded.endsWith(" Rotate"));

    // A second set-up changes the picture only: no second padding, no second filter.
    subSetButtonPicture(button.get(), halfBlack(12, 12));
    EXPECT_EQ(button->text(), padded);
    EXPECT_EQ(button->findChildren<QObject*>().size(), 1);
    EXPECT_FALSE(button->grab().isNull()); // paints without recursing

    // A caption changed while running keeps clear of the picture; the next set-up sees it padded.
    subSetButtonCaption(button.get(), "    Actual Size");
    EXPECT_EQ(button->text(), padButtonCaption("    Actual Size", 100, fm));
    subSetButtonPicture(button.get(), halfBlack(12, 12));
    EXPECT_EQ(button->text(), padButtonCaption("    Actual Size", 100, fm));

    // A caption changed by code in between is padded once at the next set-up.
    button->setText("Flip");
    subSetButtonPicture(button.get(), halfBlack(10, 10));
    EXPECT_EQ(button->text(), padButtonCaption("Flip", 100, fm));

    subRemoveButtonPicture(button.get());
    EXPECT_FALSE(hasButtonPicture(button.get()));
    EXPECT_EQ(button->text(), padButtonCaption("Flip", 100, fm));
    subSetButtonCaption(button.get(), "    Optimized"); // without a picture: taken as it is
    EXPECT_EQ(button->text(), "    Optimized");

    // Removal is harmless twice, on a plain button, and on none; so are the others on none.
    subRemoveButtonPicture(button.get());
    subRemoveButtonPicture(nullptr);
    subSetButtonPicture(nullptr, QPixmap());
    subSetButtonCaption(nullptr, "none");
}

TEST(PictureButton, PictureIsAndedIntoTheFaceWashedOutWhenDisabledAndClipped)
{
    auto button = makeButton("Go");
    subSetButtonPicture(button.get(), halfBlack(10, 10));
    const QImage withPicture = button->grab().toImage();
    button->setEnabled(false);
    const QImage disabled = button->grab().toImage();
    subRemoveButtonPicture(button.get());
    const QImage plainDisabled = button->grab().toImage();
    button->setEnabled(true);
    const QImage plain = button->grab().toImage(); // same padded caption, no picture

    // top = 15 - 5 = 10; black columns 5..9, white columns 10..14 (over a face that is not
    // white itself, so a white picture pixel copied over it would show).
    ASSERT_NE(plain.pixel(12, 15), qRgb(255, 255, 255));
    for (int y = 10; y < 20; ++y) {
        for (int x = 5; x < 10; ++x) EXPECT_EQ(qGray(withPicture.pixel(x, y)), 0) << x << "," << y;
        for (int x = 10; x < 15; ++x) EXPECT_EQ(withPicture.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
    }
    // Outside the picture the face is the plain one.
    EXPECT_EQ(withPicture.pixel(7, 8), plain.pixel(7, 8));
    EXPECT_EQ(withPicture.pixel(7, 21), plain.pixel(7, 21));
    EXPECT_EQ(withPicture.pixel(4, 15), plain.pixel(4, 15));

    // Disabled, the black half is drawn pale: darker than the face it lands on, far from black.
    EXPECT_GT(qGray(disabled.pixel(7, 15)), 100);
    EXPECT_LT(qGray(disabled.pixel(7, 15)), qGray(plainDisabled.pixel(7, 15)));
    EXPECT_EQ(disabled.pixel(12, 15), plainDisabled.pixel(12, 15)) << "white still leaves the face alone";

    // A tall picture is centred (top -10) and clipped: its black rows land on the face's first and last.
    QPixmap tall(10, 50);
    tall.fill(Qt::white);
    QPainter p(&tall);
    p.fillRect(0, 10, 10, 1, Qt::black);
    p.fillRect(0, 39, 10, 1, Qt::black);
    p.end();
    subSetButtonPicture(button.get(), tall);
    const QImage image = button->grab().toImage();
    EXPECT_EQ(qGray(image.pixel(8, 0)), 0);
    EXPECT_EQ(qGray(image.pixel(8, 29)), 0);
    EXPECT_NE(qGray(image.pixel(8, 15)), 0);
}

TEST(PictureButton, ClicksAndKeysStillReachTheButton)
{
    auto button = makeButton("&Apply");
    subSetButtonPicture(button.get(), halfBlack(10, 10));
    button->show();
    QSignalSpy clicked(button.get(), &QPushButton::clicked);
    QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(50, 15));
    button->setFocus();
    QTest::keyClick(button.get(), Qt::Key_Space);
    EXPECT_EQ(clicked.size(), 2);
}

TEST(PictureButton, AHolderThatGoesFirstLeavesAPlainButton)
{
    auto button = makeButton("Go");
    auto holder = std::make_unique<QLabel>();
    holder->setPixmap(halfBlack(10, 10));
    subSetButtonPicture(button.get(), holder.get());
    EXPECT_TRUE(holder->isHidden());
    EXPECT_EQ(qGray(button->grab().toImage().pixel(6, 15)), 0);

    // The holder's picture is read at each paint.
    QPixmap white(10, 10);
    white.fill(Qt::white);
    holder->setPixmap(white);
    EXPECT_NE(qGray(button->grab().toImage().pixel(6, 15)), 0);

    holder->setPixmap(halfBlack(10, 10));
    holder.reset();
    const QImage afterwards = button->grab().toImage();
    subRemoveButtonPicture(button.get());
    EXPECT_EQ(afterwards, button->grab().toImage());
}

TEST(PictureButton, OnADarkFaceATransparentPictureKeepsItsColoursAndAnOpaqueOneIsStillCombined)
{
    auto button = makeButton("Go");
    QPalette dark = button->palette();
    dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
    button->setPalette(dark);
    QPixmap transparent(10, 10);
    transparent.fill(Qt::transparent);
    {
        QPainter p(&transparent);
        p.fillRect(0, 0, 5, 10, QColor(0xE0, 0x40, 0x20));
    }
    subSetButtonPicture(button.get(), transparent);
    const QImage shown = button->grab().toImage();
    subRemoveButtonPicture(button.get());
    const QImage plain = button->grab().toImage();
    // top = 15 - 5 = 10: the coloured half as it is, the transparent half leaves the face.
    EXPECT_EQ(shown.pixel(7, 15), qRgb(0xE0, 0x40, 0x20));
    EXPECT_EQ(shown.pixel(12, 15), plain.pixel(12, 15));
    button->setEnabled(false);
    subSetButtonPicture(button.get(), transparent);
    const QColor washed = button->grab().toImage().pixelColor(7, 15);
    EXPECT_EQ(washed.saturation(), 0) << "a disabled button's picture is grey";
    EXPECT_GT(washed.value(), 0x30);

    // A picture on white, without transparency, is combined into the face as on a light one.
    button->setEnabled(true);
    subSetButtonPicture(button.get(), halfBlack(10, 10));
    const QImage combined = button->grab().toImage();
    EXPECT_EQ(qGray(combined.pixel(7, 15)), 0);
    EXPECT_EQ(combined.pixel(12, 15), plain.pixel(12, 15));
}

TEST(PictureButtonCaption, AButtonGrowsUntilItsCaptionClearsThePicture)
{
    const QFontMetrics fm(fixedFont());
    EXPECT_EQ(pictureButtonWidth(28, QString(), fm), 28) << "a picture alone needs no room";
    EXPECT_EQ(pictureButtonWidth(200, "Go", fm), 200) << "room enough is kept as it is";
    // A caption that would run into the picture widens its button, more so in a larger font.
    const QString caption = "Capture the screen";
    const int width = pictureButtonWidth(40, caption, fm);
    EXPECT_GT(width, 40);
    EXPECT_EQ(pictureButtonWidth(width, caption, fm), width) << "that width is enough";
    QFont larger = fixedFont();
    larger.setPointSize(14);
    EXPECT_GT(pictureButtonWidth(40, caption, QFontMetrics(larger)), width);
}
