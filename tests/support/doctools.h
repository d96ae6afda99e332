#pragma once
// Written documents as the command-line tools read them (tiffdump, tiffinfo, pdfimages, pdfinfo,
// qpdf), not through the code under test.
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace tf::test {

// One directory of a TIFF as tiffdump lists it: tag number -> values as printed ("1", "8 8 8").
struct TiffDirectory {
    qint64 offset = 0;
    qint64 next = 0;
    QMap<int, QString> tags;
    int value(int tag) const { return tags.value(tag).section(QLatin1Char(' '), 0, 0).toInt(); }
};
std::vector<TiffDirectory> tiffDirectories(const QString& path);
// One tag (by number) of every directory that has it, in page order.
QStringList tiffTagValues(const QString& path, int tag);

// tiffinfo's "Key: value" lines for one key, one per page that has it.
QStringList tiffinfoValues(const QString& path, const QString& key);

// pdfimages -list: one row per image, in page order.
struct PdfImage {
    int page = 0;
    int width = 0;
    int height = 0;
    QString color; // rgb, gray, index
    int bpc = 0;
    QString enc; // jpeg, image, ccitt
};
std::vector<PdfImage> pdfImages(const QString& path);
// pdfinfo: the number of pages, and each page's size as printed ("72 x 36 pts").
int pdfPages(const QString& path);
QStringList pdfPageSizes(const QString& path);
// pdfinfo's whole report, for the document's own entries (Producer, ...).
QString pdfInfo(const QString& path);
bool qpdfCheckPasses(const QString& path);

// The pages' widths in order: which source page each one came from.
QList<int> widthsOf(const std::vector<TiffDirectory>& dirs);
QList<int> widthsOf(const std::vector<PdfImage>& images);

} // namespace tf::test
