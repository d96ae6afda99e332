#include "metadata/ExifIptc.h"

#include "metadata/tiffMetadata.h"

#include "platform/sys/blockingcalls.h"
#include "platform/sys/safefile.h"
#include "platform/sys/textencoding.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <exiv2/exiv2.hpp>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace tf {

namespace {
// A picture whose metadata is rewritten is held in memory while it is.
constexpr qint64 kMaxPictureBytes = qint64(1) << 30;
} // namespace

namespace {

// exiv2 prints warnings about odd files on the console; the program reports what matters itself.
void muteExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Files are read on worker threads: the XMP parser is set up once, before any of them.
        Exiv2::XmpParser::initialize();
    });
}

// Tag names whose spelling the program's tables were written with differ from exiv2's.
constexpr std::pair<const char*, const char*> kNameTranslations[] = {
    {"ExifTag", "ExifOffset"},
    {"GPSTag", "GPSInfo"},
    {"InteroperabilityTag", "InteroperabilityOffset"},
    {"FlashpixVersion", "FlashPixVersion"},
    {"RelatedSoundFile", "RelatedAudioFile"},
    {"Thresholding", "Threshholding"},
};

// Only these groups are the picture's own EXIF; thumbnails and maker notes would add hundreds
// of rows no one can edit.
bool isListedGroup(const std::string& group)
{
    return group == "Image" || group == "Photo" || group == "Iop" || group == "GPSInfo";
}

std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

bool isUtf8(const std::string& s)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder reports errors only once the text has actually been made.
    const QString text = dec.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    Q_UNUSED(text)
    return !dec.hasError();
}

// Text from files of any origin: UTF-8 where it is valid, otherwise the Windows code page that
// older programs wrote, so "Café" stored in Latin-1 still reads as "Café".
QString decodeText(const std::string& raw)
{
    return decodeUtf8OrWindows1252(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())));
}

QString hexBytes(const Exiv2::Value& value)
{
    std::vector<Exiv2::byte> bytes(static_cast<size_t>(value.size()));
    if (!bytes.empty()) value.copy(bytes.data(), Exiv2::invalidByteOrder);
    QStringList parts;
    parts.reserve(static_cast<qsizetype>(bytes.size()));
    for (auto b : bytes) parts << QStringLiteral("%1").arg(unsigned(b), 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(','));
}

QString numberText(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return QString::fromLatin1(buf);
}

QString valueText(const Exiv2::Exifdatum& datum)
{
    const Exiv2::Value& value = datum.value();
    const QString tag = QString::fromStdString(datum.tagName());
    if (tag == QLatin1String("UserComment")) {
        if (auto* c = dynamic_cast<const Exiv2::CommentValue*>(&value)) return decodeText(c->comment()).trimmed();
    }
    if (tag == QLatin1String("MakerNote")) return QStringLiteral("(%1 bytes)").arg(value.size());
    QStringList parts;
    const long count = value.count();
    switch (value.typeId()) {
    case Exiv2::asciiString: {
        const std::string s = value.toString();
        return decodeText(std::string(s.c_str())); // up to the first NUL
    }
    case Exiv2::undefined:
        return hexBytes(value);
    case Exiv2::unsignedRational:
    case Exiv2::signedRational:
        for (long i = 0; i < count; ++i) {
            const auto r = value.toRational(i);
            parts << QStringLiteral("%1/%2").arg(r.first).arg(r.second);
        }
        return parts.join(QLatin1Char(','));
    case Exiv2::tiffFloat:
    case Exiv2::tiffDouble:
        for (long i = 0; i < count; ++i) parts << numberText(value.toFloat(i));
        return parts.join(QLatin1Char(','));
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
    case Exiv2::tiffIfd:
        for (long i = 0; i < count; ++i) parts << QString::number(static_cast<qint64>(value.toLong(i)));
        return parts.join(QLatin1Char(','));
    default:
        return QString::fromStdString(value.toString());
    }
}

bool looksLikeTiff(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(4);
    // BigTIFF too: the TIFF writer refuses it in words of the file, where exiv2 would not know it.
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4) || head == QByteArray("II+\0", 4) ||
           head == QByteArray("MM\0+", 4);
}

// libtiff's messages about odd tags are not the user's concern here; failures come back as results.
struct QuietTiff {
    TIFFErrorHandler warn = TIFFSetWarningHandler(nullptr);
    TIFFErrorHandler err = TIFFSetErrorHandler(nullptr);
    ~QuietTiff()
    {
        TIFFSetWarningHandler(warn);
        TIFFSetErrorHandler(err);
    }
};

int tiffPageCount(const QString& path)
{
    if (!looksLikeTiff(path)) return -1;
    QuietTiff quiet;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif) return -1;
    int n = 0;
    do {
        ++n;
    } while (TIFFReadDirectory(tif) && n < 100000);
    TIFFClose(tif);
    return n;
}

// What of the held metadata a written file does not have (a JPEG's EXIF block holds 64 KB, and
// exiv2 drops tags to fit): the first attribute or field missing or different, empty when none.
QString lostInWriting(const Exiv2::ExifData& held, const Exiv2::IptcData& heldIptc, const Exiv2::ExifData& written,
                      const Exiv2::IptcData& writtenIptc)
{
    auto bytesOf = [](const auto& datum) {
        std::vector<Exiv2::byte> b(static_cast<size_t>(std::max<long>(datum.size(), 0)));
        if (!b.empty()) datum.copy(b.data(), Exiv2::littleEndian);
        return b;
    };
    for (const auto& datum : held) {
        // Empty values are not written by anyone; they cannot be lost.
        if (!isListedGroup(datum.groupName()) || isTiffStructureTag(datum.tag()) || datum.size() == 0) continue;
        auto it = written.findKey(Exiv2::ExifKey(datum.key()));
        if (it == written.end() || it->typeId() != datum.typeId() || bytesOf(*it) != bytesOf(datum))
            return exifNameFromTag(QString::fromStdString(datum.tagName()));
    }
    for (const auto& datum : heldIptc) {
        if (datum.size() == 0) continue;
        const auto same = [&](const Exiv2::Iptcdatum& w) {
            return w.record() == datum.record() && w.tag() == datum.tag() && bytesOf(w) == bytesOf(datum);
        };
        if (std::none_of(writtenIptc.begin(), writtenIptc.end(), same)) {
            for (const auto& f : iptcFields())
                if (datum.record() == Exiv2::IptcDataSets::application2 && f.dataset == datum.tag())
                    return QString::fromLatin1(f.name);
            return QString::fromStdString(datum.tagName());
        }
    }
    return {};
}

// Whether there is IPTC to write: record 2 datasets with a value (the envelope alone is none).
bool holdsIptc(const Exiv2::IptcData& iptc)
{
    return std::any_of(iptc.begin(), iptc.end(), [](const Exiv2::Iptcdatum& d) {
        return d.record() == Exiv2::IptcDataSets::application2 && d.tag() != 0 && d.size() > 0;
    });
}

// "WebP image" for "image/webp", as the desktop names the type.
QString kindOfImage(const std::string& mime)
{
    const QString name = QString::fromStdString(mime);
    const QMimeType type = QMimeDatabase().mimeTypeForName(name);
    return type.isValid() && !type.comment().isEmpty() ? type.comment() : name;
}

} // namespace

QString exifNameFromTag(const QString& tagName)
{
    for (const auto& [tag, name] : kNameTranslations)
        if (tagName == QLatin1String(tag)) return QString::fromLatin1(name);
    return tagName;
}

QString exifTagFromName(const QString& name)
{
    for (const auto& [tag, ours] : kNameTranslations)
        if (name == QLatin1String(ours)) return QString::fromLatin1(tag);
    return name;
}

const std::vector<IptcField>& iptcFields()
{
    // Image URL, the custom fields and the image notes are not IIM datasets; they take numbers no
    // other program uses (2:160 to 2:180, and 2:230 for the notes, as other tools' "document notes").
    static const std::vector<IptcField> fields = [] {
        std::vector<IptcField> f = {
            {"Caption", 120, IptcField::Text},
            {"Caption Writer", 122, IptcField::Text},
            {"Headline", 105, IptcField::Text},
            {"Special Instructions", 40, IptcField::Text},
            {"Keywords", 25, IptcField::List},
            {"Category", 15, IptcField::Text},
            {"Supplemental Categories", 20, IptcField::List},
            {"By (Author)", 80, IptcField::Text},
            {"By Title (Author's Position)", 85, IptcField::Text},
            {"Credit", 110, IptcField::Text},
            {"Source", 115, IptcField::Text},
            {"Object Name (Title)", 5, IptcField::Text},
            {"City", 90, IptcField::Text},
            {"Province/State", 95, IptcField::Text},
            {"Country Name", 101, IptcField::Text},
            {"Original Transmission Reference (OTR)", 103, IptcField::Text},
            {"Copyright Notice", 116, IptcField::Text},
            {"Image URL", 160, IptcField::Text},
            {"Date Created", 55, IptcField::Date},
            {"Edit Status", 7, IptcField::Text},
            {"Fixture Identifier", 22, IptcField::Text},
            {"Date Released", 30, IptcField::Date},
            {"Reference Service", 45, IptcField::Text},
            {"Reference Date", 47, IptcField::Date},
            {"Reference Number", 50, IptcField::Text},
            {"Originating Program", 65, IptcField::Text},
            {"Program Version", 70, IptcField::Text},
            {"Object Cycle", 75, IptcField::Text},
            {"Sublocation", 92, IptcField::Text},
            {"Country Code", 100, IptcField::Text},
            {"Local Caption", 121, IptcField::Text},
        };
        static const char* const custom[20] = {
            "Custom Field 1", "Custom Field 2", "Custom Field 3", "Custom Field 4", "Custom Field 5",
            "Custom Field 6", "Custom Field 7", "Custom Field 8", "Custom Field 9", "Custom Field 10",
            "Custom Field 11", "Custom Field 12", "Custom Field 13", "Custom Field 14", "Custom Field 15",
            "Custom Field 16", "Custom Field 17", "Custom Field 18", "Custom Field 19", "Custom Field 20"};
        for (int i = 0; i < 20; ++i) f.push_back({custom[i], 161 + i, IptcField::Text});
        f.push_back({"Image Notes", 230, IptcField::Text});
        f.push_back({"Time Released", 35, IptcField::Time});
        f.push_back({"Time Created", 60, IptcField::Time});
        f.push_back({"Urgency", 10, IptcField::Number});
        return f;
    }();
    return fields;
}

const IptcField* findIptcField(const QString& name)
{
    for (const auto& f : iptcFields())
        if (name == QLatin1String(f.name)) return &f;
    return nullptr;
}

struct ExifIptc::Data {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    // Indexes into exif of the listed data, rebuilt after every change.
    std::vector<Exiv2::ExifData::const_iterator> listed;

    void relist()
    {
        listed.clear();
        for (auto it = exif.begin(); it != exif.end(); ++it)
            if (isListedGroup(it->groupName())) listed.push_back(it);
    }
    Exiv2::ExifData::iterator findByName(const QString& name)
    {
        for (auto it = exif.begin(); it != exif.end(); ++it)
            if (isListedGroup(it->groupName()) && exifNameFromTag(QString::fromStdString(it->tagName())) == name)
                return it;
        return exif.end();
    }
    void eraseDataset(int dataset)
    {
        for (auto it = iptc.begin(); it != iptc.end();) {
            if (it->record() == Exiv2::IptcDataSets::application2 && it->tag() == dataset)
                it = iptc.erase(it);
            else
                ++it;
        }
    }
    // The coded character set may say UTF-8 only while every text of the record is UTF-8: fields
    // another program wrote in Latin-1 keep their bytes when other fields change, and a reader
    // that trusts the mark must not take them for UTF-8.
    void settleCharacterSet()
    {
        static const std::string kUtf8Mark = "\x1b%G";
        bool anyText = false;
        bool allUtf8 = true;
        for (const auto& datum : iptc) {
            if (datum.record() != Exiv2::IptcDataSets::application2 || datum.typeId() != Exiv2::string) continue;
            anyText = true;
            allUtf8 = allUtf8 && isUtf8(datum.toString());
        }
        const Exiv2::IptcKey key("Iptc.Envelope.CharacterSet");
        auto it = iptc.findKey(key);
        if (anyText && allUtf8) {
            Exiv2::StringValue v(kUtf8Mark);
            if (it == iptc.end())
                iptc.add(key, &v);
            else if (it->toString() != kUtf8Mark)
                it->setValue(&v);
        } else if (it != iptc.end() && it->toString() == kUtf8Mark) {
            iptc.erase(it);
        }
    }
    // Record 1 holds only the envelope; once no record-2 data is left it goes too.
    void dropEnvelopeIfEmpty()
    {
        for (const auto& d : iptc)
            if (d.record() == Exiv2::IptcDataSets::application2 && d.tag() != 0) return;
        iptc.clear();
    }
};

ExifIptc::ExifIptc() : d(std::make_unique<Data>()) { muteExiv2(); }
ExifIptc::~ExifIptc() = default;
ExifIptc::ExifIptc(const ExifIptc& other) : d(std::make_unique<Data>())
{
    d->exif = other.d->exif;
    d->iptc = other.d->iptc;
    d->relist();
}
ExifIptc& ExifIptc::operator=(const ExifIptc& other)
{
    if (this != &other) {
        d->exif = other.d->exif;
        d->iptc = other.d->iptc;
        d->relist();
    }
    return *this;
}

void ExifIptc::clearAll()
{
    d->exif.clear();
    d->iptc.clear();
    d->relist();
}

bool ExifIptc::readFrom(const QString& path, QString* error)
{
    checkBlockingCall("ExifIptc::readFrom");
    clearAll();
    try {
        auto image = Exiv2::ImageFactory::open(std::string(QFile::encodeName(path).constData()));
        if (!image.get()) throw Exiv2::Error(Exiv2::kerFileOpenFailed, utf8(path));
        image->readMetadata();
        d->exif = image->exifData();
        d->iptc = image->iptcData();
        d->relist();
        return true;
    } catch (const std::exception& e) {
        clearAll();
        if (error) *error = QString::fromUtf8(e.what());
        return false;
    }
}

bool ExifIptc::WriteMetadataTo(const QString& path, QString* error, const WriteStep& step) const
{
    checkBlockingCall("ExifIptc::WriteMetadataTo");
    constexpr int kSteps = 4;
    // Whether to go on to stage `done`; a stop leaves the file as it was and says nothing.
    const auto goOn = [&](int done) { return !step || step(done, kSteps); };
    // Set when the file's kind has no place for IPTC: the EXIF of the change is written alone,
    // and whatever else is said, this is said first.
    QString iptcRefused;
    auto fail = [&](const QString& why) {
        if (error) *error = iptcRefused.isEmpty() || why == iptcRefused ? why : iptcRefused + QLatin1Char('\n') + why;
        return false;
    };
    const QFileInfo info(path);
    if (!info.isFile()) return fail(QStringLiteral("The file %1 does not exist.").arg(path));
    // The folder may allow the rename even where the file itself is read-only; the user's
    // protection of the file holds.
    if (!info.isWritable()) return fail(QStringLiteral("The file %1 is read-only.").arg(path));

    if (!goOn(0)) return fail({});
    QString why;
    tf::SafeFile copy(path);
    const bool tiff = looksLikeTiff(path);
    if (!copy.open(&why)) return fail(why);
    const QString tempPath = copy.fileName();
    // The copy is ours; what the libraries say of it is said of the user's file.
    const auto aboutTheFile = [&](const char* said) {
        return QString::fromUtf8(said).replace(tempPath, path).replace(QFileInfo(tempPath).fileName(), info.fileName());
    };
    if (tiff) {
        // exiv2 would write a TIFF anew and keep no more than its first pages; only the first
        // page's directories change here, and every other byte stays.
        if (!writeTiffMetadata(path, d->exif, d->iptc, copy, &why)) return fail(why);
    } else {
        // exiv2 writes files through a stream of its own whose failures it does not all see: it
        // writes in memory here, and the bytes go to the disk through the checked writes.
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly) || in.size() > kMaxPictureBytes)
            return fail(QStringLiteral("Cannot read ") + path);
        const QByteArray original = in.readAll();
        if (original.size() != in.size()) return fail(QStringLiteral("Cannot read ") + path);
        QByteArray written;
        try {
            auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(original.constData()),
                                                   static_cast<long>(original.size()));
            image->readMetadata();
            if (holdsIptc(d->iptc) && !image->supportsMetadata(Exiv2::mdIptc)) {
                iptcRefused = QStringLiteral("%1 is a %2, which has no place for IPTC data.")
                                  .arg(info.fileName(), kindOfImage(image->mimeType()));
                const Exiv2::ExifData asFound = image->exifData();
                const bool exifChanged = !lostInWriting(d->exif, {}, asFound, {}).isEmpty() ||
                                         !lostInWriting(asFound, {}, d->exif, {}).isEmpty();
                if (!exifChanged) return fail(iptcRefused);
            }
            image->setExifData(d->exif);
            image->setIptcData(iptcRefused.isEmpty() ? d->iptc : Exiv2::IptcData());
            image->writeMetadata();
            Exiv2::BasicIo& io = image->io();
            if (io.open() != 0) return fail(QStringLiteral("The metadata could not be written."));
            const Exiv2::DataBuf bytes = io.read(static_cast<long>(io.size()));
            io.close();
            written = QByteArray(reinterpret_cast<const char*>(bytes.pData_), static_cast<qsizetype>(bytes.size_));
        } catch (const std::exception& e) {
            return fail(aboutTheFile(e.what()));
        }
        if (written.isEmpty()) return fail(QStringLiteral("The metadata could not be written."));
        if (!goOn(1)) return fail({});
        if (!copy.write(written, &why)) return fail(why);
    }
    if (!goOn(2)) return fail({});

    // The copy must still be the same picture with the metadata as held: exiv2 opens it, a reader
    // sees the same size, and a TIFF has as many pages as before.
    try {
        auto image = Exiv2::ImageFactory::open(std::string(QFile::encodeName(tempPath).constData()));
        image->readMetadata();
        const QString lost = lostInWriting(d->exif, iptcRefused.isEmpty() ? d->iptc : Exiv2::IptcData(),
                                           image->exifData(), image->iptcData());
        if (!lost.isEmpty())
            return fail(QStringLiteral("%1 does not fit into the metadata of this file.").arg(lost));
    } catch (const std::exception& e) {
        return fail(QStringLiteral("The written file could not be read back: %1").arg(aboutTheFile(e.what())));
    }
    QImageReader before(path);
    if (before.canRead()) {
        QImageReader after(tempPath, before.format());
        if (!after.canRead() || after.size() != before.size())
            return fail(QStringLiteral("The written file is no longer the same picture."));
    }
    // A TIFF whose pages libtiff cannot read cannot be shown to keep them: it is not written to
    // (rewriting its first directory may even turn what no reader took for a page into one).
    const int pagesBefore = tiffPageCount(path);
    if (pagesBefore < 1 && looksLikeTiff(path))
        return fail(QStringLiteral("The pages of %1 cannot be read.").arg(path));
    if (pagesBefore > 0 && tiffPageCount(tempPath) != pagesBefore)
        return fail(QStringLiteral("Writing the metadata would lose pages of %1.").arg(path));

    if (!goOn(3)) return fail({});
    if (!copy.commit(&why)) return fail(why);
    if (step) step(kSteps, kSteps);
    if (!iptcRefused.isEmpty()) return fail(QStringLiteral("The EXIF attributes were written."));
    return true;
}

// ---- EXIF

int ExifIptc::ExifCount() const { return static_cast<int>(d->listed.size()); }

QString ExifIptc::ExifName(int index) const
{
    if (index < 0 || index >= ExifCount()) return {};
    return exifNameFromTag(QString::fromStdString(d->listed[static_cast<size_t>(index)]->tagName()));
}

QString ExifIptc::ExifValue(int index) const
{
    if (index < 0 || index >= ExifCount()) return {};
    return valueText(*d->listed[static_cast<size_t>(index)]);
}

QString ExifIptc::ExifValueByName(const QString& name) const
{
    auto it = d->findByName(name);
    return it == d->exif.end() ? QString() : valueText(*it);
}

bool ExifIptc::SetExifAttribute(const QString& name, const QString& value)
{
    static const QStringList photoNames = {QStringLiteral("DateTimeOriginal"), QStringLiteral("DateTimeDigitized"),
                                           QStringLiteral("UserComment"), QStringLiteral("PixelXDimension"),
                                           QStringLiteral("PixelYDimension")};
    static const QStringList imageNames = {QStringLiteral("Make"),      QStringLiteral("Model"),
                                           QStringLiteral("DateTime"),  QStringLiteral("ImageDescription"),
                                           QStringLiteral("Artist"),    QStringLiteral("Copyright"),
                                           QStringLiteral("Software")};
    const QString tag = exifTagFromName(name.trimmed());
    if (tag.isEmpty()) return false;
    QStringList groups;
    if (imageNames.contains(tag))
        groups = {QStringLiteral("Image")};
    else if (photoNames.contains(tag))
        groups = {QStringLiteral("Photo")};
    else
        groups = {QStringLiteral("Image"), QStringLiteral("Photo"), QStringLiteral("GPSInfo"), QStringLiteral("Iop")};

    for (const QString& group : groups) {
        try {
            Exiv2::ExifKey key(utf8(QStringLiteral("Exif.%1.%2").arg(group, tag)));
            if (QString::fromStdString(key.tagName()) != tag) continue; // a hex fallback, not the tag
            auto v = Exiv2::Value::create(key.defaultTypeId());
            std::string text = utf8(value);
            if (tag == QLatin1String("UserComment")) {
                bool ascii = true;
                for (QChar c : value) ascii = ascii && c.unicode() < 128;
                text = (ascii ? "charset=Ascii " : "charset=Unicode ") + text;
            }
            if (v->read(text) != 0) return false;
            if (v->count() == 0 && !value.isEmpty()) return false;
            // A rational over zero is no number; every reader would divide by it.
            if (v->typeId() == Exiv2::unsignedRational || v->typeId() == Exiv2::signedRational)
                for (long i = 0; i < v->count(); ++i)
                    if (v->toRational(i).second == 0) return false;
            auto it = d->findByName(name.trimmed());
            if (it != d->exif.end() && it->key() == key.key())
                it->setValue(v.get());
            else
                d->exif.add(key, v.get());
            d->relist();
            return true;
        } catch (const std::exception&) {
            continue;
        }
    }
    return false;
}

bool ExifIptc::DeleteExifAttribute(const QString& name)
{
    auto it = d->findByName(name);
    if (it == d->exif.end()) return false;
    d->exif.erase(it);
    d->relist();
    return true;
}

void ExifIptc::ClearExif()
{
    d->exif.clear();
    d->relist();
}

QString ExifIptc::DateToExifText(const QDateTime& date)
{
    return date.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}

QDateTime ExifIptc::ExifTextToDate(const QString& text)
{
    QString t = text;
    while (!t.isEmpty() && (t.back().isSpace() || t.back() == QChar(0))) t.chop(1);
    t = t.trimmed();
    if (t.size() < 19) return {};
    QDateTime dt = QDateTime::fromString(t.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    return dt.isValid() ? dt : QDateTime();
}

// ---- IPTC

QString ExifIptc::iptcText(int dataset) const
{
    for (const auto& datum : d->iptc) {
        if (datum.record() != Exiv2::IptcDataSets::application2 || datum.tag() != dataset) continue;
        return decodeText(datum.toString());
    }
    return {};
}

void ExifIptc::setIptcText(int dataset, const QString& v)
{
    d->eraseDataset(dataset);
    if (v.isEmpty()) {
        d->settleCharacterSet();
        d->dropEnvelopeIfEmpty();
        return;
    }
    Exiv2::StringValue value(utf8(v));
    d->iptc.add(Exiv2::IptcKey(static_cast<uint16_t>(dataset), Exiv2::IptcDataSets::application2), &value);
    d->settleCharacterSet();
}

QDate ExifIptc::iptcDate(int dataset) const
{
    for (const auto& datum : d->iptc) {
        if (datum.record() != Exiv2::IptcDataSets::application2 || datum.tag() != dataset) continue;
        if (auto* dv = dynamic_cast<const Exiv2::DateValue*>(&datum.value())) {
            const auto date = dv->getDate();
            return QDate(date.year, date.month, date.day);
        }
        // A date another program stored as text: CCYYMMDD, with or without separators.
        QString digits;
        for (QChar c : QString::fromStdString(datum.toString()))
            if (c.isDigit()) digits += c;
        return digits.size() == 8 ? QDate::fromString(digits, QStringLiteral("yyyyMMdd")) : QDate();
    }
    return {};
}

void ExifIptc::setIptcDate(int dataset, const QDate& v)
{
    d->eraseDataset(dataset);
    if (!v.isValid()) {
        d->dropEnvelopeIfEmpty();
        return;
    }
    Exiv2::DateValue value(v.year(), v.month(), v.day());
    d->iptc.add(Exiv2::IptcKey(static_cast<uint16_t>(dataset), Exiv2::IptcDataSets::application2), &value);
}

QTime ExifIptc::iptcTime(int dataset) const
{
    for (const auto& datum : d->iptc) {
        if (datum.record() != Exiv2::IptcDataSets::application2 || datum.tag() != dataset) continue;
        if (auto* tv = dynamic_cast<const Exiv2::TimeValue*>(&datum.value())) {
            const auto t = tv->getTime();
            return QTime(t.hour, t.minute, t.second);
        }
        return {};
    }
    return {};
}

void ExifIptc::setIptcTime(int dataset, const QTime& v)
{
    d->eraseDataset(dataset);
    if (!v.isValid()) {
        d->dropEnvelopeIfEmpty();
        return;
    }
    const int offset = QDateTime::currentDateTime().offsetFromUtc() / 60;
    Exiv2::TimeValue value(v.hour(), v.minute(), v.second(), offset / 60, offset % 60);
    d->iptc.add(Exiv2::IptcKey(static_cast<uint16_t>(dataset), Exiv2::IptcDataSets::application2), &value);
}

QStringList ExifIptc::iptcList(int dataset) const
{
    QStringList items;
    for (const auto& datum : d->iptc) {
        if (datum.record() != Exiv2::IptcDataSets::application2 || datum.tag() != dataset) continue;
        items << decodeText(datum.toString());
    }
    return items;
}

void ExifIptc::setIptcList(int dataset, const QStringList& items)
{
    d->eraseDataset(dataset);
    for (const QString& item : items) {
        if (item.isEmpty()) continue;
        Exiv2::StringValue value(utf8(item));
        d->iptc.add(Exiv2::IptcKey(static_cast<uint16_t>(dataset), Exiv2::IptcDataSets::application2), &value);
    }
    d->settleCharacterSet();
    d->dropEnvelopeIfEmpty();
}

void ExifIptc::AddIptcKeyword(const QString& k) { setIptcList(25, iptcList(25) << k); }
void ExifIptc::AddIptcSupplementalCategory(const QString& c) { setIptcList(20, iptcList(20) << c); }

int32_t ExifIptc::IptcUrgency() const
{
    bool ok = false;
    const int v = iptcText(10).trimmed().toInt(&ok);
    return ok ? v : 0;
}

void ExifIptc::setIptcUrgency(int32_t v) { setIptcText(10, v == 0 ? QString() : QString::number(v)); }

bool ExifIptc::HasIptc() const
{
    for (const auto& datum : d->iptc)
        if (datum.record() == Exiv2::IptcDataSets::application2 && datum.tag() != 0) return true;
    return false;
}

void ExifIptc::ClearIptc() { d->iptc.clear(); }

QByteArray ExifIptc::iptcTemplateBytes() const
{
    if (!HasIptc()) return {};
    try {
        const Exiv2::DataBuf buf = Exiv2::Photoshop::setIptcIrb(nullptr, 0, d->iptc);
        return QByteArray(reinterpret_cast<const char*>(buf.pData_), buf.size_);
    } catch (const std::exception&) {
        return {};
    }
}

bool ExifIptc::parseIptcTemplate(const QByteArray& bytes)
{
    static const QByteArray header("Photoshop 3.0\0", 14);
    QByteArray body = bytes.startsWith(header) ? bytes.mid(header.size()) : bytes;
    if (body.isEmpty() || body.size() > (64 << 20)) return false;
    const auto* data = reinterpret_cast<const Exiv2::byte*>(body.constData());
    Exiv2::IptcData read;
    try {
        int rc = 1;
        if (static_cast<unsigned char>(body[0]) == 0x1c) {
            rc = Exiv2::IptcParser::decode(read, data, static_cast<uint32_t>(body.size()));
        } else {
            const Exiv2::byte* record = nullptr;
            uint32_t sizeHdr = 0, sizeData = 0;
            if (Exiv2::Photoshop::locateIptcIrb(data, static_cast<long>(body.size()), &record, &sizeHdr, &sizeData) != 0
                || !record)
                return false;
            const auto offset = static_cast<qsizetype>(record - data) + sizeHdr;
            if (offset > body.size() || sizeData > static_cast<uint32_t>(body.size() - offset)) return false;
            rc = Exiv2::IptcParser::decode(read, record + sizeHdr, sizeData);
        }
        if (rc != 0) return false;
        // A template that holds no field (an envelope alone) would only wipe the image's fields. An
        // empty dataset is no field either: writing drops it, so it could not even be saved again.
        bool anyField = false;
        for (const auto& datum : read)
            anyField = anyField
                       || (datum.record() == Exiv2::IptcDataSets::application2 && datum.tag() != 0 && datum.size() > 0);
        if (!anyField) return false;
    } catch (const std::exception&) {
        return false;
    }
    d->iptc = read;
    return true;
}

bool ExifIptc::SaveIptcToFile(const QString& path, QString* error) const
{
    const QByteArray bytes = iptcTemplateBytes();
    if (bytes.isEmpty()) {
        if (error) *error = QStringLiteral("The image has no IPTC data to save.");
        return false;
    }
    return tf::writeFileSafely(path, bytes, error);
}

bool ExifIptc::LoadIptcFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (64 << 20)) return false;
    return parseIptcTemplate(file.readAll());
}

} // namespace tf
