#pragma once
// Basket pages for the multipage tests, made with Qt's own writers, and readings of the written
// documents by the command-line tools (tiffdump, qpdf, pdfimages), not by the code under test.
#include <QColor>
#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>
#include <vector>

// Readable failures for texts.
static inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace tf {
class ListView;
}

namespace tf::test::multipage {

// A w x h picture: a coloured band, a grey ramp and a black bar, at `dpi`.
QImage pagePicture(int w, int h, QColor tint, int dpi = 150);
// Writes the picture in the format the extension names (jpg, png, tif, ppm, ...); a "grey" JPEG
// is written from the picture's grey version and a "mono" TIFF as 1 bit.
QString writePage(const QString& path, const QImage& picture);

// The basket: rows whose text is the file name and whose tag is the file.
std::unique_ptr<tf::ListView> basketOf(const QStringList& files);

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

// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

} // namespace tf::test::multipage

namespace tf::test::multipage {

// Makes a folder unwritable for the life of the object, also for root (which ignores modes):
// then through the immutable attribute. usable() is false when neither works here.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool usable() const { return m_usable; }

private:
    QString m_folder;
    bool m_immutable = false;
    bool m_usable = false;
};


} // namespace tf::test::multipage
