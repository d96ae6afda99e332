#include "platform/imagebox/picture_limits.h"

#include "platform/imagebox/picture_geometry.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <zlib.h>

namespace tf {

namespace {

std::atomic<int64_t> g_maxPixels{kMaxPicturePixels};

// What a decoder takes before any picture: its libraries, Qt's and FreeImage's plugins, fonts.
constexpr int64_t kProgramBytes = int64_t(128) << 20;
constexpr int64_t kBytesPerPixel = 2 * 4;
// However tight the limit, an ordinary screen-sized picture is still taken on.
constexpr int64_t kFewestPixels = int64_t(1) << 22;

uint32_t be32(const uchar* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool isType(const uchar* p, const char* type) { return std::memcmp(p, type, 4) == 0; }

// The bytes `data` inflates to, counting no further than `limit` + 1, and the first four of them
// (big-endian) in *head; -1 when it is no zlib stream (libpng refuses those without allocating).
int64_t inflatedSize(const uchar* data, int64_t size, int64_t limit, uint32_t* head)
{
    *head = 0;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return -1;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(std::min<int64_t>(size, UINT32_MAX));
    uchar scratch[16384];
    int64_t total = 0;
    int rc = Z_OK;
    while (rc == Z_OK && total <= limit) {
        z.next_out = scratch;
        z.avail_out = sizeof scratch;
        rc = inflate(&z, Z_NO_FLUSH);
        if (total == 0 && sizeof scratch - z.avail_out >= 4) *head = be32(scratch);
        total += int64_t(sizeof scratch - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_out != 0) break; // the data ran out
    }
    inflateEnd(&z);
    return rc == Z_DATA_ERROR || rc == Z_STREAM_ERROR || rc == Z_MEM_ERROR || rc == Z_NEED_DICT ? -1 : total;
}

// Where the compressed part of a zTXt, iTXt or iCCP chunk starts within its data; -1 when the
// chunk holds none.
int64_t compressedStart(const uchar* p, int64_t length, bool international)
{
    const auto* nul = static_cast<const uchar*>(std::memchr(p, 0, static_cast<size_t>(length)));
    if (!nul) return -1;
    int64_t at = nul - p + 1;
    if (!international) return at + 1 <= length ? at + 1 : -1; // the compression method
    if (at + 2 > length || p[at] == 0) return -1;              // uncompressed international text
    at += 2;
    for (int field = 0; field < 2; ++field) { // language tag, translated keyword
        const auto* end = static_cast<const uchar*>(std::memchr(p + at, 0, static_cast<size_t>(length - at)));
        if (!end) return -1;
        at = end - p + 1;
    }
    return at;
}

FileClaims damaged(const QString& why) { return {FileClaims::Damaged, why}; }

} // namespace

int64_t maxPicturePixels() { return g_maxPixels.load(std::memory_order_relaxed); }

int64_t picturePixelsWithin(int64_t memoryLimit)
{
    if (memoryLimit <= 0) return kMaxPicturePixels;
    return std::clamp((memoryLimit - kProgramBytes) / kBytesPerPixel, kFewestPixels, kMaxPicturePixels);
}

void setPictureMemoryLimit(int64_t memoryLimit) { g_maxPixels = picturePixelsWithin(memoryLimit); }

QString pictureTooLargeText(int64_t width, int64_t height)
{
    return QStringLiteral("The picture is too large (%1 x %2).").arg(width).arg(height);
}

namespace {
const QString kMetadataTooLarge = QStringLiteral("The picture's metadata is too large.");
}

bool isTooLargeText(const QString& why)
{
    return why == kMetadataTooLarge || why.startsWith(QLatin1String("The picture is too large ("));
}

FileClaims checkPngClaims(const uchar* data, int64_t size)
{
    static const uchar signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 || std::memcmp(data, signature, 8) != 0) return {};
    int64_t metadata = 0;
    for (int64_t at = 8; at + 8 <= size;) {
        const int64_t length = be32(data + at);
        const uchar* type = data + at + 4;
        const uchar* body = data + at + 8;
        const int64_t left = size - (at + 8);
        if (length > 0x7FFFFFFF) return damaged(QStringLiteral("damaged file"));
        if (isType(type, "IDAT")) {
            // libpng streams the pixel data through a small buffer, however long it claims to be.
            if (length > left) return {};
            at += 12 + length;
            continue;
        }
        if (isType(type, "IEND")) return {};
        if (length > left) return damaged(QStringLiteral("truncated file"));
        if (isType(type, "IHDR") && length >= 13) {
            const int64_t width = be32(body);
            const int64_t height = be32(body + 4);
            if (width > 0 && height > 0 && !pictureSizeAllowed(width, height))
                return {FileClaims::TooLarge, pictureTooLargeText(width, height)};
        }
        int64_t bytes = length;
        const bool international = isType(type, "iTXt");
        if (international || isType(type, "zTXt") || isType(type, "iCCP")) {
            const int64_t start = compressedStart(body, length, international);
            if (start >= 0 && start < length) {
                uint32_t head = 0;
                bytes = std::max(bytes, inflatedSize(body + start, length - start, kMaxPngMetadataBytes - metadata, &head));
                // libpng allocates the length a colour profile states before inflating the rest.
                if (isType(type, "iCCP")) bytes = std::max<int64_t>(bytes, head);
            }
        }
        metadata += bytes;
        if (metadata > kMaxPngMetadataBytes) return {FileClaims::TooLarge, kMetadataTooLarge};
        at += 12 + length;
    }
    return {};
}

FileClaims checkFileClaims(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.peek(4).startsWith("\x89PNG")) return {};
    const int64_t size = file.size();
    const uchar* data = file.map(0, size);
    if (!data) return {};
    return checkPngClaims(data, size);
}

} // namespace tf
