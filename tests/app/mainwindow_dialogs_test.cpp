// The browse bar's settings and about buttons reach their dialogs and commands.
#include "mainwindow_fixture.h"

#include "controls/hyperlink.h"
#include "frame/frmAbout.h"
#include "frame/frmSettings.h"
#include "platform/ui/listview.h"
#include "platform/ui/msgbox.h"
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
    EXPECT_TRUE(d->isVisible() && d->isModal());

    d->findChild<QCheckBox*>("chkAllowTip")->setChecked(false);
    d->findChild<QPushButton*>("cmdOK")->click();
    EXPECT_TRUE(w.browse()->lvFolder()->toolTip().isEmpty());
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.findChildren<frmSettings*>().isEmpty());
}

TEST_F(MainWindowTest, AboutButtonsMenuEntriesOpenTheSiteTheHelpAndTheAboutBox)
{
    frmMain& w = start();
    RecordedShellOpens opens;
    QPushButton* about = w.browse()->cmdBrowseAbout();
    QTest::mouseClick(about, Qt::LeftButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->pos(), about->mapToGlobal(about->rect().bottomLeft()));
    QStringList captions;
    for (QAction* action : menu->actions()) captions << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(captions, QStringList({"Online tutorials", "Visit homepage", "-", "Help Manual", "About Tavrel Folio"}));
    menu->close();

    ScriptedMessageBoxes boxes;
    for (int entry : {0, 1, 3}) w.browse()->mnuAbout(entry)->trigger();
    ASSERT_GE(opens.opened().size(), 2u);
    EXPECT_EQ(opens.opened()[0], QUrl(BrowseController::tutorialAddress()));
    EXPECT_EQ(opens.opened()[1], QUrl(frmAbout::homePage()));
    EXPECT_EQ(opens.opened().size() + boxes.shown().size(), 3u) << "the help file, or a message saying why not";

    w.browse()->mnuAbout(4)->trigger();
    auto* d = w.findChild<frmAbout*>();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible() && d->isModal());
    auto* link = d->findChild<Hyperlink*>("lblVarnel7");
    ASSERT_NE(link, nullptr);
    const auto before = opens.opened().size();
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(4, link->height() / 2));
    ASSERT_EQ(opens.opened().size(), before + 1);
    EXPECT_EQ(opens.opened().back(), QUrl(frmAbout::homePage()));
    d->findChild<QPushButton*>("cmdOK")->click();
    EXPECT_FALSE(d->isVisible());
}
