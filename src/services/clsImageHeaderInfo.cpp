#include "services/clsImageHeaderInfo.h"

#include "platform/sys/numbers.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// No real header needs more segments, chunks or directory entries than this before the facts
// we want; a file that does is hostile or broken, and we stop instead of walking on.
constexpr int kMaxSteps = 1024;

struct HeaderFacts {
    int32_t width = 0;
    int32_t height = 0;
    int16_t dpi = 0;
    uint8_t bitsPerPixel = 0;
    bool isGray = false;
};

uint16_t le16(const uchar* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint16_t be16(const uchar* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t le32(const uchar* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t be32(const uchar* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }

// Resolutions in files can be anything; the stored dpi is a 16-bit number.
int16_t dpiFromDouble(double value, bool truncate)
{
    if (!(value > 0.0)) return 0; // also catches NaN
    return tf::roundToInteger(truncate ? std::min(std::trunc(value), 32767.0) : value);
}

// Reads only what the device really holds: a read or seek past its end fails instead of
// yielding zeros, so the walks below end at the end of a truncated file.
class BoundedReader {
public:
    explicit BoundedReader(QIODevice& device) : m_device(device), m_size(device.size()) {}

    qint64 pos() const { return m_device.pos(); }
    bool seek(qint64 to) { return to >= 0 && to <= m_size && m_device.seek(to); }
    bool bytes(uchar* out, qint64 count) { return m_device.read(reinterpret_cast<char*>(out), count) == count; }
    bool u8(uint8_t& value) { return bytes(&value, 1); }
    bool u16(uint16_t& value, bool bigEndian)
    {
        uchar b[2];
        if (!bytes(b, 2)) return false;
        value = bigEndian ? be16(b) : le16(b);
        return true;
    }
    bool u32(uint32_t& value, bool bigEndian)
    {
        uchar b[4];
        if (!bytes(b, 4)) return false;
        value = bigEndian ? be32(b) : le32(b);
        return true;
    }

private:
    QIODevice& m_device;
    qint64 m_size;
};

// ---- TIFF (either byte order; the two "II" or "MM" bytes are already read) ----

bool readTiff(BoundedReader& in, HeaderFacts& facts, bool bigEndian)
{
    const bool be = bigEndian;
    uint16_t magic = 0;
    uint32_t ifdOffset = 0;
    if (!in.u16(magic, be) || magic != 42 || !in.u32(ifdOffset, be) || !in.seek(ifdOffset)) return false;
    uint16_t entryCount = 0;
    if (!in.u16(entryCount, be)) return false;

    bool haveWidth = false, haveHeight = false;
    uint32_t width = 0, height = 0;
    uint32_t resolutionOffset = 0;
    bool haveResolution = false;
    int unit = 2; // no ResolutionUnit tag means inch
    uint32_t bitsPerSample = 1, samplesPerPixel = 1; // the TIFF defaults when the tags are missing
    uint32_t bitsPerSampleOffset = 0;                // set when the values lie outside the entry

    const auto u16at = [be](const uchar* p) { return be ? be16(p) : le16(p); };
    const auto u32at = [be](const uchar* p) { return be ? be32(p) : le32(p); };
    const int entries = std::min<int>(entryCount, kMaxSteps);
    for (int i = 0; i < entries; ++i) {
        uchar e[12];
        if (!in.bytes(e, 12)) break;
        const uint16_t tag = u16at(e);
        const uint16_t type = u16at(e + 2);
        const uint32_t count = u32at(e + 4);
        // A SHORT value sits in the first two bytes of the field, in the file's byte order; the
        // other two are padding that writers do not always zero.
        const uint32_t value = type == 3 ? u16at(e + 8) : u32at(e + 8);
        switch (tag) {
        case 256: width = value; haveWidth = true; break;
        case 257: height = value; haveHeight = true; break;
        case 258:
            if (count <= 2) bitsPerSample = u16at(e + 8);
            else bitsPerSampleOffset = u32at(e + 8);
            break;
        case 277: samplesPerPixel = value; break;
        case 282: resolutionOffset = u32at(e + 8); haveResolution = true; break;
        case 296: unit = value & 0xFF; break;
        default: break;
        }
    }
    if (!haveWidth || !haveHeight || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX)) return false;

    if (bitsPerSampleOffset != 0) {
        uint16_t first = 0;
        bitsPerSample = in.seek(bitsPerSampleOffset) && in.u16(first, be) ? first : 0;
    }

    double resolution = 0.0;
    uint32_t numerator = 0, denominator = 0;
    if (haveResolution && in.seek(resolutionOffset) && in.u32(numerator, be) && in.u32(denominator, be)
        && denominator != 0)
        resolution = double(numerator) / double(denominator);

    facts.width = int32_t(width);
    facts.height = int32_t(height);
    facts.dpi = unit == 2 ? dpiFromDouble(resolution, false) : dpiFromDouble(resolution * 2.54, true);
    // The real depth: a bilevel fax page is 1 bit, a grey scan 8, an RGB photo 24.
    const uint64_t depth = uint64_t(bitsPerSample) * samplesPerPixel;
    facts.bitsPerPixel = depth <= 255 ? uint8_t(depth) : 0;
    return true;
}

// ---- JPEG (FF D8 already read) ----

bool isFrameMarker(uint8_t code)
{
    // SOF0..SOF15; C4 (Huffman tables), C8 (reserved) and CC (arithmetic conditioning) share
    // the range but are not frames.
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

bool readJpeg(BoundedReader& in, HeaderFacts& facts)
{
    bool haveFrame = false;
    int steps = 0;
    while (steps++ < kMaxSteps) {
        uint8_t markerByte = 0, code = 0;
        if (!in.u8(markerByte) || markerByte != 0xFF || !in.u8(code)) break;
        while (code == 0xFF && steps++ < kMaxSteps) // fill bytes before a marker
            if (!in.u8(code)) break;
        if (code == 0xFF) break;
        if (code == 0x01 || code == 0xD8 || (code >= 0xD0 && code <= 0xD7)) continue; // no length
        if (code == 0xD9 || code == 0xDA) break; // end of image, or the scan data begins

        uint16_t length = 0;
        if (!in.u16(length, true) || length < 2) break;
        const qint64 payload = length - 2;
        const qint64 next = in.pos() + payload;

        if (code == 0xE0 && payload >= 10) {
            uchar app0[10];
            if (!in.bytes(app0, 10)) break;
            // Only a JFIF segment carries the density there (a JFXX extension does not).
            if (std::memcmp(app0, "JFIF\0", 5) == 0) {
                const uint16_t xDensity = be16(app0 + 8);
                if (app0[7] == 1) facts.dpi = dpiFromDouble(xDensity, true);
                else if (app0[7] == 2) facts.dpi = dpiFromDouble(xDensity * 2.54, false);
            }
        } else if (isFrameMarker(code) && !haveFrame) {
            uchar sof[6];
            if (payload < 6 || !in.bytes(sof, 6)) break;
            facts.height = be16(sof + 1);
            facts.width = be16(sof + 3);
            facts.isGray = sof[5] == 1;
            haveFrame = true;
        }
        if (!in.seek(next)) break;
    }
    if (!haveFrame) return false;
    if (facts.dpi == 0) facts.dpi = 1;
    facts.bitsPerPixel = 24;
    return true;
}

// ---- PNG (0x89 "P" already read) ----

bool readPng(BoundedReader& in, HeaderFacts& facts)
{
    uchar signature[6];
    if (!in.bytes(signature, 6) || std::memcmp(signature, "NG\r\n\x1a\n", 6) != 0) return false;

    bool haveSize = false;
    for (int steps = 0; steps < kMaxSteps; ++steps) {
        uint32_t length = 0;
        uchar type[4];
        if (!in.u32(length, true) || !in.bytes(type, 4) || length > 0x7FFFFFFFu) break;
        // Chunks are never read whole: the two we want are small, the rest are skipped.
        const qint64 next = in.pos() + qint64(length) + 4; // data and CRC (not checked)
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13 && !haveSize) {
            uchar ihdr[10];
            if (!in.bytes(ihdr, 10)) break;
            const uint32_t width = be32(ihdr), height = be32(ihdr + 4);
            if (width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX)) break;
            facts.width = int32_t(width);
            facts.height = int32_t(height);
            facts.bitsPerPixel = ihdr[8];
            if (ihdr[8] == 8) {
                if (ihdr[9] == 0 || ihdr[9] == 4) facts.isGray = true;
                else if (ihdr[9] == 2 || ihdr[9] == 6) facts.bitsPerPixel = 24;
            }
            haveSize = true;
        } else if (std::memcmp(type, "pHYs", 4) == 0 && length >= 9) {
            uchar phys[9];
            if (!in.bytes(phys, 9)) break;
            if (phys[8] == 1) facts.dpi = dpiFromDouble(be32(phys) * 0.0254, false);
        }
        if (!in.seek(next)) break;
    }
    return haveSize;
}

} // namespace

void clsImageHeaderInfo::clearAll()
{
    m_height = 0;
    m_width = 0;
    m_dpi = 0;
    m_bitsPerPixel = 0;
    m_isGray = false;
}

bool clsImageHeaderInfo::ReadGIF_BMP_Header(const QString& fileName)
{
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_width = m_height = 0;
        m_bitsPerPixel = 0;
        return false;
    }
    return ReadGIF_BMP_Header(file);
}

bool clsImageHeaderInfo::ReadGIF_BMP_Header(QIODevice& device)
{
    m_width = m_height = 0;
    m_bitsPerPixel = 0;

    uchar b[30];
    const qint64 n = device.seek(0) ? device.read(reinterpret_cast<char*>(b), sizeof b) : -1;
    if (n >= 11 && std::memcmp(b, "GIF", 3) == 0) {
        m_width = le16(b + 6);
        m_height = le16(b + 8);
        m_bitsPerPixel = uint8_t((b[10] & 7) + 1);
        return true;
    }
    if (n < 26 || b[0] != 'B' || b[1] != 'M') return false;

    int64_t width = 0, height = 0;
    if (le32(b + 14) == 12) { // the old OS/2 header: 16-bit sizes and the depth at 24
        width = le16(b + 18);
        height = le16(b + 20);
        m_bitsPerPixel = b[24];
    } else {
        if (n < 29) return false;
        width = int32_t(le32(b + 18));
        height = int32_t(le32(b + 22));
        m_bitsPerPixel = b[28];
    }
    // A negative height marks a top-down bitmap; a negative width is simply damaged.
    height = height < 0 ? -height : height;
    if (width < 0 || height > INT32_MAX) {
        m_bitsPerPixel = 0;
        return false;
    }
    m_width = int32_t(width);
    m_height = int32_t(height);
    return true;
}

bool clsImageHeaderInfo::ReadJPEG_TIFF_PNG_Header(const QString& fileName)
{
    if (!QFileInfo(fileName).isFile()) return false;
    clearAll();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return ReadJPEG_TIFF_PNG_Header(file);
}

bool clsImageHeaderInfo::ReadJPEG_TIFF_PNG_Header(QIODevice& device)
{
    clearAll();
    if (!device.isReadable() || device.isSequential() || !device.seek(0)) return false;

    BoundedReader in(device);
    uchar start[2];
    if (!in.bytes(start, 2)) return false;

    HeaderFacts facts;
    bool ok = false;
    // Both byte orders: Macs, scanners and many libraries write big-endian ("MM") TIFFs, and a
    // valid picture listed as 0 by 0 would be plainly wrong.
    if (start[0] == 'I' && start[1] == 'I') ok = readTiff(in, facts, false);
    else if (start[0] == 'M' && start[1] == 'M') ok = readTiff(in, facts, true);
    else if (start[0] == 0xFF && start[1] == 0xD8) ok = readJpeg(in, facts);
    else if (start[0] == 0x89 && start[1] == 'P') ok = readPng(in, facts);
    // Anything else is not ours to read.
    if (!ok) return false;

    m_width = facts.width;
    m_height = facts.height;
    m_dpi = facts.dpi;
    m_bitsPerPixel = facts.bitsPerPixel;
    m_isGray = facts.isGray;
    return true;
}
