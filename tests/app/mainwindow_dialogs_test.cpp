// The browse bar's settings and about buttons open their dialogs over the window.
#include "mainwindow_fixture.h"

#include "controls/hyperlink.h"
#include "frame/frmAbout.h"
#include "frame/frmSettings.h"
#include "platform/ui/listview.h"
#include "services/modGenericFunctions.h"

#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QUrl>

using namespace tf;
using tf::test::MainWindowTest;

TEST_F(MainWindowTest, SettingsButtonOpensOneDialogWhoseOkReachesTheWindow)
{
    frmMain& w = start();
    ASSERT_FALSE(w.browse()->lvFolder()->toolTip().isEmpty());
    w.browse()->cmdBrowseSettings()->click();
    w.browse()->cmdBrowseSettings()->click();
    const auto dialogs = w.findChildren<frmSettings*>();
    ASSERT_EQ(dialogs.size(), 1);
    frmSettings* d = dialogs[0];
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->isModal());

    d->findChild<QCheckBox*>("chkAllowTip")->setChecked(false);
    d->findChild<QPushButton*>("cmdOK")->click();
    EXPECT_EQ(gudtSettings.ShowToolTips, 0);
    EXPECT_TRUE(w.browse()->lvFolder()->toolTip().isEmpty()) << "OK puts the record on the window";
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.findChildren<frmSettings*>().isEmpty()) << "the dialog goes when it closes";
}

TEST_F(MainWindowTest, AboutButtonOpensTheAboutBoxWhoseLinkOpensTheWebSite)
{
    frmMain& w = start();
    RecordedShellOpens opens;
    w.browse()->cmdBrowseAbout()->click();
    w.browse()->mnuAboutParent()->close();
    w.browse()->mnuAbout(4)->trigger();
    auto* d = w.findChild<frmAbout*>();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    auto* link = d->findChild<Hyperlink*>("lblVarnel7");
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(4, link->height() / 2));
    ASSERT_EQ(opens.opened().size(), 1u);
    EXPECT_EQ(opens.opened()[0], QUrl(frmAbout::homePage()));
    d->findChild<QPushButton*>("cmdOK")->click();
    EXPECT_FALSE(d->isVisible());
}
