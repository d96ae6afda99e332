#include "metadata/metadataTemplates.h"

#include "metadata/ExifIptc.h"
#include "metadata/modMetadata.h"
#include "frame/globals.h"
#include "services/clsFile.h"

namespace tf {

namespace {
// A value named in a message: a 3 MB one would fill the screen.
QString shortened(const QString& value)
{
    constexpr int kShown = 40;
    return QLatin1Char('"') + (value.size() > kShown ? value.left(kShown) + QStringLiteral("...") : value)
           + QLatin1Char('"');
}
} // namespace

bool readExifTemplate(const QString& path, std::vector<ExifTemplateRecord>& records)
{
    records.clear();
    clsFile file;
    if (!file.OpenForRead(path)) return false;
    try {
        while (!file.fEof()) {
            ExifTemplateRecord r;
            file.read_ImageBasket(r.attribute, r.value); // the same two-text record
            r.attribute = r.attribute.trimmed();
            // Hand-written templates may spell an editable name in any case; the tag has one.
            for (const QString& name : gstrEditableEXIF)
                if (name.compare(r.attribute, Qt::CaseInsensitive) == 0) r.attribute = name;
            if (!r.attribute.isEmpty()) records.push_back(r);
        }
    } catch (const FileError&) {
        // A record cut short at the end: the records before it stand.
    }
    file.closefile();
    return !records.empty();
}

bool writeExifTemplate(const QString& path, const std::vector<ExifTemplateRecord>& records, QString* error)
{
    clsFile file;
    if (!file.OpenForWrite(path)) {
        if (error) *error = QStringLiteral("The file %1 cannot be created.").arg(path);
        return false;
    }
    try {
        for (const auto& r : records) file.write_ImageBasket(r.attribute, r.value);
        file.closefile();
    } catch (const FileError& e) {
        if (error) *error = e.description();
        return false;
    }
    return true;
}

bool isTemplateAttribute(const QString& attribute)
{
    if (fncIsEditableEXIFAttribute(attribute)) return true;
    static const QStringList structural = {
        QStringLiteral("ExifOffset"),      QStringLiteral("GPSInfo"),         QStringLiteral("InteroperabilityOffset"),
        QStringLiteral("StripOffsets"),    QStringLiteral("StripByteCounts"), QStringLiteral("RowsPerStrip"),
        QStringLiteral("TileOffsets"),     QStringLiteral("TileByteCounts"),  QStringLiteral("JPEGInterchangeFormat"),
        QStringLiteral("JPEGInterchangeFormatLength"), QStringLiteral("SubIFDs"), QStringLiteral("ImageWidth"),
        QStringLiteral("ImageLength"),     QStringLiteral("BitsPerSample"),   QStringLiteral("Compression"),
        QStringLiteral("PhotometricInterpretation"), QStringLiteral("SamplesPerPixel"),
        QStringLiteral("PlanarConfiguration"), QStringLiteral("MakerNote"), QStringLiteral("NewSubfileType"),
        QStringLiteral("SubfileType"), QStringLiteral("ColorMap")};
    return !structural.contains(attribute.trimmed(), Qt::CaseInsensitive);
}

QString exifValueRefusal(const QString& name, const QString& value, QString* stored)
{
    QString text = value;
    if (fncIsEXIFDateAttribute(name)) {
        const QDateTime date = parseListDateTime(value);
        if (!date.isValid()) return QStringLiteral("%1 is not a date").arg(shortened(value));
        text = ExifIptc::DateToExifText(date);
    }
    if (text.toUtf8().size() > kMaxExifValueBytes)
        return QStringLiteral("the value is longer than %1 characters").arg(kMaxExifValueBytes);
    ExifIptc probe;
    if (!probe.SetExifAttribute(name, text)) return QStringLiteral("%1 is not a valid value").arg(shortened(value));
    if (stored) *stored = text;
    return {};
}

CheckedTemplate checkExifTemplate(const std::vector<ExifTemplateRecord>& records)
{
    CheckedTemplate checked;
    for (const auto& r : records) {
        QString stored;
        const QString why = isTemplateAttribute(r.attribute) ? exifValueRefusal(r.attribute, r.value, &stored)
                                                             : QStringLiteral("the attribute cannot be set from a template");
        if (why.isEmpty())
            checked.apply.emplace_back(r.attribute, stored);
        else
            checked.refused << r.attribute + QStringLiteral(": ") + why;
    }
    return checked;
}

} // namespace tf

bool subLoadEXIFFile(const QString& path, tf::ExifIptc& image, QStringList* refused)
{
    gstrCurrentOperation = QStringLiteral("Loading EXIF template");
    std::vector<tf::ExifTemplateRecord> records;
    if (!tf::readExifTemplate(path, records)) return false;
    const tf::CheckedTemplate checked = tf::checkExifTemplate(records);
    if (refused) *refused = checked.refused;
    // A page gets what the template can give it: the refused records are skipped.
    for (const auto& [attribute, value] : checked.apply)
        if (image.SetExifAttribute(attribute, value)) image.SetExifAttribute(QStringLiteral("Software"), gstrSoftware);
    return checked.refused.isEmpty();
}
