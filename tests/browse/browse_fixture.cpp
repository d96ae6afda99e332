#include "browse_fixture.h"

#include "frame/modSettings.h"

#include <QFile>
#include <QImageWriter>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace browse_test {

BrowseFixture::BrowseFixture(bool withTree)
{
    gudtSettings = fncDefaultSettings();
    gudtSettings.FolderView = 0;
    gudtSettings.PreviewFit = 0;
    gudtSettings.PreviewType = 0;
    subUpdateThumbnailSizes();

    window.resize(1000, 700);
    if (withTree) ftvBrowse = new QTreeView(&window);
    lvFolder = new tf::ListView(&window);
    lvFolder->setObjectName("lvFolder");
    lvFolder->setGeometry(0, 0, 300, 400);
    lvPages = new tf::ListView(&window);
    lvPages->setObjectName("lvPages");
    lvPages->setColumnHeaders({"Page", "Resolution", "Size", "Type", "Source"});
    lvPages->setGeometry(0, 400, 300, 200);
    sbMain = new tf::StatusBar(&window);
    for (const char* key : {"folder", "filename", "pages", "resolution", "metadata", "status", "queue"}) sbMain->addPanel(key);
    pbQueue = new QProgressBar(&window);
    pbQueue->hide();
    cmdDetailFolder = new QPushButton(&window);
    cmdThumbnailFolder = new QPushButton(&window);

    splView = new tf::Splitter(&window);
    splView->setGeometry(300, 0, 700, 600);
    picView = new QWidget(splView);
    PicMetadata = new QWidget(splView);
    splView->setLeftOrTopControl(picView);
    splView->setRightOrBottomControl(PicMetadata);
    tbsMetadata = new QTabBar(PicMetadata);
    tbsMetadata->addTab("EXIF Tags");
    tbsMetadata->addTab("IPTC File Info");
    lvExif = new tf::ListView(PicMetadata);
    lvIPTC = new tf::ListView(PicMetadata);

    PicViewImage = new QWidget(&window);
    PicViewImage->setGeometry(310, 30, 400, 300);
    ibMain = new ImageBox(PicViewImage);
    hsbView = new QScrollBar(Qt::Horizontal, &window);
    vsbView = new QScrollBar(Qt::Vertical, &window);
    cmdPreviewView = new QPushButton(&window);
    cmdPreviewType = new QPushButton(&window);
    cmdPreviewSave = new QPushButton(&window);
    cmdPreviewPrint = new QPushButton(&window);
    cmdPreviewPrevious = new QPushButton(&window);
    cmdPreviewNext = new QPushButton(&window);

    BrowseWidgets widgets;
    widgets.ftvBrowse = ftvBrowse;
    widgets.lvFolder = lvFolder;
    widgets.sbMain = sbMain;
    widgets.pbQueue = pbQueue;
    widgets.cmdDetailFolder = cmdDetailFolder;
    widgets.cmdThumbnailFolder = cmdThumbnailFolder;
    widgets.ibMain = ibMain;
    widgets.PicViewImage = PicViewImage;
    widgets.hsbView = hsbView;
    widgets.vsbView = vsbView;
    widgets.splView = splView;
    widgets.picView = picView;
    widgets.PicMetadata = PicMetadata;
    widgets.tbsMetadata = tbsMetadata;
    widgets.lvExif = lvExif;
    widgets.lvIPTC = lvIPTC;
    widgets.cmdPreviewView = cmdPreviewView;
    widgets.cmdPreviewType = cmdPreviewType;
    widgets.cmdPreviewSave = cmdPreviewSave;
    widgets.cmdPreviewPrint = cmdPreviewPrint;
    widgets.cmdPreviewPrevious = cmdPreviewPrevious;
    widgets.cmdPreviewNext = cmdPreviewNext;
    widgets.lvPages = lvPages;
    browse = std::make_unique<BrowseController>(widgets);
    browse->hooks.subResize = [this] { ++resizeCalls; };
    browse->subUpdatePreviewSettings();
}

BrowseFixture::~BrowseFixture() { browse.reset(); }

QStringList BrowseFixture::rowTexts() const
{
    QStringList out;
    for (int i = 1; i <= lvFolder->Count(); ++i) out << lvFolder->Item(i)->text(0);
    return out;
}

void BrowseFixture::selectRow(tf::ListView* list, int index)
{
    list->deselectAll();
    list->setCurrentItem(list->Item(index));
    list->Item(index)->setSelected(true);
}

void BrowseFixture::setViewportSize(QSize size) { PicViewImage->resize(size); }

QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 0; y < height; ++y) image.setPixelColor(0, y, colour.darker(200));
    return image;
}

void writeQt(const QString& path, const QImage& image, const char* format, bool progressive)
{
    QImageWriter writer(path, format);
    writer.setProgressiveScanWrite(progressive);
    ASSERT_TRUE(writer.write(image)) << path.toStdString() << ": " << writer.errorString().toStdString();
}

void writeTiffPages(const QString& path, const QList<QImage>& pages)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tif, nullptr);
    for (const QImage& page : pages) {
        const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(rgb.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(rgb.height()));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rgb.height()));
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        for (int y = 0; y < rgb.height(); ++y)
            ASSERT_EQ(TIFFWriteScanline(tif, const_cast<uchar*>(rgb.constScanLine(y)), static_cast<uint32_t>(y), 0), 1);
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
}

void writeWithControl(const QString& path, const QImage& image)
{
    tf::ImageDocument document;
    document.setPicture(image);
    document.SaveToFile(path);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace browse_test
