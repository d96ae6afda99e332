#include "platform/imagebox/tiff_pages.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/picture_limits.h"

#include "platform/sys/safefile.h"

#include <QDir>
#include <QFile>
#include <QFloat16>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <tiffio.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace tf {

namespace {

// libtiff reports through callbacks; collect the first message per handle for our error text.
struct TiffMessages {
    QString first;
    static int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
    {
        // libtiff's write errors do not say why; a full disk is what the user must hear of.
        const int err = errno;
        auto* self = static_cast<TiffMessages*>(user);
        if (self->first.isEmpty()) {
            char buf[512];
            std::vsnprintf(buf, sizeof buf, fmt, ap);
            self->first = QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") + QString::fromLocal8Bit(buf);
            if (err == ENOSPC || err == EDQUOT || err == EFBIG)
                self->first += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
        }
        return 1;
    }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }
};

struct OpenOptions {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    explicit OpenOptions(TiffMessages* messages)
    {
        TIFFOpenOptionsSetErrorHandlerExtR(opts, &TiffMessages::onError, messages);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, &TiffMessages::onWarning, messages);
        // Directory and strip tables of hostile files must not size huge allocations.
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 256 * 1024 * 1024);
    }
    ~OpenOptions() { TIFFOpenOptionsFree(opts); }
    OpenOptions(const OpenOptions&) = delete;
    OpenOptions& operator=(const OpenOptions&) = delete;
};

// An open libtiff handle, closed whichever way its scope is left.
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle openTiff(const QString& path, const char* mode, const OpenOptions& options)
{
    return TiffHandle(TIFFOpenExt(QFile::encodeName(path).constData(), mode, options.opts));
}

uint16_t compressionTag(int compression, const PageRaster& page)
{
    if (compression == kTiffGroup4 && page.kind == PageRaster::Bilevel) return COMPRESSION_CCITTFAX4;
    if (compression == kTiffPackBits || compression == kTiffGroup4) return COMPRESSION_PACKBITS;
    return COMPRESSION_NONE;
}

// The tags of one page, its strips sized as the compression wants them. Fax pages are one
// strip, as fax readers expect; others get strips of about 64 KiB. Gives the rows per strip.
uint32_t setPageTags(TIFF* tif, const PageRaster& page, uint16_t comp, const QString& software)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(page.bitsPerSample));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(page.samplesPerPixel()));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, comp);
    if (comp == COMPRESSION_CCITTFAX4) TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, 0);
    switch (page.kind) {
    case PageRaster::Rgb: TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB); break;
    case PageRaster::Gray: TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK); break;
    case PageRaster::Bilevel: TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE); break;
    case PageRaster::Palette: {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        const int n = 1 << page.bitsPerSample;
        std::vector<uint16_t> r(static_cast<size_t>(n)), g(static_cast<size_t>(n)), b(static_cast<size_t>(n));
        for (int i = 0; i < n && i < page.palette.size(); ++i) {
            r[static_cast<size_t>(i)] = static_cast<uint16_t>(qRed(page.palette[i]) * 257);
            g[static_cast<size_t>(i)] = static_cast<uint16_t>(qGreen(page.palette[i]) * 257);
            b[static_cast<size_t>(i)] = static_cast<uint16_t>(qBlue(page.palette[i]) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        break;
    }
    }
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(page.dpiX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(page.dpiY));
    if (!software.isEmpty()) TIFFSetField(tif, TIFFTAG_SOFTWARE, software.toUtf8().constData());
    const uint32_t rowsPerStrip = comp == COMPRESSION_CCITTFAX4
                                      ? static_cast<uint32_t>(page.height)
                                      : TIFFDefaultStripSize(tif, static_cast<uint32_t>(qMax(1, 65536 / qMax(1, page.bytesPerRow()))));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    return rowsPerStrip;
}

// PackBits as TIFF readers expect it: each row on its own, runs of three or more equal bytes
// repeated, everything else as literal runs of up to 128 bytes.
qsizetype packBitsRowBytesAtMost(qsizetype rowBytes) { return rowBytes + (rowBytes + 127) / 128; }

size_t packBitsRow(const uchar* in, qsizetype n, uchar* out)
{
    uchar* o = out;
    qsizetype i = 0;
    qsizetype literal = 0; // where the literal run under way began
    const auto flushLiteral = [&](qsizetype end) {
        while (literal < end) {
            const qsizetype take = std::min<qsizetype>(128, end - literal);
            *o++ = static_cast<uchar>(take - 1);
            std::memcpy(o, in + literal, size_t(take));
            o += take;
            literal += take;
        }
    };
    while (i < n) {
        // Photos have few equal neighbours: eight places at a time without one are passed over.
        while (i + 9 <= n) {
            uint64_t a, b;
            std::memcpy(&a, in + i, 8);
            std::memcpy(&b, in + i + 1, 8);
            const uint64_t x = a ^ b; // a zero byte where a byte equals the next
            const uint64_t zero = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
            if (zero == 0) {
                i += 8;
                continue;
            }
            // Up to the first place flagged, never past an equal pair; a flag that is no pair
            // (the trick may flag a byte beside a true one) is passed by the test below.
            i += qsizetype((std::endian::native == std::endian::little ? std::countr_zero(zero) : std::countl_zero(zero)) / 8);
            break;
        }
        if (i + 2 < n && in[i] == in[i + 1] && in[i] == in[i + 2]) {
            flushLiteral(i);
            qsizetype run = 3;
            while (i + run < n && run < 128 && in[i + run] == in[i]) ++run;
            *o++ = static_cast<uchar>(1 - run); // -(run - 1) as a signed byte
            *o++ = in[i];
            i += run;
            literal = i;
        } else {
            ++i;
        }
    }
    flushLiteral(n);
    return size_t(o - out);
}

// The rows of a page, strip by strip: `contiguous` when they lie one after another in memory
// (a raster), else each from `rowAt` (which may convert it into `scratch`, a row's bytes).
bool writeDirectoryRows(TIFF* tif, const PageRaster& page, const char* contiguous, const TiffPageRows& rowAt,
                        int compression, const QString& software, TiffMessages& messages, QString* error)
{
    auto fail = [&](const QString& what) {
        if (error) *error = messages.first.isEmpty() ? what : messages.first;
        return false;
    };
    if (page.width <= 0 || page.height <= 0) return fail(QStringLiteral("The page has no pixels"));
    const uint16_t comp = compressionTag(compression, page);
    const uint32_t rowsPerStrip = setPageTags(tif, page, comp, software);
    const qsizetype rowBytes = page.bytesPerRow();
    const bool packBits = comp == COMPRESSION_PACKBITS;
    // A strip at a time, coded or gathered here; none when the rows go to libtiff where they are.
    std::vector<uchar> strip(packBits || !contiguous
                                 ? size_t(rowsPerStrip) * size_t(packBits ? packBitsRowBytesAtMost(rowBytes) : rowBytes)
                                 : 0);
    std::vector<uchar> scratch(contiguous ? 0 : size_t(rowBytes));
    const auto row = [&](uint32_t y) {
        return contiguous ? reinterpret_cast<const uchar*>(contiguous) + qsizetype(y) * rowBytes
                          : rowAt(int(y), scratch.data());
    };
    uint32_t index = 0;
    for (uint32_t y = 0; y < static_cast<uint32_t>(page.height); y += rowsPerStrip, ++index) {
        const uint32_t n = qMin<uint32_t>(rowsPerStrip, static_cast<uint32_t>(page.height) - y);
        tmsize_t written = 0;
        if (packBits) {
            // Coded here rather than by libtiff, whose coder takes most of a photo page's time.
            size_t size = 0;
            for (uint32_t r = 0; r < n; ++r) size += packBitsRow(row(y + r), rowBytes, strip.data() + size);
            written = TIFFWriteRawStrip(tif, index, strip.data(), static_cast<tmsize_t>(size));
        } else if (contiguous) {
            // Straight from the raster's rows: none of these codecs writes into its input.
            written = TIFFWriteEncodedStrip(tif, index, const_cast<uchar*>(row(y)), static_cast<tmsize_t>(n * rowBytes));
        } else {
            for (uint32_t r = 0; r < n; ++r)
                std::memcpy(strip.data() + qsizetype(r) * rowBytes, row(y + r), size_t(rowBytes));
            written = TIFFWriteEncodedStrip(tif, index, strip.data(), static_cast<tmsize_t>(n * rowBytes));
        }
        if (written < 0) return fail(QStringLiteral("Could not write the page's pixels"));
    }
    if (!TIFFWriteDirectory(tif)) return fail(QStringLiteral("Could not write the page's directory"));
    return true;
}

bool writeDirectory(TIFF* tif, const PageRaster& page, int compression, const QString& software,
                    TiffMessages& messages, QString* error)
{
    if (!page.isValid()) {
        if (error) *error = QStringLiteral("The page has no pixels");
        return false;
    }
    return writeDirectoryRows(tif, page, page.rows.constData(), {}, compression, software, messages, error);
}

// A page whose one strip was coded elsewhere (a Group 4 page coded on another thread).
bool writeCodedPage(TIFF* tif, const PageRaster& page, const QByteArray& strip, const QString& software,
                    TiffMessages& messages, QString* error)
{
    setPageTags(tif, page, COMPRESSION_CCITTFAX4, software);
    if (TIFFWriteRawStrip(tif, 0, const_cast<char*>(strip.constData()), static_cast<tmsize_t>(strip.size())) < 0 ||
        !TIFFWriteDirectory(tif)) {
        if (error) *error = messages.first.isEmpty() ? QStringLiteral("Could not write the page") : messages.first;
        return false;
    }
    return true;
}

// Raw access to the directory chain, classic or BigTIFF: to check it before libtiff walks it
// (libtiff follows a chain that loops back for ever when it appends) and to relink an appended
// page into place.
class IfdChain {
public:
    explicit IfdChain(QIODevice& file) : m_file(file) {}

    bool read(QString* error)
    {
        m_file.seek(0);
        const QByteArray head = m_file.read(16);
        if (head.size() < 8) return fail(error);
        if (head.startsWith("II")) m_little = true;
        else if (head.startsWith("MM")) m_little = false;
        else return fail(error);
        const uint16_t version = static_cast<uint16_t>(number(head, 2, 2));
        if (version == 43) {
            if (head.size() < 16 || number(head, 4, 2) != 8) return fail(error);
            m_big = true;
        } else if (version != 42) {
            return fail(error);
        }
        const int offsetSize = m_big ? 8 : 4;
        const int countSize = m_big ? 8 : 2;
        const int entrySize = m_big ? 20 : 12;
        m_firstLinkAt = m_big ? 8 : 4;
        uint64_t offset = number(head, m_firstLinkAt, offsetSize);
        const qint64 size = m_file.size();
        std::set<uint64_t> seen;
        while (offset != 0) {
            if (m_offsets.size() > 100000 || offset > uint64_t(size) || offset + countSize > uint64_t(size))
                return fail(error);
            if (!seen.insert(offset).second) return fail(error); // a loop in the chain
            m_file.seek(static_cast<qint64>(offset));
            const QByteArray countBytes = m_file.read(countSize);
            if (countBytes.size() < countSize) return fail(error);
            const uint64_t entries = number(countBytes, 0, countSize);
            if (entries > 65535) return fail(error);
            const qint64 nextAt = static_cast<qint64>(offset) + countSize + entrySize * static_cast<qint64>(entries);
            if (nextAt + offsetSize > size) return fail(error);
            m_offsets.push_back(offset);
            m_nextFieldAt.push_back(nextAt);
            m_file.seek(nextAt);
            offset = number(m_file.read(offsetSize), 0, offsetSize);
        }
        return !m_offsets.empty() || fail(error);
    }

    int count() const { return static_cast<int>(m_offsets.size()); }
    bool big() const { return m_big; }
    bool little() const { return m_little; }
    qint64 firstLinkAt() const { return m_firstLinkAt; }
    uint64_t first() const { return m_offsets.empty() ? 0 : m_offsets.front(); }
    qint64 lastLinkAt() const { return m_nextFieldAt.empty() ? 0 : m_nextFieldAt.back(); }

    // Moves the last directory to `position` (1-based).
    bool moveLastTo(int position, QString* error)
    {
        const int n = count();
        if (n == 0 || position < 1 || position >= n) return true;
        const uint64_t moved = m_offsets.back();
        const uint64_t after = m_offsets[static_cast<size_t>(position - 1)];
        // The new directory points at the page it now precedes; the old last page ends the chain.
        if (!writeOffset(m_nextFieldAt.back(), after)) return fail(error);
        if (!writeOffset(m_nextFieldAt[static_cast<size_t>(n - 2)], 0)) return fail(error);
        const qint64 linkAt = position == 1 ? m_firstLinkAt : m_nextFieldAt[static_cast<size_t>(position - 2)];
        return writeOffset(linkAt, moved) || fail(error);
    }

private:
    bool fail(QString* error)
    {
        if (error && error->isEmpty()) *error = QStringLiteral("The file's page directory is damaged");
        return false;
    }
    uint64_t number(const QByteArray& b, int at, int width) const
    {
        if (b.size() < at + width) return 0;
        const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
        uint64_t v = 0;
        for (int i = 0; i < width; ++i) v |= uint64_t(p[m_little ? i : width - 1 - i]) << (8 * i);
        return v;
    }
    bool writeOffset(qint64 at, uint64_t v)
    {
        const int width = m_big ? 8 : 4;
        char b[8];
        for (int i = 0; i < width; ++i) b[m_little ? i : width - 1 - i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return m_file.seek(at) && m_file.write(b, width) == width;
    }

    QIODevice& m_file;
    bool m_little = true;
    bool m_big = false;
    qint64 m_firstLinkAt = 4;
    std::vector<uint64_t> m_offsets;
    std::vector<qint64> m_nextFieldAt;
};

// The chain checked on its own, before libtiff is let near the file.
bool chainSound(const QString& path, bool* big = nullptr, QString* error = nullptr)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("Cannot read ") + path;
        return false;
    }
    IfdChain chain(file);
    if (!chain.read(error)) return false;
    if (big) *big = chain.big();
    return true;
}

// A growable in-memory file for libtiff.
struct MemoryFile {
    QByteArray data;
    qint64 pos = 0;
    static tmsize_t read(thandle_t h, void* buf, tmsize_t n)
    {
        auto* m = static_cast<MemoryFile*>(h);
        const qint64 avail = qMax<qint64>(0, m->data.size() - m->pos);
        const qint64 take = qMin<qint64>(avail, n);
        if (take > 0) std::memcpy(buf, m->data.constData() + m->pos, static_cast<size_t>(take));
        m->pos += take;
        return static_cast<tmsize_t>(take);
    }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n)
    {
        auto* m = static_cast<MemoryFile*>(h);
        if (m->pos + n > m->data.size()) m->data.resize(m->pos + n);
        std::memcpy(m->data.data() + m->pos, buf, static_cast<size_t>(n));
        m->pos += n;
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        auto* m = static_cast<MemoryFile*>(h);
        qint64 base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->data.size() : 0;
        m->pos = base + static_cast<qint64>(off);
        return static_cast<toff_t>(m->pos);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<toff_t>(static_cast<MemoryFile*>(h)->data.size()); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

// libtiff's file while it writes one of ours: the hidden file, through its checked writes.
struct SafeTiffFile {
    SafeFile* out = nullptr;
    qint64 pos = 0;

    static tmsize_t read(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<SafeTiffFile*>(h);
        const qint64 take = qBound<qint64>(0, f->out->size() - f->pos, qint64(n));
        if (take > 0 && !f->out->readAt(static_cast<char*>(buf), take, f->pos)) return -1;
        f->pos += take;
        return static_cast<tmsize_t>(take);
    }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<SafeTiffFile*>(h);
        if (!f->out->writeAt(static_cast<const char*>(buf), qint64(n), f->pos)) return -1;
        f->pos += n;
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        auto* f = static_cast<SafeTiffFile*>(h);
        const qint64 base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->out->size() : 0;
        f->pos = base + static_cast<qint64>(off);
        return static_cast<toff_t>(f->pos);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<toff_t>(static_cast<SafeTiffFile*>(h)->out->size()); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

TiffHandle openTiff(SafeTiffFile& io, const char* mode, const OpenOptions& options)
{
    return TiffHandle(TIFFClientOpenExt(QFile::encodeName(io.out->target()).constData(), mode, &io, &SafeTiffFile::read,
                                        &SafeTiffFile::write, &SafeTiffFile::seek, &SafeTiffFile::close,
                                        &SafeTiffFile::size, &SafeTiffFile::map, &SafeTiffFile::unmap, options.opts));
}

// libtiff's file while it writes a page into a work file another process made and will put in
// its place: every write checked, the first failure kept.
struct WorkTiffFile {
    int fd = -1;
    qint64 pos = 0;
    qint64 end = 0;
    int failure = 0; // errno of the first write that failed
    const std::function<void()>* progress = nullptr; // told after each write

    static tmsize_t read(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<WorkTiffFile*>(h);
        const qint64 take = qBound<qint64>(0, f->end - f->pos, qint64(n));
        qint64 got = 0;
        while (got < take) {
            const ssize_t r = ::pread(f->fd, static_cast<char*>(buf) + got, size_t(take - got), f->pos + got);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return -1;
            if (r == 0) { // past what reached the disk: zeros
                std::memset(static_cast<char*>(buf) + got, 0, size_t(take - got));
                break;
            }
            got += r;
        }
        f->pos += take;
        return static_cast<tmsize_t>(take);
    }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<WorkTiffFile*>(h);
        if (f->failure != 0) return -1;
        if (!writeFully(f->fd, static_cast<const char*>(buf), qint64(n), f->pos)) {
            f->failure = errno ? errno : EIO;
            return -1;
        }
        f->pos += n;
        f->end = std::max(f->end, f->pos);
        if (f->progress && *f->progress) (*f->progress)();
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        auto* f = static_cast<WorkTiffFile*>(h);
        const qint64 base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->end : 0;
        f->pos = base + static_cast<qint64>(off);
        return static_cast<toff_t>(f->pos);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<toff_t>(static_cast<WorkTiffFile*>(h)->end); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

} // namespace

// A document's pages are written at once but for Group 4 pages, which code in the queue.
struct TiffDocumentWriter::Impl {
    bool big = false;
    TiffMessages messages;
    // Declared before the handle: closing it still writes.
    std::unique_ptr<SafeFile> out;
    SafeTiffFile io;
    TiffHandle tif;
    Group4PageQueue coding;

    // The disk's refusal is the cause; what libtiff says after it only follows from it.
    bool failed(QString* error) const
    {
        if (error && out && !out->failure().isEmpty()) *error = out->failure();
        return false;
    }
    bool writeCoded(size_t keep, QString* error)
    {
        if (coding.write(tif.get(), keep, error)) return true;
        // What libtiff said of the handle says more than that the page was not written.
        if (error && !messages.first.isEmpty()) *error = messages.first;
        return failed(error);
    }
};

Group4PageQueue::~Group4PageQueue() { clear(); }

bool Group4PageQueue::codes(const PageRaster& page, int compression)
{
    // A page the size of an icon codes in less time than a thread takes to start.
    constexpr qint64 kSmallPagePixels = 256 * 256;
    return page.isValid() && compressionTag(compression, page) == COMPRESSION_CCITTFAX4 &&
           qint64(page.width) * page.height > kSmallPagePixels;
}

size_t Group4PageQueue::room() { return std::max(2u, std::thread::hardware_concurrency()); }

void Group4PageQueue::add(const PageRaster& page, const QString& software)
{
    m_coding.push_back({page, software, std::async(std::launch::async, [page] {
                            QString why;
                            QByteArray strip = encodeGroup4(page, &why);
                            return std::pair{strip, why};
                        })});
}

bool Group4PageQueue::write(TIFF* tif, size_t keep, QString* error)
{
    while (m_failure.isEmpty() && m_coding.size() > keep) {
        Coding page = std::move(m_coding.front());
        m_coding.pop_front();
        auto [strip, why] = page.strip.get();
        if (strip.isEmpty()) {
            m_failure = why.isEmpty() ? QStringLiteral("The page could not be coded") : why;
            break;
        }
        TiffMessages messages; // the handle's own handlers have libtiff's words
        if (!writeCodedPage(tif, page.page, strip, page.software, messages, &m_failure)) break;
    }
    if (m_failure.isEmpty()) return true;
    if (error) *error = m_failure;
    return false;
}

void Group4PageQueue::addCoded(const Group4Strip& page, const QString& software)
{
    std::promise<std::pair<QByteArray, QString>> coded;
    coded.set_value({page.strip, QString()});
    m_coding.push_back({page.header, software, coded.get_future()});
}

void Group4PageQueue::clear()
{
    m_coding.clear();
    m_failure.clear();
}

TiffDocumentWriter::TiffDocumentWriter(const QString& target) : m_target(target), m_impl(std::make_unique<Impl>()) {}

TiffDocumentWriter::~TiffDocumentWriter() { discard(); }

void TiffDocumentWriter::setBigTiff(bool big) { m_impl->big = big; }
bool TiffDocumentWriter::bigTiff() const { return m_impl->big; }

bool TiffDocumentWriter::open(QString* error)
{
    if (m_impl->tif) return true;
    m_impl->out = std::make_unique<SafeFile>(m_target);
    if (!m_impl->out->open(error)) {
        m_impl->out.reset();
        return false;
    }
    OpenOptions options(&m_impl->messages);
    m_impl->io = SafeTiffFile{m_impl->out.get(), 0};
    m_impl->tif = openTiff(m_impl->io, m_impl->big ? "w8" : "w", options);
    if (!m_impl->tif) {
        if (error) *error = m_impl->messages.first.isEmpty() ? QStringLiteral("Cannot create the file") : m_impl->messages.first;
        m_impl->failed(error);
        m_impl->out.reset();
        return false;
    }
    return true;
}

bool TiffDocumentWriter::addPage(const PageRaster& page, int compression, const QString& software, QString* error)
{
    if (!open(error)) return false;
    if (Group4PageQueue::codes(page, compression)) {
        m_impl->coding.add(page, software);
        ++m_pages;
        if (!m_impl->writeCoded(Group4PageQueue::room(), error)) return false;
    } else {
        if (!m_impl->writeCoded(0, error)) return false;
        if (!writeDirectory(m_impl->tif.get(), page, compression, software, m_impl->messages, error))
            return m_impl->failed(error);
        ++m_pages;
    }
    // A document of uncompressed pages runs to gigabytes: left all to the sync at the end, it
    // fills the memory and then holds the disk (and every program waiting on it) for seconds.
    m_impl->out->startWriteback();
    return true;
}

bool TiffDocumentWriter::addCodedPage(const Group4Strip& page, const QString& software, QString* error)
{
    if (!page.isValid()) {
        if (error) *error = QStringLiteral("The page has no pixels");
        return false;
    }
    if (!open(error)) return false;
    // Behind the pages still coding, so that the pages keep their order.
    m_impl->coding.addCoded(page, software);
    ++m_pages;
    return m_impl->writeCoded(Group4PageQueue::room(), error);
}

bool TiffDocumentWriter::commit(QString* error)
{
    if (!m_impl->tif || m_pages == 0) {
        if (error) *error = QStringLiteral("No page was written");
        discard();
        return false;
    }
    if (!m_impl->writeCoded(0, error)) {
        discard();
        return false;
    }
    m_impl->tif.reset();
    const bool ok = m_impl->out->commit(error);
    discard();
    return ok;
}

void TiffDocumentWriter::discard()
{
    if (m_impl) {
        m_impl->coding.clear(); // waits for the pages still coding
        m_impl->tif.reset();
        m_impl->out.reset();
    }
    m_pages = 0;
}

bool writeTiffPage(TIFF* tif, const PageRaster& page, int compression, const QString& software, QString* error)
{
    TiffMessages messages; // the handle's own handlers have libtiff's words
    return writeDirectory(tif, page, compression, software, messages, error);
}

bool writeTiffPageInto(const QString& workFile, const PageRaster& page, int compression, QString* error,
                       const std::function<void()>& progress)
{
    if (!page.isValid()) {
        if (error) *error = QStringLiteral("The page has no pixels");
        return false;
    }
    return writeTiffPageInto(workFile, page, {}, compression, error, progress);
}

bool writeTiffPageInto(const QString& workFile, const PageRaster& page, const TiffPageRows& rows, int compression,
                       QString* error, const std::function<void()>& progress)
{
    const auto cannot = [&](int err) {
        if (error) *error = QStringLiteral("Cannot write ") + workFile + QStringLiteral(" (") +
                            QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
        return false;
    };
    const QByteArray name = QFile::encodeName(workFile);
    // Only the empty file made for the page: never a link, never anything that holds data.
    WorkTiffFile io;
    io.progress = &progress;
    io.fd = ::open(name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (io.fd < 0) return cannot(errno);
    struct stat st {};
    const int statErr = ::fstat(io.fd, &st) != 0 ? errno : !S_ISREG(st.st_mode) || st.st_size != 0 ? EEXIST : 0;
    if (statErr != 0) {
        ::close(io.fd);
        return cannot(statErr);
    }
    bool ok = false;
    {
        TiffMessages messages;
        OpenOptions options(&messages);
        TiffHandle tif(TIFFClientOpenExt(name.constData(), "w", &io, &WorkTiffFile::read, &WorkTiffFile::write,
                                         &WorkTiffFile::seek, &WorkTiffFile::close, &WorkTiffFile::size,
                                         &WorkTiffFile::map, &WorkTiffFile::unmap, options.opts));
        if (!tif) {
            if (error) *error = messages.first.isEmpty() ? QStringLiteral("Cannot create the file") : messages.first;
        } else if (rows) {
            ok = writeDirectoryRows(tif.get(), page, nullptr, rows, compression, QString(), messages, error);
        } else if (Group4PageQueue::codes(page, compression)) {
            // Coded as a document's Group 4 pages are, so that the file is the same.
            QString why;
            const QByteArray strip = encodeGroup4(page, &why);
            if (strip.isEmpty()) {
                if (error) *error = why.isEmpty() ? QStringLiteral("The page could not be coded") : why;
            } else {
                ok = writeCodedPage(tif.get(), page, strip, QString(), messages, error);
            }
        } else {
            ok = writeDirectoryRows(tif.get(), page, page.rows.constData(), {}, compression, QString(), messages, error);
        }
        // Closing writes what libtiff still holds.
        tif.reset();
    }
    const int failure = io.failure;
    if (::close(io.fd) != 0 && ok) return cannot(errno);
    // The disk's refusal is the cause; what libtiff said after it only follows from it.
    if (failure != 0) return cannot(failure);
    return ok;
}

bool readTiffChain(QFile& file, TiffChain* chain, QString* error)
{
    IfdChain ifds(file);
    if (!ifds.read(error)) return false;
    chain->big = ifds.big();
    chain->littleEndian = ifds.little();
    chain->firstLinkAt = ifds.firstLinkAt();
    chain->first = ifds.first();
    chain->lastLinkAt = ifds.lastLinkAt();
    chain->pages = ifds.count();
    return true;
}

int tiffPageCount(const QString& path)
{
    if (!chainSound(path)) return 0;
    TiffMessages messages;
    OpenOptions options(&messages);
    const TiffHandle tif = openTiff(path, "r", options);
    if (!tif) return 0;
    int n = 0;
    do {
        ++n;
    } while (n < 100000 && TIFFReadDirectory(tif.get()));
    return n;
}

bool tiffPageResolution(const QString& path, int page, double* dpiX, double* dpiY)
{
    if (page < 1 || !chainSound(path)) return false;
    TiffMessages messages;
    OpenOptions options(&messages);
    const TiffHandle tif = openTiff(path, "r", options);
    if (!tif || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page - 1))) return false;
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &y)) return false;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_NONE || !(x > 0) || !(y > 0)) return false;
    const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    *dpiX = x * perInch;
    *dpiY = y * perInch;
    return true;
}

namespace {

Group4Strip readGroup4Page(const QString& path, bool withStrip)
{
    Group4Strip out;
    if (!chainSound(path)) return out;
    TiffMessages messages;
    OpenOptions options(&messages);
    const TiffHandle tif = openTiff(path, "r", options);
    if (!tif) return out;
    TIFF* t = tif.get();
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t compression = 0, photometric = 0, bits = 0, samples = 0, fillOrder = 0, orientation = 0;
    uint32_t group4Options = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFGetField(t, TIFFTAG_COMPRESSION, &compression) || !TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
        return out;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fillOrder);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetField(t, TIFFTAG_GROUP4OPTIONS, &group4Options);
    // What the program's own Group 4 pages are; any other kind is decoded and coded again.
    if (compression != COMPRESSION_CCITTFAX4 || photometric != PHOTOMETRIC_MINISWHITE || bits != 1 || samples != 1 ||
        fillOrder != FILLORDER_MSB2LSB || orientation != ORIENTATION_TOPLEFT || (group4Options & GROUP4OPT_UNCOMPRESSED) ||
        TIFFIsTiled(t) || TIFFNumberOfStrips(t) != 1 || rowsPerStrip < height || !imagebox::sizeAllowed(width, height, 1))
        return out;
    uint64_t* byteCounts = nullptr;
    if (!TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &byteCounts) || !byteCounts || byteCounts[0] == 0 ||
        byteCounts[0] > uint64_t(imagebox::kMaxBytes) || byteCounts[0] > uint64_t(QFileInfo(path).size()))
        return out;
    QByteArray strip;
    if (withStrip) {
        strip.resize(qsizetype(byteCounts[0]));
        if (TIFFReadRawStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size())) != static_cast<tmsize_t>(strip.size()))
            return out;
    }
    out.header.kind = PageRaster::Bilevel;
    out.header.bitsPerSample = 1;
    out.header.width = int(width);
    out.header.height = int(height);
    // The resolution the decoded page would carry: the file's, through whole dots per metre.
    double x = kDefaultPageDpi, y = kDefaultPageDpi;
    if (!tiffPageResolution(path, 1, &x, &y)) x = y = kDefaultPageDpi;
    out.header.dpiX = dpiFromDotsPerMeter(std::max(1, int(std::lround(x / 0.0254))));
    out.header.dpiY = dpiFromDotsPerMeter(std::max(1, int(std::lround(y / 0.0254))));
    out.strip = std::move(strip);
    return out;
}

} // namespace

Group4Strip readGroup4Strip(const QString& path) { return readGroup4Page(path, true); }

bool isGroup4StripPage(const QString& path) { return readGroup4Page(path, false).header.width > 0; }

namespace {

// A page (1-based) of a TIFF whose directory chain was checked first, open for reading; an empty
// handle and the reason in *why otherwise.
TiffHandle openTiffPage(const QString& path, int page, TiffMessages& messages, QString* why)
{
    if (page < 1 || !chainSound(path)) {
        *why = QStringLiteral("damaged page directory");
        return {};
    }
    OpenOptions options(&messages);
    TiffHandle tif = openTiff(path, "r", options);
    if (!tif || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page - 1))) {
        *why = QStringLiteral("no such page");
        return {};
    }
    return tif;
}

} // namespace

TiffPageLayout tiffPageLayout(const QString& path, int page)
{
    TiffPageLayout out;
    TiffMessages messages;
    QString unopened;
    const TiffHandle tif = openTiffPage(path, page, messages, &unopened);
    if (!tif) return out;
    TIFF* t = tif.get();
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &out.width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &out.height)) return out;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &out.bitsPerSample);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &out.samplesPerPixel);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &out.sampleFormat);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &out.photometric)) out.photometric = TiffPageLayout::kNoPhotometric;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extra)
        for (uint16_t i = 0; i < extraCount; ++i) {
            out.associatedAlpha = out.associatedAlpha || extra[i] == EXTRASAMPLE_ASSOCALPHA;
            out.alpha = out.alpha || extra[i] == EXTRASAMPLE_ASSOCALPHA || extra[i] == EXTRASAMPLE_UNASSALPHA;
        }
    const uint64_t fileSize = uint64_t(QFileInfo(path).size());
    const uint32_t pieces = TIFFNumberOfStrips(t);
    out.dataPresent = pieces > 0;
    for (uint32_t i = 0; out.dataPresent && i < pieces; ++i) {
        int err = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(t, i, &err);
        const uint64_t bytes = err ? 0 : TIFFGetStrileByteCountWithErr(t, i, &err);
        const bool sparse = offset == 0 && bytes == 0;
        out.dataPresent = !err && (sparse || (offset > 0 && bytes > 0 && offset <= fileSize && bytes <= fileSize - offset));
    }
    out.valid = true;
    return out;
}

QImage readTiffPageRgba(const QString& path, int page, bool (*allowed)(qint64 width, qint64 height), QString* failure,
                        bool* refused)
{
    const auto fail = [failure](const QString& why) {
        if (failure) *failure = why;
        return QImage();
    };
    if (refused) *refused = false;
    TiffMessages messages;
    QString unopened;
    const TiffHandle tif = openTiffPage(path, page, messages, &unopened);
    if (!tif) return fail(unopened);
    char why[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), why)) return fail(QString::fromLocal8Bit(why));
    uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX) || !allowed(width, height)) {
        if (refused) *refused = true;
        return fail(pictureTooLargeText(width, height));
    }
    TIFFRGBAImage reader{};
    if (!TIFFRGBAImageBegin(&reader, tif.get(), 1, why)) return fail(QString::fromLocal8Bit(why));
    reader.req_orientation = ORIENTATION_TOPLEFT;
    const bool alpha = reader.alpha == EXTRASAMPLE_ASSOCALPHA || reader.alpha == EXTRASAMPLE_UNASSALPHA;
    // libtiff premultiplies a colour page's unassociated alpha, but hands a grey page's samples on
    // as they are stored.
    const bool grey = reader.photometric == PHOTOMETRIC_MINISBLACK || reader.photometric == PHOTOMETRIC_MINISWHITE;
    const bool premultiplied = alpha && !(grey && reader.alpha == EXTRASAMPLE_UNASSALPHA);
    QImage image(int(width), int(height), premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    auto* raster = reinterpret_cast<uint32_t*>(image.bits());
    const bool read = !image.isNull() && TIFFRGBAImageGet(&reader, raster, width, height);
    TIFFRGBAImageEnd(&reader);
    if (image.isNull()) return fail(QStringLiteral("not enough memory"));
    if (!read) return fail(messages.first.isEmpty() ? QStringLiteral("unreadable page") : messages.first);
    // ABGR in a word to Qt's ARGB.
    for (qint64 i = 0, n = qint64(width) * height; i < n; ++i) {
        const uint32_t p = raster[i];
        raster[i] = qRgba(int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p)), alpha ? int(TIFFGetA(p)) : 255);
    }
    if (!alpha) return image.convertToFormat(QImage::Format_RGB32);
    return premultiplied ? image.convertToFormat(QImage::Format_ARGB32) : image;
}

namespace {

// One float sample of `bits` bits (in the machine's order: libtiff swaps them) as 0..255.
int floatSampleLevel(const uchar* at, int bits)
{
    double v = 0;
    if (bits == 16) {
        qfloat16 half(Qt::Uninitialized);
        std::memcpy(&half, at, 2);
        v = double(float(half));
    } else if (bits == 32) {
        float f;
        std::memcpy(&f, at, 4);
        v = f;
    } else {
        std::memcpy(&v, at, 8);
    }
    return v > 0 ? (v < 1 ? int(std::lround(v * 255)) : 255) : 0; // NaN is black
}

} // namespace

QImage readTiffFloatPage(const QString& path, int page, bool (*allowed)(qint64 width, qint64 height), QString* failure,
                         bool* refused)
{
    const auto fail = [failure](const QString& why) {
        if (failure) *failure = why;
        return QImage();
    };
    if (refused) *refused = false;
    TiffMessages messages;
    QString unopened;
    const TiffHandle handle = openTiffPage(path, page, messages, &unopened);
    TIFF* tif = handle.get();
    if (!tif) return fail(unopened);
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG, photometric = 0;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : 3;
    if (format != SAMPLEFORMAT_IEEEFP || (bits != 16 && bits != 32 && bits != 64) ||
        (!grey && photometric != PHOTOMETRIC_RGB) || samples < colours)
        return fail(QStringLiteral("not a floating-point grey or RGB page"));
    if (width == 0 || height == 0 || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX) || !allowed(width, height)) {
        if (refused) *refused = true;
        return fail(pictureTooLargeText(width, height));
    }
    // The first extra sample is the alpha when the file says so (premultiplied or not).
    const bool alpha = samples > colours && extraCount > 0 && extra &&
                       (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    const bool premultiplied = alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    QImage image(int(width), int(height), premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (image.isNull()) return fail(QStringLiteral("not enough memory"));
    image.fill(alpha ? 0u : 0xFF000000u);

    // Pieces are strips or tiles; with separate planes, each plane has its own run of pieces.
    const bool tiled = TIFFIsTiled(tif);
    uint32_t pieceWidth = width, pieceHeight = 0;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &pieceWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &pieceHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &pieceHeight);
        pieceHeight = std::min(pieceHeight, height);
    }
    if (pieceWidth == 0 || pieceHeight == 0) return fail(QStringLiteral("damaged page layout"));
    const tmsize_t pieceBytes = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const int planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    const int stride = planes == 1 ? samples : 1; // samples between two pixels of one piece
    const uint32_t across = (width + pieceWidth - 1) / pieceWidth, down = (height + pieceHeight - 1) / pieceHeight;
    const int bytesPerSample = bits / 8;
    // A piece larger than this is a hostile claim, or a picture far over the size cap in one strip.
    constexpr tmsize_t kMaxPieceBytes = tmsize_t(512) << 20;
    if (pieceBytes <= 0 || pieceBytes > kMaxPieceBytes || qint64(pieceWidth) * pieceHeight * stride * bytesPerSample > pieceBytes)
        return fail(QStringLiteral("damaged page layout"));
    std::vector<uchar> piece;
    try {
        piece.resize(static_cast<size_t>(pieceBytes));
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("not enough memory"));
    }
    for (int plane = 0; plane < planes; ++plane)
        for (uint32_t py = 0; py < down; ++py)
            for (uint32_t px = 0; px < across; ++px) {
                const uint32_t index = (uint32_t(plane) * down + py) * across + px;
                const tmsize_t got = tiled ? TIFFReadEncodedTile(tif, index, piece.data(), pieceBytes)
                                           : TIFFReadEncodedStrip(tif, index, piece.data(), pieceBytes);
                if (got < 0) return fail(messages.first.isEmpty() ? QStringLiteral("unreadable page") : messages.first);
                const uint32_t top = py * pieceHeight, left = px * pieceWidth;
                for (uint32_t y = 0; y < pieceHeight && top + y < height; ++y) {
                    auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(top + y)));
                    for (uint32_t x = 0; x < pieceWidth && left + x < width; ++x) {
                        const uchar* at = piece.data() + (qint64(y) * pieceWidth + x) * stride * bytesPerSample;
                        QRgb& out = line[left + x];
                        // Contiguous pieces hold every sample; a separate plane holds sample `plane`.
                        for (int s = planes == 1 ? 0 : plane; s < (planes == 1 ? samples : plane + 1); ++s) {
                            const int level = floatSampleLevel(planes == 1 ? at + s * bytesPerSample : at, bits);
                            if (s < colours) {
                                const int v = photometric == PHOTOMETRIC_MINISWHITE ? 255 - level : level;
                                if (grey) out = qRgba(v, v, v, qAlpha(out));
                                else if (s == 0) out = qRgba(v, qGreen(out), qBlue(out), qAlpha(out));
                                else if (s == 1) out = qRgba(qRed(out), v, qBlue(out), qAlpha(out));
                                else out = qRgba(qRed(out), qGreen(out), v, qAlpha(out));
                            } else if (s == colours && alpha) {
                                out = qRgba(qRed(out), qGreen(out), qBlue(out), level);
                            }
                        }
                    }
                }
            }
    if (!alpha) return image.convertToFormat(QImage::Format_RGB32);
    return premultiplied ? image.convertToFormat(QImage::Format_ARGB32) : image;
}

bool insertTiffPage(SafeFile& file, const PageRaster& page, int compression, const QString& software, int position,
                    QString* error)
{
    const QString path = file.target();
    int before = 0;
    {
        IfdChain chain(file.device());
        if (!chain.read(error)) return false;
        before = chain.count();
        if (!chain.big() && file.size() + tiffPageBytesAtMost(page.width, page.height,
                                                              page.bitsPerSample * page.samplesPerPixel(), compression) >
                                 kClassicTiffMaxBytes) {
            if (error) *error = tiffTooLargeMessage();
            return false;
        }
    }
    {
        TiffMessages messages;
        OpenOptions options(&messages);
        SafeTiffFile io{&file, 0};
        const TiffHandle tif = openTiff(io, "a", options);
        if (!tif) {
            if (error) *error = messages.first.isEmpty() ? QStringLiteral("Cannot open ") + path : messages.first;
            return false;
        }
        if (!writeDirectory(tif.get(), page, compression, software, messages, error)) {
            if (error && !file.failure().isEmpty()) *error = file.failure();
            return false;
        }
    }
    if (!file.failure().isEmpty()) {
        if (error) *error = file.failure();
        return false;
    }
    if (position < 1 || position > before) return true;
    IfdChain chain(file.device());
    return chain.read(error) && chain.moveLastTo(position, error);
}

QByteArray encodeTiffInMemory(const PageRaster& page, int compression, QString* error)
{
    MemoryFile memory;
    TiffMessages messages;
    OpenOptions options(&messages);
    bool ok = false;
    {
        const TiffHandle tif(TIFFClientOpenExt("memory", "w", &memory, &MemoryFile::read, &MemoryFile::write,
                                               &MemoryFile::seek, &MemoryFile::close, &MemoryFile::size,
                                               &MemoryFile::map, &MemoryFile::unmap, options.opts));
        if (!tif) {
            if (error) *error = messages.first;
            return {};
        }
        ok = writeDirectory(tif.get(), page, compression, QString(), messages, error);
    } // closing writes the directory into memory
    return ok ? memory.data : QByteArray();
}

QByteArray encodeGroup4(const PageRaster& page, QString* error)
{
    if (page.kind != PageRaster::Bilevel) {
        if (error) *error = QStringLiteral("Group 4 codes only black and white pages");
        return {};
    }
    MemoryFile memory;
    memory.data = encodeTiffInMemory(page, kTiffGroup4, error);
    if (memory.data.isEmpty()) return {};
    TiffMessages messages;
    OpenOptions options(&messages);
    const TiffHandle tif(TIFFClientOpenExt("memory", "r", &memory, &MemoryFile::read, &MemoryFile::write,
                                           &MemoryFile::seek, &MemoryFile::close, &MemoryFile::size, &MemoryFile::map,
                                           &MemoryFile::unmap, options.opts));
    if (!tif) return {};
    QByteArray out;
    if (TIFFNumberOfStrips(tif.get()) == 1) {
        uint64_t* counts = nullptr;
        if (TIFFGetField(tif.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) && counts) {
            out.resize(static_cast<qsizetype>(counts[0]));
            if (TIFFReadRawStrip(tif.get(), 0, out.data(), static_cast<tmsize_t>(out.size())) !=
                static_cast<tmsize_t>(out.size()))
                out.clear();
        }
    }
    return out;
}

bool isClassicTiff(const QString& path)
{
    bool big = true;
    return chainSound(path, &big) && !big;
}

QString tiffTooLargeMessage()
{
    return QStringLiteral("The TIFF file would grow past 4 GiB, the most a classic TIFF file can hold.");
}

qint64 tiffPageBytesAtMost(qint64 width, qint64 height, int bitsPerPixel, int compression)
{
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0) return 0;
    qint64 row = (width * bitsPerPixel + 7) / 8;
    if (compression == kTiffGroup4 && bitsPerPixel == 1)
        row = (width * 6 + 7) / 8 + 4; // six bits a pixel, the longest codes for the shortest runs
    else if (compression == kTiffPackBits || compression == kTiffGroup4)
        row += (row + 127) / 128; // a count byte for every 128 literal bytes
    // The directory with its values, and two strip table entries per row at most (BigTIFF's size).
    return row * height + 4096 + 16 * height;
}

int tiffBitsPerPixel(int colorFormat, int compression, int sourceBits, bool sourceGray)
{
    switch (colorFormatForCompression(colorFormat, compression)) {
    case kColor256:
    case kGray256: return 8;
    case kColor16:
    case kGray16: return 4;
    case kMonoDithered:
    case kMonoThreshold: return 1;
    case kColor24Bit: return 24;
    default: break;
    }
    // A picture's own depth: black and white, grey or colour.
    if (sourceBits == 1) return 1;
    return sourceGray && sourceBits <= 8 ? 8 : 24;
}

int colorFormatForCompression(int colorFormat, int compression)
{
    if (compression != kTiffGroup4) return colorFormat;
    return colorFormat == kMonoDithered ? kMonoDithered : kMonoThreshold;
}

} // namespace tf
