#include "frame/editingServices.h"

#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/listview.h"

void subProcessPages(tf::ListView* /*lvFirst*/, tf::ListView* lvEditBatch, tf::ImageDocument& /*ibImage*/,
                     tf::ListView* /*lvPreview*/, bool& /*blnReplayAll*/)
{
    // No editing task can be confirmed yet, so there is nothing to replay.
    if (!fncHasEditTasks(lvEditBatch)) return;
}

bool fncHasEditTasks(const tf::ListView* lvEditBatch) { return lvEditBatch && lvEditBatch->Count() > 0; }
