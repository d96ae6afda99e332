#include "platform/imagebox/imagebox_document.h"

namespace tf {

namespace {
void requireSnapshotFormat(int32_t format)
{
    if (format != ImageDocument::kSnapshotFormat)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("Unsupported snapshot format %1").arg(format));
}
} // namespace

ImageSnapshot ImageDocument::SaveToVariant(int32_t format) const
{
    requireSnapshotFormat(format);
    // QImage shares its pixels until one side writes, so a snapshot costs nothing until the
    // control's image is edited, and the edit never reaches the snapshot.
    return ImageSnapshot{m_image};
}

void ImageDocument::LoadFromVariant(int32_t format, const ImageSnapshot& snapshot)
{
    requireSnapshotFormat(format);
    replaceImage(snapshot.image);
}

} // namespace tf
