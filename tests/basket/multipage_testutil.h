#pragma once
// Basket pages for the multipage tests, made with Qt's own writers. The written documents are read
// by the command-line tools through support/doctools.h.
#include "support/doctools.h"

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

#include "basket/basketModel.h"
#include "support/doctools.h"

namespace tf::test::multipage {

// A w x h picture: a coloured band, a grey ramp and a black bar, at `dpi`.
QImage pagePicture(int w, int h, QColor tint, int dpi = 150);
// Writes the picture in the format the extension names (jpg, png, tif, ppm, ...); a "grey" JPEG
// is written from the picture's grey version and a "mono" TIFF as 1 bit.
QString writePage(const QString& path, const QImage& picture);

// The basket: pages whose text is the file name and whose tag and source are the file.
std::unique_ptr<tf::basket::BasketModel> basketOf(const QStringList& files);

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
