// Where the panes and their controls end up in the shown window, for several window sizes and
// splitter positions, in the browsing view, without the metadata pane, and in the editing mode.
#include "mainwindow_fixture.h"

#include "browse/modPreview.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "controls/splitter.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"
#include "platform/ui/tabstrip.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <array>

using namespace tf;
using tf::test::MainWindowTest;

namespace {

constexpr int kBar = 5; // the splitters' bar

QRect clamped(int x, int y, int w, int h) { return QRect(x, y, std::max(0, w), std::max(0, h)); }

// The two sides of a splitter filling r, its bar at the percent's pixel.
QRect firstSide(QRect r, int percent, bool topBottom)
{
    return topBottom ? clamped(r.x(), r.y(), r.width(), r.height() * percent / 100)
                     : clamped(r.x(), r.y(), r.width() * percent / 100, r.height());
}
QRect secondSide(QRect r, int percent, bool topBottom)
{
    if (topBottom) {
        const int t = r.height() * percent / 100;
        return clamped(r.x(), r.y() + t + kBar, r.width(), r.height() - t - kBar);
    }
    const int l = r.width() * percent / 100;
    return clamped(r.x() + l + kBar, r.y(), r.width() - l - kBar, r.height());
}

struct Case {
    QSize size;
    std::array<int, 4> positions; // splMain, splRight, splLeft, splView
};

const Case kCases[] = {
    {{1280, 1024}, {70, 30, 50, 50}},
    {{1280, 1024}, {40, 60, 25, 80}},
    {{800, 600}, {55, 20, 70, 35}},
    {{533, 400}, {90, 10, 90, 10}},
    {{533, 400}, {10, 90, 10, 90}},
};

class MainWindowPanes : public MainWindowTest {
protected:
    void arrange(const Case& c)
    {
        frmMain& w = window();
        w.splMain->setSplitterPosition(c.positions[0]);
        w.splRight->setSplitterPosition(c.positions[1]);
        w.splLeft->setSplitterPosition(c.positions[2]);
        w.splView->setSplitterPosition(c.positions[3]);
        w.resize(c.size);
        QApplication::processEvents();
        w.subResize();
    }
    QRect area() const { return QRect(0, 0, m_window->width(), m_window->height() - m_window->sbMain->height()); }

    void expectBrowsingView(const Case& c)
    {
        frmMain& w = window();
        const auto& p = c.positions;
        const QRect top = firstSide(area(), p[0], true);
        const QRect bottom = secondSide(area(), p[0], true);
        const QRect browse = firstSide(top, p[1], false);
        const QRect view = secondSide(top, p[1], false);
        const QRect preview = firstSide(view, p[3], false);
        const QRect metadata = secondSide(view, p[3], false);
        const QRect folder = firstSide(bottom, p[2], false);
        const QRect queue = secondSide(bottom, p[2], false);
        const int tabs = w.tbsMetadata->tabRowHeight();
        const int vsb = w.browse()->vsbView()->width(), hsb = w.browse()->hsbView()->height();

        EXPECT_EQ(inWindow(w.splMain), area());
        EXPECT_EQ(inWindow(w.sbMain), QRect(0, area().height(), w.width(), w.sbMain->height()));
        EXPECT_EQ(inWindow(w.picBrowse), browse);
        EXPECT_EQ(inWindow(w.picView), preview);
        EXPECT_EQ(inWindow(w.PicMetadata), metadata);
        EXPECT_EQ(inWindow(w.picFolder), folder);
        EXPECT_EQ(inWindow(w.PicQueue), queue);

        EXPECT_EQ(inWindow(w.lvPages), clamped(queue.x() + 108, queue.y() + 28, queue.width() - 108 - 12, queue.height() - 28));
        EXPECT_EQ(inWindow(w.browse()->lvFolder()), clamped(folder.x() + 2, folder.y() + 26, folder.width() - 2, folder.height() - 28));
        EXPECT_EQ(inWindow(w.lvExif), clamped(metadata.x() + 2, metadata.y() + 26 + tabs + 4, metadata.width() - 20 - 6,
                                              metadata.height() - 26 - tabs - 8));
        if (metadata.width() >= w.picEXIFBar->width()) {
            EXPECT_EQ(inWindow(w.picEXIFBar).right(), metadata.right()) << "the EXIF bar stands at the pane's right edge";
        }
        const QRect viewport = clamped(preview.x() + 1, preview.y() + 33, preview.width() - vsb - 1,
                                       preview.height() - 32 - hsb - 2);
        EXPECT_EQ(inWindow(w.browse()->PicViewImage()), viewport);
        EXPECT_EQ(inWindow(w.browse()->vsbView()).topLeft(), QPoint(viewport.x() + viewport.width(), viewport.y()));
        EXPECT_EQ(inWindow(w.browse()->hsbView()).topLeft(), QPoint(viewport.x(), viewport.y() + viewport.height()));
        EXPECT_FALSE(w.eb->isVisible());
    }
};

} // namespace

TEST_F(MainWindowPanes, BrowsingViewFollowsWindowSizeAndSplitters)
{
    start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " " << c.positions[0] << "/"
                                        << c.positions[1] << "/" << c.positions[2] << "/" << c.positions[3]);
        arrange(c);
        expectBrowsingView(c);
    }
}

TEST_F(MainWindowPanes, TheWindowIsNeverSmallerThanItsMinimum)
{
    frmMain& w = start();
    w.resize(300, 200);
    QApplication::processEvents();
    EXPECT_GE(w.width(), 533);
    EXPECT_GE(w.height(), 400);
}

TEST_F(MainWindowPanes, AMinimisedWindowLeavesThePanesAloneUntilItIsRestored)
{
    frmMain& w = start(QSize(1000, 700));
    const QRect pages = w.lvPages->geometry();
    const QRect main = w.splMain->geometry();
    w.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(w.isMinimized());
    w.resize(800, 600);
    QApplication::processEvents();
    w.subResize();
    EXPECT_EQ(w.splMain->geometry(), main) << "nothing is laid out while minimised";
    EXPECT_EQ(w.lvPages->geometry(), pages);

    w.setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    ASSERT_FALSE(w.isMinimized());
    EXPECT_EQ(w.splMain->width(), w.centralWidget()->width()) << "restoring lays the window out again";
    EXPECT_NE(w.lvPages->geometry(), pages);
}

TEST_F(MainWindowPanes, WithoutMetadataThePreviewFillsItsSplitter)
{
    frmMain& w = start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height());
        w.splView->setLeftOrTopControl(nullptr);
        w.splView->setRightOrBottomControl(nullptr);
        arrange(c);
        ASSERT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);
        const QRect top = firstSide(area(), c.positions[0], true);
        const QRect view = secondSide(top, c.positions[1], false);
        EXPECT_EQ(inWindow(w.picView), view);
        const int vsb = w.browse()->vsbView()->width(), hsb = w.browse()->hsbView()->height();
        EXPECT_EQ(inWindow(w.browse()->PicViewImage()),
                  clamped(view.x(), view.y() + 32, view.width() - vsb - 10, view.height() - 32 - hsb));
        // The metadata pane is out of sight under the preview.
        if (view.width() > 40 && view.height() > 40) {
            QWidget* hit = w.childAt(view.bottomRight() - QPoint(3, 3));
            EXPECT_TRUE(hit == w.picView || w.picView->isAncestorOf(hit));
        }
        w.splView->setLeftOrTopControl(w.picView);
        w.splView->setRightOrBottomControl(w.PicMetadata);
        arrange(c);
        expectBrowsingView(c);
    }
}

TEST_F(MainWindowPanes, NoImageMeansNoPreviewButtonsAndNoImageControl)
{
    frmMain& w = start();
    EXPECT_FALSE(w.browse()->ibMain()->isVisible());
    EXPECT_FALSE(w.browse()->CmdPreviewEdit()->isEnabled());
    EXPECT_FALSE(w.browse()->cmdPreviewSave()->isEnabled());
    EXPECT_FALSE(w.browse()->cmdPreviewPrint()->isEnabled());
    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::Browsing) << "the editing mode needs an image";

    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    w.browse()->ibMain()->setPicture(image);
    w.subResize();
    EXPECT_TRUE(w.browse()->ibMain()->isVisible());
    EXPECT_TRUE(w.browse()->CmdPreviewEdit()->isEnabled());
    EXPECT_TRUE(w.browse()->cmdPreviewSave()->isEnabled());
    EXPECT_TRUE(w.browse()->cmdPreviewPrint()->isEnabled());
    EXPECT_EQ(w.sbMain->panelText("status"), fncZoomText(w.browse()->ibMain()->Zoom()));
    const PreviewFit fit = fncComputePreviewFit(w.browse()->PicViewImage()->contentsRect().size(), QSize(64, 48));
    EXPECT_EQ(w.browse()->ibMain()->geometry(), QRect(fit.position, fit.size)) << "the preview centres the image in the viewport";

    w.browse()->ibMain()->Clear();
    w.subResize();
    EXPECT_FALSE(w.browse()->ibMain()->isVisible());
    EXPECT_FALSE(w.browse()->CmdPreviewEdit()->isEnabled());
}

TEST_F(MainWindowPanes, EditingModeCoversBothBandsAndComesBackWhole)
{
    frmMain& w = start();
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    w.browse()->ibMain()->setPicture(image);
    int entering = 0, leaving = 0;
    QObject::connect(&w, &frmMain::EditModeEntering, [&] { ++entering; });
    QObject::connect(&w, &frmMain::EditModeLeaving, [&] { ++leaving; });

    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " " << c.positions[0]);
        arrange(c);
        const QRect queueBefore = inWindow(w.lvPages);

        w.CmdPreviewEdit_Click();
        ASSERT_EQ(w.arrangement(), PaneArrangement::Editing);
        EXPECT_EQ(glngEditMode, 1);
        EXPECT_FALSE(w.browse()->cmdPreviewType()->isEnabled());
        EXPECT_EQ(w.browse()->CmdPreviewEdit()->text(), "     Finish");
        EXPECT_EQ(inWindow(w.picView), area());
        const int vsb = w.browse()->vsbView()->width(), hsb = w.browse()->hsbView()->height(), ebWidth = w.eb->width();
        const QRect viewport = clamped(0, 32, area().width() - vsb - ebWidth, area().height() - 32 - hsb);
        EXPECT_EQ(inWindow(w.browse()->PicViewImage()), viewport);
        EXPECT_EQ(inWindow(w.browse()->vsbView()).topLeft(), QPoint(viewport.right() + 1, 32));
        EXPECT_TRUE(w.eb->isVisible());
        EXPECT_EQ(inWindow(w.eb), QRect(viewport.width() + vsb, 32, ebWidth, viewport.height()));
        // Nothing of the basket shows through the preview.
        if (queueBefore.width() > 4 && queueBefore.height() > 4) {
            QWidget* hit = w.childAt(queueBefore.center());
            EXPECT_TRUE(hit == w.picView || w.picView->isAncestorOf(hit));
        }

        w.CmdPreviewEdit_Click();
        ASSERT_EQ(w.arrangement(), PaneArrangement::Browsing);
        EXPECT_EQ(glngEditMode, 0);
        EXPECT_TRUE(w.browse()->cmdPreviewType()->isEnabled());
        EXPECT_EQ(w.browse()->CmdPreviewEdit()->text(), "     Edit");
        EXPECT_EQ(w.splMain->LeftOrTopControl(), w.splRight);
        EXPECT_EQ(w.splRight->RightOrBottomControl(), w.splView);
        EXPECT_EQ(w.splView->LeftOrTopControl(), w.picView);
        EXPECT_EQ(w.splView->RightOrBottomControl(), w.PicMetadata);
        expectBrowsingView(c);
        EXPECT_EQ(inWindow(w.lvPages), queueBefore);
    }
    EXPECT_EQ(entering, int(std::size(kCases)));
    EXPECT_EQ(leaving, int(std::size(kCases)));
}

TEST_F(MainWindowPanes, EditingRoundTripWithoutTheMetadataPaneKeepsItHidden)
{
    frmMain& w = start();
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::red);
    w.browse()->ibMain()->setPicture(image);
    w.splView->setLeftOrTopControl(nullptr);
    w.splView->setRightOrBottomControl(nullptr);
    w.subResize();
    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::Editing);
    w.CmdPreviewEdit_Click();
    EXPECT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);
    EXPECT_EQ(w.splMain->LeftOrTopControl(), w.splRight);
    EXPECT_EQ(w.splRight->RightOrBottomControl(), w.splView);
    EXPECT_EQ(w.splView->LeftOrTopControl(), nullptr);
    EXPECT_TRUE(w.eb->isVisible()) << "without the metadata pane the explorer bar keeps its visibility";
}

TEST_F(MainWindowPanes, DraggingASplitterLaysTheWindowOutAgain)
{
    frmMain& w = start(QSize(1000, 700));
    arrange({{1000, 700}, {70, 30, 50, 50}});
    QWidget* bar = w.splLeft->findChild<QWidget*>("picSplitter", Qt::FindDirectChildrenOnly);
    ASSERT_NE(bar, nullptr);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    // The bar of splLeft sits at 500; dragged 200 pixels to the left it rests at 30 percent.
    send(QEvent::MouseButtonPress, QPoint(2, 10), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(-198, 10), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPoint(-198, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w.splLeft->SplitterPosition(), 30);
    expectBrowsingView({{1000, 700}, {70, 30, 30, 50}});
}

