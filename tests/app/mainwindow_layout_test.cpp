// The main window's geometry as plain functions of sizes and state.
#include "app/modMainLayout.h"

#include <gtest/gtest.h>

using namespace tf;

TEST(MainLayoutArrangement, IsToldApartByTheSplittersChildrenInOrder)
{
    // splView left/top, splView right/bottom, splMain left/top
    EXPECT_EQ(fncPaneArrangement(true, true, true), PaneArrangement::Browsing);
    EXPECT_EQ(fncPaneArrangement(false, false, true), PaneArrangement::PreviewWithoutMetadata);
    // The editing test comes first: with splMain's pane gone it wins over "no metadata".
    EXPECT_EQ(fncPaneArrangement(false, false, false), PaneArrangement::Editing);
    EXPECT_EQ(fncPaneArrangement(false, true, false), PaneArrangement::Editing);
    // Only one of splView's panes missing is still the browsing view.
    EXPECT_EQ(fncPaneArrangement(false, true, true), PaneArrangement::Browsing);
    EXPECT_EQ(fncPaneArrangement(true, false, true), PaneArrangement::Browsing);
    EXPECT_EQ(fncPaneArrangement(true, true, false), PaneArrangement::Browsing);
}

TEST(MainLayoutPanes, BrowsePaneOffsetsAndTheSharedRectangle)
{
    const auto r = fncBrowsePaneLayout(QSize(300, 500), 26, 24);
    EXPECT_EQ(r.lblBrowse, QRect(0, 0, 300, 26));
    EXPECT_EQ(r.tbsBrowse, QRect(2, 26, 298, 474));
    EXPECT_EQ(r.picFileSystem, QRect(4, 26 + 24 + 5, 298 - 6, 474 - 24 - 8));
    EXPECT_EQ(r.ftvBrowse, QRect(0, 0, 292, 442));
    EXPECT_EQ(r.lvEdit, r.picFileSystem) << "the edit list takes exactly the folder tree's place";
}

TEST(MainLayoutPanes, MetadataPaneKeepsTheToolbarStripAndUsesFourBelowTheTabs)
{
    const auto r = fncMetadataPaneLayout(QSize(400, 300), 26, 24, 20);
    EXPECT_EQ(r.lblMetadata, QRect(0, 0, 400, 26));
    EXPECT_EQ(r.tbsMetadata, QRect(0, 26, 380, 274));
    EXPECT_EQ(r.lvExif, QRect(2, 26 + 24 + 4, 374, 274 - 24 - 8));
    EXPECT_EQ(r.lvIPTC, r.lvExif);
    EXPECT_EQ(r.toolbarLeft, 380) << "the bars fill the free strip at the right";
}

TEST(MainLayoutPanes, FolderAndBasketPanes)
{
    const auto folder = fncFolderPaneLayout(QSize(640, 280), 26);
    EXPECT_EQ(folder.lblFolderWidth, 640);
    EXPECT_EQ(folder.lvFolder, QRect(2, 26, 638, 280 - 26 - 2));

    const QRect liveBar(0, 26, 108, 4000);
    const auto queue = fncQueuePaneLayout(QSize(600, 280), 26, liveBar);
    EXPECT_EQ(queue.lblQueue, QRect(0, 0, 600, 26));
    EXPECT_EQ(queue.lvPages, QRect(108, 28, 600 - 108 - 12, 280 - 26 - 2));
}

TEST(MainLayoutPanes, NegativeSizesBecomeZeroAndPositionsStay)
{
    // A pane dragged smaller than its fixed parts: every rectangle keeps its place, none goes negative.
    const auto browse = fncBrowsePaneLayout(QSize(3, 20), 26, 24);
    EXPECT_EQ(browse.tbsBrowse, QRect(2, 26, 1, 0));
    EXPECT_EQ(browse.picFileSystem.topLeft(), QPoint(4, 55));
    EXPECT_EQ(browse.picFileSystem.size(), QSize(0, 0));
    const auto metadata = fncMetadataPaneLayout(QSize(10, 10), 26, 24, 20);
    EXPECT_EQ(metadata.tbsMetadata.size(), QSize(0, 0));
    EXPECT_EQ(metadata.toolbarLeft, 0);
    const auto queue = fncQueuePaneLayout(QSize(50, 10), 26, QRect(0, 26, 108, 100));
    EXPECT_EQ(queue.lvPages, QRect(108, 28, 0, 0));
    EXPECT_EQ(fncPaneRect(-5, -7, -1, 3), QRect(-5, -7, 0, 3));
}

namespace {

PreviewPaneInput previewInput(PaneArrangement arrangement)
{
    PreviewPaneInput in;
    in.arrangement = arrangement;
    in.client = QSize(1000, 700);
    in.statusBarHeight = 24;
    in.splMain = QSize(1000, 676);
    in.splView = QSize(600, 400);
    in.picView = QSize(300, 400);
    in.toolbarHeight = 32;
    in.vsbWidth = 15;
    in.hsbHeight = 14;
    in.ebWidth = 220;
    return in;
}

} // namespace

TEST(MainLayoutPreview, BrowsingViewInsetsTheViewportByOnePixel)
{
    const auto r = fncPreviewPaneLayout(previewInput(PaneArrangement::Browsing));
    EXPECT_FALSE(r.picView) << "the splitters place the preview pane";
    EXPECT_FALSE(r.splRight);
    EXPECT_EQ(r.PicViewImage, QRect(1, 33, 300 - 15 - 1, 400 - 32 - 14 - 2));
    EXPECT_EQ(r.vsbView, QRect(285, 33, 15, 352));
    EXPECT_EQ(r.hsbView, QRect(1, 385, 284, 14));
    EXPECT_EQ(r.ebVisibility, Visibility::Hide);
}

TEST(MainLayoutPreview, WithoutMetadataTheViewportIsTenPixelsNarrower)
{
    const auto r = fncPreviewPaneLayout(previewInput(PaneArrangement::PreviewWithoutMetadata));
    ASSERT_TRUE(r.picView);
    EXPECT_EQ(*r.picView, QRect(0, 0, 600, 400)) << "the preview fills splView";
    EXPECT_EQ(r.PicViewImage, QRect(0, 32, 600 - 15 - 10, 400 - 32 - 14));
    EXPECT_EQ(r.vsbView.left() + r.vsbView.width(), 600 - 10);
    EXPECT_EQ(r.ebVisibility, Visibility::Keep) << "the explorer bar keeps its visibility and place";
    EXPECT_FALSE(r.eb);
}

TEST(MainLayoutPreview, EditingModeCoversTheWindowWithTheExplorerBarRightOfTheScrollBar)
{
    const auto r = fncPreviewPaneLayout(previewInput(PaneArrangement::Editing));
    ASSERT_TRUE(r.splRight && r.splView && r.picView && r.eb);
    EXPECT_EQ(*r.splRight, QRect(0, 0, 1000, 676));
    EXPECT_EQ(*r.splView, QRect(0, 0, 1000, 676));
    EXPECT_EQ(*r.picView, QRect(0, 0, 1000, 700 - 24));
    EXPECT_EQ(r.PicViewImage, QRect(0, 32, 1000 - 15 - 220, 676 - 32 - 14));
    EXPECT_EQ(r.vsbView, QRect(765, 32, 15, 630));
    EXPECT_EQ(*r.eb, QRect(780, 32, 220, 630)) << "at the viewport's height, right of the scroll bar";
    EXPECT_EQ(r.eb->right() + 1, 1000);
    EXPECT_EQ(r.ebVisibility, Visibility::Show);
}

TEST(MainLayoutPreview, TinyPanesClampTheViewportAndBars)
{
    auto in = previewInput(PaneArrangement::Browsing);
    in.picView = QSize(10, 20);
    const auto r = fncPreviewPaneLayout(in);
    EXPECT_EQ(r.PicViewImage, QRect(1, 33, 0, 0));
    EXPECT_EQ(r.vsbView, QRect(1, 33, 15, 0));
    EXPECT_EQ(r.hsbView, QRect(1, 33, 0, 14));
}

TEST(MainLayoutZoom, RoundsHalvesToTheEvenNumber)
{
    EXPECT_EQ(fncZoomText(12.5), "12%");
    EXPECT_EQ(fncZoomText(13.5), "14%");
    EXPECT_EQ(fncZoomText(100.0), "100%");
    EXPECT_EQ(fncZoomText(33.3333), "33%");
    EXPECT_EQ(fncZoomText(66.7), "67%");
    EXPECT_EQ(fncZoomText(0.5), "0%");
}
