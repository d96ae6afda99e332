#include "platform/imagebox/jpeg_eighth.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tf {

namespace {

// Coded data is looked at this many bits at a time: every whole code (with the bits after it)
// that fits is passed over in one step.
constexpr int kLookBits = 13;
// DC codes are short; a small table stays in the cache beside the AC ones.
constexpr int kDcLookBits = 9;
constexpr int kLooksPerRefill = 4;
static_assert(kLookBits * kLooksPerRefill <= 56);
// Past the coded data, zeros: a damaged MCU that reads on is caught when it ends, and one MCU
// reads at most 10 blocks of 64 codes of 31 bits.
constexpr size_t kTailBytes = 4096;

// Where the k-th coefficient of the zigzag goes in a block, row by row.
constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                              41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                              30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A block's 8 samples of one row (or column) made into 2, each the mean of 4: the weights of its
// frequencies, the even ones but the first falling out. The second sample has the odd ones negated.
const std::array<double, 8>& halfWeights()
{
    static const std::array<double, 8> weights = [] {
        std::array<double, 8> w{};
        w[0] = 1 / std::sqrt(2.0);
        for (int u = 1; u < 8; u += 2) {
            for (int x = 0; x < 4; ++x) w[size_t(u)] += std::cos((2 * x + 1) * u * M_PI / 16) / 4;
        }
        return w;
    }();
    return weights;
}

// One step over AC codes, packed in 16 bits: the bits and the coefficients of all the whole
// codes in the look, up to the end of the block. Zero when the first code is longer than the look.
struct AcStep {
    // The bits in the low six, which is all a 64-bit shift takes of its count: no masking on the
    // way from one look to the next.
    static uint16_t pack(int bits, int advance, bool endOfBlock)
    {
        return uint16_t(bits | int(endOfBlock) << 6 | advance << 7);
    }
    static int bits(uint16_t e) { return e & 63; }
    static bool endOfBlock(uint16_t e) { return e >> 6 & 1; }
    static int advance(uint16_t e) { return e >> 7; }
};

struct HuffTable {
    bool defined = false;
    int32_t maxCode[17] = {}; // the largest code of each length, -1 when there is none
    int32_t valueOffset[17] = {};
    uint8_t values[256] = {};
    int lookBits = kLookBits;
    std::vector<uint16_t> single; // length << 8 | symbol; 0 when longer than the look
    std::vector<uint16_t> ac;     // AcStep, built for AC tables only

    // The canonical codes of the counts, refused as libjpeg refuses them.
    bool build(const uint8_t* counts, const uint8_t* symbols, int total, bool dc)
    {
        lookBits = dc ? kDcLookBits : kLookBits;
        single.assign(size_t(1) << lookBits, 0);
        int32_t code = 0;
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            const int n = counts[length - 1];
            valueOffset[length] = k - code;
            for (int i = 0; i < n; ++i, ++code, ++k) {
                if (code >= 1 << length) return false;
                if (length <= lookBits) {
                    const int shift = lookBits - length;
                    for (int fill = 0; fill < 1 << shift; ++fill)
                        single[size_t(code << shift | fill)] = uint16_t(length << 8 | symbols[k]);
                }
            }
            maxCode[length] = n ? code - 1 : -1;
            code <<= 1;
        }
        if (k != total) return false;
        std::memcpy(values, symbols, size_t(total));
        if (dc) {
            for (int i = 0; i < total; ++i)
                if (symbols[i] > 15) return false;
        } else {
            buildAcSteps();
        }
        defined = true;
        return true;
    }

    void buildAcSteps()
    {
        ac.assign(size_t(1) << kLookBits, 0);
        for (uint32_t look = 0; look < ac.size(); ++look) {
            int used = 0, advance = 0, count = 0;
            bool end = false;
            while (!end) {
                const uint16_t s = single[size_t((look << used) & ((1u << kLookBits) - 1))];
                const int length = s >> 8;
                const int extra = s & 15;
                const int run = (s & 0xFF) >> 4;
                if (length == 0 || used + length + extra > kLookBits) break;
                used += length + extra;
                if (extra != 0) {
                    advance += run + 1;
                } else if (run == 15) {
                    advance += 16;
                } else {
                    end = true;
                }
                ++count;
            }
            ac[look] = count ? AcStep::pack(used, advance, end) : 0;
        }
    }

    // The symbol of the code at the top of `bits`, and its length; -1 for no code.
    int decodeLong(uint64_t bits, int& length) const
    {
        for (length = 1; length <= 16; ++length) {
            const int32_t code = int32_t(bits >> (64 - length));
            if (code <= maxCode[length]) return values[code + valueOffset[length]];
        }
        return -1;
    }
};

// Reads the unstuffed coded data, most significant bit first. Bits past `cnt` in `acc` are the
// next ones of the data, so topping it up again is harmless.
struct BitReader {
    const uint8_t* p = nullptr;
    uint64_t acc = 0;
    int cnt = 0;

    void reset(const uint8_t* at)
    {
        p = at;
        acc = 0;
        cnt = 0;
        refill();
    }
    void refill()
    {
        acc |= qFromBigEndian<quint64>(p) >> cnt;
        p += (63 - cnt) >> 3;
        cnt |= 56;
    }
    void drop(int n)
    {
        acc <<= n;
        cnt -= n;
    }
};

struct Component {
    int id = 0;
    int h = 1, v = 1;
    int quantTable = 0;
    int dcTable = 0, acTable = 0;
    int widthInBlocks = 0, heightInBlocks = 0;
    // Samples a block gives across and down: 2 for colour at half the resolution in both
    // directions, which libjpeg makes at a quarter of a block's size rather than stretch it.
    int scale = 1;
    std::vector<uint8_t> plane;
    size_t planeWidth() const { return size_t(widthInBlocks) * size_t(scale); }
};

struct Decoder {
    std::array<HuffTable, 4> dcTables, acTables;
    std::array<std::array<int, 64>, 4> quant{}; // in the blocks' own order, not zigzag
    std::array<bool, 4> quantDefined{};
    std::vector<Component> components;
    std::vector<int> scanOrder; // indexes into components, in the order the scan codes them
    int width = 0, height = 0;
    int restartInterval = 0;
    bool jfif = false, adobe = false;
    int adobeTransform = -1;

    std::vector<uint8_t> data;    // the scan's coded data, unstuffed, then kTailBytes of zeros
    std::vector<size_t> segments; // where each restart interval begins in `data`; then its end

    bool readTables(const uint8_t* b, qsizetype n, qsizetype& scanAt);
    bool readFrame(const uint8_t* s, int length);
    bool readHuffman(const uint8_t* s, int length);
    bool readQuant(const uint8_t* s, int length);
    bool readScanHeader(const uint8_t* s, int length);
    bool unstuff(const uint8_t* b, qsizetype n, qsizetype at);
    bool decodeScan(EighthColour colour);
    QImage picture() const;
};

bool Decoder::readFrame(const uint8_t* s, int length)
{
    if (!components.empty() || length < 6) return false;
    const int precision = s[0];
    height = qFromBigEndian<quint16>(s + 1);
    width = qFromBigEndian<quint16>(s + 3);
    const int count = s[5];
    if (precision != 8 || width == 0 || height == 0 || (count != 1 && count != 3) || length != 6 + 3 * count) return false;
    for (int i = 0; i < count; ++i) {
        Component c;
        c.id = s[6 + 3 * i];
        c.h = s[7 + 3 * i] >> 4;
        c.v = s[7 + 3 * i] & 15;
        c.quantTable = s[8 + 3 * i];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3) return false;
        for (const Component& other : components)
            if (other.id == c.id) return false;
        components.push_back(c);
    }
    return true;
}

bool Decoder::readHuffman(const uint8_t* s, int length)
{
    for (int at = 0; at < length;) {
        if (at + 17 > length) return false;
        const int kind = s[at] >> 4, slot = s[at] & 15;
        if (kind > 1 || slot > 3) return false;
        int total = 0;
        for (int i = 0; i < 16; ++i) total += s[at + 1 + i];
        if (total > 256 || at + 17 + total > length) return false;
        HuffTable& table = kind == 0 ? dcTables[size_t(slot)] : acTables[size_t(slot)];
        if (!table.build(s + at + 1, s + at + 17, total, kind == 0)) return false;
        at += 17 + total;
    }
    return true;
}

bool Decoder::readQuant(const uint8_t* s, int length)
{
    for (int at = 0; at < length;) {
        const int wide = s[at] >> 4, slot = s[at] & 15;
        const int size = 1 + 64 * (wide ? 2 : 1);
        if (wide > 1 || slot > 3 || at + size > length) return false;
        for (int k = 0; k < 64; ++k)
            quant[size_t(slot)][size_t(kNatural[k])] = wide ? qFromBigEndian<quint16>(s + at + 1 + 2 * k) : s[at + 1 + k];
        quantDefined[size_t(slot)] = true;
        at += size;
    }
    return true;
}

bool Decoder::readScanHeader(const uint8_t* s, int length)
{
    if (components.empty() || length < 1) return false;
    const int count = s[0];
    if (count != int(components.size()) || length != 4 + 2 * count) return false;
    for (int i = 0; i < count; ++i) {
        const auto it = std::find_if(components.begin(), components.end(), [&](const Component& c) { return c.id == s[1 + 2 * i]; });
        if (it == components.end()) return false;
        const int index = int(it - components.begin());
        if (std::find(scanOrder.begin(), scanOrder.end(), index) != scanOrder.end()) return false;
        it->dcTable = s[2 + 2 * i] >> 4;
        it->acTable = s[2 + 2 * i] & 15;
        if (it->dcTable > 3 || it->acTable > 3 || !dcTables[size_t(it->dcTable)].defined ||
            !acTables[size_t(it->acTable)].defined || !quantDefined[size_t(it->quantTable)])
            return false;
        scanOrder.push_back(index);
    }
    const uint8_t* tail = s + 1 + 2 * count;
    // Baseline: one scan of every coefficient, no successive approximation.
    return tail[0] == 0 && tail[1] == 63 && tail[2] == 0;
}

// The markers up to the scan: what the frame is, and where its coded data begins.
bool Decoder::readTables(const uint8_t* b, qsizetype n, qsizetype& scanAt)
{
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
    qsizetype i = 2;
    for (;;) {
        if (i >= n || b[i] != 0xFF) return false; // libjpeg skips stray bytes, and says so
        while (i < n && b[i] == 0xFF) ++i;
        if (i + 3 > n) return false;
        const uint8_t marker = b[i];
        const int length = qFromBigEndian<quint16>(b + i + 1);
        if (length < 2 || i + 1 + length > n) return false;
        const uint8_t* s = b + i + 3;
        const int size = length - 2;
        bool ok = true;
        switch (marker) {
        case 0xC0: // baseline
        case 0xC1: // extended sequential, Huffman-coded
            ok = readFrame(s, size);
            break;
        case 0xC4: ok = readHuffman(s, size); break;
        case 0xDB: ok = readQuant(s, size); break;
        case 0xDD:
            ok = size == 2;
            if (ok) restartInterval = qFromBigEndian<quint16>(s);
            break;
        case 0xE0:
            if (size >= 14 && std::memcmp(s, "JFIF\0", 5) == 0) jfif = true;
            break;
        case 0xEE:
            if (size >= 12 && std::memcmp(s, "Adobe", 5) == 0) {
                adobe = true;
                adobeTransform = s[11];
            }
            break;
        case 0xDA:
            if (!readScanHeader(s, size)) return false;
            scanAt = i + 1 + length;
            return true;
        default:
            // Application data and comments are skipped. Other frame types (progressive, lossless,
            // arithmetic-coded), arithmetic conditioning, a line count, a second start, an early
            // end and markers libjpeg does not know are left to it.
            if (!(marker >= 0xE1 && marker <= 0xEF) && marker != 0xFE) return false;
        }
        if (!ok) return false;
        i += 1 + length;
    }
}

// The coded data without its stuffed zeros, cut at its restart markers, which must come in turn;
// the scan must be followed by the end of the picture.
bool Decoder::unstuff(const uint8_t* b, qsizetype n, qsizetype at)
{
    data.clear();
    data.reserve(size_t(n - at) + kTailBytes);
    segments.assign(1, 0);
    int nextRestart = 0;
    for (;;) {
        const void* hit = at < n ? std::memchr(b + at, 0xFF, size_t(n - at)) : nullptr;
        if (!hit) return false;
        const qsizetype ff = static_cast<const uint8_t*>(hit) - b;
        data.insert(data.end(), b + at, b + ff);
        qsizetype m = ff + 1;
        while (m < n && b[m] == 0xFF) ++m;
        if (m >= n) return false;
        const uint8_t marker = b[m];
        at = m + 1;
        if (marker == 0x00) {
            data.push_back(0xFF);
        } else if (marker >= 0xD0 && marker <= 0xD7) {
            if (restartInterval == 0 || marker != 0xD0 + (nextRestart & 7)) return false;
            ++nextRestart;
            segments.push_back(data.size());
        } else {
            if (marker != 0xD9) return false;
            segments.push_back(data.size());
            data.resize(data.size() + kTailBytes, 0);
            return true;
        }
    }
}

inline int extend(uint32_t bits, int size)
{
    return bits < (1u << (size - 1)) ? int(bits) - (1 << size) + 1 : int(bits);
}

bool Decoder::decodeScan(EighthColour colour)
{
    int hMax = 1, vMax = 1;
    for (const Component& c : components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    const bool interleaved = components.size() > 1;
    int mcusX = 0, mcusY = 0, blocksPerMcu = 0;
    if (interleaved) {
        mcusX = (width + 8 * hMax - 1) / (8 * hMax);
        mcusY = (height + 8 * vMax - 1) / (8 * vMax);
        for (Component& c : components) {
            // libjpeg makes up no fractional sampling either.
            if (hMax % c.h != 0 || vMax % c.v != 0) return false;
            c.widthInBlocks = mcusX * c.h;
            c.heightInBlocks = mcusY * c.v;
            blocksPerMcu += c.h * c.v;
            // libjpeg decodes colour sampled at a fraction of the resolution into smaller blocks
            // rather than stretch its samples; of those, only halves are made here.
            while (c.scale < 8 && hMax % (c.h * c.scale * 2) == 0 && vMax % (c.v * c.scale * 2) == 0) c.scale *= 2;
            if (c.scale > 2) return false;
        }
        if (blocksPerMcu > 10) return false;
    } else {
        Component& c = components[0];
        mcusX = c.widthInBlocks = (width + 7) / 8;
        mcusY = c.heightInBlocks = (height + 7) / 8;
        c.h = c.v = hMax = vMax = 1;
    }
    for (Component& c : components) c.plane.assign(c.planeWidth() * size_t(c.heightInBlocks) * size_t(c.scale), 0);

    const int64_t mcus = int64_t(mcusX) * mcusY;
    const int64_t expectedSegments = restartInterval ? (mcus + restartInterval - 1) / restartInterval : 1;
    if (int64_t(segments.size()) - 1 != expectedSegments) return false;

    BitReader in;
    int segment = 0;
    int predictions[4] = {};
    int64_t sinceRestart = 0;
    const auto overran = [&] {
        const int64_t used = (int64_t(in.p - data.data()) - int64_t(segments[size_t(segment)])) * 8 - in.cnt;
        return used > int64_t(segments[size_t(segment) + 1] - segments[size_t(segment)]) * 8;
    };
    in.reset(data.data());

    // The DC difference, added to the prediction.
    const auto dc = [&](const Component& c, int& prediction) __attribute__((always_inline)) {
        in.refill();
        int length = 0, size = 0;
        const uint16_t look = dcTables[size_t(c.dcTable)].single[size_t(in.acc >> (64 - kDcLookBits))];
        if (look) {
            length = look >> 8;
            size = look & 0xFF;
        } else {
            size = dcTables[size_t(c.dcTable)].decodeLong(in.acc, length);
            if (size < 0) return false;
        }
        in.drop(length);
        if (size) {
            prediction += extend(uint32_t(in.acc >> (64 - size)), size);
            in.drop(size);
        }
        // libjpeg keeps coefficients in 16 bits.
        return prediction >= -32768 && prediction <= 32767;
    };
    // A sample as libjpeg's inverse transform gives it. Its limiting table wraps far out of
    // range: values no encoder makes are left to it.
    const auto sample = [](int value, uint8_t& out) {
        if (value < -384 || value > 383) return false;
        out = uint8_t(std::clamp(value + 128, 0, 255));
        return true;
    };

    // A block as its mean.
    const auto block = [&](const Component& c, int& prediction, uint8_t& out) {
        if (!dc(c, prediction) || !sample((prediction * quant[size_t(c.quantTable)][0] + 4) >> 3, out)) return false;

        // Past the AC codes. After a top-up at least 56 bits are there: four looks, before the
        // next, keep the top-up out of the chain from one look to the next.
        const HuffTable& ac = acTables[size_t(c.acTable)];
        int k = 1;
        for (;;) {
            in.refill();
#pragma GCC unroll 4
            for (int look = 0; look < kLooksPerRefill; ++look) {
                const uint16_t e = ac.ac[size_t(in.acc >> (64 - kLookBits))];
                const int advance = AcStep::advance(e);
                const bool end = AcStep::endOfBlock(e);
                if (e && k + advance + int(end) <= 64) [[likely]] {
                    in.drop(AcStep::bits(e));
                    k += advance;
                    if (end || k == 64) return true;
                    continue;
                }
                // A code longer than the look, or a block that ends inside it: one code alone.
                in.refill();
                int length = 0;
                const int symbol = ac.decodeLong(in.acc, length);
                if (symbol < 0) return false;
                in.drop(length + (symbol & 15));
                if ((symbol & 15) == 0) {
                    if (symbol >> 4 != 15) return true;
                    k += 16;
                } else {
                    k += (symbol >> 4) + 1;
                }
                if (k > 64) return false;
                if (k == 64) return true;
                break;
            }
        }
    };

    // A block as the means of its four quarters, two samples on each of two rows: every
    // coefficient decoded, and those of the odd frequencies weighed in.
    const auto quarters = [&](const Component& c, int& prediction, uint8_t* top, uint8_t* bottom) {
        if (!dc(c, prediction)) return false;
        int coefficients[64] = {};
        coefficients[0] = prediction;
        const HuffTable& ac = acTables[size_t(c.acTable)];
        int k = 1;
        while (k < 64) {
            in.refill();
            int length = 0, symbol = 0;
            if (const uint16_t look = ac.single[size_t(in.acc >> (64 - kLookBits))]) {
                length = look >> 8;
                symbol = look & 0xFF;
            } else if ((symbol = ac.decodeLong(in.acc, length)) < 0) {
                return false;
            }
            in.drop(length);
            const int size = symbol & 15, run = symbol >> 4;
            if (size == 0) {
                if (run != 15) break;
                k += 16;
                continue;
            }
            k += run;
            if (k > 63) return false;
            coefficients[kNatural[k]] = extend(uint32_t(in.acc >> (64 - size)), size);
            in.drop(size);
            ++k;
        }
        if (k > 64) return false;
        const std::array<double, 8>& w = halfWeights();
        const std::array<int, 64>& q = quant[size_t(c.quantTable)];
        const auto at = [&](int row, int column) { return double(coefficients[row * 8 + column]) * q[size_t(row * 8 + column)]; };
        double left[8] = {}, right[8] = {};
        for (int row : {0, 1, 3, 5, 7}) {
            const double even = w[0] * at(row, 0);
            const double odd = w[1] * at(row, 1) + w[3] * at(row, 3) + w[5] * at(row, 5) + w[7] * at(row, 7);
            left[row] = even + odd;
            right[row] = even - odd;
        }
        for (int side = 0; side < 2; ++side) {
            const double* f = side ? right : left;
            const double even = w[0] * f[0];
            const double odd = w[1] * f[1] + w[3] * f[3] + w[5] * f[5] + w[7] * f[7];
            // Damaged data can make these far too large for an int.
            const double upper = (even + odd) / 4, lower = (even - odd) / 4;
            if (std::abs(upper) > 1024 || std::abs(lower) > 1024) return false;
            if (!sample(int(std::floor(upper + 0.5)), top[side]) || !sample(int(std::floor(lower + 0.5)), bottom[side]))
                return false;
        }
        return true;
    };

    for (int my = 0; my < mcusY; ++my) {
        for (int mx = 0; mx < mcusX; ++mx) {
            if (restartInterval && sinceRestart == restartInterval) {
                if (overran()) return false;
                ++segment;
                in.reset(data.data() + segments[size_t(segment)]);
                std::fill(std::begin(predictions), std::end(predictions), 0);
                sinceRestart = 0;
            }
            for (int index : scanOrder) {
                Component& c = components[size_t(index)];
                for (int v = 0; v < c.v; ++v) {
                    const size_t line = size_t(my * c.v + v) * size_t(c.scale);
                    uint8_t* row = c.plane.data() + line * c.planeWidth() + size_t(mx * c.h * c.scale);
                    for (int h = 0; h < c.h; ++h) {
                        if (c.scale == 1) {
                            if (!block(c, predictions[index], row[h])) return false;
                        } else if (colour == EighthColour::Exact) {
                            if (!quarters(c, predictions[index], row + 2 * h, row + 2 * h + c.planeWidth())) return false;
                        } else {
                            uint8_t* quarter = row + 2 * h;
                            if (!block(c, predictions[index], quarter[0])) return false;
                            quarter[1] = quarter[c.planeWidth()] = quarter[c.planeWidth() + 1] = quarter[0];
                        }
                    }
                }
            }
            if (overran()) return false;
            ++sinceRestart;
        }
    }
    return segment + 2 == int(segments.size());
}

QImage Decoder::picture() const
{
    const int w = (width + 7) / 8, h = (height + 7) / 8;
    if (components.size() == 1) {
        QImage grey(w, h, QImage::Format_Grayscale8);
        if (grey.isNull()) return {};
        const Component& c = components[0];
        for (int y = 0; y < h; ++y) std::memcpy(grey.scanLine(y), c.plane.data() + size_t(y) * size_t(c.widthInBlocks), size_t(w));
        return grey;
    }
    int hMax = 1, vMax = 1;
    for (const Component& c : components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    QImage rgb(w, h, QImage::Format_RGB32);
    if (rgb.isNull()) return {};
    const Component &cy = components[0], &cb = components[1], &cr = components[2];
    std::vector<int> columns[3];
    for (int i = 0; i < 3; ++i) {
        columns[i].resize(size_t(w));
        for (int x = 0; x < w; ++x) columns[i][size_t(x)] = x * components[size_t(i)].h * components[size_t(i)].scale / hMax;
    }
    for (int y = 0; y < h; ++y) {
        const auto samples = [&](const Component& c) { return c.plane.data() + size_t(y * c.v * c.scale / vMax) * c.planeWidth(); };
        const uint8_t *ys = samples(cy), *bs = samples(cb), *rs = samples(cr);
        QRgb* line = reinterpret_cast<QRgb*>(rgb.scanLine(y));
        for (int x = 0; x < w; ++x) {
            // libjpeg's YCbCr to RGB, in its fixed point.
            const int l = ys[columns[0][size_t(x)]];
            const int blue = bs[columns[1][size_t(x)]] - 128;
            const int red = rs[columns[2][size_t(x)]] - 128;
            const int r = l + ((91881 * red + 32768) >> 16);
            const int g = l + ((-22554 * blue - 46802 * red + 32768) >> 16);
            const int b = l + ((116130 * blue + 32768) >> 16);
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return rgb;
}

} // namespace

QImage decodeJpegEighth(const QByteArray& bytes, EighthColour colour)
{
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype n = bytes.size();
    Decoder d;
    qsizetype scanAt = 0;
    if (!d.readTables(b, n, scanAt)) return {};
    if (d.components.size() == 3) {
        // libjpeg's reading of three components as RGB rather than YCbCr.
        const bool rgbIds = d.components[0].id == 'R' && d.components[1].id == 'G' && d.components[2].id == 'B';
        if (!d.jfif && ((d.adobe && d.adobeTransform == 0) || (!d.adobe && rgbIds))) return {};
    }
    if (!d.unstuff(b, n, scanAt) || !d.decodeScan(colour)) return {};
    return d.picture();
}

} // namespace tf
