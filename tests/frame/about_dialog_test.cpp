// The about box: its texts come from the version information compiled in, and the picture and
// the link open the maker's web site.
#include "frame/frmAbout.h"
#include "version_info.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(AboutDialog, LabelsComeFromTheVersionInformation)
{
    frmAbout d{AboutHooks{}};
    EXPECT_EQ(d.windowTitle(), "About Tavrel Folio");
    auto text = [&d](const char* name) {
        auto* label = d.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    };
    EXPECT_EQ(text("lblTitle"), tf::version::kTitle);
    EXPECT_EQ(text("lblEdition"), tf::version::kComments);
    EXPECT_EQ(text("lblVersion"), QStringLiteral("Version %1.%2.%3")
                                      .arg(tf::version::kMajor)
                                      .arg(tf::version::kMinor)
                                      .arg(tf::version::kRevision));
    EXPECT_EQ(text("lblDescription"), tf::version::kDescription);
    EXPECT_EQ(text("lblTrademark"), tf::version::kTrademarks);
    EXPECT_EQ(text("lblCompany"), tf::version::kCompany);
    EXPECT_EQ(text("lblCopyright"), tf::version::kCopyright);
    for (const char* name : {"lblDescription", "lblTrademark", "lblCompany", "lblCopyright"})
        EXPECT_FALSE(text(name).isEmpty()) << name;
}

TEST(AboutDialog, PictureAndLinkEachOpenTheWebSiteOncePerClick)
{
    QStringList opened;
    std::function<void()> linkClick;
    AboutHooks hooks;
    hooks.openAddress = [&opened](const QString& address) { opened << address; };
    hooks.makeLink = [&linkClick](QWidget* parent, const QString& caption, std::function<void()> onClick) {
        linkClick = onClick;
        return new QLabel(caption, parent);
    };
    hooks.picture = QPixmap(32, 32);
    frmAbout d(hooks);
    d.show();
    ASSERT_NE(d.findChild<QWidget*>("lblVarnel7"), nullptr);
    EXPECT_FALSE(d.findChild<QLabel*>("lblVarnel7")->text().isEmpty());

    QTest::mouseClick(d.findChild<QLabel*>("Image1"), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_TRUE(linkClick);
    linkClick();
    EXPECT_EQ(opened, QStringList({frmAbout::homePage(), frmAbout::homePage()}));
    EXPECT_TRUE(frmAbout::homePage().startsWith("https://"));

    d.findChild<QPushButton*>("cmdOK")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}
