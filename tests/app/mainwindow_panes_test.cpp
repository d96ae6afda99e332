// The window hands its panes to the layout functions (whose arithmetic is checked on its own) at
// every resize, splitter drag and change of arrangement.
#include "mainwindow_gui.h"

#include "browse/modFolderView.h"
#include "controls/splitter.h"
#include "platform/ui/statusbar.h"

#include <QMouseEvent>

using namespace tf;
using tf::test::MainWindowTest;

namespace {

class MainWindowPanes : public MainWindowTest {
protected:
    // Every pane's widgets stand where the layout function puts them for the pane's present size.
    void expectLaidOut()
    {
        frmMain& w = window();
        BrowseController& b = *w.browse();
        const QRect area(0, 0, w.width(), w.height() - w.sbMain()->height());
        EXPECT_EQ(inWindow(w.splMain()), area);
        EXPECT_EQ(inWindow(w.sbMain()).top(), area.height());
        EXPECT_EQ(b.picFileSystem()->geometry(),
                  fncBrowsePaneLayout(w.picBrowse()->size(), b.lblBrowse()->height(), b.tbsBrowse()->tabRowHeight()).picFileSystem);
        EXPECT_EQ(w.metadata()->lvExif()->geometry(), fncMetadataPaneLayout(w.PicMetadata()->size(), w.lblMetadata()->height(),
                                                              w.tbsMetadata()->tabRowHeight(), w.metadata()->picEXIFBar()->width()).lvExif);
        EXPECT_EQ(b.lvFolder()->geometry(), fncFolderPaneLayout(w.picFolder()->size(), b.lblFolder()->height()).lvFolder);
        EXPECT_EQ(w.basket()->lvPages()->geometry(),
                  fncQueuePaneLayout(w.PicQueue()->size(), w.basket()->lblQueue()->height(), w.basket()->picLiveBar()->geometry()).lvPages);
        EXPECT_EQ(inWindow(b.vsbView()).topLeft(), inWindow(b.PicViewImage()).topRight() + QPoint(1, 0));
    }
    void showPicture()
    {
        window().browse()->ibMain()->setPicture(test::solid(64, 48, Qt::darkCyan));
        window().subResize();
    }
};

} // namespace

TEST_F(MainWindowPanes, ResizesSplitterPositionsAndDragsLayThePanesOut)
{
    frmMain& w = start();
    expectLaidOut();
    w.splMain()->setSplitterPosition(40);
    w.splView()->setSplitterPosition(80);
    w.resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(w.splMain()->SplitterPosition(), 40);
    expectLaidOut();
    EXPECT_FALSE(w.editing()->eb()->isVisible());

    // Dragging any splitter lays the window out again.
    for (Splitter* splitter : {w.splMain(), w.splRight(), w.splLeft(), w.splView()}) {
        SCOPED_TRACE(splitter->objectName().toStdString());
        const int before = splitter->SplitterPosition();
        QWidget* bar = splitter->findChild<QWidget*>("picSplitter", Qt::FindDirectChildrenOnly);
        ASSERT_NE(bar, nullptr);
        auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, bar->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(bar, &event);
        };
        // A tenth of the splitter towards its start, well inside the band.
        const QPoint by = splitter->Orientation() == 1 ? QPoint(2, 2 - splitter->height() / 10)
                                                       : QPoint(2 - splitter->width() / 10, 2);
        send(QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, by, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, by, Qt::LeftButton, Qt::NoButton);
        EXPECT_LT(splitter->SplitterPosition(), before);
        expectLaidOut();
    }

    w.resize(300, 200);
    QApplication::processEvents();
    EXPECT_GE(w.width(), kMainWindowMinimumSize.width());
    EXPECT_GE(w.height(), kMainWindowMinimumSize.height());
}

TEST_F(MainWindowPanes, AMinimisedWindowLeavesThePanesAloneUntilItIsRestored)
{
    frmMain& w = start(QSize(1000, 700));
    const QRect pages = w.basket()->lvPages()->geometry();
    const QRect main = w.splMain()->geometry();
    w.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(w.isMinimized());
    w.resize(800, 600);
    QApplication::processEvents();
    w.subResize();
    EXPECT_EQ(w.splMain()->geometry(), main) << "nothing is laid out while minimised";
    EXPECT_EQ(w.basket()->lvPages()->geometry(), pages);

    w.setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    ASSERT_FALSE(w.isMinimized());
    EXPECT_EQ(w.splMain()->width(), w.centralWidget()->width()) << "restoring lays the window out again";
    EXPECT_NE(w.basket()->lvPages()->geometry(), pages);
}

TEST_F(MainWindowPanes, EditingModeCoversTheWindowAndComesBackWhole)
{
    frmMain& w = start();
    showPicture();
    int entering = 0, leaving = 0;
    QObject::connect(&w, &frmMain::EditModeEntering, [&] { ++entering; });
    QObject::connect(&w, &frmMain::EditModeLeaving, [&] { ++leaving; });
    const QRect queueBefore = inWindow(w.basket()->lvPages());

    w.CmdPreviewEdit_Click();
    ASSERT_EQ(w.arrangement(), PaneArrangement::Editing);
    EXPECT_EQ(w.editing()->lngEditMode(), 1);
    EXPECT_FALSE(w.browse()->cmdPreviewType()->isEnabled());
    EXPECT_EQ(w.browse()->CmdPreviewEdit()->text(), "     Finish");
    EXPECT_EQ(inWindow(w.picView()), QRect(0, 0, w.width(), w.height() - w.sbMain()->height()));
    EXPECT_TRUE(w.editing()->eb()->isVisible());
    EXPECT_EQ(w.editing()->eb()->geometry().right() + 1, w.picView()->width());
    QWidget* hit = w.childAt(queueBefore.center());
    EXPECT_TRUE(hit == w.picView() || w.picView()->isAncestorOf(hit)) << "nothing of the basket shows through";

    w.CmdPreviewEdit_Click();
    ASSERT_EQ(w.arrangement(), PaneArrangement::Browsing);
    EXPECT_EQ(w.editing()->lngEditMode(), 0);
    EXPECT_TRUE(w.browse()->cmdPreviewType()->isEnabled());
    EXPECT_EQ(w.browse()->CmdPreviewEdit()->text(), "     Edit");
    EXPECT_EQ(w.splMain()->LeftOrTopControl(), w.splRight());
    EXPECT_EQ(w.splRight()->RightOrBottomControl(), w.splView());
    EXPECT_EQ(w.splView()->LeftOrTopControl(), w.picView());
    EXPECT_EQ(w.splView()->RightOrBottomControl(), w.PicMetadata());
    EXPECT_EQ(inWindow(w.basket()->lvPages()), queueBefore);
    expectLaidOut();
    EXPECT_EQ(entering, 1);
    EXPECT_EQ(leaving, 1);

    EXPECT_EQ(w.sbMain()->panelText("status"), fncZoomPanelText(w.browse()->ibMain()->Zoom()));
    w.browse()->ibMain()->Clear();
    w.subResize();
    EXPECT_FALSE(w.browse()->ibMain()->isVisible());
    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::Browsing) << "the editing mode needs an image";
}

TEST_F(MainWindowPanes, WithoutTheMetadataPaneThePreviewFillsItsSplitterAndEditingKeepsItSo)
{
    frmMain& w = start();
    showPicture();
    w.splView()->setLeftOrTopControl(nullptr);
    w.splView()->setRightOrBottomControl(nullptr);
    w.subResize();
    ASSERT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);
    EXPECT_EQ(w.picView()->geometry(), QRect(QPoint(0, 0), w.splView()->size()));
    const QPoint corner = inWindow(w.picView()).bottomRight() - QPoint(3, 3);
    EXPECT_TRUE(w.picView()->isAncestorOf(w.childAt(corner))) << "the metadata pane is out of sight";

    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::Editing);
    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);
    EXPECT_EQ(w.splView()->LeftOrTopControl(), nullptr);
    EXPECT_TRUE(w.editing()->eb()->isVisible()) << "without the metadata pane the explorer bar keeps its visibility";
}
