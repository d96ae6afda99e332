#pragma once
// What the independent tools say of a written document (tiffdump, pdfimages, pdfinfo, qpdf),
// read once here for every test that checks a TIFF or PDF.
#include <QList>
#include <QMap>
#include <QString>
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
int pdfPages(const QString& path);
bool qpdfCheckPasses(const QString& path);

// The pages' widths in order: which basket page each one came from.
QList<int> widthsOf(const std::vector<TiffDirectory>& dirs);
QList<int> widthsOf(const std::vector<PdfImage>& images);

} // namespace tf::test
