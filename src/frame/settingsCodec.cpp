#include "frame/settingsCodec.h"

#include "frame/settingsLayout.h"
#include "platform/sys/textencoding.h"

#include <cstring>
#include <type_traits>

namespace tf {

namespace {

class Writer {
public:
    QByteArray bytes;

    template <class T>
    void field(const char*, int, const T& value)
    {
        if constexpr (std::is_same_v<T, QString>) {
            const QByteArray text = utf8Prefix(value, kMaxStoredTextBytes);
            putLittleEndian(static_cast<uint16_t>(text.size()));
            bytes.append(text);
        } else if constexpr (std::is_same_v<T, double>) {
            uint64_t raw = 0;
            std::memcpy(&raw, &value, sizeof raw);
            putLittleEndian(raw);
        } else {
            putLittleEndian(static_cast<std::make_unsigned_t<T>>(value));
        }
    }

    void fixed(const char*, const QString& value)
    {
        QByteArray text = utf8Prefix(value, kFixedTextBytes);
        text.append(kFixedTextBytes - text.size(), ' ');
        bytes.append(text);
    }

private:
    template <class U>
    void putLittleEndian(U value)
    {
        for (size_t i = 0; i < sizeof(U); ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
};

class Reader {
public:
    explicit Reader(const QByteArray& data) : m_data(data) {}

    SettingsDecodeResult result = SettingsDecodeResult::Ok;

    template <class T>
    void field(const char*, int, T& value)
    {
        if (result != SettingsDecodeResult::Ok) return;
        if constexpr (std::is_same_v<T, QString>) {
            uint16_t count = 0;
            if (!take(count)) return;
            if (count > m_data.size() - m_pos) {
                result = SettingsDecodeResult::TextPastEnd;
                return;
            }
            value = decodeStoredText(m_data.mid(m_pos, count));
            m_pos += count;
        } else if constexpr (std::is_same_v<T, double>) {
            uint64_t raw = 0;
            if (!take(raw)) return;
            std::memcpy(&value, &raw, sizeof value);
        } else {
            std::make_unsigned_t<T> raw = 0;
            if (!take(raw)) return;
            value = static_cast<T>(raw);
        }
    }

    void fixed(const char*, QString& value)
    {
        if (result != SettingsDecodeResult::Ok) return;
        if (m_data.size() - m_pos < kFixedTextBytes) {
            result = SettingsDecodeResult::TooShort;
            return;
        }
        QByteArray text = m_data.mid(m_pos, kFixedTextBytes);
        m_pos += kFixedTextBytes;
        // Blank padding, and the NULs of a member that was never assigned, are not part of the text.
        qsizetype end = text.size();
        while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
        text.truncate(end);
        value = decodeStoredText(text);
    }

private:
    template <class U>
    bool take(U& value)
    {
        if (m_data.size() - m_pos < static_cast<qsizetype>(sizeof(U))) {
            result = SettingsDecodeResult::TooShort;
            return false;
        }
        value = 0;
        for (size_t i = 0; i < sizeof(U); ++i)
            value |= static_cast<U>(static_cast<U>(static_cast<unsigned char>(m_data[m_pos + i])) << (8 * i));
        m_pos += sizeof(U);
        return true;
    }

    const QByteArray& m_data;
    qsizetype m_pos = 0;

public:
    qsizetype consumed() const { return m_pos; }
};

} // namespace

QByteArray utf8Prefix(const QString& text, qsizetype maxBytes)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes) return bytes;
    qsizetype cut = maxBytes;
    // A byte 10xxxxxx continues the character before it: back up to where that character starts.
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.truncate(cut);
    return bytes;
}

QString decodeStoredText(const QByteArray& bytes)
{
    return decodeUtf8OrWindows1252(bytes);
}

QByteArray encodeSettings(const typSettings& udtSettings)
{
    Writer writer;
    writer.bytes.reserve(kSettingsRecordBytes + 2 * kFixedTextBytes);
    visitSettingsFields(udtSettings, writer);
    if (udtSettings.WindowPlaced) {
        writer.bytes.append(kWindowPlaceTag, 4);
        writer.field("WindowLeft", -1, udtSettings.WindowLeft);
        writer.field("WindowTop", -1, udtSettings.WindowTop);
    }
    return writer.bytes;
}

namespace {
SettingsDecodeResult decodeWhole(const QByteArray& bytes, typSettings& out, qsizetype* consumed = nullptr)
{
    if (bytes.size() < kSettingsRecordBytes) return SettingsDecodeResult::TooShort;
    typSettings record;
    Reader reader(bytes);
    visitSettingsFields(record, reader);
    if (consumed) *consumed = reader.consumed();
    if (reader.result != SettingsDecodeResult::Ok) return reader.result;
    // Anything else behind the record (an old image) leaves the place unknown.
    const qsizetype end = reader.consumed();
    if (bytes.size() - end >= 12 && bytes.mid(end, 4) == QByteArray(kWindowPlaceTag, 4)) {
        const QByteArray tail = bytes.mid(end + 4, 8);
        Reader place(tail);
        place.field("WindowLeft", -1, record.WindowLeft);
        place.field("WindowTop", -1, record.WindowTop);
        record.WindowPlaced = true;
    }
    out = record;
    return reader.result;
}
} // namespace

SettingsDecodeResult decodeSettings(const QByteArray& bytes, typSettings& out)
{
    const SettingsDecodeResult result = decodeWhole(bytes, out);
    if (result != SettingsDecodeResult::TooShort) return result;
    // A record written before the text font's name was kept ends where the name's count starts:
    // it reads as naming no font, not as a damaged file that would cost the user every setting.
    const QByteArray older = bytes + QByteArray(2, '\0');
    typSettings record;
    qsizetype consumed = 0;
    if (decodeWhole(older, record, &consumed) != SettingsDecodeResult::Ok || consumed != older.size()) return result;
    out = record;
    return SettingsDecodeResult::Ok;
}

} // namespace tf
