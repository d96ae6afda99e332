#pragma once
// Metadata written into a TIFF without rewriting the TIFF: the first page's directory (with its
// EXIF, GPS and interoperability directories where they change) is written anew after the end of
// the file and the header is pointed at it. Every other page, every picture byte and every tag
// that did not change stay where they are, byte for byte.
#include <QString>
#include <cstdint>

namespace Exiv2 {
class ExifData;
class IptcData;
} // namespace Exiv2

namespace tf {
class SafeFile;

// How the pixels are stored, where the other directories lie, and the blocks that are not EXIF
// (XMP, IPTC, colour profile): tags a metadata edit leaves as the file has them.
bool isTiffStructureTag(uint16_t tag);

// Writes the file at `path` with the first page's EXIF and IPTC as held into `out` (opened and
// still empty). Tags that say how the pixels are stored or where other directories lie are never
// changed, whatever the held data says. False (with `error`) for a file that is not a classic
// TIFF or whose directories do not read.
bool writeTiffMetadata(const QString& path, const Exiv2::ExifData& exif, const Exiv2::IptcData& iptc, SafeFile& out,
                       QString* error);

} // namespace tf
