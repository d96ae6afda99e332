#pragma once
#include <QString>
#include <cstdint>
#include <functional>

namespace tf {
class ImageDocument;
class ListView;
} // namespace tf

// Program-wide state that the main window sets and the areas read.

// 0 while the EXIF tab of the metadata pane is chosen, 1 while the IPTC tab is.
extern uint8_t gbytMetadataKind;
// 0 in the explorer view, 1 in the editing mode.
extern int32_t glngEditMode;

// The replay of the edit list: the confirmed tasks, the rows of lvEditBatch in list order, are
// applied to the image that ibTarget holds. With blnReplayAll false the replay stops after the row
// selected in the visible edit list (lvFirst in the explorer view, lvPreview in the editing mode),
// and an empty lvFirst leaves the image alone. Callers: the preview (lvEdit, lvEditBatch, ibMain,
// lvEditPreview, false), the page writers (lvPages, lvEditBatch, ibTemp, nullptr, true).
// The editing tasks install the replay; until they do there are no tasks to replay and the call
// changes nothing.
void subProcessPages(tf::ListView* lvFirst, tf::ListView* lvEditBatch, tf::ImageDocument& ibTarget,
                     tf::ListView* lvPreview, bool& blnReplayAll);

namespace tf {

using ProcessPagesHandler =
    std::function<void(ListView* lvFirst, ListView* lvEditBatch, ImageDocument& ibTarget, ListView* lvPreview,
                       bool& blnReplayAll)>;
// An empty handler removes the replay again.
void setProcessPagesHandler(ProcessPagesHandler handler);

} // namespace tf

// Opens the help file with the desktop's handler. Nothing on Linux reads Windows help (".chm")
// by itself, so when the file is missing or no program takes it the user is told so plainly;
// false then.
bool fncOpenHelpFile(const QString& strHelpFile);
