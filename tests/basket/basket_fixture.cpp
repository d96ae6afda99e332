#include "basket_fixture.h"

#include "basket/modSaveOpenImageList.h"
#include "frame/modSettings.h"
#include "platform/sys/userdirs.h"
#include "services/clsFileInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QVBoxLayout>
#include <tiffio.h>

namespace tf::test {

QImage pagePicture(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    QPainter(&image).fillRect(0, 0, 4, 4, Qt::black);
    return image;
}


QList<QSize> tiffPageSizes(const QString& path)
{
    QList<QSize> sizes;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif) return sizes;
    do {
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        sizes << QSize(int(w), int(h));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return sizes;
}

QStringList tempFolderFiles() { return QDir(userTempDir()).entryList(QDir::Files, QDir::Name); }

void clearTempFolder()
{
    QDir(userTempDir()).removeRecursively();
    userTempDir();
}

void BasketFixture::SetUp()
{
    clearTempFolder();
    glngPagesThumbWidth = 48;
    glngPagesThumbHeight = 36;
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    lvFolder = new ListView;
    lvFolder->setColumnHeaders({"File Name", "Resolution", "Size", "Pages", "Type"});
    ilFolder = new ImageList(QSize(), window.get());
    lvFolder->setSmallIcons(ilFolder);
    lvPages = new ListView;
    lvPages->setColumnHeaders({"File Name", "Resolution", "Size", "Type", "Source"});
    sbMain = new StatusBar;
    sbMain->addPanel("folder");
    sbMain->addPanel("queue");
    pbQueue = new QProgressBar;
    cmdAddToQueue = new QPushButton;
    cmdPagesDelete = new QPushButton;
    cmdPagesNew = new QPushButton;
    for (QWidget* child : std::initializer_list<QWidget*>{lvFolder, lvPages, sbMain, pbQueue, cmdAddToQueue,
                                                          cmdPagesDelete, cmdPagesNew})
        layout->addWidget(child);
    pbQueue->setVisible(false);
    window->resize(600, 900);

    BasketWidgets widgets;
    widgets.owner = window.get();
    widgets.lvFolder = lvFolder;
    widgets.ilFolder = ilFolder;
    widgets.currentFolder = [this] { return folder.path(); };
    widgets.lvPages = lvPages;
    widgets.dragSourceList = [this] { return dragSource; };
    widgets.sbMain = sbMain;
    widgets.pbQueue = pbQueue;
    widgets.cmdAddToQueue = cmdAddToQueue;
    widgets.cmdPagesDelete = cmdPagesDelete;
    widgets.cmdPagesNew = cmdPagesNew;
    basket = std::make_unique<BasketController>(widgets);
}

void BasketFixture::TearDown()
{
    basket.reset();
    window.reset();
    clearTempFolder();
}

QTreeWidgetItem* BasketFixture::addFolderRow(const QString& path, const QString& resolution, const QString& pages,
                                             bool thumbnail)
{
    clsFileInfo info;
    info.FilePath(path);
    const QImage picture(path); // an unreadable file has an empty picture in the folder list
    const int icon = thumbnail ? ilFolder->Add(picture.isNull() ? picture : picture.scaled(32, 32, Qt::KeepAspectRatio)) : 0;
    QTreeWidgetItem* item = lvFolder->AddItem(QFileInfo(path).fileName(), icon);
    ListView::setTag(item, path);
    ListView::setSubItem(item, 1, resolution);
    ListView::setSubItem(item, 2, info.fSizeFormated());
    ListView::setSubItem(item, 3, pages);
    ListView::setSubItem(item, 4, info.fType());
    return item;
}

void BasketFixture::makeStandardFolder()
{
    pagePicture(20, 10, Qt::red).save(folder.file("a.jpg"), "JPG");
    pagePicture(21, 11, Qt::green).save(folder.file("b.jpg"), "JPG");
    pagePicture(22, 12, Qt::blue).save(folder.file("c.jpg"), "JPG");
    pagePicture(23, 13, Qt::yellow).save(folder.file("d.png"), "PNG");
    ASSERT_TRUE(tf::test::writeRgbTiff(folder.file("scan.tif"), {pagePicture(40, 30, Qt::red), pagePicture(50, 30, Qt::green),
                                                    pagePicture(60, 30, Qt::blue)}));
    addFolderRow(folder.file("a.jpg"), "20 X 10", "1");
    addFolderRow(folder.file("b.jpg"), "21 X 11", "1");
    addFolderRow(folder.file("c.jpg"), "22 X 12", "1");
    addFolderRow(folder.file("d.png"), "23 X 13", "1");
    addFolderRow(folder.file("scan.tif"), "40 X 30", "3");
}

void BasketFixture::selectFolderRows(const QList<int>& rows)
{
    lvFolder->deselectAll();
    for (int r : rows) lvFolder->Item(r)->setSelected(true);
}

QStringList BasketFixture::basketTexts() const
{
    QStringList out;
    for (int i = 1; i <= lvPages->Count(); ++i) out << lvPages->Item(i)->text(0);
    return out;
}

QStringList BasketFixture::basketColumn(int subItem) const
{
    QStringList out;
    for (int i = 1; i <= lvPages->Count(); ++i)
        out << (subItem == 0 ? ListView::Tag(lvPages->Item(i)) : ListView::SubItem(lvPages->Item(i), subItem));
    return out;
}

bool BasketFixture::open(const QString& file, QStringList* failed)
{
    return fncOpenImageBasket(file, lvPages, basket->ilPages(), basket->ibWork(), pbQueue, failed);
}

} // namespace tf::test
