#pragma once
// The basket of pages: its model, the thumbnails in ilPages, the temp page files of split
// multipage sources (basketAdding.h adds files), and the list operations (move, delete) that start from what the user chose
// in lvPages. Plain functions without a window, so the controller stays thin.
#include "basket/basketModel.h"
#include "platform/sys/colors.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

namespace tf {
struct DecodeResult;
class ImageDocument;
class ImageList;
class ReportView;
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

// "<count> file(s) in basket", the text of the "queue" panel.
QString fncQueueText(int count);
// width, " X ", height
QString fncResolutionText(int32_t width, int32_t height);

// The page count a folder row states; anything that is not a whole number counts as one page.
int fncPageCountOf(const QString& text);

// Appends the thumbnail to the image list and the page, with that picture, as the basket's last
// page; a page that does not state its bytes takes its file's. Gives its row (from 0).
int fncAddBasketPage(BasketModel& basket, ImageList& images, PageRecord page, const QImage& thumbnail);

// A picture as a basket thumbnail: glngPagesThumbWidth x glngPagesThumbHeight (or the box given),
// the picture centred on white keeping its aspect. Null when there is no picture or the size is
// unusable.
QImage fncBasketThumbnail(const QImage& picture, QSize box = {});

// Reserves the name of a new temp page file in the per-user Temp folder:
// <base><page>_<random below 9999>.tif. A name already taken is never reused: another number
// is drawn (and in the end every number is tried in turn). The file is created empty, so nobody
// else can take the name; empty result (and *error) when no name can be made.
QString fncTempPageFileName(const QString& base, int page, QString* error = nullptr);

// Deletes the temp page files: every *.tif directly in the per-user Temp folder, nothing else.
// Used by New basket and at shutdown. Gives the paths of the files deleted.
QStringList subDeleteTempPages();

// How the pages of a split source are named and where their files go.
struct SplitNaming {
    QString pageName;         // "scan" gives scan3 (run together) or scan(3)
    bool parenthesised = false;
    QString tempBase;         // base of the temp page files
    QString failName;         // how the source is named in the list of files not added
};

// The row text of page p of a split source.
QString fncSplitPageText(const SplitNaming& naming, int page);

// One page of a split source as its own temp page file.
struct SplitPage {
    int page = 0;
    QString file;             // the temp page file; empty when the page could not be read or written
    QImage thumbnail;
    QString resolution;
    QString sizeText;
    QString typeText;
};

// Writes one decoded page of a split source to a new temp page file through `doc`, with its basket
// thumbnail fitted into thumbBox. A page without a picture, or one that cannot be written, gives
// no file (and leaves none behind). Safe on any thread, for a document of that thread.
SplitPage fncWriteSplitPage(ImageDocument& doc, const QString& source, int page, DecodeResult decoded,
                            const QString& tempBase, QSize thumbBox);

// The entry for one file in the list of files not added: the name between single quotes,
// followed by the page for a single page of a split source.
QString fncFailedEntry(const QString& name, int page = 0);
// The one message that names every file (or page) that could not be added; empty list, no text.
QString fncFailedFilesMessage(const QStringList& entries);
// Shows it, when there is anything to tell.
void subShowFailedFiles(const QStringList& entries);

// Moves the pages chosen in the view to the drop point (viewport pixels): after the row under the
// point when it lies at or below the reference row (the selected row with the focus), before it
// otherwise. No row under the point, or none selected: only the drop highlight is cleared.
void subMoveListItems(ReportView& lv, BasketModel& basket, int x, int y);

// Removes the pages chosen in the view.
void subDeleteSelectedItems(const ReportView& lv, BasketModel& basket);

} // namespace tf::basket
