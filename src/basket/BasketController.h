#pragma once
// The basket of the main window: adding folder files (by the add button and by dropping folder
// rows), moving pages by drag, deleting, sorting, New basket, and saving and opening basket files.
// The window builds the widgets and hands them over; the work is in modBasket and
// modSaveOpenImageList.
#include "platform/imagebox/imagebox_document.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QProgressBar;
class QTreeWidgetItem;

namespace tf {
class ImageList;
class ListView;
class StatusBar;
} // namespace tf

// The widgets the basket works with; all owned by the window. Buttons may be left out (their
// slots can still be called); the rest must be there.
struct BasketWidgets {
    QWidget* owner = nullptr;           // owner of dialogs (frmMain)
    tf::ListView* lvFolder = nullptr;    // the folder list
    tf::ImageList* ilFolder = nullptr;   // its thumbnails, by each row's SmallIcon
    // Whether the folder list shows thumbnails now; unset means "when ilFolder holds pictures".
    std::function<bool()> folderShowsThumbnails;
    // The folder the folder list shows, put back in the "folder" panel after adding.
    std::function<QString()> currentFolder;
    tf::ListView* lvPages = nullptr;     // the basket
    tf::ImageList* ilPages = nullptr;    // its thumbnails; unset: the controller keeps its own
    // The list that last had the focus, "lvFolder" or "lvPages" (the window's mstrDragSourceList,
    // kept by the browse area): a drop on the basket adds folder files or moves pages by it.
    std::function<QString()> dragSourceList;
    tf::StatusBar* sbMain = nullptr;     // panels "folder" and "queue"
    QProgressBar* pbQueue = nullptr;
    QAbstractButton* cmdAddToQueue = nullptr;
    QAbstractButton* cmdPagesDelete = nullptr;
    QAbstractButton* cmdPagesNew = nullptr;
    QAbstractButton* cmdPagesSave = nullptr;
    QAbstractButton* cmdPagesOpen = nullptr;
};

class BasketController : public QObject {
    Q_OBJECT
public:
    explicit BasketController(const BasketWidgets& widgets, QObject* parent = nullptr);
    ~BasketController() override;

    tf::ImageList* ilPages() const { return m_ilPages; }
    // The private image control that splits multipage files; the preview's never does.
    tf::ImageDocument& ibWork() { return m_ibWork; }

public slots:
    void cmdAddToQueue_Click();
    // Adds the selected rows of a folder list (a drop of folder rows on the basket).
    void subAddFilesToBasket(tf::ListView* lvSource, tf::ImageList* ilSource);
    void subMoveListItems(tf::ListView* lv, int x, int y);
    void subDeleteSelectedItems(tf::ListView* lv);
    void subSortListView(tf::ListView* lv, int columnIndex);
    void cmdPagesDelete_Click();
    void cmdPagesNew_Click();
    void cmdPagesSave_Click();
    void cmdPagesOpen_Click();

    // Drag over and drop on the basket (viewport pixels). Only drags that start in the folder
    // list or the basket itself count; anything else is ignored.
    void lvPages_OLEDragOver(QObject* source, const QPoint& pos);
    void lvPages_OLEDragDrop(QObject* source, const QPoint& pos);

    void subUpdateQueuePanel();

signals:
    // Something was dropped on the basket (the window stops showing rows on arrow keys).
    void droppedOnBasket();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class AddWay { Button, Drop };
    struct FolderRow {
        int index = 0;
        QString text, tag, resolution, sizeText, pages, typeText;
        QImage folderThumbnail;
    };
    QList<FolderRow> snapshotSelected(tf::ListView* source, tf::ImageList* sourceImages) const;
    bool folderThumbnailsShown(tf::ListView* source, tf::ImageList* sourceImages) const;
    // Adds one folder file; gives its last row (nullptr when nothing was added).
    QTreeWidgetItem* addFolderRow(tf::ListView* source, const FolderRow& row, AddWay way, QStringList& failed);
    QString dragSourceList() const;
    void setPanel(const QString& key, const QString& text);
    bool refuseWhileBusy() const;

    BasketWidgets w;
    tf::ImageList* m_ilPages = nullptr;
    tf::ImageDocument m_ibWork;
    QStringList m_lstUniqueFiles;
    QPointer<QWidget> m_pagesViewport;
};
