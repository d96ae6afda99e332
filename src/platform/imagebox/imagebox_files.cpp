#include "platform/decode/decoder_client.h"
#include "platform/decode/decoder_server.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/sys/blockingcalls.h"

#include <QFileInfo>
#include <algorithm>

namespace tf {

void ImageDocument::LoadFromFile(const QString& path)
{
    LoadDecoded(path, decodePicture({path, m_pageIndex, DecodeCaller::Control}));
}

void ImageDocument::LoadDecoded(const QString& path, DecodeResult decoded)
{
    QImage image = decoded.ok() ? std::move(decoded.image) : QImage();
    m_loadFailed = image.isNull();
    // A failed load empties the control: a caller that goes on and saves must not write the
    // previous page again under the new name.
    replaceImage(std::move(image));
    if (!m_loadFailed) rememberPixelSource(path);
}

int32_t ImageDocument::PageCount(const QString& path) const
{
    if (decode::isDecoderProcess()) return imagebox::imageFilePageCount(path);
    // Counting opens the file with FreeImage's multipage readers: in a decoder like any decode.
    // A file no decoder gets through has no pages to count.
    if (path.isEmpty() || !QFileInfo(path).isFile()) return 0;
    decode::DecodeRequest request;
    request.kind = static_cast<uint32_t>(decode::DecodeKind::PageCount);
    request.path = path;
    const decode::DecodeResult answer = decode::DecoderPool::shared().decode(request);
    return answer.answered() ? std::max(answer.pageCount, 0) : 0;
}

// Both saves block while they encode (seconds for a big picture): never on the window's thread.
void ImageDocument::SaveToFile(const QString& path) const { savePictureFile(m_image, path, m_jpegQuality); }

void ImageDocument::SaveJpeg(const QString& path) const { SaveJpeg(path, m_jpegQuality); }

void ImageDocument::SaveJpeg(const QString& path, int32_t quality) const
{
    checkBlockingCall("ImageDocument::SaveJpeg");
    if (quality < 1 || quality > 100)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("JPEG quality must be 1 to 100"));
    if (!HasImage()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to save"));
    imagebox::writeFileAtomically(path, imagebox::encodeImage(m_image, imagebox::SaveFormat::Jpeg, quality));
}

void ImageDocument::setJpegQuality(int32_t quality)
{
    if (quality < 1 || quality > 100)
        throw ImageBoxError(imagebox_error::kInvalidProperty, QStringLiteral("JPEG quality must be 1 to 100"));
    m_jpegQuality = quality;
}

} // namespace tf
