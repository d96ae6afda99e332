#include "basket_fixture.h"

#include "basket/modBasket.h"
#include "basket/modSaveOpenImageList.h"
#include "frame/modSettings.h"
#include "platform/sys/userdirs.h"
#include "services/clsFileInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace tf::test {

QImage pagePicture(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    QPainter(&image).fillRect(0, 0, 4, 4, Qt::black);
    return image;
}

void expectTempPages(const QStringList& paths, const QString& pattern)
{
    const QString folder = QRegularExpression::escape(userTempDir() + '/');
    for (int p = 0; p < paths.size(); ++p) {
        const QRegularExpression name(QRegularExpression::anchoredPattern(folder + pattern.arg(p + 1)));
        EXPECT_TRUE(name.match(paths[p]).hasMatch()) << paths[p].toStdString();
    }
}

QStringList tempFolderFiles() { return QDir(userTempDir()).entryList(QDir::Files, QDir::Name); }

void clearTempFolder()
{
    QDir(userTempDir()).removeRecursively();
    userTempDir();
}

std::vector<FolderFile> ListFolderFiles::chosenFolderFiles() const
{
    std::vector<FolderFile> files;
    for (int i = 1; i <= m_list->Count(); ++i) {
        QTreeWidgetItem* item = m_list->Item(i);
        if (!item->isSelected()) continue;
        FolderFile file;
        file.index = i;
        file.text = item->text(0);
        file.tag = ListView::Tag(item);
        file.resolution = ListView::SubItem(item, 1);
        file.sizeText = ListView::SubItem(item, 2);
        file.pages = ListView::SubItem(item, 3);
        file.typeText = ListView::SubItem(item, 4);
        if (m_pictures->count() > 0) file.thumbnail = m_pictures->image(ListView::SmallIcon(item)).toImage();
        files.push_back(file);
    }
    return files;
}

void ListFolderFiles::learnResolution(const QString& tag, const QString& resolution)
{
    for (int i = 1; i <= m_list->Count(); ++i)
        if (ListView::Tag(m_list->Item(i)) == tag) ListView::setSubItem(m_list->Item(i), 1, resolution);
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
    sbMain = new StatusBar;
    sbMain->addPanel("folder");
    sbMain->addPanel("queue");
    pbQueue = new QProgressBar;
    folderFiles = std::make_unique<ListFolderFiles>(lvFolder, ilFolder, folder.path(), &dragSource);

    const BasketSetup setup{.owner = window.get(), .pane = window.get(), .sbMain = sbMain, .pbQueue = pbQueue};
    basket = std::make_unique<BasketController>(setup, *folderFiles, ibTemp, noTasks);
    model = &basket->model();
    lvPages = basket->lvPages();
    for (QWidget* child : std::initializer_list<QWidget*>{lvFolder, lvPages, sbMain, pbQueue}) layout->addWidget(child);
    pbQueue->setVisible(false);
    window->resize(600, 900);
}

void BasketFixture::addPage(const QString& text, const QString& tag, const QString& source)
{
    QImage picture(48, 36, QImage::Format_RGB32);
    picture.fill(Qt::white);
    basket::PageRecord page;
    page.text = text;
    page.tag = tag;
    page.source = source;
    basket::fncAddBasketPage(*model, *basket->ilPages(), page, picture);
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

QStringList BasketFixture::basketColumn(int subItem) const
{
    QStringList out;
    for (int i = 1; i <= pageCount(); ++i)
        out << (subItem < 0 ? pageCell(page(i), 0) : subItem == 0 ? pageTag(page(i)) : pageCell(page(i), subItem));
    return out;
}

bool BasketFixture::open(const QString& file)
{
    const bool opened = basket->openBasketFile(file);
    waitForAdding();
    return opened;
}

void BasketFixture::waitForAdding()
{
    if (!basket->isAdding()) return;
    QSignalSpy done(basket.get(), &BasketController::addingFinished);
    EXPECT_TRUE(done.wait(30000)) << "the add ends";
}

} // namespace tf::test
