#include "app/modMainLayout.h"


#include <algorithm>

namespace tf {

PaneArrangement fncPaneArrangement(bool splViewHasLeftOrTop, bool splViewHasRightOrBottom, bool splMainHasLeftOrTop)
{
    if (!splViewHasLeftOrTop && !splMainHasLeftOrTop) return PaneArrangement::Editing;
    if (!splViewHasLeftOrTop && !splViewHasRightOrBottom) return PaneArrangement::PreviewWithoutMetadata;
    return PaneArrangement::Browsing;
}

QRect fncPaneRect(int left, int top, int width, int height)
{
    return QRect(left, top, std::max(0, width), std::max(0, height));
}

BrowsePaneLayout fncBrowsePaneLayout(QSize pane, int labelHeight, int tabRowHeight)
{
    const int W = pane.width(), H = pane.height();
    BrowsePaneLayout r;
    r.lblBrowse = fncPaneRect(0, 0, W, labelHeight);
    r.tbsBrowse = fncPaneRect(2, labelHeight, W - 2, H - labelHeight);
    r.picFileSystem = fncPaneRect(4, r.tbsBrowse.top() + tabRowHeight + 5, r.tbsBrowse.width() - 6,
                                  r.tbsBrowse.height() - tabRowHeight - 8);
    r.ftvBrowse = fncPaneRect(0, 0, r.picFileSystem.width(), r.picFileSystem.height());
    r.lvEdit = r.picFileSystem;
    return r;
}

MetadataPaneLayout fncMetadataPaneLayout(QSize pane, int labelHeight, int tabRowHeight, int toolbarWidth)
{
    const int W = pane.width(), H = pane.height();
    MetadataPaneLayout r;
    r.lblMetadata = fncPaneRect(0, 0, W, labelHeight);
    r.tbsMetadata = fncPaneRect(0, labelHeight, W - kMetadataToolbarStrip, H - labelHeight);
    // 4 below the tab row here, where the browse pane has 5: the two panes were drawn apart.
    r.lvExif = fncPaneRect(2, r.tbsMetadata.top() + tabRowHeight + 4, r.tbsMetadata.width() - 6,
                           r.tbsMetadata.height() - tabRowHeight - 8);
    r.lvIPTC = r.lvExif;
    r.toolbarLeft = std::max(0, W - toolbarWidth);
    return r;
}

FolderPaneLayout fncFolderPaneLayout(QSize pane, int labelHeight)
{
    const int W = pane.width(), H = pane.height();
    FolderPaneLayout r;
    r.lblFolderWidth = std::max(0, W);
    r.lvFolder = fncPaneRect(2, labelHeight, W - 2, H - labelHeight - 2);
    return r;
}

QueuePaneLayout fncQueuePaneLayout(QSize pane, int labelHeight, QRect liveBar)
{
    const int W = pane.width(), H = pane.height();
    QueuePaneLayout r;
    r.lblQueue = fncPaneRect(0, 0, W, labelHeight);
    r.lvPages = fncPaneRect(liveBar.left() + liveBar.width(), liveBar.top() + 2, W - liveBar.width() - 12,
                            H - labelHeight - 2);
    return r;
}

namespace {

// The scroll bars hug the viewport: the vertical one at its right, the horizontal one below it.
void placeScrollBars(PreviewPaneLayout& r, const PreviewPaneInput& in)
{
    const QRect& vp = r.PicViewImage;
    r.vsbView = fncPaneRect(vp.left() + vp.width(), vp.top(), in.vsbWidth, vp.height());
    r.hsbView = fncPaneRect(vp.left(), vp.top() + vp.height(), vp.width(), in.hsbHeight);
}

} // namespace

PreviewPaneLayout fncPreviewPaneLayout(const PreviewPaneInput& in)
{
    PreviewPaneLayout r;
    const int tb = in.toolbarHeight;
    switch (in.arrangement) {
    case PaneArrangement::Editing: {
        r.splRight = fncPaneRect(0, 0, in.splMain.width(), in.splMain.height());
        r.splView = fncPaneRect(0, 0, r.splRight->width(), r.splRight->height());
        r.picView = fncPaneRect(0, 0, in.client.width(), in.client.height() - in.statusBarHeight);
        const QSize view = r.picView->size();
        r.PicViewImage = fncPaneRect(0, tb, view.width() - in.vsbWidth - in.ebWidth, view.height() - tb - in.hsbHeight);
        placeScrollBars(r, in);
        r.eb = fncPaneRect(r.vsbView.left() + r.vsbView.width(), r.PicViewImage.top(), in.ebWidth,
                           r.PicViewImage.height());
        r.ebVisibility = Visibility::Show;
        break;
    }
    case PaneArrangement::PreviewWithoutMetadata: {
        r.picView = fncPaneRect(0, 0, in.splView.width(), in.splView.height());
        const QSize view = r.picView->size();
        r.PicViewImage = fncPaneRect(0, tb, view.width() - in.vsbWidth - 10, view.height() - tb - in.hsbHeight);
        placeScrollBars(r, in);
        break;
    }
    case PaneArrangement::Browsing: {
        const QSize view = in.picView;
        r.PicViewImage = fncPaneRect(1, tb + 1, view.width() - in.vsbWidth - 1, view.height() - tb - in.hsbHeight - 2);
        placeScrollBars(r, in);
        r.ebVisibility = Visibility::Hide;
        break;
    }
    }
    return r;
}

} // namespace tf
