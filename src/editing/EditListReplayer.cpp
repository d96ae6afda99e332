#include "editing/EditListReplayer.h"

#include "platform/imagebox/imagebox_document.h"

namespace tf {

ReplayResult EditListReplayer::replayOnPreview(ImageDocument& target)
{
    return replay(target, m_stopRow ? m_stopRow() : -1);
}

ReplayResult EditListReplayer::replayAll(ImageDocument& target) { return replay(target, -1); }

ReplayResult EditListReplayer::replay(ImageDocument& target, int stopRow)
{
    if (!target.HasImage() || m_list.tasks().empty()) return {};
    // A copy of the rows: the list may change while a long command lets events run.
    const std::vector<EditTask> rows = m_list.tasks();
    QImage image = target.Picture();
    const ReplayResult result = subProcessPages(image, rows, {stopRow, m_loader});
    // Rows before a failing one stay applied, as they were shown.
    if (image.constBits() != target.image().constBits() || image.size() != target.image().size()) target.setPicture(image);
    return result;
}

} // namespace tf
