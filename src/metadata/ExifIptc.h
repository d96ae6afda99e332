#pragma once
// The EXIF and IPTC of one picture file, read and written through exiv2. The image control's
// metadata members forward here, so the document holds no member per field. Only the metadata
// is ever written back: the pixels, the other pages of a TIFF and the layers of a PSD stay as the
// file has them.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <cstdint>
#include <memory>
#include <vector>

namespace tf {

// The IPTC fields the program knows, in the order of the IPTC list. Fields with a negative
// row have no row in the list (the two times and urgency); templates carry them all.
struct IptcField {
    const char* name;   // the list's field name
    int dataset;        // record-2 dataset number
    enum Kind { Text, Date, Time, List, Number } kind;
};
// 52 listed fields followed by the three unlisted ones.
const std::vector<IptcField>& iptcFields();
inline constexpr int kIptcListedFields = 52;
const IptcField* findIptcField(const QString& name);

class ExifIptc {
public:
    ExifIptc();
    ~ExifIptc();
    ExifIptc(const ExifIptc& other);
    ExifIptc& operator=(const ExifIptc& other);

    // Replaces what is held by the metadata of `path`. A file exiv2 cannot read gives false and
    // leaves nothing held; `error` says why.
    bool readFrom(const QString& path, QString* error = nullptr);
    void clearAll();

    // Writes the held EXIF and IPTC into `path` (other metadata untouched): exiv2 writes a copy
    // beside the file, the copy is checked (it opens, a TIFF keeps its page count) and then
    // renamed over the file. A failure leaves the file byte for byte.
    bool WriteMetadataTo(const QString& path, QString* error = nullptr) const;

    // ---- EXIF, in the file's order, without thumbnail and maker-note groups
    int ExifCount() const;
    QString ExifName(int index) const;
    QString ExifValue(int index) const;
    QString ExifValueByName(const QString& name) const; // empty when absent
    bool SetExifAttribute(const QString& name, const QString& value);
    bool DeleteExifAttribute(const QString& name);
    void ClearExif();
    static QString DateToExifText(const QDateTime& date);
    static QDateTime ExifTextToDate(const QString& text); // invalid for a blank or zero date

    // ---- IPTC
    QString iptcText(int dataset) const;             // first dataset, decoded
    void setIptcText(int dataset, const QString& v); // empty erases
    QDate iptcDate(int dataset) const;               // invalid when absent
    void setIptcDate(int dataset, const QDate& v);   // invalid erases
    QTime iptcTime(int dataset) const;
    void setIptcTime(int dataset, const QTime& v);
    QStringList iptcList(int dataset) const;
    void setIptcList(int dataset, const QStringList& items);

    int32_t IptcUrgency() const;
    void setIptcUrgency(int32_t v); // 0 erases
    int IptcKeywordCount() const { return iptcList(25).size(); }
    QString IptcKeyword(int i) const { return iptcList(25).value(i); }
    void AddIptcKeyword(const QString& k);
    void ClearIptcKeywords() { setIptcList(25, {}); }
    int IptcSupplementalCategoryCount() const { return iptcList(20).size(); }
    QString IptcSupplementalCategory(int i) const { return iptcList(20).value(i); }
    void AddIptcSupplementalCategory(const QString& c);
    void ClearIptcSupplementalCategories() { setIptcList(20, {}); }

    bool HasIptc() const;
    void ClearIptc();

    // The IPTC template: one Photoshop image-resource block holding the IIM stream.
    QByteArray iptcTemplateBytes() const;
    // Reads a template (an image-resource stream, with or without the "Photoshop 3.0" header, or
    // a bare IIM stream). On success the held IPTC is replaced; otherwise it is left as it was.
    bool parseIptcTemplate(const QByteArray& bytes);
    bool SaveIptcToFile(const QString& path, QString* error = nullptr) const;
    bool LoadIptcFromFile(const QString& path);

private:
    struct Data;
    std::unique_ptr<Data> d;
};

// Name used by the program for an exiv2 tag name, and back.
QString exifNameFromTag(const QString& tagName);
QString exifTagFromName(const QString& name);

} // namespace tf
