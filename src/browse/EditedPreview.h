#pragma once
// What the editing mode works on and asks of the preview, handed to the editing controller by the
// window: the picture box, the image as loaded, the preview type and the preview's menu. The
// browse area implements it; editing reaches none of its widgets or fields otherwise.
#include "platform/imagebox/imagebox_document.h"

class ImageBox;
class QPoint;

namespace tf {

class EditedPreview {
public:
    virtual ~EditedPreview() = default;
    // The picture box the tasks are previewed in.
    virtual ImageBox& previewBox() = 0;
    // The image as loaded or captured (empty while none was): what the edit list is replayed on.
    virtual const ImageSnapshot& originalImage() const = 0;
    // The "Optimized" preview type: every shown file has the edit list replayed on it already.
    virtual bool optimizedPreview() const = 0;
    // The preview menu's edit entry leads into the editing mode, or back out of it while editing.
    virtual void showEditMode(bool editing) = 0;
    // The preview's menu, at a point of the screen.
    virtual void popupPreviewMenu(const QPoint& globalPos) = 0;
};

} // namespace tf
