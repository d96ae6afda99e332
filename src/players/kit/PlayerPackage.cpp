#include "players/kit/PlayerPackage.h"

#include <QIODevice>
#include <QtEndian>

#include <limits>

namespace tf::players {

namespace {

constexpr char kTrailerHead[] = {8, 0, 11, 0};
// No list a builder writes comes near this; a larger one is not ours.
constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;
constexpr qsizetype kMaxEffectOptionsSize = kEffectOptionsFixedSize + std::numeric_limits<int16_t>::max();

void putLe32(QByteArray& out, int32_t value)
{
    char b[4];
    qToLittleEndian<int32_t>(value, b);
    out.append(b, 4);
}

void putLe16(QByteArray& out, int16_t value)
{
    char b[2];
    qToLittleEndian<int16_t>(value, b);
    out.append(b, 2);
}

int32_t le32(const char* p) { return qFromLittleEndian<int32_t>(p); }
int16_t le16(const char* p) { return qFromLittleEndian<int16_t>(p); }

// Plain decimal digits only (no sign, space or separator), at most 2^31 - 1.
std::optional<int32_t> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > kMaxPackageOffset) return std::nullopt;
    return static_cast<int32_t>(value);
}

QByteArray cleanName(const QString& name)
{
    QByteArray bytes = name.toUtf8();
    for (char& c : bytes)
        if (c == ';' || c == '\r' || c == '\n' || c == '\0') c = '_';
    return bytes;
}

QByteArray readAt(QIODevice& file, qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || !file.seek(offset)) return {};
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

} // namespace

QByteArray rollingTextBytes(const QString& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size();) {
        // Surrogate pairs stay together, so the cut never splits a character.
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray ch = text.mid(i, n).toUtf8();
        if (bytes.size() + ch.size() > std::numeric_limits<int16_t>::max()) break;
        bytes += ch;
        i += n;
    }
    return bytes;
}

QByteArray packEffectOptions(const EffectExeOptions& o)
{
    const QByteArray text = o.RollingText.left(std::numeric_limits<int16_t>::max());
    QByteArray out;
    out.reserve(kEffectOptionsFixedSize + text.size());
    putLe16(out, static_cast<int16_t>(text.size()));
    out += text;
    putLe32(out, o.RollingTextColor);
    out.append(static_cast<char>(o.ClockType));
    out.append(static_cast<char>(o.ShowDate));
    for (const OleColor c : {o.DateColor, o.DigitalClockColor, o.HourHandColor, o.MinuteHandColor, o.SecondHandColor})
        putLe32(out, c);
    return out;
}

QByteArray packSaverOptions(const SaverOptions& o)
{
    QByteArray out;
    putLe32(out, o.BackColor);
    putLe16(out, o.Interval);
    return out;
}

std::optional<EffectExeOptions> unpackEffectOptions(const QByteArray& bytes)
{
    if (bytes.size() < kEffectOptionsFixedSize) return std::nullopt;
    const int16_t n = le16(bytes.constData());
    if (n < 0 || kEffectOptionsFixedSize + n != bytes.size()) return std::nullopt;
    const char* p = bytes.constData() + 2;
    EffectExeOptions o;
    o.RollingText = QByteArray(p, n);
    p += n;
    o.RollingTextColor = le32(p);
    o.ClockType = static_cast<uint8_t>(p[4]);
    o.ShowDate = static_cast<uint8_t>(p[5]);
    p += 6;
    for (OleColor* c : {&o.DateColor, &o.DigitalClockColor, &o.HourHandColor, &o.MinuteHandColor, &o.SecondHandColor}) {
        *c = le32(p);
        p += 4;
    }
    return o;
}

std::optional<SaverOptions> unpackSaverOptions(const QByteArray& bytes)
{
    if (bytes.size() != kSaverOptionsSize) return std::nullopt;
    return SaverOptions{le32(bytes.constData()), le16(bytes.constData() + 4)};
}

QByteArray packageTrailer(int32_t listOffset)
{
    QByteArray out(kTrailerHead, 4);
    out += QByteArray::number(listOffset).leftJustified(10, ' ', true);
    out.append('\0');
    return out;
}

bool PackageWriter::fits(qint64 more)
{
    if (m_pos + more + kTrailerSize <= kMaxPackageOffset) return true;
    m_error = QStringLiteral("The show would be larger than 2 GB. Choose fewer pages or a lower quality.");
    return false;
}

bool PackageWriter::put(const QByteArray& bytes, bool zero)
{
    if (!m_error.isEmpty()) return false;
    if (m_out.write(bytes) != bytes.size() || (zero && m_out.write("\0", 1) != 1)) {
        m_error = m_out.errorString();
        if (m_error.isEmpty()) m_error = QStringLiteral("The show could not be written.");
        return false;
    }
    m_pos += bytes.size() + (zero ? 1 : 0);
    return true;
}

bool PackageWriter::writePlayer(const QByteArray& player)
{
    return fits(player.size() + 1) && put(player, true);
}

bool PackageWriter::addPage(const QString& name, const QByteArray& jpeg)
{
    const QByteArray line = cleanName(name) + ';' + QByteArray::number(m_pos) + ';' +
                            QByteArray::number(jpeg.size()) + ";\r\n";
    if (!fits(jpeg.size() + 1 + m_list.size() + line.size() + 40)) return false;
    if (!put(jpeg, true)) return false;
    m_list += line;
    ++m_pages;
    return true;
}

bool PackageWriter::finish(const QByteArray& optionsRecord)
{
    const QByteArray line = "OPTIONS;" + QByteArray::number(m_pos) + ";\r\n";
    if (!fits(optionsRecord.size() + m_list.size() + line.size() + 1)) return false;
    m_list += line;
    if (!put(optionsRecord, false)) return false;
    const int32_t listOffset = static_cast<int32_t>(m_pos);
    return put(m_list, true) && put(packageTrailer(listOffset), false);
}

namespace {

// Why a package that ends in a trailer is not whole; the slide show says it to the user.
enum class Damage { None, Trailer, List, Pages, NotJpeg, Options, Unreadable };

QString describe(Damage damage)
{
    switch (damage) {
    case Damage::None: return {};
    case Damage::Trailer: return QStringLiteral("its last bytes do not say where its list of pages is.");
    case Damage::List: return QStringLiteral("its list of pages is damaged.");
    case Damage::Pages: return QStringLiteral("its pages are not where its list says.");
    case Damage::NotJpeg: return QStringLiteral("a page it carries is not a JPEG picture.");
    case Damage::Options: return QStringLiteral("its options are damaged.");
    case Damage::Unreadable: return QStringLiteral("it cannot be read.");
    }
    return {};
}

// A number as the writer writes it: its digits, no leading zero.
std::optional<int32_t> writtenNumber(QByteArrayView text)
{
    if (text.size() > 1 && text.front() == '0') return std::nullopt;
    return decimal(text);
}

// A page name as the writer writes it: UTF-8 that reads back to the same bytes, none of the bytes
// the writer replaces.
bool writtenName(const QByteArray& name)
{
    for (const char c : name)
        if (c == '\0' || c == ';' || c == '\r' || c == '\n') return false;
    return QString::fromUtf8(name).toUtf8() == name;
}

// The size of the record `kind` that starts with `head` (at least 2 bytes); -1 when it cannot be one.
qint64 recordSize(OptionsKind kind, const QByteArray& head)
{
    if (kind == OptionsKind::Saver) return kSaverOptionsSize;
    const int16_t n = le16(head.constData());
    return n < 0 ? -1 : kEffectOptionsFixedSize + n;
}

struct Reading {
    QIODevice& file;
    qint64 length;
    OptionsKind kind;
    Damage damage = Damage::None;

    std::optional<Package> fail(Damage why)
    {
        damage = why;
        return std::nullopt;
    }

    std::optional<Package> read()
    {
        if (length < kTrailerSize) return std::nullopt;
        const QByteArray trailer = readAt(file, length - kTrailerSize, kTrailerSize);
        if (trailer.size() != kTrailerSize) return std::nullopt;
        // The digits, then nothing but the padding. Anything else is no package at all.
        const QByteArrayView chars = QByteArrayView(trailer).sliced(4, 10);
        const qsizetype digits = chars.indexOf(' ') < 0 ? 10 : chars.indexOf(' ');
        for (const char c : chars.sliced(digits))
            if (c != ' ') return std::nullopt;
        const std::optional<int32_t> number = decimal(chars.first(digits));
        if (!number) return std::nullopt;

        if (!trailer.startsWith(QByteArrayView(kTrailerHead, 4)) || trailer.at(14) != 0 ||
            !writtenNumber(chars.first(digits)))
            return fail(Damage::Trailer);
        const qint64 listOffset = *number;
        // The list text, its 0 byte, the trailer; the list is at least an options line.
        const qint64 listSize = length - listOffset - kTrailerSize - 1;
        if (listOffset <= 0 || listSize < qsizetype(sizeof("OPTIONS;0;\r\n") - 1) || listSize > kMaxListBytes)
            return fail(Damage::Trailer);
        const QByteArray blob = readAt(file, listOffset, listSize + 1);
        if (blob.isEmpty()) return fail(Damage::Unreadable);
        if (!blob.endsWith(QByteArrayView(";\r\n\0", 4))) return fail(Damage::List);

        Package package;
        const QList<QByteArray> lines = blob.first(listSize).split('\n');
        // Every line ended "\r\n", so the split leaves one empty piece after the last.
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            if (!line.endsWith('\r')) return fail(Damage::List);
            const QList<QByteArray> fields = line.first(line.size() - 1).split(';');
            if (i + 2 == lines.size()) {
                const std::optional<int32_t> at =
                    fields.size() == 3 && fields[0] == "OPTIONS" && fields[2].isEmpty() ? writtenNumber(fields[1]) : std::nullopt;
                if (!at) return fail(Damage::List);
                package.optionsOffset = *at;
                break;
            }
            if (fields.size() != 4 || !fields[3].isEmpty() || !writtenName(fields[0])) return fail(Damage::List);
            const std::optional<int32_t> offset = writtenNumber(fields[1]);
            const std::optional<int32_t> size = writtenNumber(fields[2]);
            if (!offset || !size) return fail(Damage::List);
            package.items.push_back({QString::fromUtf8(fields[0]), *offset, *size});
        }

        // The blobs one after another: the player's 0, each page and its 0, the record, the list.
        qint64 next = package.items.isEmpty() ? package.optionsOffset : package.items.first().offset;
        if (next < 1 || next > listOffset) return fail(Damage::Pages);
        const QByteArray playerEnd = readAt(file, next - 1, 1);
        if (playerEnd.isEmpty()) return fail(Damage::Unreadable);
        if (playerEnd.at(0) != 0) return fail(Damage::Pages);
        for (const PlayerItem& item : package.items) {
            if (item.offset != next || qint64(item.offset) + item.size + 1 > listOffset) return fail(Damage::Pages);
            const Damage page = checkPage(item);
            if (page != Damage::None) return fail(page);
            next = qint64(item.offset) + item.size + 1;
        }
        if (package.optionsOffset != next) return fail(Damage::Pages);

        const qint64 optionsSize = listOffset - package.optionsOffset;
        if (optionsSize < 2) return fail(Damage::Options);
        package.options = readAt(file, package.optionsOffset, optionsSize);
        if (package.options.isEmpty()) return fail(Damage::Unreadable);
        if (recordSize(kind, package.options) != optionsSize) return fail(Damage::Options);
        return package;
    }

    // A page starts as every JPEG does (SOI and the next marker's FF), ends with EOI, and is
    // followed by its 0 byte.
    Damage checkPage(const PlayerItem& item)
    {
        if (item.size < 4) return Damage::NotJpeg;
        const QByteArray head = readAt(file, item.offset, 3);
        const QByteArray tail = readAt(file, qint64(item.offset) + item.size - 2, 3);
        if (head.isEmpty() || tail.isEmpty()) return Damage::Unreadable;
        if (head != QByteArrayView("\xff\xd8\xff", 3) || !tail.startsWith(QByteArrayView("\xff\xd9", 2)))
            return Damage::NotJpeg;
        return tail.at(2) == 0 ? Damage::None : Damage::Pages;
    }
};

} // namespace

std::optional<Package> readPackage(QIODevice& file, qint64 length, OptionsKind kind, QString* damage)
{
    Reading reading{file, length, kind};
    std::optional<Package> package = reading.read();
    if (damage) *damage = describe(reading.damage);
    return package;
}

QByteArray readItem(QIODevice& file, const PlayerItem& item)
{
    if (item.offset < 0 || item.size <= 0) return {};
    return readAt(file, item.offset, item.size);
}

} // namespace tf::players
