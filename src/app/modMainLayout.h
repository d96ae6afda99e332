#pragma once
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// The geometry of the main window's panes as plain functions of sizes and state, so that every
// offset can be checked without a window. All values are pixels of the container named at each
// rectangle. A width or height that would come out negative (a pane dragged very small) is 0.

namespace tf {

// The window is never made smaller than this.
inline constexpr QSize kMainWindowMinimumSize{533, 400};

// Which panes the four splitters show, told apart by the splitters' children in this order.
enum class PaneArrangement {
    Editing,               // splView and splMain have no left/top pane: the preview fills the window
    PreviewWithoutMetadata, // splView has no pane at all: the preview fills splView
    Browsing,              // all five panes
};

PaneArrangement fncPaneArrangement(bool splViewHasLeftOrTop, bool splViewHasRightOrBottom, bool splMainHasLeftOrTop);

// left, top, width, height, with a negative width or height taken as 0.
QRect fncPaneRect(int left, int top, int width, int height);

// Browse pane (picBrowse). The folder tree's holder and the edit list share one rectangle.
struct BrowsePaneLayout {
    QRect lblBrowse, tbsBrowse, picFileSystem, ftvBrowse, lvEdit;
};
BrowsePaneLayout fncBrowsePaneLayout(QSize pane, int labelHeight, int tabRowHeight);

// Metadata pane (PicMetadata). A strip 20 pixels wide stays free at the right of the tab strip
// for the EXIF and IPTC tool bars, which stand docked against the pane's right edge.
struct MetadataPaneLayout {
    QRect lblMetadata, tbsMetadata, lvExif, lvIPTC;
    int toolbarLeft = 0; // left of picEXIFBar and picIPTCBar for a bar of the given width
};
inline constexpr int kMetadataToolbarStrip = 20;
MetadataPaneLayout fncMetadataPaneLayout(QSize pane, int labelHeight, int tabRowHeight, int toolbarWidth);

// Folder list pane (picFolder). Only the caption's width changes; its height stays.
struct FolderPaneLayout {
    int lblFolderWidth = 0;
    QRect lvFolder;
};
FolderPaneLayout fncFolderPaneLayout(QSize pane, int labelHeight);

// Basket pane (PicQueue): the list stands right of the vertical tool bar picLiveBar.
struct QueuePaneLayout {
    QRect lblQueue, lvPages;
};
QueuePaneLayout fncQueuePaneLayout(QSize pane, int labelHeight, QRect liveBar);

// Preview pane (picView) and, in the editing mode, the splitters it takes over.
struct PreviewPaneInput {
    PaneArrangement arrangement = PaneArrangement::Browsing;
    QSize client;              // the window's client area (above which sits nothing)
    int statusBarHeight = 0;
    QSize splMain;             // as placed for this layout
    QSize splView;             // as the splitters placed it (preview without metadata)
    QSize picView;             // as the splitters placed it (browsing view)
    int toolbarHeight = 0;     // picToolbarPreview
    int vsbWidth = 0;
    int hsbHeight = 0;
    int ebWidth = 0;           // the explorer bar keeps its own width
};

enum class Visibility { Keep, Show, Hide };

struct PreviewPaneLayout {
    // Set only where this layout moves the widget; otherwise the splitters have placed it.
    std::optional<QRect> splRight, splView, picView;
    QRect PicViewImage, vsbView, hsbView;
    std::optional<QRect> eb;
    Visibility ebVisibility = Visibility::Keep;
};
PreviewPaneLayout fncPreviewPaneLayout(const PreviewPaneInput& in);

} // namespace tf
