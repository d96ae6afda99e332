#pragma once
// How much of a picture a decoder takes on, and what a file is refused for before any library
// sees it. The libraries allocate what a file's header claims (libpng the full length a text
// chunk states, and zeroes it), so a file of a few hundred bytes can take gigabytes; with one
// decoder per core, the claims are checked here first, against a cap that follows the decoder's
// memory limit.
#include <QString>
#include <cstdint>

namespace tf {

// The most pixels this process decodes: kMaxPicturePixels (picture_geometry.h), or fewer in a
// decoder whose memory limit could not hold that many.
int64_t maxPicturePixels();
// The most pixels a decoder limited to `memoryLimit` bytes of address space takes on (0: no
// limit): room for the program itself and two 32-bit copies of the picture, the library's and
// ours. A route that needs a third copy runs into the limit and ends as a damaged file would.
int64_t picturePixelsWithin(int64_t memoryLimit);
// Makes maxPicturePixels() follow a decoder's memory limit; called once, before decoding.
void setPictureMemoryLimit(int64_t memoryLimit);

// The reason given for a picture refused for its size.
QString pictureTooLargeText(int64_t width, int64_t height);
// Whether a reason a picture was refused for is its size (or its metadata's), not damage.
bool isTooLargeText(const QString& why);

// Text, colour profiles and other chunks besides the pixels, in all, once inflated. Far more
// than any real file holds, far less than a decoder may take.
inline constexpr int64_t kMaxPngMetadataBytes = int64_t(64) << 20;

struct FileClaims {
    enum Verdict { Believable, TooLarge, Damaged };
    Verdict verdict = Believable;
    QString why; // for the caller to show when not Believable
};

// What PNG data claims, checked without decoding it: the size in its header against
// maxPicturePixels(); any chunk but pixel data that runs past the end of the data; and the
// chunks besides the pixels, with compressed text and profiles inflated (into a small buffer,
// counting), against kMaxPngMetadataBytes. Data that is no PNG is Believable: another reader
// judges it.
FileClaims checkPngClaims(const uchar* data, int64_t size);
// The same for a file, known by its first bytes; Believable for other types and unreadable files.
FileClaims checkFileClaims(const QString& path);

} // namespace tf
