#include "browse_fixture.h"

#include "platform/sys/blockingcalls.h"

#include "frame/modSettings.h"

#include <QImageWriter>
#include <QTest>
#include <gtest/gtest.h>

namespace browse_test {

BrowseFixture::BrowseFixture()
{
    gudtSettings = fncDefaultSettings();
    gudtSettings.FolderView = 0;
    gudtSettings.PreviewFit = 0;
    gudtSettings.PreviewType = 0;
    subUpdateThumbnailSizes();

    window.resize(1000, 700);
    w.picBrowse = new QWidget(&window);
    w.picBrowse->setGeometry(0, 0, 300, 200);
    w.picFolder = new QWidget(&window);
    w.picFolder->setGeometry(0, 200, 300, 300);
    lvPages = new tf::ListView(&window);
    lvPages->setColumnHeaders({"Page", "Resolution", "Size", "Type", "Source"});
    lvPages->setGeometry(0, 500, 300, 200);
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
    w.iDetailIcon = QPixmap(16, 16);
    w.iDetailIcon.fill(Qt::darkCyan);
    const tf::BrowseServices fakes{services, services, services, services, services, services, services, services};
    browse = std::make_unique<BrowseController>(w, fakes);
    browse->setBasketList(lvPages);
    lvFolder = browse->lvFolder();
    lvFolder->setGeometry(0, 30, 300, 270);
    ibMain = browse->ibMain();
    browse->PicViewImage()->setGeometry(10, 30, 400, 300);
    browse->subUpdatePreviewSettings();
}

void BrowseFixture::list(const QString& folder)
{
    browse->ftvBrowse_FolderSelected(folder);
    EXPECT_TRUE(settle());
}

bool BrowseFixture::settle() const
{
    return QTest::qWaitFor([this] { return !browse->listingBusy() && !browse->previewPending(); }, 30000);
}

QStringList BrowseFixture::rowTexts() const
{
    QStringList out;
    for (int i = 1; i <= count(); ++i) out << cell(item(i), 0);
    return out;
}

QModelIndex BrowseFixture::row(const QString& text) const
{
    for (int i = 1; i <= count(); ++i)
        if (cell(item(i), 0) == text) return item(i);
    return {};
}

QStringList BrowseFixture::selectedTexts() const
{
    QStringList out;
    for (int i = 1; i <= count(); ++i)
        if (lvFolder->selectionModel()->isRowSelected(i - 1, {})) out << cell(item(i), 0);
    return out;
}

void BrowseFixture::selectRow(QTreeView* list, int index)
{
    const QModelIndex row = list->model()->index(index - 1, 0);
    list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
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
    tf::BlockingCallsAllowed here; // a file for the test to browse, written before anything is shown
    tf::ImageDocument document;
    document.setPicture(image);
    document.SaveToFile(path);
}

} // namespace browse_test
