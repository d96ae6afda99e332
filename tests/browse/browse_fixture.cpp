#include "browse_fixture.h"

#include "frame/modSettings.h"

#include <QFile>
#include <QImageWriter>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace browse_test {

BrowseFixture::BrowseFixture()
{
    gudtSettings = fncDefaultSettings();
    gudtSettings.FolderView = 0;
    gudtSettings.PreviewFit = 0;
    gudtSettings.PreviewType = 0;
    subUpdateThumbnailSizes();

    window.resize(1000, 700);
    BrowsePanes panes;
    panes.picBrowse = new QWidget(&window);
    panes.picBrowse->setGeometry(0, 0, 300, 200);
    panes.picFolder = new QWidget(&window);
    panes.picFolder->setGeometry(0, 200, 300, 300);
    w.lvPages = new tf::ListView(&window);
    w.lvPages->setColumnHeaders({"Page", "Resolution", "Size", "Type", "Source"});
    w.lvPages->setGeometry(0, 500, 300, 200);
    w.sbMain = panes.sbMain = new tf::StatusBar(&window);
    for (const char* key : {"folder", "filename", "pages", "resolution", "metadata", "status"}) w.sbMain->addPanel(key);
    w.pbQueue = panes.pbQueue = new QProgressBar(&window);
    w.pbQueue->hide();
    w.splView = panes.splView = new tf::Splitter(&window);
    w.splView->setGeometry(300, 0, 700, 600);
    w.picView = panes.picView = new QWidget(w.splView);
    w.PicMetadata = panes.PicMetadata = new QWidget(w.splView);
    w.splView->setLeftOrTopControl(w.picView);
    w.splView->setRightOrBottomControl(w.PicMetadata);
    w.tbsMetadata = panes.tbsMetadata = new QTabBar(w.PicMetadata);
    w.tbsMetadata->addTab("EXIF Tags");
    w.tbsMetadata->addTab("IPTC File Info");
    w.lvExif = panes.lvExif = new tf::ListView(w.PicMetadata);
    w.lvIPTC = panes.lvIPTC = new tf::ListView(w.PicMetadata);
    const tf::BrowseServices fakes{services, services, services, services, services, services, services, services};
    browse = std::make_unique<BrowseController>(panes, fakes);
    browse->setBasketList(w.lvPages);

    w.ftvBrowse = browse->ftvBrowse();
    w.lvFolder = browse->lvFolder();
    w.lvFolder->setGeometry(0, 30, 300, 270);
    w.cmdDetailFolder = browse->cmdDetailFolder();
    w.cmdThumbnailFolder = browse->cmdThumbnailFolder();
    w.ibMain = browse->ibMain();
    w.PicViewImage = browse->PicViewImage();
    w.PicViewImage->setGeometry(10, 30, 400, 300);
    w.hsbView = browse->hsbView();
    w.vsbView = browse->vsbView();
    w.cmdPreviewView = browse->cmdPreviewView();
    w.cmdPreviewType = browse->cmdPreviewType();
    w.cmdPreviewSave = browse->cmdPreviewSave();
    w.cmdPreviewPrint = browse->cmdPreviewPrint();
    w.cmdPreviewPrevious = browse->cmdPreviewPrevious();
    w.cmdPreviewNext = browse->cmdPreviewNext();
    w.CmdPreviewEdit = browse->CmdPreviewEdit();
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
