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
    if (withTree) w.ftvBrowse = new tf::FolderTreeView(&window);
    w.lvFolder = new tf::ListView(&window);
    w.lvFolder->setGeometry(0, 0, 300, 400);
    w.lvPages = new tf::ListView(&window);
    w.lvPages->setColumnHeaders({"Page", "Resolution", "Size", "Type", "Source"});
    w.lvPages->setGeometry(0, 400, 300, 200);
    w.sbMain = new tf::StatusBar(&window);
    for (const char* key : {"folder", "filename", "pages", "resolution", "metadata", "status"}) w.sbMain->addPanel(key);
    w.pbQueue = new QProgressBar(&window);
    w.pbQueue->hide();
    w.splView = new tf::Splitter(&window);
    w.splView->setGeometry(300, 0, 700, 600);
    w.picView = new QWidget(w.splView);
    w.PicMetadata = new QWidget(w.splView);
    w.splView->setLeftOrTopControl(w.picView);
    w.splView->setRightOrBottomControl(w.PicMetadata);
    w.tbsMetadata = new QTabBar(w.PicMetadata);
    w.tbsMetadata->addTab("EXIF Tags");
    w.tbsMetadata->addTab("IPTC File Info");
    w.lvExif = new tf::ListView(w.PicMetadata);
    w.lvIPTC = new tf::ListView(w.PicMetadata);
    w.PicViewImage = new QWidget(&window);
    w.PicViewImage->setGeometry(310, 30, 400, 300);
    w.ibMain = new ImageBox(w.PicViewImage);
    w.hsbView = new QScrollBar(Qt::Horizontal, &window);
    w.vsbView = new QScrollBar(Qt::Vertical, &window);
    for (QAbstractButton** button : {&w.cmdDetailFolder, &w.cmdThumbnailFolder, &w.cmdPreviewView, &w.cmdPreviewType,
                                     &w.cmdPreviewSave, &w.cmdPreviewPrint, &w.cmdPreviewPrevious, &w.cmdPreviewNext})
        *button = new QPushButton(&window);
    browse = std::make_unique<BrowseController>(w);
    browse->hooks.subResize = [this] { ++resizeCalls; };
    browse->subUpdatePreviewSettings();
}

QStringList BrowseFixture::rowTexts() const
{
    QStringList out;
    for (int i = 1; i <= w.lvFolder->Count(); ++i) out << w.lvFolder->Item(i)->text(0);
    return out;
}

QTreeWidgetItem* BrowseFixture::row(const QString& text) const
{
    for (int i = 1; i <= w.lvFolder->Count(); ++i)
        if (w.lvFolder->Item(i)->text(0) == text) return w.lvFolder->Item(i);
    return nullptr;
}

void BrowseFixture::selectRow(tf::ListView* list, int index)
{
    list->deselectAll();
    list->setCurrentItem(list->Item(index));
    list->Item(index)->setSelected(true);
}

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
    ASSERT_TRUE(writer.write(image)) << path.toStdString();
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
