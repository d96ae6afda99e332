#pragma once
// The naming rule of the single-page conversion: the tokens a prefix or suffix may be, the
// separators, the counter, and how a page's output name is put together from them.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace tf {
class ExifIptc;
struct PageImage;

// The lists the dialog offers, in its order.
const QStringList& batchNamingTokens();
const QStringList& batchSeparators();
inline const QString kCounterStart1 = QStringLiteral("[Starting 1]");
inline const QString kCounterStart1001 = QStringLiteral("[Starting 1001]");

// The dates of names: "3.5.2007 2.07.09 PM" and "3.5.2007", whatever the user's locale.
QString batchLongDate(const QDateTime& when);
QString batchShortDate(const QDate& day);

// What a token may read besides the image itself, gathered once per page.
struct NamingFacts {
    QString sourcePath;       // the file the page was read from
    QString sourceResolution; // "WxH" as read, before the task list
    QString extension;        // "tif" or "pdf"
    QDateTime now;
    // The page's EXIF and IPTC, read on first use; null when the file has none that read.
    std::function<const ExifIptc*()> metadata = {};
    // The page goes out as its file is, never decoded: it has a picture though the document
    // holds none (no token that reads the pixels is asked for then).
    bool undecoded = false;
};

// A prefix or suffix as text: one of the tokens, or the text itself when it is none. Every text
// is empty when `image` holds no image.
QString fncRetrieveNamingString(const PageImage& image, const QString& token, const NamingFacts& facts);
// "[WhiteSpace]" is one blank, "[No Separator]" nothing, anything else itself.
QString fncSeparator(const QString& separator);

// A text that came from outside the file system (metadata, typed text) made fit to be part of a
// file name: path separators, the characters other systems refuse and control characters become
// "_", and the result is at most `maxChars` characters. Blanks stay where they are.
QString safeNamePart(const QString& text, int maxChars = 100);
// The name an output file gets before its extension: never empty, and never hidden (a leading
// "." becomes "_", as a character a file name cannot hold does).
QString visibleFileBase(const QString& base);
// Cuts a name to at most `maxBytes` bytes of UTF-8 without splitting a character.
QString capUtf8Bytes(const QString& name, int maxBytes);

// The first number of the counter for its text: 1 and 1001 for the two list entries, else the
// whole number typed (blanks around it allowed). Nothing for any other text.
std::optional<int64_t> batchCounterStart(const QString& counterText);

} // namespace tf
