#pragma once
// The widgets the browse controller works on, laid out as the main window has them, and image
// files to browse.
#include "browse/BrowseController.h"
#include "controls/splitter.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"

#include <QColor>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeView>
#include <QWidget>
#include <memory>

namespace browse_test {

struct BrowseFixture {
    explicit BrowseFixture(bool withTree = false);
    ~BrowseFixture();

    QWidget window;
    QTreeView* ftvBrowse = nullptr;
    tf::ListView* lvFolder = nullptr;
    tf::ListView* lvPages = nullptr;
    tf::StatusBar* sbMain = nullptr;
    QProgressBar* pbQueue = nullptr;
    QPushButton* cmdDetailFolder = nullptr;
    QPushButton* cmdThumbnailFolder = nullptr;
    tf::Splitter* splView = nullptr;
    QWidget* picView = nullptr;
    QWidget* PicMetadata = nullptr;
    QTabBar* tbsMetadata = nullptr;
    tf::ListView* lvExif = nullptr;
    tf::ListView* lvIPTC = nullptr;
    QWidget* PicViewImage = nullptr;
    ImageBox* ibMain = nullptr;
    QScrollBar* hsbView = nullptr;
    QScrollBar* vsbView = nullptr;
    QPushButton* cmdPreviewView = nullptr;
    QPushButton* cmdPreviewType = nullptr;
    QPushButton* cmdPreviewSave = nullptr;
    QPushButton* cmdPreviewPrint = nullptr;
    QPushButton* cmdPreviewPrevious = nullptr;
    QPushButton* cmdPreviewNext = nullptr;
    std::unique_ptr<BrowseController> browse;
    int resizeCalls = 0;

    // The rows' texts, in list order.
    QStringList rowTexts() const;
    // Selects exactly this row (1-based) of the list, as a click would, without showing it.
    void selectRow(tf::ListView* list, int index);
    // The viewport's inner size, the size the image is fitted to.
    void setViewportSize(QSize size);
};

// A picture of one colour with a darker first column, so orientation and pages can be told apart.
QImage solid(int width, int height, QColor colour);

// Writers that do not use the code under test.
void writeQt(const QString& path, const QImage& image, const char* format, bool progressive = false);
// A TIFF with one page per picture, each 8-bit RGB, written with libtiff.
void writeTiffPages(const QString& path, const QList<QImage>& pages);
// gif, psd and the like through the image control's own writers.
void writeWithControl(const QString& path, const QImage& image);
void writeBytes(const QString& path, const QByteArray& bytes);

} // namespace browse_test

// Readable failures for Qt texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE
