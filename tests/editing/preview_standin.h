#pragma once
// The preview the editing controller works on, without the browse area: a picture box and the
// image as loaded, which the test takes when it puts a picture in.
#include "browse/EditedPreview.h"
#include "platform/imagebox/imagebox.h"

namespace tf::test {

struct PreviewStandIn final : EditedPreview {
    ImageBox box;
    ImageSnapshot original;

    // The picture becomes the shown one, as loaded.
    void load(const QImage& picture)
    {
        box.setPicture(picture);
        original = box.SaveToVariant(ImageDocument::kSnapshotFormat);
    }

    ImageBox& previewBox() override { return box; }
    const ImageSnapshot& originalImage() const override { return original; }
    bool optimizedPreview() const override { return false; }
    void showEditMode(bool) override {}
    void popupPreviewMenu(const QPoint&) override {}
};

} // namespace tf::test
