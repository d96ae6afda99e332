#pragma once
// The EXIF template file (.xiff): one record per editable attribute, the name and the value as
// the list shows it, each quoted, written and read through clsFile. The IPTC template (.ffo) is
// ExifIptc's own (SaveIptcToFile / LoadIptcFromFile).
#include <QString>
#include <QStringList>
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

// The longest EXIF text the program stores (in UTF-8 bytes): a JPEG keeps all its EXIF in one
// 64 KB block, so one value must leave room for the others.
inline constexpr int kMaxExifValueBytes = 32767;

// Why `value` may not be stored as the EXIF attribute `name`, the same for a typed value and a
// template's: empty when it may, and then `stored` holds the text for SetExifAttribute (dates in
// the EXIF form). A date that does not read, a value the attribute's type does not take (a
// rational over zero among them) and an over-long value are refused.
QString exifValueRefusal(const QString& name, const QString& value, QString* stored);

// Checks every record of a template: the records to apply, with their stored values, and the
// refusals (one line per refused record, naming it), which are skipped.
struct CheckedTemplate {
    std::vector<std::pair<QString, QString>> apply; // attribute, stored value
    QStringList refused;
};
CheckedTemplate checkExifTemplate(const std::vector<ExifTemplateRecord>& records);
} // namespace tf

// Applies an EXIF template to `image` without writing any file (the batch conversion writes the
// page). Refused records are skipped and named in `refused`, the others applied. False when the
// file could not be read or a record was refused.
bool subLoadEXIFFile(const QString& path, tf::ExifIptc& image, QStringList* refused = nullptr);
