// The about box: texts from the version information; the picture and the link open the web site.
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
    EXPECT_EQ(text("lblVersion"), QStringLiteral("Version %1.%2.%3")
                                      .arg(tf::version::kMajor)
                                      .arg(tf::version::kMinor)
                                      .arg(tf::version::kRevision));
    for (const auto& [name, expected] : {std::pair{"lblTitle", tf::version::kTitle}, {"lblEdition", tf::version::kComments},
                                         {"lblDescription", tf::version::kDescription}, {"lblTrademark", tf::version::kTrademarks},
                                         {"lblCompany", tf::version::kCompany}, {"lblCopyright", tf::version::kCopyright}})
        EXPECT_TRUE(text(name) == expected && !text(name).isEmpty()) << name;
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
    EXPECT_FALSE(d.findChild<QLabel*>("lblVarnel7")->text().isEmpty());
    QTest::mouseClick(d.findChild<QLabel*>("Image1"), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_TRUE(linkClick);
    linkClick();
    EXPECT_EQ(opened, QStringList({frmAbout::homePage(), frmAbout::homePage()}));

    d.findChild<QPushButton*>("cmdOK")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}
