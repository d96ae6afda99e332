#include "metadata/modMetadata.h"

#include "frame/globals.h"
#include "metadata/ExifIptc.h"
#include "metadata/MetadataRows.h"
#include "version_info.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

QString gstrSoftware;
QStringList gstrEditableEXIF;
QStringList gstrEXIFDateAttributes;
QStringList gstrIPTCDateFields;

namespace {

// A value that does not convert: the row then shows the raw value.
struct NotInterpreted : std::runtime_error {
    NotInterpreted() : std::runtime_error("value not interpreted") {}
};

bool inTable(const QStringList& table, const QString& name)
{
    const QString n = name.trimmed().toLower();
    for (const QString& entry : table)
        if (entry.toLower() == n) return true;
    return false;
}

int64_t toLong(const QString& text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const qlonglong v = t.toLongLong(&ok);
    if (ok) return v;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > 9.2e18) throw NotInterpreted();
    return static_cast<int64_t>(std::nearbyint(d));
}

QString num(double v)
{
    if (!std::isfinite(v)) throw NotInterpreted();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return QString::fromLatin1(buf);
}

double ratio(const QString& value)
{
    const double n = fncRationalNumerator(value);
    const double d = fncRationalDenominator(value);
    if (d == 0) throw NotInterpreted();
    return n / d;
}

double oneDecimalHalfEven(double v) { return std::nearbyint(v * 10.0) / 10.0; }

using CodeTable = std::map<int64_t, const char*>;

const std::map<QString, CodeTable>& codeTables()
{
    static const std::map<QString, CodeTable> tables = {
        {QStringLiteral("Orientation"),
         {{1, "Upper Left"}, {2, "Upper Right"}, {3, "Bottom Right"}, {4, "Bottom Left"}, {5, "Left Upper"},
          {6, "Right Upper"}, {7, "Right bottom"}, {8, "Left bottom"}}},
        {QStringLiteral("ResolutionUnit"), {{1, "No unit"}, {2, "Inches"}, {3, "Centimeters"}}},
        {QStringLiteral("YCbCrPositioning"), {{1, "Center of pixel array"}, {2, "Datum point(co-sited)"}}},
        {QStringLiteral("ExposureProgram"),
         {{1, "Manual control"}, {2, "Normal program"}, {3, "Aperture priority"}, {4, "Shutter priority"},
          {5, "Program creative (slow program)"}, {6, "Program action(high-speed program)"},
          {7, "Portrait mode"}, {8, "Landscape mode"}}},
        {QStringLiteral("MeteringMode"),
         {{0, "Unknown"}, {1, "Average"}, {2, "Center weighted average"}, {3, "Spot"}, {4, "Multi-spot"},
          {5, "Multi-segment"}, {6, "Partial"}, {255, "Other"}}},
        {QStringLiteral("LightSource"),
         {{0, "Unknown"}, {1, "Daylight"}, {2, "Fluorescent"}, {3, "Tungsten"}, {4, "Flash"},
          {9, "Fine weather"}, {10, "Cloudy weather"}, {11, "Shade"},
          {12, "Daylight fluorescent (D 5700-7100K)"}, {13, "Day white fluorescent (N 4600-5400K)"},
          {14, "Cool white fluorescent (W 3900-4500K)"}, {15, "White fluorescent (WW 3200-3700K)"},
          {17, "Standard light A"}, {18, "Standard light B"}, {19, "Standard light C"}, {20, "D55"},
          {21, "D65"}, {22, "D75"}, {23, "D50"}, {24, "ISO studio tungesten"}, {255, "Other light source"}}},
        {QStringLiteral("Flash"),
         {{0, "Flash did not fire"},
          {1, "Flash fired"},
          {5, "Strobe return light not detected"},
          {7, "Strobe return light detected"},
          {9, "Flash fired, compulsory flash mode"},
          {13, "Flash fired, compulsory flash mode, return light not detected"},
          {15, "Flash fired, compulsory flash mode, return light detected"},
          {16, "Flash did not fire, compulsory flash mode"},
          {24, "Flash did not fire, auto mode"},
          {25, "Flash fired, auto mode"},
          {29, "Flash fired, auto mode, return light not detected"},
          {31, "Flash fired, auto mode, return light detected"},
          {32, "No flash function"},
          {65, "Flash fired, red-eye reduction mode"},
          {69, "Flash fired, red-eye reduction mode, return light not detected"},
          {71, "Flash fired, red-eye reduction mode, return light detected"},
          {73, "Flash fired, compulsory flash mode, red-eye reduction mode"},
          {77, "Flash fired, compulsory flash mode, red-eye reduction mode, return light not detected"},
          {79, "Flash fired, compulsory flash mode, red-eye reduction mode, return light detected"},
          {89, "Flash fired, auto mode, red-eye reduction mode"},
          {93, "Flash fired, auto mode, return light not detected, red-eye reduction mode"},
          {95, "Flash fired, auto mode, return light detected, red-eye reduction mode"}}},
        {QStringLiteral("ColorSpace"), {{1, "sRGB"}, {65535, "Uncalibrated"}}},
        {QStringLiteral("CustomRendered"), {{0, "Normal process"}, {1, "Custom process"}}},
        // EXIF's own meanings (not a camera maker's table, which would show manual exposure as "Program").
        {QStringLiteral("ExposureMode"), {{0, "Auto exposure"}, {1, "Manual exposure"}, {2, "Auto bracket"}}},
        {QStringLiteral("WhiteBalance"), {{0, "Auto white balance"}, {1, "Manual white balance"}}},
        {QStringLiteral("SceneCaptureType"), {{0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night Scene"}}},
        {QStringLiteral("Contrast"), {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}}},
        {QStringLiteral("Sharpness"), {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}}},
        {QStringLiteral("Saturation"), {{0, "Normal"}, {1, "Low saturation"}, {2, "High saturation"}}},
        {QStringLiteral("ISOSpeedRatings"),
         {{0, "See ISOSpeedRatings Tag"}, {15, "Auto"}, {16, "50"}, {17, "100"}, {18, "200"}, {19, "400"}}},
        {QStringLiteral("SensingMethod"),
         {{1, "Not defined"}, {2, "One-chip color area sensor"}, {3, "Two-chip color area sensor"},
          {4, "Three-chip color area sensor"}, {5, "Color sequential area sensor"}, {7, "Trilinear sensor"},
          {8, "Color sequential linear sensor"}}},
        {QStringLiteral("GainControl"),
         {{0, "None"}, {1, "Low gain up"}, {2, "High gain up"}, {3, "Low gain down"}, {4, "High gain down"}}},
        {QStringLiteral("SubjectDistanceRange"), {{0, "Unknown"}, {1, "Macro"}, {2, "Close view"}, {3, "Distant view"}}},
        {QStringLiteral("FocalPlaneResolutionUnit"), {{1, "pixels"}, {2, "dpi"}, {3, "dpcm"}}},
        {QStringLiteral("NewSubfileType"), {{1, "Reduced Resolution"}, {2, "Single Page"}, {4, "Transparency Mask"}}},
        {QStringLiteral("SubfileType"), {{1, "Full Resolution"}, {2, "Reduced Resolution"}, {3, "Single Page"}}},
        {QStringLiteral("Compression"),
         {{1, "Uncompressed"}, {2, "CCITT Group3"}, {3, "CCITT T4"}, {4, "CCITT T6"}, {5, "LZW"}, {6, "JPEG"},
          {32773, "PackBits"}}},
        {QStringLiteral("PhotometricInterpretation"),
         {{0, "WhiteIsZero"}, {1, "BlackIsZero"}, {2, "RGB"}, {3, "RGB Palette"}, {4, "Transparency Mask"},
          {5, "CMYK"}, {6, "YCbCr"}, {8, "CIELab"}}},
        {QStringLiteral("Threshholding"), {{1, "No Dithering"}, {2, "Ordered Dither"}, {3, "Randomized"}}},
        {QStringLiteral("FillOrder"), {{1, "Low in High"}, {2, "High in Low"}}},
        {QStringLiteral("PlanarConfiguration"), {{1, "Chunky"}, {2, "Planar"}}},
    };
    return tables;
}

QString interpret(const QString& a, const QString& value)
{
    const auto& tables = codeTables();
    if (auto t = tables.find(a); t != tables.end()) {
        const auto code = t->second.find(toLong(value));
        return code == t->second.end() ? QString() : QString::fromLatin1(code->second);
    }
    if (a == QLatin1String("SceneType"))
        return toLong(value) == 1 ? QStringLiteral("Directly photographed image") : QStringLiteral("Unknown");
    if (a == QLatin1String("FileSource")) // EXIF: 3 is a digital still camera, 0 is not
        return toLong(value) == 3 ? QStringLiteral("DSC (Digital Still Camera)") : QStringLiteral("Other");
    const QString v = value.trimmed();
    if (a == QLatin1String("ComponentsConfiguration")) {
        static const std::map<QString, const char*> patterns = {
            {QStringLiteral("04,05,06,00"), "RGB"},   {QStringLiteral("00,06,05,04"), "RGB"},
            {QStringLiteral("00,04,05,06"), "RGB"},   {QStringLiteral("04,05,06"), "RGB"},
            {QStringLiteral("06,05,04"), "RGB"},      {QStringLiteral("01,02,03,00"), "YCrCb"},
            {QStringLiteral("00,03,02,01"), "YCrCb"}, {QStringLiteral("00,01,02,03"), "YCrCb"},
            {QStringLiteral("01,02,03"), "YCrCb"},    {QStringLiteral("03,02,01"), "YCrCb"},
            {QStringLiteral("00"), "Does not exist"}, {QStringLiteral("01"), "Y"},
            {QStringLiteral("02"), "Cr"},             {QStringLiteral("03"), "Cb"},
            {QStringLiteral("04"), "Red"},            {QStringLiteral("05"), "Green"},
            {QStringLiteral("06"), "Blue"}};
        auto it = patterns.find(v);
        return it == patterns.end() ? QString() : QString::fromLatin1(it->second);
    }
    if (a == QLatin1String("FlashPixVersion")) {
        static const QStringList one = {QStringLiteral("30,31,30,30"), QStringLiteral("30,30,31,30"),
                                        QStringLiteral("30,30,30,31"), QStringLiteral("31,30,30,30")};
        return one.contains(v) ? QStringLiteral("1.0") : QString();
    }
    if (a == QLatin1String("ExposureTime")) {
        const double n = fncRationalNumerator(value), d = fncRationalDenominator(value);
        if (n == 0) throw NotInterpreted();
        return QStringLiteral("1/") + num(d / n) + QStringLiteral(" s");
    }
    if (a == QLatin1String("FNumber")) return QStringLiteral("f/") + num(ratio(value));
    if (a == QLatin1String("ApertureValue") || a == QLatin1String("MaxApertureValue"))
        return QStringLiteral("f/") + num(oneDecimalHalfEven(std::pow(std::sqrt(2.0), ratio(value))));
    if (a == QLatin1String("ShutterSpeedValue"))
        return QStringLiteral("1/") + num(oneDecimalHalfEven(std::pow(2.0, ratio(value)))) + QStringLiteral(" s");
    if (a == QLatin1String("ExposureBiasValue")) {
        const double r = ratio(value);
        // Ties away from zero, as the "0.00" format has always rounded.
        const double rounded = std::copysign(std::floor(std::fabs(r) * 100.0 + 0.5) / 100.0, r);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.2f", rounded == 0 ? 0.0 : rounded);
        return QString::fromLatin1(buf) + QStringLiteral(" EV");
    }
    if (a == QLatin1String("FocalLength")) return num(ratio(value)) + QStringLiteral(" mm");
    if (a == QLatin1String("FocalLengthIn35mmFilm")) return value + QStringLiteral(" mm");
    if (a == QLatin1String("DigitalZoomRatio"))
        return num(fncRationalNumerator(value)) + QLatin1Char(':') + num(fncRationalDenominator(value));
    if (a == QLatin1String("ExposureIndex") || a == QLatin1String("CompressedBitsPerPixel"))
        return num(fncRationalNumerator(value));
    if (a == QLatin1String("ExifVersion")) {
        if (value.size() < 8) throw NotInterpreted();
        return QString(value[4]) + QLatin1Char('.') + value[7];
    }
    return {};
}

const QStringList& displayNamed()
{
    static const QStringList names = QStringLiteral(
        "CFARepeatPatternDim CFAPattern BatteryLevel ExposureTime FNumber ExifOffset InterColorProfile "
        "ExposureProgram SpectralSensitivity ISOSpeedRatings ExifVersion DateTimeOriginal DateTimeDigitized "
        "ComponentsConfiguration CompressedBitsPerPixel ShutterSpeedValue ApertureValue BrightnessValue "
        "ExposureBiasValue MaxApertureValue SubjectDistance MeteringMode LightSource FocalLength SubjectArea "
        "MakerNote UserComment SubSecTime SubSecTimeOriginal SubSecTimeDigitized FlashPixVersion ColorSpace "
        "ExifImageWidth ExifImageLength RelatedAudioFile InteroperabilityOffset FlashEnergy "
        "SpatialFrequencyResponse FocalPlaneXResolution FocalPlaneYResolution FocalPlaneResolutionUnit "
        "SubjectLocation ExposureIndex SensingMethod FileSource SceneType CustomRendered ExposureMode "
        "WhiteBalance DigitalZoomRatio FocalLengthIn35mmFilm SceneCaptureType GainControl "
        "DeviceSettingDescription SubjectDistanceRange ImageUniqueID NewSubfileType SubfileType BitsPerSample "
        "PhotometricInterpretation FillOrder ImageDescription StripOffsets SamplesPerPixel RowsPerStrip "
        "StripByteCounts XResolution YResolution PlanarConfiguration ResolutionUnit PageNumber TransferFunction "
        "DateTime WhitePoint PrimaryChromaticities ColorMap JPEGInterchangeFormat JPEGInterchangeFormatLength "
        "YCbCrCoefficients YCbCrSubSampling YCbCrPositioning ReferenceBlackWhite GPSInfo PixelXDimension "
        "PixelYDimension").split(QLatin1Char(' '));
    return names;
}

QString spacedName(const QString& name)
{
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (i > 0 && c.isUpper()) {
            const QChar prev = name[i - 1];
            const bool nextLower = i + 1 < name.size() && name[i + 1].isLower();
            if (prev.isLower() || prev.isDigit() || (prev.isUpper() && nextLower)) out += QLatin1Char(' ');
        }
        out += c;
    }
    return out;
}

} // namespace

void subInitMetadata()
{
    gstrSoftware = QString::fromUtf8(tf::version::kTitle);
    gstrEditableEXIF = {QStringLiteral("Make"),
                        QStringLiteral("Model"),
                        QStringLiteral("DateTime"),
                        QStringLiteral("ImageDescription"),
                        QStringLiteral("Artist"),
                        QStringLiteral("Copyright"),
                        QStringLiteral("DateTimeOriginal"),
                        QStringLiteral("DateTimeDigitized"),
                        QStringLiteral("UserComment"),
                        QStringLiteral("PixelXDimension"),
                        QStringLiteral("PixelYDimension")};
    gstrEXIFDateAttributes = {QStringLiteral("DateTime"), QStringLiteral("DateTimeOriginal"),
                              QStringLiteral("DateTimeDigitized")};
    gstrIPTCDateFields = {QStringLiteral("Date Created"), QStringLiteral("Date Released"),
                          QStringLiteral("Time Released"), QStringLiteral("Reference Date"),
                          QStringLiteral("Time Created")};
}


void ReadFileEXIFInfo(const tf::ExifIptc& meta, bool hasImage, tf::MetadataRows& rows, const QString& path)
{
    gstrCurrentOperation = QStringLiteral("Reading EXIF information from the selected file!");
    if (!hasImage) return;
    rows.path = path;
    for (int i = 0; i < meta.ExifCount(); ++i) {
        const QString name = meta.ExifName(i);
        const QString value = meta.ExifValue(i);
        const bool editable = fncIsEditableEXIFAttribute(name);
        // A second attribute of an editable name (two IFDs carrying it) is listed without a key,
        // so the listing goes on and only one row edits the attribute.
        const bool keyed = editable && fncIsKeyFree(rows, name);
        QString shown;
        if (fncIsEXIFDateAttribute(name)) {
            const QDateTime dt = tf::ExifIptc::ExifTextToDate(value.trimmed());
            shown = dt.isValid() ? tf::listDateTimeText(dt) : value; // a bad date shows as it is
        } else {
            shown = fncEXIFInterpret(name, value);
            if (shown.isEmpty()) shown = value;
        }
        const QString display = fncFormattedAttributed(name);
        rows.add({display.isEmpty() ? name : display, name, keyed ? name : QString(), shown, keyed ? 1 : 0});
    }
}

void ReadFileIPTCInfo(const tf::ExifIptc& meta, bool hasImage, tf::MetadataRows& rows, const QString& path)
{
    gstrCurrentOperation = QStringLiteral("Reading IPTC information from the selected file!");
    if (!hasImage) return;
    rows.path = path;
    const auto& fields = tf::iptcFields();
    for (int i = 0; i < tf::kIptcListedFields; ++i) {
        const tf::IptcField& f = fields[static_cast<size_t>(i)];
        QString value;
        switch (f.kind) {
        case tf::IptcField::List: value = meta.iptcList(f.dataset).join(QLatin1Char(',')); break;
        case tf::IptcField::Date: value = tf::listDateText(meta.iptcDate(f.dataset)); break;
        default: value = meta.iptcText(f.dataset); break;
        }
        rows.add({QString::fromLatin1(f.name), {}, {}, value, 1});
    }
}

QString fncEXIFInterpret(const QString& attribute, const QString& value)
{
    gstrCurrentOperation = QStringLiteral("Read exif attribute and interpret it to readable format");
    try {
        return interpret(attribute, value);
    } catch (const NotInterpreted&) {
        // Browsing a file with an odd value is not an error worth a report: the raw value shows.
        return {};
    }
}

QString fncFormattedAttributed(const QString& attribute)
{
    gstrCurrentOperation = QStringLiteral("Formatting Exif Attribute name");
    static const std::map<QString, const char*> exceptions = {
        {QStringLiteral("CFARepeatPatternDim"), "CFA Repeat Pattern Dimension"},
        {QStringLiteral("FNumber"), "F-Number"},
        {QStringLiteral("DateTime"), "Date/Time"},
        {QStringLiteral("DateTimeOriginal"), "Date/Time Original"},
        {QStringLiteral("DateTimeDigitized"), "Date/Time Digitized"},
        {QStringLiteral("CompressedBitsPerPixel"), "Compressed BPP"},
        {QStringLiteral("MaxApertureValue"), "Max. Aperture Value"},
        {QStringLiteral("SubSecTime"), "Sub-Second Time"},
        {QStringLiteral("SubSecTimeOriginal"), "Sub-Second Time Original"},
        {QStringLiteral("SubSecTimeDigitized"), "Sub-Second Time Digitized"},
        {QStringLiteral("FocalLengthIn35mmFilm"), "FocalLength In 35mm Film"},
        {QStringLiteral("YCbCrCoefficients"), "YCbCr Coefficients"},
        {QStringLiteral("YCbCrSubSampling"), "YCbCr SubSampling"},
        {QStringLiteral("YCbCrPositioning"), "YCbCr Positioning"},
        {QStringLiteral("ReferenceBlackWhite"), "Reference Black/White"}};
    if (!displayNamed().contains(attribute)) return {};
    if (auto it = exceptions.find(attribute); it != exceptions.end()) return QString::fromLatin1(it->second);
    return spacedName(attribute);
}

bool fncIsEditableEXIFAttribute(const QString& name) { return inTable(gstrEditableEXIF, name); }
bool fncIsEXIFDateAttribute(const QString& name) { return inTable(gstrEXIFDateAttributes, name); }
bool fncIsIPTCDateAttribute(const QString& name) { return inTable(gstrIPTCDateFields, name); }

bool fncIsKeyFree(const tf::MetadataRows& rows, const QString& key) { return rows.findKey(key) < 0; }

namespace {
int32_t wholeNumber(const QString& text)
{
    try {
        const int64_t v = toLong(text);
        return v > INT32_MAX || v < INT32_MIN ? 0 : static_cast<int32_t>(v);
    } catch (const NotInterpreted&) {
        return 0;
    }
}
} // namespace

int32_t fncRationalNumerator(const QString& value)
{
    const qsizetype slash = value.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? 0 : wholeNumber(value.left(slash));
}

int32_t fncRationalDenominator(const QString& value)
{
    const qsizetype slash = value.lastIndexOf(QLatin1Char('/'));
    return wholeNumber(slash < 0 ? value : value.mid(slash + 1));
}

namespace tf {

QString listDateTimeText(const QDateTime& dt) { return dt.toString(QStringLiteral("M/d/yyyy h:mm:ss AP")); }
QString listDateText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("M/d/yyyy")) : QString();
}

QDateTime parseListDateTime(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) return {};
    for (const char* form : {"M/d/yyyy h:mm:ss AP", "M/d/yyyy h:mm:ss ap", "M/d/yyyy H:mm:ss", "M/d/yyyy"}) {
        QDateTime dt = QDateTime::fromString(t, QString::fromLatin1(form));
        if (dt.isValid()) return dt;
    }
    QDateTime dt = ExifIptc::ExifTextToDate(t);
    if (dt.isValid()) return dt;
    dt = QDateTime::fromString(t, Qt::ISODate);
    if (dt.isValid()) return dt;
    const QDate d = QDate::fromString(t, Qt::ISODate);
    return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
}

} // namespace tf
