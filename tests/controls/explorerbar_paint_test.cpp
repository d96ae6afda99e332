#include "controls/explorerbar/ExplorerBar.h"
#include "explorerbar_testutil.h"
#include "platform/theme/visualstyle.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;
using Scheme = VisualStyle::Scheme;

namespace {

// A style that notes every part the bar asks it for.
class RecordingStyle : public VisualStyle {
public:
    mutable QVector<int> parts;
    bool drawBackground(QPainter& p, QStringView cls, int part, int state, const QRect& r) const override
    {
        parts.push_back(part);
        return VisualStyle::drawBackground(p, cls, part, state, r);
    }
};

bool near(QColor a, QColor b, int tolerance = 4)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

#define EXPECT_NEAR_COLOR(actual, expected)                                                                  \
    EXPECT_PRED2([](QColor a, QColor b) { return near(a, b); }, actual, expected)                            \
        << qPrintable(QColor(actual).name()) << " vs " << qPrintable(QColor(expected).name())

// A bar 200 wide with fixed text measures: special header 16..40, items at 50 and 72, its
// body down to 102, the "Dialog" header 116..140 with its item at 150.
class PaintedBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.setVisualStyle(&style);
        bar.setTextMetrics(std::make_shared<tf::testing::FakeMetrics>());
        bar.resize(200, 400);
        bar.DisableUpdates(true);
        bar.AddSpecialGroup("Tasks");
        bar.AddItem("Special Group", "Flip", "Flip");
        bar.AddItem("Special Group", "Rotate", "Rotate");
        bar.AddGroup("Dialog", "Options");
        bar.AddItem("Dialog", "Undo", "Undo");
        bar.show();
    }
    QImage picture() { return bar.grab().toImage(); }
    QColor at(int x, int y) { return picture().pixelColor(x, y); }

    RecordingStyle style;
    ExplorerBar bar;
};

// Pixels of a colour inside a rectangle of the picture.
int count(const QImage& image, const QRect& area, QColor color)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == color;
    return n;
}

} // namespace

TEST(ExplorerBarColours, SoftColorLightensEachChannelByItsRange)
{
    const struct {
        OleColor in, out;
    } cases[] = {
        {rgb(0, 0, 0), rgb(76, 76, 76)},       {rgb(255, 255, 255), rgb(255, 255, 255)},
        {rgb(32, 96, 160), rgb(89, 134, 179)}, {rgb(31, 95, 223), rgb(107, 152, 242)},
        {rgb(224, 159, 96), rgb(224, 197, 134)},
    };
    for (const auto& c : cases) EXPECT_EQ(ExplorerBar::SoftColor(c.in), c.out) << std::hex << c.in;
}

TEST(ExplorerBarColours, ChevronsAreSymmetricAndPointTheWayTheGroupOpens)
{
    for (bool expanded : {true, false}) {
        QImage image(24, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        subDrawChevron(p, 0, 0, expanded, Qt::black);
        p.end();
        // Two chevrons of two strokes each; strokes share their tip pixels.
        EXPECT_EQ(count(image, image.rect(), Qt::black), 24) << expanded;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(image.pixelColor(12 - x, y), image.pixelColor(12 + x, y)) << x << "," << y;
        // The topmost row holds the single tip of an upward chevron, or the two arms of a downward one.
        EXPECT_EQ(count(image, QRect(0, 8, 24, 1), Qt::black), expanded ? 1 : 4);
        EXPECT_EQ(count(image, QRect(0, 0, 24, 8), Qt::black), 0);
        EXPECT_EQ(count(image, QRect(0, 16, 24, 8), Qt::black), 0);
    }
}

TEST(ExplorerBarTheme, ClassicDrawsNothingThemedAndUnknownClassesGoToTheSink)
{
    VisualStyle style;
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QStringList quiet;
    EbPaintContext context;
    context.style = &style;
    context.sink = [&quiet](const QString& text) { quiet << text; };
    EbThemeRequest request;
    request.rect = QRect(0, 0, 40, 40);
    EXPECT_EQ(fncCurrentThemeName(&style), "Classic");
    EXPECT_FALSE(fncDrawThemePart(p, request, context));

    style.setScheme(Scheme::Metallic);
    context.themeName = fncCurrentThemeName(&style);
    EXPECT_EQ(context.themeName, "Metallic");
    request.sClass = "Button";
    EXPECT_FALSE(fncDrawThemePart(p, request, context));
    // A part this scheme does not draw falls back to the classic look too.
    request.sClass = "Explorerbar";
    request.part = 8;
    EXPECT_FALSE(fncDrawThemePart(p, request, context));
    p.end();
    EXPECT_EQ(quiet, (QStringList{"No theme data for class 'Button'.  - 0",
                                  "Failed to draw background for class 'Explorerbar', partId=8, stateId=1"}));
    EXPECT_EQ(count(image, image.rect(), Qt::white), 40 * 40);
}

TEST(ExplorerBarTheme, CaptionsWithoutThemeTextUseTheHighlightColours)
{
    VisualStyle style;
    style.setScheme(Scheme::NormalColor);
    EbPaintContext context;
    context.style = &style;
    context.themeName = fncCurrentThemeName(&style);
    context.useUxThemeText = false;
    context.font.setPixelSize(30);
    const struct {
        int part, state;
        QColor text;
    } cases[] = {
        {8, 1, systemColor(13)},
        {8, 2, colorFromOle(SoftColor(oleFromColor(systemColor(13))))},
        {12, 2, systemColor(14)},
    };
    for (const auto& c : cases) {
        QImage image(200, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter p(&image);
        EbThemeRequest request;
        request.part = c.part;
        request.state = c.state;
        request.rect = image.rect();
        request.text = "IIII";
        request.textOffset = 0;
        ASSERT_TRUE(fncDrawThemePart(p, request, context));
        p.end();
        EXPECT_GT(count(image, image.rect(), c.text), 20) << c.part << "/" << c.state;
    }
}

// ---- the painted bar in each style -----------------------------------------------------------

TEST_F(PaintedBar, ClassicOutlinesBodiesAndFillsHeadersWithSystemColours)
{
    const QImage image = picture();
    EXPECT_EQ(image.pixelColor(2, 2), systemColor(5));             // background
    EXPECT_EQ(image.pixelColor(12, 20), systemColor(13));          // special header
    EXPECT_EQ(image.pixelColor(8, 60), systemColor(13));           // special body outline
    EXPECT_EQ(image.pixelColor(12, 60), systemColor(5));           // no fill inside it
    EXPECT_EQ(image.pixelColor(12, 120), systemColor(15));         // normal header
    EXPECT_EQ(image.pixelColor(8, 160), systemColor(15));          // normal body outline
    // The expanded normal group's chevron points up, in button text on the header.
    EXPECT_EQ(image.pixelColor(168 + 12, 116 + 8), systemColor(18));
    EXPECT_EQ(style.parts, QVector<int>{});
}

TEST_F(PaintedBar, MetallicAndHomeSteadDrawTheirOwnHeaderGradients)
{
    const struct {
        Scheme scheme;
        QColor from, to, body;
    } cases[] = {
        {Scheme::Metallic, Qt::white, QColor(214, 215, 224), QColor(240, 241, 245)},
        {Scheme::HomeStead, QColor(255, 252, 236), QColor(224, 231, 184), QColor(246, 246, 236)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.scheme));
        style.parts.clear();
        style.setScheme(c.scheme);
        const QImage image = picture();
        EXPECT_NEAR_COLOR(image.pixelColor(9, 128), c.from);
        EXPECT_NEAR_COLOR(image.pixelColor(191, 128), c.to);
        EXPECT_EQ(image.pixelColor(12, 160), c.body);
        EXPECT_EQ(image.pixelColor(12, 45), c.body);
        // Only the background comes from the style, and for HomeStead the special header too.
        EXPECT_TRUE(style.parts.contains(1));
        EXPECT_FALSE(style.parts.contains(8));
        EXPECT_EQ(style.parts.contains(12), c.scheme == Scheme::HomeStead);
    }
    style.setScheme(Scheme::Metallic);
    EXPECT_NEAR_COLOR(at(9, 28), QColor(119, 119, 146));
    EXPECT_NEAR_COLOR(at(191, 28), QColor(180, 182, 199));
}

TEST_F(PaintedBar, TheBlueStyleDrawsEveryPartThroughTheStyle)
{
    style.setScheme(Scheme::NormalColor);
    const QImage image = picture();
    for (int part : {1, 5, 6, 8, 9, 10, 12}) EXPECT_TRUE(style.parts.contains(part)) << part;
    // Its special header is dark on the left, its normal ones white; bodies are flat fills.
    EXPECT_GT(image.pixelColor(12, 28).blue(), 150);
    EXPECT_LT(image.pixelColor(12, 28).red(), 60);
    EXPECT_NEAR_COLOR(image.pixelColor(9, 128), Qt::white);
    EXPECT_EQ(image.pixelColor(12, 160), image.pixelColor(12, 170));
    EXPECT_NE(image.pixelColor(12, 160), image.pixelColor(12, 60));
}

TEST_F(PaintedBar, PaintingOffFreezesThePictureAndTurningItOnDrawsOnce)
{
    const QImage before = picture();
    bar.DisableUpdates(true);
    bar.AddItem("Dialog", "Redo", "Redo");
    bar.ExpandGroup("Special Group", false);
    EXPECT_EQ(picture(), before);
    bar.DisableUpdates();
    EXPECT_NE(picture(), before);
    EXPECT_EQ(at(12, 45), systemColor(5)); // the special body is gone
}

TEST_F(PaintedBar, ItemsGoHotWhenHoveredAndHeadersShowTheirState)
{
    // Underlined captions show their colour on the underline; the bar's items are black at rest.
    const QRect flip(40, 50, 100, 16);
    EXPECT_EQ(count(picture(), flip, systemColor(13)), 0);
    EXPECT_GT(count(picture(), flip, systemColor(18)), 5);
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 55), QPointF(30, 55), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&bar, &move);
    EXPECT_GT(count(picture(), flip, systemColor(13)), 5);
    EXPECT_EQ(count(picture(), flip, systemColor(18)), 0);

    // The classic chevron frame: flat at rest, raised when hot, sunk while pressed.
    const QPoint frameBottom(168 + 6, 116 + 20);
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(15));
    QMouseEvent onHeader(QEvent::MouseMove, QPointF(100, 128), QPointF(100, 128), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
    QCoreApplication::sendEvent(&bar, &onHeader);
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(16));
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(100, 128));
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(20));
}

TEST_F(PaintedBar, AnIconOutsideTheListDrawsTheCaptionAlone)
{
    ImageList icons;
    icons.Add("red", tf::testing::filled(Qt::red));
    bar.SetImageList(&icons);
    bar.AddItem("Dialog", "Good", "Good", EbRef("red"));
    bar.AddItem("Dialog", "Bad", "Bad", EbRef(7));
    const QImage image = picture();
    EXPECT_EQ(count(image, QRect(20, 172, 16, 16), Qt::red), 256);
    EXPECT_EQ(count(image, QRect(20, 194, 16, 16), Qt::red), 0);
    EXPECT_GT(count(image, QRect(40, 194, 60, 16), systemColor(18)), 5);
}

// ---- hosted panels ---------------------------------------------------------------------------

TEST_F(PaintedBar, HostedPanelTakesTheBodyPlaceAndItsColour)
{
    QWidget panel;
    panel.setAutoFillBackground(true);
    panel.resize(10, 120);
    auto* label = new QLabel("on the panel", &panel);
    label->move(20, 20);
    auto* check = new QCheckBox("check", &panel);
    check->move(20, 50);
    auto* frame = new QFrame(&panel);
    frame->move(20, 80);
    auto* nested = new QLabel("in a frame", frame);
    const QColor nestedColour = nested->palette().color(QPalette::Window);
    bar.AddGroup("Editing", "Basket");
    bar.SetGroupChild("Editing", &panel);

    // Under the special group and "Dialog" with one item: its header is 200..224.
    EXPECT_EQ(panel.geometry(), QRect(8, 224, 184, 120));
    EXPECT_TRUE(panel.isVisible());
    QImage image = picture();
    EXPECT_EQ(image.pixelColor(8, 224), systemColor(15));   // border
    EXPECT_EQ(image.pixelColor(100, 300), systemColor(5));  // face
    EXPECT_EQ(label->palette().color(QPalette::Window), systemColor(5));
    EXPECT_EQ(nested->palette().color(QPalette::Window), nestedColour);

    // Under a themed style the controls take the colour drawn where they sit.
    style.setScheme(Scheme::NormalColor);
    image = picture();
    EXPECT_EQ(check->palette().color(QPalette::Window), image.pixelColor(8 + 4, 224 + 4));
    EXPECT_NE(check->palette().color(QPalette::Window), systemColor(5));
    EXPECT_EQ(nested->palette().color(QPalette::Window), nestedColour);

    // The panel follows its header's width and place; collapsing hides it.
    bar.resize(260, 400);
    EXPECT_EQ(panel.geometry(), QRect(8, 224, 244, 120));
    bar.ExpandGroup("Dialog", false);
    EXPECT_EQ(panel.geometry(), QRect(8, 224 - 38, 244, 120));
    bar.ExpandGroup("Editing", false);
    EXPECT_FALSE(panel.isVisible());

    // Given back, the panel fills its own background again.
    bar.ClearStructure();
    EXPECT_TRUE(panel.autoFillBackground());
}
