#include "editing/EditListReplayer.h"

#include "platform/imagebox/imagebox_document.h"

namespace tf {

namespace {

// Runs the rows given on `target`, keeping what the rows before a failing one made.
ReplayResult replayRows(ImageDocument& target, const std::vector<task::Entry>& rows, int stopRow, const PictureLoader& loader)
{
    if (!target.HasImage() || rows.empty()) return {};
    QImage image = target.Picture();
    const ReplayResult result = subProcessPages(image, rows, {stopRow, loader});
    if (image.constBits() != target.image().constBits() || image.size() != target.image().size()) target.setPicture(image);
    return result;
}

// The rows of one moment, owned: the edit list belongs to the window, the copy to the writer.
class FrozenRows final : public TaskReplayer {
public:
    FrozenRows(std::vector<task::Entry> rows, PictureLoader loader) : m_rows(std::move(rows)), m_loader(std::move(loader)) {}
    bool hasTasks() const override { return !m_rows.empty(); }
    ReplayResult replayOnPreview(ImageDocument& target) override { return replayAll(target); }
    ReplayResult replayAll(ImageDocument& target) override { return replayRows(target, m_rows, -1, m_loader); }
    std::shared_ptr<TaskReplayer> frozen() override { return std::make_shared<FrozenRows>(m_rows, m_loader); }

private:
    const std::vector<task::Entry> m_rows;
    const PictureLoader m_loader;
};

} // namespace

std::shared_ptr<TaskReplayer> EditListReplayer::frozen() { return std::make_shared<FrozenRows>(m_list.tasks(), m_loader); }

std::shared_ptr<TaskReplayer> EditListReplayer::frozenAsPreviewed()
{
    std::vector<task::Entry> rows = m_list.tasks();
    const int stopRow = m_stopRow ? m_stopRow() : -1;
    if (stopRow >= 0 && static_cast<size_t>(stopRow) + 1 < rows.size()) rows.erase(rows.begin() + stopRow + 1, rows.end());
    return std::make_shared<FrozenRows>(std::move(rows), m_loader);
}

ReplayResult EditListReplayer::replayOnPreview(ImageDocument& target)
{
    return replay(target, m_stopRow ? m_stopRow() : -1);
}

ReplayResult EditListReplayer::replayAll(ImageDocument& target) { return replay(target, -1); }

ReplayResult EditListReplayer::replay(ImageDocument& target, int stopRow)
{
    // Rows before a failing one stay applied, as they were shown.
    return replayRows(target, m_list.tasks(), stopRow, m_loader);
}

} // namespace tf
