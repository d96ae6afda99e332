#include "basket/modSaveBatch.h"

#include "metadata/ExifIptc.h"
#include "platform/imagebox/page_writers.h"
#include "platform/sys/numbers.h"
#include "services/clsFileInfo.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace tf {

const QStringList& batchNamingTokens()
{
    static const QStringList tokens = {
        "[No Prefix]",           "[Resulting resolution]",  "[Resulting size]",      "[Date Today-Time]",
        "[Date Today]",          "[Source resolution]",     "[Source size]",         "[Source Date Created]",
        "[Source Date Modified]", "[Source Date Accessed]", "[EXIF Image Description]", "[EXIF Artist]",
        "[EXIF Date]",           "[EXIF Date-Time]",        "[EXIF Make]",           "[EXIF Model]",
        "[EXIF Make & Model]",   "[EXIF X-Y Dimension]",    "[IPTC Headline]",       "[IPTC Caption]",
        "[IPTC Author]",         "[IPTC Date Created]",     "[IPTC Date Released]",  "[IPTC Ref. Date]",
        "[IPTC Ref. Number]"};
    return tokens;
}

const QStringList& batchSeparators()
{
    static const QStringList separators = {"_", "-", "=", ",", ".", ";", "!", "AND", "[WhiteSpace]", "[No Separator]"};
    return separators;
}

QString batchLongDate(const QDateTime& when)
{
    return when.isValid() ? QLocale::c().toString(when, QStringLiteral("M.d.yyyy h.mm.ss AP")) : QString();
}

QString batchShortDate(const QDate& day)
{
    return day.isValid() ? QLocale::c().toString(day, QStringLiteral("M.d.yyyy")) : QString();
}

namespace {

bool isExifDateName(const QString& name)
{
    const QString n = name.trimmed();
    for (const char* date : {"DateTime", "DateTimeOriginal", "DateTimeDigitized"})
        if (n.compare(QLatin1String(date), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString exifDate(const ExifIptc* meta, const QDateTime& now, bool withTime)
{
    if (!meta || meta->ExifCount() == 0) return {};
    const auto format = [withTime](const QDateTime& when) {
        return withTime ? batchLongDate(when) : batchShortDate(when.date());
    };
    for (int i = 0; i < meta->ExifCount(); ++i) {
        if (isExifDateName(meta->ExifName(i)))
            return format(ExifIptc::ExifTextToDate(meta->ExifValue(i).trimmed()));
    }
    return format(now);
}

QString pairOrEmpty(const QString& a, const QString& joint, const QString& b)
{
    const QString both = a + joint + b;
    return both.trimmed() == joint ? QString() : both;
}

// Linux keeps no reliable birth time on every file system; the last change of the content is
// the closest stand-in.
QDateTime createdOf(const QFileInfo& info)
{
    const QDateTime born = info.birthTime();
    return born.isValid() ? born : info.lastModified();
}

} // namespace

QString fncRetrieveNamingString(const PageImage& image, const QString& token, const NamingFacts& facts)
{
    if (image.isNull() && !facts.undecoded) return {};
    const auto meta = [&]() -> const ExifIptc* { return facts.metadata ? facts.metadata() : nullptr; };
    const auto exif = [&](const char* name) {
        const ExifIptc* m = meta();
        return m ? m->ExifValueByName(QString::fromLatin1(name)) : QString();
    };
    const auto iptc = [&](auto read) -> QString {
        const ExifIptc* m = meta();
        return m && m->HasIptc() ? read(*m) : QString();
    };
    const auto iptcDate = [&](QDate (ExifIptc::*field)() const) {
        return iptc([&](const ExifIptc& m) { return batchLongDate(QDateTime((m.*field)(), QTime(0, 0))); });
    };
    const QFileInfo source(facts.sourcePath);

    if (token == QLatin1String("[No Prefix]")) return {};
    if (token == QLatin1String("[Resulting resolution]"))
        return QString::number(image.pixels.width()) + QLatin1Char('x') + QString::number(image.pixels.height());
    if (token == QLatin1String("[Resulting size]")) {
        const int32_t bytes = encodedPageSize(image, facts.extension == QLatin1String("pdf") ? 8 : 7);
        return QString::number(roundToLong(bytes / 1024.0)) + QStringLiteral("Kb");
    }
    if (token == QLatin1String("[Date Today-Time]")) return batchLongDate(facts.now);
    if (token == QLatin1String("[Date Today]")) return batchShortDate(facts.now.date());
    if (token == QLatin1String("[Source resolution]")) return facts.sourceResolution;
    if (token == QLatin1String("[Source size]")) return source.isFile() ? fncFormatSize(source.size()) : QString();
    if (token == QLatin1String("[Source Date Created]")) return batchLongDate(createdOf(source));
    if (token == QLatin1String("[Source Date Modified]")) return batchLongDate(source.lastModified());
    if (token == QLatin1String("[Source Date Accessed]")) return batchLongDate(source.lastRead());
    if (token == QLatin1String("[EXIF Image Description]")) return exif("ImageDescription");
    if (token == QLatin1String("[EXIF Artist]")) return exif("Artist");
    if (token == QLatin1String("[EXIF Date]")) return exifDate(meta(), facts.now, false);
    if (token == QLatin1String("[EXIF Date-Time]")) return exifDate(meta(), facts.now, true);
    if (token == QLatin1String("[EXIF Make]")) return exif("Make");
    if (token == QLatin1String("[EXIF Model]")) return exif("Model");
    if (token == QLatin1String("[EXIF Make & Model]")) return pairOrEmpty(exif("Make"), "-", exif("Model"));
    if (token == QLatin1String("[EXIF X-Y Dimension]"))
        return pairOrEmpty(exif("PixelXDimension"), "x", exif("PixelYDimension"));
    if (token == QLatin1String("[IPTC Headline]")) return iptc([](const ExifIptc& m) { return m.IptcHeadline(); });
    if (token == QLatin1String("[IPTC Caption]")) return iptc([](const ExifIptc& m) { return m.IptcCaption(); });
    if (token == QLatin1String("[IPTC Author]")) return iptc([](const ExifIptc& m) { return m.IptcAuthor(); });
    if (token == QLatin1String("[IPTC Date Created]")) return iptcDate(&ExifIptc::IptcDateCreated);
    if (token == QLatin1String("[IPTC Date Released]")) return iptcDate(&ExifIptc::IptcDateReleased);
    if (token == QLatin1String("[IPTC Ref. Date]")) return iptcDate(&ExifIptc::IptcReferenceDate);
    if (token == QLatin1String("[IPTC Ref. Number]"))
        return iptc([](const ExifIptc& m) { return m.IptcReferenceNumber(); });
    return token;
}

QString fncSeparator(const QString& separator)
{
    if (separator == QLatin1String("[WhiteSpace]")) return QStringLiteral(" ");
    if (separator == QLatin1String("[No Separator]")) return {};
    return separator;
}

QString safeNamePart(const QString& text, int maxChars)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const bool refused = c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c) ||
                             (c.unicode() >= 0xdc80 && c.unicode() <= 0xdcff); // a byte that was no UTF-8
        out += refused ? QChar(u'_') : c;
    }
    if (out.size() > maxChars) {
        out.truncate(maxChars);
        if (out.back().isHighSurrogate()) out.chop(1);
    }
    return out;
}

QString visibleFileBase(const QString& base)
{
    if (base.isEmpty()) return QStringLiteral("_");
    QString out = base;
    if (out.front() == QLatin1Char('.')) out.front() = QLatin1Char('_');
    return out;
}

QString capUtf8Bytes(const QString& name, int maxBytes)
{
    QString out = name;
    while (out.toUtf8().size() > maxBytes) {
        out.chop(1);
        if (!out.isEmpty() && out.back().isHighSurrogate()) out.chop(1);
    }
    return out;
}

std::optional<int64_t> batchCounterStart(const QString& counterText)
{
    const QString t = counterText.trimmed();
    if (t == kCounterStart1) return 1;
    if (t == kCounterStart1001) return 1001;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(t).hasMatch()) return std::nullopt;
    return t.toLongLong();
}

} // namespace tf
