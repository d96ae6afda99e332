#include "frame/modMainServices.h"

uint8_t gbytMetadataKind = 0;
int32_t glngEditMode = 0;

namespace {
tf::ProcessPagesHandler& processPagesHandler()
{
    static tf::ProcessPagesHandler handler;
    return handler;
}
} // namespace

void subProcessPages(tf::ListView* lvFirst, tf::ListView* lvEditBatch, tf::ImageDocument& ibTarget,
                     tf::ListView* lvPreview, bool& blnReplayAll)
{
    if (const auto& handler = processPagesHandler()) handler(lvFirst, lvEditBatch, ibTarget, lvPreview, blnReplayAll);
}

namespace tf {

void setProcessPagesHandler(ProcessPagesHandler handler) { processPagesHandler() = std::move(handler); }

} // namespace tf
