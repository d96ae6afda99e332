#pragma once
// The preview pane's arithmetic and rules, without a window: where the image sits in the
// viewport, which scroll bars it needs, which row previous and next go to, and what the metadata
// pane shows for a type of file.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

// Where the image control goes inside the viewport and what the scroll bars must be.
struct PreviewFit {
    QPoint position;          // the control's top-left corner in the viewport
    QSize size;               // the control's size: the image as shown
    bool hsbVisible = false;  // the image is wider than the viewport
    bool vsbVisible = false;  // the image is taller than the viewport
    int hsbMax = 0;           // how far it overflows (0 when it does not)
    int vsbMax = 0;
};

// An image shown at `shown` pixels inside a viewport whose inner size is `inner`: centred while
// smaller (halves to the even pixel), at the origin while larger, with a scroll bar for each
// direction it overflows whose maximum is the overflow.
PreviewFit fncComputePreviewFit(QSize inner, QSize shown);

// Where a picture goes to be centred in its container (inner sizes), at 0 in a direction where
// the picture's inner size is larger than the container's.
QPoint fncCentredPosition(QSize containerInner, QSize pictureOuter, QSize pictureInner);

// Previous and next walk a list without wrapping: rows 1..count, selected = the selected row
// (0 for none). The row to show, or 0 when nothing moves (no selection, fewer than two rows, the
// first row for previous, the last for next).
int fncNextRowIndex(int count, int selected);
int fncPreviousRowIndex(int count, int selected);

// TIFF and JPEG files are decoded by the image control itself; every other type goes through the
// shared picture loader.
bool fncPreviewLoadsThroughControl(const QString& extension);

// What the metadata pane does for a shown file of this (lower-case) extension.
struct MetadataPaneRule {
    bool showExif = false;
    bool showIptc = false;
    bool readExif = false;
    bool readIptc = false;
    int tabIndex = -1;        // 0 the EXIF tab, 1 the IPTC tab, -1 leave it
    bool tabsEnabled = true;
};
MetadataPaneRule fncMetadataPaneRule(const QString& extension);

// One item of a tool bar: its width and the room left free before it when it follows another on
// its row.
struct ToolbarItem {
    int width = 0;
    int gapBefore = 0;
};
// The items placed left to right in rows of rowHeight: each `spacing` after the one before (and its
// own gap), from `margin`; an item that would pass the bar's width less the margin starts the next
// row, so that no item is cut at the bar's edge. A row's first item always stays on it. The
// items are itemHeight high, centred in their row.
struct ToolbarRows {
    std::vector<QRect> items;
    int height = 0; // rows times rowHeight; one row for an empty bar
};
ToolbarRows fncToolbarRows(const std::vector<ToolbarItem>& items, int width, int margin, int spacing, int rowHeight,
                           int itemHeight);
