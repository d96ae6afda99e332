#include "metadata/metadataTemplates.h"

#include "metadata/ExifIptc.h"
#include "metadata/modMetadata.h"
#include "frame/globals.h"
#include "services/clsFile.h"

namespace tf {

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

bool exifValueForRecord(const ExifTemplateRecord& record, QString& value)
{
    if (!fncIsEXIFDateAttribute(record.attribute)) {
        value = record.value;
        return true;
    }
    const QDateTime date = parseListDateTime(record.value);
    if (!date.isValid()) return false;
    value = ExifIptc::DateToExifText(date);
    return true;
}

} // namespace tf

bool subLoadEXIFFile(const QString& path, tf::ExifIptc& image)
{
    gstrCurrentOperation = QStringLiteral("Loading EXIF template");
    std::vector<tf::ExifTemplateRecord> records;
    if (!tf::readExifTemplate(path, records)) return false;
    for (const auto& r : records) {
        QString value;
        if (!tf::isTemplateAttribute(r.attribute) || !tf::exifValueForRecord(r, value)) continue;
        if (image.SetExifAttribute(r.attribute, value)) image.SetExifAttribute(QStringLiteral("Software"), gstrSoftware);
    }
    return true;
}
