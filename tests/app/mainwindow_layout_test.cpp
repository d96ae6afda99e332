// The main window's geometry as plain functions of sizes and state, checked against known rectangles.
#include "app/modMainLayout.h"

#include <gtest/gtest.h>

using namespace tf;

namespace {

PreviewPaneInput previewInput(PaneArrangement arrangement, QSize picView = QSize(300, 400))
{
    return {.arrangement = arrangement, .client = QSize(1000, 700), .statusBarHeight = 24, .splMain = QSize(1000, 676),
            .splView = QSize(600, 400), .picView = picView, .toolbarHeight = 32, .vsbWidth = 15, .hsbHeight = 14,
            .ebWidth = 220};
}

QRect orNull(const std::optional<QRect>& r) { return r.value_or(QRect(-1, -1, -1, -1)); }
const QRect kUnset(-1, -1, -1, -1);

} // namespace

TEST(MainLayout, EveryPaneFunctionAgainstKnownRectangles)
{
    // splView left/top, splView right/bottom, splMain left/top: the editing test comes first, and
    // one missing pane of splView alone is still the browsing view.
    const std::tuple<bool, bool, bool, PaneArrangement> arrangements[] = {
        {true, true, true, PaneArrangement::Browsing},      {false, false, true, PaneArrangement::PreviewWithoutMetadata},
        {false, false, false, PaneArrangement::Editing},    {false, true, false, PaneArrangement::Editing},
        {false, true, true, PaneArrangement::Browsing},     {true, false, true, PaneArrangement::Browsing},
        {true, true, false, PaneArrangement::Browsing},
    };
    for (const auto& [a, b, c, expected] : arrangements) EXPECT_EQ(fncPaneArrangement(a, b, c), expected) << a << b << c;

    const auto browse = fncBrowsePaneLayout(QSize(300, 500), 26, 24);
    const auto tinyBrowse = fncBrowsePaneLayout(QSize(3, 20), 26, 24);
    const auto metadata = fncMetadataPaneLayout(QSize(400, 300), 26, 24, 20);
    const auto tinyMetadata = fncMetadataPaneLayout(QSize(10, 10), 26, 24, 20);
    const auto folder = fncFolderPaneLayout(QSize(640, 280), 26);
    const auto queue = fncQueuePaneLayout(QSize(600, 280), 26, QRect(0, 26, 108, 4000));
    const auto tinyQueue = fncQueuePaneLayout(QSize(50, 10), 26, QRect(0, 26, 108, 100));
    const auto browsing = fncPreviewPaneLayout(previewInput(PaneArrangement::Browsing));
    const auto tinyBrowsing = fncPreviewPaneLayout(previewInput(PaneArrangement::Browsing, QSize(10, 20)));
    const auto noMetadata = fncPreviewPaneLayout(previewInput(PaneArrangement::PreviewWithoutMetadata));
    const auto editing = fncPreviewPaneLayout(previewInput(PaneArrangement::Editing));

    const std::tuple<const char*, QRect, QRect> rects[] = {
        {"browse caption", browse.lblBrowse, QRect(0, 0, 300, 26)},
        {"browse tabs", browse.tbsBrowse, QRect(2, 26, 298, 474)},
        {"folder tree holder", browse.picFileSystem, QRect(4, 55, 292, 442)},
        {"folder tree", browse.ftvBrowse, QRect(0, 0, 292, 442)},
        {"edit list takes the tree's place", browse.lvEdit, QRect(4, 55, 292, 442)},
        {"tiny browse tabs", tinyBrowse.tbsBrowse, QRect(2, 26, 1, 0)},
        {"tiny tree holder keeps its place", tinyBrowse.picFileSystem, QRect(4, 55, 0, 0)},
        {"metadata caption", metadata.lblMetadata, QRect(0, 0, 400, 26)},
        {"metadata tabs leave the bar strip", metadata.tbsMetadata, QRect(0, 26, 380, 274)},
        {"EXIF list", metadata.lvExif, QRect(2, 54, 374, 242)},
        {"IPTC list", metadata.lvIPTC, QRect(2, 54, 374, 242)},
        {"tiny metadata tabs", tinyMetadata.tbsMetadata, QRect(0, 26, 0, 0)},
        {"folder list", folder.lvFolder, QRect(2, 26, 638, 252)},
        {"basket caption", queue.lblQueue, QRect(0, 0, 600, 26)},
        {"basket list right of the bar", queue.lvPages, QRect(108, 28, 480, 252)},
        {"tiny basket list", tinyQueue.lvPages, QRect(108, 28, 0, 0)},
        {"negative sizes become zero", fncPaneRect(-5, -7, -1, 3), QRect(-5, -7, 0, 3)},
        // Browsing: the splitters place the pane; the viewport is inset by one pixel.
        {"browsing splRight", orNull(browsing.splRight), kUnset},
        {"browsing picView", orNull(browsing.picView), kUnset},
        {"browsing viewport", browsing.PicViewImage, QRect(1, 33, 284, 352)},
        {"browsing vertical bar", browsing.vsbView, QRect(285, 33, 15, 352)},
        {"browsing horizontal bar", browsing.hsbView, QRect(1, 385, 284, 14)},
        {"tiny viewport", tinyBrowsing.PicViewImage, QRect(1, 33, 0, 0)},
        {"tiny vertical bar", tinyBrowsing.vsbView, QRect(1, 33, 15, 0)},
        {"tiny horizontal bar", tinyBrowsing.hsbView, QRect(1, 33, 0, 14)},
        // Without metadata the preview fills splView and the viewport is ten pixels narrower.
        {"no-metadata picView", orNull(noMetadata.picView), QRect(0, 0, 600, 400)},
        {"no-metadata viewport", noMetadata.PicViewImage, QRect(0, 32, 575, 354)},
        {"no-metadata vertical bar", noMetadata.vsbView, QRect(575, 32, 15, 354)},
        {"no-metadata explorer bar stays", orNull(noMetadata.eb), kUnset},
        // Editing covers the window, the explorer bar right of the scroll bar at the viewport's height.
        {"editing splRight", orNull(editing.splRight), QRect(0, 0, 1000, 676)},
        {"editing splView", orNull(editing.splView), QRect(0, 0, 1000, 676)},
        {"editing picView", orNull(editing.picView), QRect(0, 0, 1000, 676)},
        {"editing viewport", editing.PicViewImage, QRect(0, 32, 765, 630)},
        {"editing vertical bar", editing.vsbView, QRect(765, 32, 15, 630)},
        {"editing explorer bar", orNull(editing.eb), QRect(780, 32, 220, 630)},
    };
    for (const auto& [what, actual, expected] : rects) EXPECT_EQ(actual, expected) << what;

    const std::tuple<const char*, int, int> numbers[] = {
        {"folder caption width", folder.lblFolderWidth, 640},
        {"metadata bars fill the free strip", metadata.toolbarLeft, 380},
        {"tiny metadata bars", tinyMetadata.toolbarLeft, 0},
        {"browsing hides the explorer bar", int(browsing.ebVisibility), int(Visibility::Hide)},
        {"no-metadata keeps the explorer bar", int(noMetadata.ebVisibility), int(Visibility::Keep)},
        {"editing shows the explorer bar", int(editing.ebVisibility), int(Visibility::Show)},
    };
    for (const auto& [what, actual, expected] : numbers) EXPECT_EQ(actual, expected) << what;
}
