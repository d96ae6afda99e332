#pragma once
// The package a built show carries after its player program: the pages as JPEG blobs, an options
// record, a list of what is where, and a 15-byte trailer that locates the list. One writer (the
// builders) and one reader (the players); the reader takes only what the writer can have written.
//
// Layout, every blob followed by one 0 byte: player bytes, page JPEGs, options record (no 0),
// list text, trailer "08 00 0B 00" + list offset as 10 left-aligned space-padded digits + 00.
// List lines end CR LF: "name;offset;length;" per page, then "OPTIONS;offset;". Integers are
// little-endian, offsets absolute and below 2^31, numbers without sign or leading zeros, text
// UTF-8. The blobs follow one another with nothing between them.
#include "platform/sys/colors.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

namespace tf::players {

struct PlayerItem {
    QString name;
    int32_t offset = 0;
    int32_t size = 0; // the JPEG's bytes; its blob is one longer
};

struct EffectExeOptions {
    QByteArray RollingText; // UTF-8, at most 32767 bytes
    OleColor RollingTextColor = 0;
    uint8_t ClockType = 0; // 0 analog, 1 digital
    uint8_t ShowDate = 0;
    OleColor DateColor = 0;
    OleColor DigitalClockColor = 0;
    OleColor HourHandColor = 0;
    OleColor MinuteHandColor = 0;
    OleColor SecondHandColor = 0;
    bool operator==(const EffectExeOptions&) const = default;
};

struct SaverOptions {
    OleColor BackColor = 0;
    int16_t Interval = 0; // seconds per page
    bool operator==(const SaverOptions&) const = default;
};

inline constexpr qsizetype kEffectOptionsFixedSize = 28;
inline constexpr qsizetype kSaverOptionsSize = 6;
inline constexpr qsizetype kTrailerSize = 15;
inline constexpr qint64 kMaxPackageOffset = 0x7FFFFFFF;

QByteArray packEffectOptions(const EffectExeOptions& options);
QByteArray packSaverOptions(const SaverOptions& options);
// Empty unless the bytes are one whole record (a text length of 0 or more, and that many bytes).
std::optional<EffectExeOptions> unpackEffectOptions(const QByteArray& bytes);
std::optional<SaverOptions> unpackSaverOptions(const QByteArray& bytes);
QByteArray packageTrailer(int32_t listOffset);
// The rolling text as the record stores it: UTF-8 cut at a character boundary to fit 16 bits.
QByteArray rollingTextBytes(const QString& text);

// Writes a show into `out` from its start, the player first. Keeps its own count of the bytes
// written, so `out` may be a file that is not seekable while written.
class PackageWriter {
public:
    explicit PackageWriter(QIODevice& out) : m_out(out) {}
    bool writePlayer(const QByteArray& player);
    // A name's ';', CR, LF and 0 become '_': the list has no escapes, and no player reads the name.
    bool addPage(const QString& name, const QByteArray& jpeg);
    // The options record, the list and the trailer; the package is complete once this is true.
    bool finish(const QByteArray& optionsRecord);
    int pages() const { return m_pages; }
    QString error() const { return m_error; }

private:
    bool put(const QByteArray& bytes, bool zero);
    bool fits(qint64 more);
    QIODevice& m_out;
    qint64 m_pos = 0;
    QByteArray m_list;
    int m_pages = 0;
    QString m_error;
};

struct Package {
    QList<PlayerItem> items;
    int32_t optionsOffset = 0;
    QByteArray options; // the options record, whole
};

// Which options record a show carries: the effect shows' EffectExeOptions, the others' SaverOptions.
enum class OptionsKind { Effect, Saver };

// The package at the end of `file` (random access, `length` bytes), with an options record of
// `kind`. Empty unless every piece is where and as the writer puts it: the blobs one after the
// other, each page a JPEG followed by its 0 byte, the record as long as its kind, the list and
// trailer as written. When the file ends in a trailer's number but the package is not whole,
// `damage` (when given) says what is wrong; it stays empty for a file that carries no package.
std::optional<Package> readPackage(QIODevice& file, qint64 length, OptionsKind kind, QString* damage = nullptr);
// The JPEG bytes of one item of a package read from `file`; empty when they cannot be read.
QByteArray readItem(QIODevice& file, const PlayerItem& item);

} // namespace tf::players
