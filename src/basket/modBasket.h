#pragma once
// The basket of pages: the rows of lvPages, their thumbnails in ilPages, the temp page files of
// split multipage sources, and the list operations (move, delete, sort). Plain functions that
// work on the list widgets without a window, so the controller stays thin.
#include "platform/sys/colors.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QTreeWidgetItem;

namespace tf {
class ImageDocument;
class ImageList;
class ListView;
} // namespace tf

namespace tf::basket {

// White: the background of every basket thumbnail.
inline constexpr OleColor kThumbBackColor = 16777215;

// Columns of a basket row (sub-items; the row text is column 0).
inline constexpr int kSubResolution = 1;
inline constexpr int kSubSize = 2;
inline constexpr int kSubType = 3;
inline constexpr int kSubSource = 4;

// Columns of a folder row as the folder view fills them.
inline constexpr int kFolderResolution = 1;
inline constexpr int kFolderSize = 2;
inline constexpr int kFolderPages = 3;
inline constexpr int kFolderType = 4;

// One basket page before it becomes a row.
struct BasketPage {
    QString text;       // display name
    QString tag;        // the file that holds the page
    QImage thumbnail;
    QString resolution; // "W X H"
    QString sizeText;
    QString typeText;
    QString source;     // the source file; one source enters the basket once
};

// "<count> file(s) in basket", the text of the "queue" panel.
QString fncQueueText(int count);
// width, " X ", height
QString fncResolutionText(int32_t width, int32_t height);

// The page count a folder row states; anything that is not a whole number counts as one page.
int fncPageCountOf(const QString& text);

// True when some row of the basket has this source file (exact comparison).
bool fncBasketHasSource(const ListView* basket, const QString& source);

// Appends the thumbnail to the image list and the page as the basket's last row, showing it.
QTreeWidgetItem* fncAddBasketPage(ListView* basket, ImageList* images, const BasketPage& page);

// A picture as a basket thumbnail: glngPagesThumbWidth x glngPagesThumbHeight, the picture
// centred on white keeping its aspect. Null when there is no picture or the size is unusable.
QImage fncBasketThumbnail(const QImage& picture);

// Reserves the name of a new temp page file in the per-user Temp folder:
// <base><page>_<random below 9999>.tif. A name already taken is never reused: another number
// is drawn (and in the end every number is tried in turn). The file is created empty, so nobody
// else can take the name; empty result (and *error) when no name can be made.
QString fncTempPageFileName(const QString& base, int page, QString* error = nullptr);

// Deletes the temp page files: every *.tif directly in the per-user Temp folder, nothing else.
// Used by New basket and at shutdown.
void subDeleteTempPages();

// How the pages of a split source are named and where their files go.
struct SplitNaming {
    QString pageName;         // "scan" gives scan3 (run together) or scan(3)
    bool parenthesised = false;
    QString tempBase;         // base of the temp page files
    QString failName;         // how the source is named in the list of files not added
};

// Progress of a split: before (done = false) and after (done = true) page p of n.
using PageProgress = std::function<void(int page, int pageCount, bool done)>;

// Adds every page of a multipage source as its own temp page file, through the given (private)
// image control. A page that cannot be read or written adds nothing and is named in `failed`;
// the others go on. Gives the last row added, or nullptr.
QTreeWidgetItem* fncAddSplitPages(ListView* basket, ImageList* images, ImageDocument& doc, const QString& source,
                                  int pageCount, const SplitNaming& naming, QStringList& failed,
                                  const PageProgress& progress = {});

// The entry for one file in the list of files not added: the name between single quotes,
// followed by the page for a single page of a split source.
QString fncFailedEntry(const QString& name, int page = 0);
// The one message that names every file (or page) that could not be added; empty list, no text.
QString fncFailedFilesMessage(const QStringList& entries);
// Shows it, when there is anything to tell.
void subShowFailedFiles(const QStringList& entries);

// Where the selected rows end up when moved to `insertAt` (1..count+1): the old indexes
// (1-based) in their new order. Unselected rows keep their order; the selected ones move as one
// block, in their order, to just before the row that was at insertAt.
std::vector<int> fncMovedOrder(int count, const std::vector<int>& selected, int insertAt);

// Moves the selected rows to the drop point (viewport pixels): after the row under the point when
// it lies at or below the reference row (the selected row with the focus), before it otherwise.
// No row under the point, or none selected: only the drop highlight is cleared.
void subMoveListItems(ListView* lv, int x, int y);

// Removes the selected rows.
void subDeleteSelectedItems(ListView* lv);

} // namespace tf::basket
