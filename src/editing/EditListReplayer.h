#pragma once
// The replay seam over the edit list: what the preview and the page writers are handed.
#include "editing/EditListModel.h"
#include "editing/modProcessTasks.h"
#include "frame/TaskReplay.h"

#include <functional>

namespace tf {

class EditListReplayer final : public TaskReplayer {
public:
    explicit EditListReplayer(const EditListModel& list) : m_list(list) {}

    // The row the preview's replay stops at: the selected row of the visible edit list (lvEdit
    // or lvEditPreview by the edit mode), or -1 for none. The editing controller provides it.
    void setStopRowSource(std::function<int()> source) { m_stopRow = std::move(source); }
    void setPictureLoader(PictureLoader loader) { m_loader = std::move(loader); }

    bool hasTasks() const override { return !m_list.tasks().empty(); }
    ReplayResult replayOnPreview(ImageDocument& target) override;
    ReplayResult replayAll(ImageDocument& target) override;
    std::shared_ptr<TaskReplayer> frozen() override;
    std::shared_ptr<TaskReplayer> frozenAsPreviewed() override;

private:
    ReplayResult replay(ImageDocument& target, int stopRow);
    const EditListModel& m_list;
    std::function<int()> m_stopRow;
    PictureLoader m_loader = loadMergePicture;
};

} // namespace tf
