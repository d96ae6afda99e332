#pragma once
// The metadata lists' rows, the readable EXIF values and display names, and the name tables the
// editing commands and template files share.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>


namespace tf {
class ExifIptc;
class MetadataRows;
} // namespace tf

extern QString gstrSoftware;
extern QStringList gstrEditableEXIF;
extern QStringList gstrEXIFDateAttributes;
extern QStringList gstrIPTCDateFields;

void subInitMetadata();

// Adds the EXIF rows of `meta` to `rows` and sets their path; nothing without an image.
void ReadFileEXIFInfo(const tf::ExifIptc& meta, bool hasImage, tf::MetadataRows& rows, const QString& path);
// Adds the 52 IPTC rows.
void ReadFileIPTCInfo(const tf::ExifIptc& meta, bool hasImage, tf::MetadataRows& rows, const QString& path);

QString fncEXIFInterpret(const QString& attribute, const QString& value);
QString fncFormattedAttributed(const QString& attribute);

bool fncIsEditableEXIFAttribute(const QString& name);
bool fncIsEXIFDateAttribute(const QString& name);
bool fncIsIPTCDateAttribute(const QString& name);
bool fncIsKeyFree(const tf::MetadataRows& rows, const QString& key);
int32_t fncRationalNumerator(const QString& value);
int32_t fncRationalDenominator(const QString& value);

namespace tf {
// The one date form of the lists, the dialogs and the EXIF template: "m/d/yyyy h:mm:ss AM/PM",
// the same on every desktop locale.
QString listDateTimeText(const QDateTime& dt);
// IPTC dates in the list: "m/d/yyyy" with a four-digit year.
QString listDateText(const QDate& date);
// Reads the list's forms back (with or without the time), falling back to the EXIF form and ISO;
// invalid when none fits.
QDateTime parseListDateTime(const QString& text);
} // namespace tf
