#include "platform/theme/visualstyle.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tf;
using Scheme = VisualStyle::Scheme;

TEST(VisualStyle, ClassicUnlessSetAndNamesTheSchemesAsControlsCompareThem)
{
    VisualStyle style;
    QSignalSpy changes(&style, &VisualStyle::changed);
    EXPECT_FALSE(style.isThemed());
    EXPECT_TRUE(style.colorSchemeName().isEmpty());
    EXPECT_FALSE(style.hasClass(u"Explorerbar"));

    const struct { Scheme scheme; const char* name; } cases[] = {
        {Scheme::NormalColor, "NormalColor"}, {Scheme::Metallic, "Metallic"}, {Scheme::HomeStead, "HomeStead"}};
    for (const auto& c : cases) {
        style.setScheme(c.scheme);
        EXPECT_EQ(style.colorSchemeName(), c.name);
        EXPECT_TRUE(style.hasClass(u"EXPLORERBAR"));
        EXPECT_FALSE(style.hasClass(u"Toolbar"));
    }
    style.setScheme(Scheme::HomeStead); // no change, no repaint asked for
    EXPECT_EQ(changes.size(), 3);
}

TEST(VisualStyle, PartsOutsideASchemesTableDrawNothing)
{
    VisualStyle style;
    style.setScheme(Scheme::HomeStead);
    QImage image(30, 30, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    const QRect r(0, 0, 30, 30);
    EXPECT_FALSE(style.drawBackground(p, u"Explorerbar", 8, 1, r)); // HomeStead's normal headers are the bar's own
    EXPECT_FALSE(style.drawText(p, u"Explorerbar", 8, 1, "text", kDtSingleLine, r));
    EXPECT_FALSE(style.drawBackground(p, u"Button", 1, 1, r));
    EXPECT_EQ(style.contentRect(u"Explorerbar", 8, 1, r), r);
    EXPECT_TRUE(style.drawBackground(p, u"Explorerbar", 12, 1, r));
    p.end();
    EXPECT_NE(image.pixelColor(15, 15), QColor(Qt::black));
}
