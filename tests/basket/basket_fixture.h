#pragma once
// The basket's widgets as the main window holds them, and a folder list filled as the folder view does.
#include "basket/BasketController.h"
#include "frame/TaskReplay.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/listview.h"
#include "platform/ui/reportview.h"
#include "platform/ui/statusbar.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) { *os << '[' << list.join(" | ").toStdString() << ']'; }

namespace tf::test {

// A flat colour with a black mark top left.
QImage pagePicture(int w, int h, QColor colour);
// Each path is a page file in our Temp folder named by `pattern`, with %1 the page's number from 1.
void expectTempPages(const QStringList& paths, const QString& pattern);
QStringList tempFolderFiles();
void clearTempFolder();

// The folder list as the basket reaches it: the selected rows, with their pictures while it holds any.
class ListFolderFiles final : public FolderFiles {
public:
    ListFolderFiles(ListView* list, ImageList* pictures, QString folder, const QString* dragSource)
        : m_list(list), m_pictures(pictures), m_folder(std::move(folder)), m_dragSource(dragSource)
    {
    }
    int folderFileCount() const override { return m_list->Count(); }
    std::vector<FolderFile> chosenFolderFiles() const override;
    QString currentFolder() const override { return m_folder; }
    void learnResolution(const QString& tag, const QString& resolution) override;
    bool isFolderDrag(const QObject* source) const override { return source == m_list; }
    QString dragSourceList() const override { return *m_dragSource; }

private:
    ListView* m_list;
    ImageList* m_pictures;
    QString m_folder;
    const QString* m_dragSource;
};

class BasketFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Name with extension, path as tag, resolution, size text, page count, type; a thumbnail when asked.
    QTreeWidgetItem* addFolderRow(const QString& path, const QString& resolution, const QString& pages,
                                  bool thumbnail = true);
    // a.jpg, b.jpg, c.jpg, d.png and the 3-page scan.tif (pages 40, 50 and 60 x 30), listed.
    void makeStandardFolder();
    void selectFolderRows(const QList<int>& rows);
    QStringList basketColumn(int subItem) const; // 0: the tags, -1: the texts
    QStringList basketTexts() const { return basketColumn(-1); }
    // Page i (from 1) as the basket's view shows it, what it shows, and the view's choice of pages.
    QModelIndex page(int i) const { return lvPages->model()->index(i - 1, 0); }
    int pageCount() const { return lvPages->model()->rowCount(); }
    static QString pageCell(const QModelIndex& page, int column) { return page.siblingAtColumn(column).data().toString(); }
    static QString pageTag(const QModelIndex& page) { return page.data(tf::kPathRole).toString(); }
    static QPixmap shownPicture(const QModelIndex& page) { return qvariant_cast<QPixmap>(page.data(Qt::DecorationRole)); }
    void choosePage(int i) { lvPages->selectionModel()->select(page(i), QItemSelectionModel::Select | QItemSelectionModel::Rows); }
    bool isChosen(int i) const { return lvPages->selectionModel()->isRowSelected(i - 1, {}); }
    QList<int> chosenPages() const
    {
        QList<int> out;
        for (int i = 1; i <= pageCount(); ++i)
            if (isChosen(i)) out << i;
        return out;
    }
    // A page as the add commands make it, with a white thumbnail: text, tag and source.
    void addPage(const QString& text, const QString& tag, const QString& source = QString());
    // Opens a basket file and waits until its files are added.
    bool open(const QString& file);
    // Returns once the running add (if any) has finished.
    void waitForAdding();

    TempFolder folder;
    std::unique_ptr<QWidget> window;
    ListView* lvFolder = nullptr;
    ImageList* ilFolder = nullptr;
    ReportView* lvPages = nullptr;
    StatusBar* sbMain = nullptr;
    QProgressBar* pbQueue = nullptr;
    // The window's mstrDragSourceList, which the browse area keeps as the lists take the focus.
    QString dragSource;
    std::unique_ptr<ListFolderFiles> folderFiles;
    ImageDocument ibTemp;
    NoTasks noTasks;
    std::unique_ptr<BasketController> basket;
    basket::BasketModel* model = nullptr;
};

} // namespace tf::test
