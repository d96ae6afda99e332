#pragma once
// What the editing tasks offer the rest of the program. The editing tasks themselves arrive
// later; until then these keep their promises for an empty edit list.

namespace tf {
class ImageDocument;
class ListView;
} // namespace tf

// Replays the confirmed editing tasks (the rows of lvEditBatch, in order) on the image held by
// ibImage. With blnReplayAll every row is applied and lvFirst and lvPreview are not consulted;
// otherwise it stops after the row selected in the visible copy of the list. An empty or missing
// edit list leaves the image untouched. Errors go to the program-wide reporter.
// The multipage writers and the batch conversion pass lvPages, lvEditBatch, ibTemp, nullptr and
// true once per loaded page.
void subProcessPages(tf::ListView* lvFirst, tf::ListView* lvEditBatch, tf::ImageDocument& ibImage,
                     tf::ListView* lvPreview, bool& blnReplayAll);

// True when subProcessPages would change an image: there is at least one confirmed task.
bool fncHasEditTasks(const tf::ListView* lvEditBatch);
