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
#include <functional>
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
    // renamed over the file. A failure leaves the file byte for byte, with one exception: a file
    // whose kind has no place for IPTC (a WebP) still gets a changed EXIF, and the answer is
    // false with `error` saying the IPTC was not written and the EXIF was.
    // It waits for the disk and for exiv2 (half a second on a 70 MB photo), so it belongs on a
    // worker; `step` hears how far it is (`done` of `total`) between its stages, on that worker,
    // and answering false stops it before the file is replaced (false, with no error said).
    using WriteStep = std::function<bool(int done, int total)>;
    bool WriteMetadataTo(const QString& path, QString* error = nullptr, const WriteStep& step = {}) const;

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

    // The named fields, as the image control's callers use them (IptcAuthor is IptcByline).
#define TF_IPTC_TEXT(Name, dataset)                                                                    \
    QString Iptc##Name() const { return iptcText(dataset); }                                           \
    void setIptc##Name(const QString& v) { setIptcText(dataset, v); }
    TF_IPTC_TEXT(Caption, 120)
    TF_IPTC_TEXT(CaptionWriter, 122)
    TF_IPTC_TEXT(Headline, 105)
    TF_IPTC_TEXT(SpecialInstructions, 40)
    TF_IPTC_TEXT(Category, 15)
    TF_IPTC_TEXT(Byline, 80)
    TF_IPTC_TEXT(BylineTitle, 85)
    TF_IPTC_TEXT(Credit, 110)
    TF_IPTC_TEXT(Source, 115)
    TF_IPTC_TEXT(ObjectName, 5)
    TF_IPTC_TEXT(City, 90)
    TF_IPTC_TEXT(ProvinceState, 95)
    TF_IPTC_TEXT(CountryName, 101)
    TF_IPTC_TEXT(OriginalTransmissionReference, 103)
    TF_IPTC_TEXT(CopyrightNotice, 116)
    TF_IPTC_TEXT(ImageUrl, 160)
    TF_IPTC_TEXT(EditStatus, 7)
    TF_IPTC_TEXT(FixtureIdentifier, 22)
    TF_IPTC_TEXT(ReferenceService, 45)
    TF_IPTC_TEXT(ReferenceNumber, 50)
    TF_IPTC_TEXT(OriginatingProgram, 65)
    TF_IPTC_TEXT(ProgramVersion, 70)
    TF_IPTC_TEXT(ObjectCycle, 75)
    TF_IPTC_TEXT(Sublocation, 92)
    TF_IPTC_TEXT(CountryCode, 100)
    TF_IPTC_TEXT(LocalCaption, 121)
    TF_IPTC_TEXT(ImageNotes, 230)
    TF_IPTC_TEXT(CustomField1, 161)
    TF_IPTC_TEXT(CustomField2, 162)
    TF_IPTC_TEXT(CustomField3, 163)
    TF_IPTC_TEXT(CustomField4, 164)
    TF_IPTC_TEXT(CustomField5, 165)
    TF_IPTC_TEXT(CustomField6, 166)
    TF_IPTC_TEXT(CustomField7, 167)
    TF_IPTC_TEXT(CustomField8, 168)
    TF_IPTC_TEXT(CustomField9, 169)
    TF_IPTC_TEXT(CustomField10, 170)
    TF_IPTC_TEXT(CustomField11, 171)
    TF_IPTC_TEXT(CustomField12, 172)
    TF_IPTC_TEXT(CustomField13, 173)
    TF_IPTC_TEXT(CustomField14, 174)
    TF_IPTC_TEXT(CustomField15, 175)
    TF_IPTC_TEXT(CustomField16, 176)
    TF_IPTC_TEXT(CustomField17, 177)
    TF_IPTC_TEXT(CustomField18, 178)
    TF_IPTC_TEXT(CustomField19, 179)
    TF_IPTC_TEXT(CustomField20, 180)
    TF_IPTC_TEXT(Author, 80)
#undef TF_IPTC_TEXT
#define TF_IPTC_DATE(Name, dataset)                                                                    \
    QDate Iptc##Name() const { return iptcDate(dataset); }                                             \
    void setIptc##Name(const QDate& v) { setIptcDate(dataset, v); }
    TF_IPTC_DATE(DateCreated, 55)
    TF_IPTC_DATE(DateReleased, 30)
    TF_IPTC_DATE(ReferenceDate, 47)
#undef TF_IPTC_DATE
    QTime IptcTimeReleased() const { return iptcTime(35); }
    void setIptcTimeReleased(const QTime& v) { setIptcTime(35, v); }
    QTime IptcTimeCreated() const { return iptcTime(60); }
    void setIptcTimeCreated(const QTime& v) { setIptcTime(60, v); }

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
