#pragma once
#include "frame/modSettings.h"

#include <QByteArray>
#include <QString>

namespace tf {

// The settings file is the record's members packed in order, little-endian, with no header and
// no padding: Byte 1, Integer 2, Long 4, Double 8 bytes; a variable text is a 2-byte byte count and
// its bytes; a fixed text is 256 bytes padded with blanks. Texts are written as UTF-8. Behind the
// record, when the window's place is known: kWindowPlaceTag and its left and top as two Longs, a
// tail that a reader of the record alone passes over as it passes over any bytes behind it.

// Size of the record when every variable text is empty (fixed part plus the sixteen counts).
inline constexpr qsizetype kSettingsRecordBytes = 1083;
inline constexpr int kSettingsTextCount = 16;
inline constexpr int kFixedTextBytes = 256;
inline constexpr qsizetype kMaxStoredTextBytes = 0xFFFF;
// No valid record is longer; a longer file holds an old image behind the record.
inline constexpr qsizetype kSettingsMaxBytes = kSettingsRecordBytes + kSettingsTextCount * kMaxStoredTextBytes;

inline constexpr char kWindowPlaceTag[] = "WPOS";

QByteArray encodeSettings(const typSettings& udtSettings);

enum class SettingsDecodeResult {
    Ok,
    TooShort,    // the bytes end before the record does
    TextPastEnd, // a text's byte count runs past the end of the bytes
};

// Reads the record from the first byte; bytes behind the record are ignored. On failure out is
// left untouched.
SettingsDecodeResult decodeSettings(const QByteArray& bytes, typSettings& out);

// The text's UTF-8 bytes, at most maxBytes of them, cut before a character that would not fit whole.
QByteArray utf8Prefix(const QString& text, qsizetype maxBytes);

// Text as stored by any version of the program: UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252 (the files written on Windows).
QString decodeStoredText(const QByteArray& bytes);

} // namespace tf
