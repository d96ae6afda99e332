#include "metadata/tiffMetadata.h"

#include "platform/imagebox/tiff_pages.h"

#include "platform/sys/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace tf {

namespace {

constexpr uint16_t kExifIfdTag = 34665;
constexpr uint16_t kGpsIfdTag = 34853;
constexpr uint16_t kInteropIfdTag = 40965;
constexpr uint16_t kIptcTag = 33723;
constexpr uint16_t kPhotoshopTag = 34377;
constexpr uint16_t kXmpTag = 700;
constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeUndefined = 7;

} // namespace

// Clearing all EXIF of a TIFF must not take its strips with it.
bool isTiffStructureTag(uint16_t tag)
{
    static const uint16_t kept[] = {254, 255, 256, 257, 258, 259, 262, 263, 264, 265, 266, 273, 277, 278, 279,
                                    280, 281, 284, 292, 293, 317, 320, 322, 323, 324, 325, 330, 332, 338, 339,
                                    347, 512, 513, 514, 515, 517, 518, 519, 520, 521, 529, 530, 531, 532,
                                    kXmpTag, kIptcTag, kPhotoshopTag, 34675, kExifIfdTag, kGpsIfdTag,
                                    kInteropIfdTag};
    return std::find(std::begin(kept), std::end(kept), tag) != std::end(kept);
}

namespace {

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    QByteArray raw;   // the twelve bytes as the file has them, for an entry that stays
    QByteArray value; // the value, for an entry written anew
};

struct Directory {
    std::vector<Entry> entries;
    uint32_t next = 0;
};

using Changes = std::map<uint16_t, std::optional<Entry>>;

class TiffBytes {
public:
    TiffBytes(const uchar* data, qint64 size, bool little) : m_data(data), m_size(size), m_little(little) {}

    bool little() const { return m_little; }
    qint64 size() const { return m_size; }
    uint16_t u16(qint64 at) const
    {
        return m_little ? uint16_t(m_data[at] | m_data[at + 1] << 8) : uint16_t(m_data[at] << 8 | m_data[at + 1]);
    }
    uint32_t u32(qint64 at) const
    {
        const uint32_t a = u16(at), b = u16(at + 2);
        return m_little ? (b << 16 | a) : (a << 16 | b);
    }
    QByteArray bytes(qint64 at, qint64 n) const { return QByteArray(reinterpret_cast<const char*>(m_data + at), n); }

    bool readDirectory(uint32_t offset, Directory& dir) const
    {
        dir = {};
        const qint64 at0 = offset; // offsets near 4 GB must not wrap in the bounds tests
        if (at0 < 8 || at0 + 2 > m_size) return false;
        const uint16_t n = u16(at0);
        if (at0 + 2 + qint64(n) * 12 + 4 > m_size) return false;
        for (uint16_t i = 0; i < n; ++i) {
            const qint64 at = at0 + 2 + qint64(i) * 12;
            dir.entries.push_back({u16(at), u16(at + 2), u32(at + 4), bytes(at, 12), {}});
        }
        dir.next = u32(at0 + 2 + qint64(n) * 12);
        return true;
    }

    // The value of an entry that stays, where it lies in the file; empty when it lies outside.
    QByteArray valueOf(const Entry& e) const
    {
        const qint64 unit = Exiv2::TypeInfo::typeSize(static_cast<Exiv2::TypeId>(e.type));
        const qint64 n = unit * qint64(e.count);
        if (unit <= 0 || n > m_size) return {};
        if (n <= 4) return e.raw.mid(8, n);
        const TiffBytes inEntry(reinterpret_cast<const uchar*>(e.raw.constData()), 12, m_little);
        const qint64 at = inEntry.u32(8);
        return at + n <= m_size ? bytes(at, n) : QByteArray();
    }

private:
    const uchar* m_data;
    qint64 m_size;
    bool m_little;
};

void put16(QByteArray& out, uint16_t v, bool little)
{
    const char b[2] = {char(little ? v : v >> 8), char(little ? v >> 8 : v)};
    out.append(b, 2);
}

void put32(QByteArray& out, uint32_t v, bool little)
{
    put16(out, uint16_t(little ? v : v >> 16), little);
    put16(out, uint16_t(little ? v >> 16 : v), little);
}

QByteArray bytes32(uint32_t v, bool little)
{
    QByteArray b;
    put32(b, v, little);
    return b;
}

const Entry* find(const Directory& dir, uint16_t tag)
{
    for (const Entry& e : dir.entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

uint32_t pointerOf(const Directory& dir, uint16_t tag, bool little)
{
    const Entry* e = find(dir, tag);
    if (!e || e->count != 1) return 0;
    return TiffBytes(reinterpret_cast<const uchar*>(e->raw.constData()), 12, little).u32(8);
}

bool encode(const Exiv2::Exifdatum& datum, bool little, Entry& e, QString* why)
{
    const auto type = static_cast<int>(datum.typeId());
    const long unit = Exiv2::TypeInfo::typeSize(datum.typeId());
    if (type < 1 || type > 13 || unit <= 0 || datum.size() <= 0) {
        if (why) *why = QStringLiteral("%1 cannot be stored in a TIFF.").arg(QString::fromStdString(datum.tagName()));
        return false;
    }
    e.tag = datum.tag();
    e.type = uint16_t(type);
    e.value = QByteArray(int(datum.size()), '\0');
    datum.copy(reinterpret_cast<Exiv2::byte*>(e.value.data()), little ? Exiv2::littleEndian : Exiv2::bigEndian);
    e.count = uint32_t(e.value.size() / unit);
    return true;
}

// What the held data changes in one directory: each changed or new tag with its new entry, each
// tag gone with none.
bool changesIn(const char* group, const Exiv2::ExifData& held, const Exiv2::ExifData& inFile, bool little,
               Changes& changes, QString* why)
{
    std::map<uint16_t, const Exiv2::Exifdatum*> now, before;
    for (const auto& d : held)
        if (d.groupName() == group) now.emplace(d.tag(), &d);
    for (const auto& d : inFile)
        if (d.groupName() == group) before.emplace(d.tag(), &d);
    for (const auto& [tag, datum] : now) {
        if (isTiffStructureTag(tag)) continue;
        Entry e;
        if (!encode(*datum, little, e, why)) return false;
        const auto old = before.find(tag);
        if (old != before.end()) {
            Entry was;
            if (encode(*old->second, little, was, nullptr) && was.type == e.type && was.value == e.value) continue;
        }
        changes[tag] = e;
    }
    for (const auto& [tag, datum] : before)
        if (!isTiffStructureTag(tag) && !now.count(tag)) changes[tag] = std::nullopt;
    return true;
}

bool hasGroup(const Exiv2::ExifData& data, const char* group)
{
    return std::any_of(data.begin(), data.end(), [group](const Exiv2::Exifdatum& d) { return d.groupName() == group; });
}

// A directory after the edit: where it now lies (0 for none) and whether that moved.
struct Placed {
    bool moved = false;
    uint32_t offset = 0;
};

class Appender {
public:
    Appender(qint64 base, bool little) : m_base(base), m_little(little) {}
    const QByteArray& tail() const { return m_tail; }
    bool fits() const { return m_base + m_tail.size() < (qint64(1) << 32); }

    // Writes a directory of `entries` after the file; values longer than four bytes first, each
    // on a word boundary as TIFF asks.
    uint32_t append(std::vector<Entry> entries, uint32_t next)
    {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<uint32_t> offsets(entries.size(), 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].raw.isEmpty() || entries[i].value.size() <= 4) continue;
            align();
            offsets[i] = uint32_t(m_base + m_tail.size());
            m_tail += entries[i].value;
        }
        align();
        const auto at = uint32_t(m_base + m_tail.size());
        put16(m_tail, uint16_t(entries.size()), m_little);
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            if (!e.raw.isEmpty()) {
                m_tail += e.raw;
                continue;
            }
            put16(m_tail, e.tag, m_little);
            put16(m_tail, e.type, m_little);
            put32(m_tail, e.count, m_little);
            if (e.value.size() <= 4)
                m_tail += e.value + QByteArray(4 - e.value.size(), '\0');
            else
                put32(m_tail, offsets[i], m_little);
        }
        put32(m_tail, next, m_little);
        return at;
    }

private:
    void align()
    {
        if ((m_base + m_tail.size()) % 2) m_tail.append('\0');
    }
    qint64 m_base;
    bool m_little;
    QByteArray m_tail;
};

// Rewrites one directory with its changes and the new places of its child directories. A
// directory with nothing changed stays where it is; one left without entries goes.
bool rewrite(const TiffBytes& tiff, uint32_t offset, const Changes& changes,
             const std::vector<std::pair<uint16_t, Placed>>& children, bool keepEmpty, Appender& out, Placed& placed,
             QString* why)
{
    placed = {false, offset};
    const bool childMoved = std::any_of(children.begin(), children.end(), [](const auto& c) { return c.second.moved; });
    if (changes.empty() && !childMoved) return true;
    Directory dir;
    if (offset && !tiff.readDirectory(offset, dir)) {
        if (why) *why = QStringLiteral("A directory of the TIFF cannot be read.");
        return false;
    }
    for (const auto& [tag, entry] : changes) {
        std::erase_if(dir.entries, [tag](const Entry& e) { return e.tag == tag; });
        if (entry) dir.entries.push_back(*entry);
    }
    for (const auto& [tag, child] : children) {
        if (!child.moved) continue;
        const Entry* old = find(dir, tag);
        const uint16_t type = old ? old->type : kTypeLong;
        std::erase_if(dir.entries, [tag](const Entry& e) { return e.tag == tag; });
        if (child.offset) dir.entries.push_back({tag, type, 1, {}, bytes32(child.offset, tiff.little())});
    }
    placed.moved = true;
    placed.offset = dir.entries.empty() && !keepEmpty ? 0 : out.append(dir.entries, dir.next);
    return true;
}

// The IPTC block, both where TIFF keeps it and inside a Photoshop resource block when the file
// has one, so that no reader finds the old fields in either.
bool iptcChanges(const TiffBytes& tiff, const Directory& first, const Exiv2::IptcData& held,
                 const Exiv2::IptcData& inFile, Changes& changes)
{
    const Exiv2::DataBuf now = Exiv2::IptcParser::encode(held);
    const Exiv2::DataBuf before = Exiv2::IptcParser::encode(inFile);
    const QByteArray nowBytes(reinterpret_cast<const char*>(now.pData_), now.size_);
    if (nowBytes == QByteArray(reinterpret_cast<const char*>(before.pData_), before.size_)) return true;
    if (nowBytes.isEmpty()) {
        changes[kIptcTag] = std::nullopt;
    } else {
        const Entry* old = find(first, kIptcTag);
        Entry e{kIptcTag, kTypeLong, 0, {}, nowBytes};
        if (old && (old->type == kTypeByte || old->type == kTypeUndefined)) {
            e.type = old->type;
            e.count = uint32_t(nowBytes.size());
        } else {
            // As a run of longs, the form most readers were written for.
            e.value += QByteArray((4 - nowBytes.size() % 4) % 4, '\0');
            e.count = uint32_t(e.value.size() / 4);
        }
        changes[kIptcTag] = e;
    }
    if (const Entry* resources = find(first, kPhotoshopTag)) {
        const QByteArray old = tiff.valueOf(*resources);
        if (old.isEmpty()) return false;
        const Exiv2::DataBuf irb = Exiv2::Photoshop::setIptcIrb(reinterpret_cast<const Exiv2::byte*>(old.constData()),
                                                               long(old.size()), held);
        Entry e{kPhotoshopTag, resources->type, 0, {}, QByteArray(reinterpret_cast<const char*>(irb.pData_), irb.size_)};
        const long unit = Exiv2::TypeInfo::typeSize(static_cast<Exiv2::TypeId>(e.type));
        if (unit != 1) e.type = kTypeUndefined;
        e.count = uint32_t(e.value.size());
        if (e.value.isEmpty())
            changes[kPhotoshopTag] = std::nullopt;
        else
            changes[kPhotoshopTag] = e;
    }
    return true;
}

} // namespace

bool writeTiffMetadata(const QString& path, const Exiv2::ExifData& exif, const Exiv2::IptcData& iptc, SafeFile& out,
                       QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return fail(QStringLiteral("Cannot read ") + path);
    const qint64 size = in.size();
    const uchar* data = size >= 8 ? in.map(0, size) : nullptr;
    if (!data) return fail(QStringLiteral("Cannot read ") + path);
    const bool little = data[0] == 'I' && data[1] == 'I';
    if (!little && !(data[0] == 'M' && data[1] == 'M')) return fail(QStringLiteral("%1 is not a TIFF file.").arg(path));
    const TiffBytes tiff(data, size, little);
    if (tiff.u16(2) != 42)
        return fail(QStringLiteral("%1 is a BigTIFF file; metadata can be written only into classic TIFF files.")
                        .arg(QFileInfo(path).fileName()));
    // A page chain that loops or leads out of the file would, once the new directories lie past
    // the old end, make pages of them: only a sound chain is written to.
    TiffChain chain;
    QString chainError;
    if (!readTiffChain(in, &chain, &chainError))
        return fail(QStringLiteral("The pages of %1 cannot be read: %2").arg(path, chainError));

    Exiv2::ExifData fileExif;
    Exiv2::IptcData fileIptc;
    try {
        auto image = Exiv2::ImageFactory::open(std::string(QFile::encodeName(path).constData()));
        image->readMetadata();
        fileExif = image->exifData();
        fileIptc = image->iptcData();
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }

    QString why;
    Directory first;
    const uint32_t firstOffset = tiff.u32(4);
    if (!tiff.readDirectory(firstOffset, first)) return fail(QStringLiteral("The first page of the TIFF cannot be read."));
    Changes image, photo, gps, interop;
    if (!changesIn("Image", exif, fileExif, little, image, &why) || !changesIn("Photo", exif, fileExif, little, photo, &why)
        || !changesIn("GPSInfo", exif, fileExif, little, gps, &why)
        || !changesIn("Iop", exif, fileExif, little, interop, &why))
        return fail(why);
    if (!iptcChanges(tiff, first, iptc, fileIptc, image))
        return fail(QStringLiteral("The Photoshop resources of the TIFF cannot be read."));

    Appender tail(size + size % 2, little);
    const uint32_t exifOffset = pointerOf(first, kExifIfdTag, little);
    const uint32_t gpsOffset = pointerOf(first, kGpsIfdTag, little);
    Directory exifDir;
    const uint32_t interopOffset =
        exifOffset && tiff.readDirectory(exifOffset, exifDir) ? pointerOf(exifDir, kInteropIfdTag, little) : 0;

    Placed interopAt, exifAt, gpsAt, firstAt;
    // A group emptied as a whole (all EXIF cleared) takes its directory with it, maker note and all.
    const bool photoCleared = exifOffset && !hasGroup(exif, "Photo") && hasGroup(fileExif, "Photo");
    const bool gpsCleared = gpsOffset && !hasGroup(exif, "GPSInfo") && hasGroup(fileExif, "GPSInfo");
    if (!rewrite(tiff, interopOffset, interop, {}, false, tail, interopAt, &why)) return fail(why);
    if (photoCleared)
        exifAt = {true, 0};
    else if (!rewrite(tiff, exifOffset, photo, {{kInteropIfdTag, interopAt}}, false, tail, exifAt, &why))
        return fail(why);
    if (gpsCleared)
        gpsAt = {true, 0};
    else if (!rewrite(tiff, gpsOffset, gps, {}, false, tail, gpsAt, &why))
        return fail(why);
    if (!rewrite(tiff, firstOffset, image, {{kExifIfdTag, exifAt}, {kGpsIfdTag, gpsAt}}, true, tail, firstAt, &why))
        return fail(why);
    if (!tail.fits()) return fail(QStringLiteral("The TIFF would grow beyond 4 GB."));

    QByteArray header = tiff.bytes(0, 4) + bytes32(firstAt.offset, little);
    if (!out.write(header, error)) return false;
    constexpr qint64 kChunk = 1 << 20;
    for (qint64 at = 8; at < size; at += kChunk) {
        const qint64 n = std::min(kChunk, size - at);
        if (!out.write(QByteArray::fromRawData(reinterpret_cast<const char*>(data + at), n), error)) return false;
    }
    if (size % 2 && !tail.tail().isEmpty() && !out.write(QByteArray(1, '\0'), error)) return false;
    return out.write(tail.tail(), error);
}

} // namespace tf
