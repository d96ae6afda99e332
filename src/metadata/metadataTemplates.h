#pragma once
// The EXIF template file (.xiff): one record per editable attribute, the name and the value as
// the list shows it, each quoted, written and read through clsFile. The IPTC template (.ffo) is
// ExifIptc's own (SaveIptcToFile / LoadIptcFromFile).
#include <QString>
#include <vector>

namespace tf {
class ExifIptc;

struct ExifTemplateRecord {
    QString attribute;
    QString value;
};

// The records of a template file; false when it cannot be opened or holds no record.
bool readExifTemplate(const QString& path, std::vector<ExifTemplateRecord>& records);
// Writes the records (replacing the file only when complete); false with `error` on failure.
bool writeExifTemplate(const QString& path, const std::vector<ExifTemplateRecord>& records, QString* error);

// Whether a template may set this attribute: the editable ones and other plain values, never the
// structure of the file (offsets, strip tables, pointers to other directories).
bool isTemplateAttribute(const QString& attribute);

// The value to hand SetExifAttribute for a record: dates in the EXIF form. False for a date
// that does not read.
bool exifValueForRecord(const ExifTemplateRecord& record, QString& value);
} // namespace tf

// Applies an EXIF template to `image` without writing any file (the batch conversion writes the
// page). Records that do not apply are skipped. False when the file could not be read.
bool subLoadEXIFFile(const QString& path, tf::ExifIptc& image);
