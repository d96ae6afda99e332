#include "app/basketFolderFiles.h"

#include "app/frmMain.h"
#include "basket/modBasket.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/listview.h"

using namespace tf::basket;

int BrowseFolderFiles::folderFileCount() const { return m_window.browse()->lvFolder()->Count(); }

std::vector<FolderFile> BrowseFolderFiles::chosenFolderFiles() const
{
    const tf::ListView* list = m_window.browse()->lvFolder();
    tf::ImageList& pictures = m_window.browse()->ilFolder();
    // The list's own pictures count only while it shows thumbnails.
    const bool thumbnails = pictures.count() >= 1 && gudtSettings.FolderView == 0;
    std::vector<FolderFile> files;
    for (int i = 1; i <= list->Count(); ++i) {
        const QTreeWidgetItem* item = list->Item(i);
        if (!item->isSelected()) continue;
        FolderFile file;
        file.index = i;
        file.text = item->text(0);
        file.tag = tf::ListView::Tag(item);
        file.resolution = tf::ListView::SubItem(item, kFolderResolution);
        file.sizeText = tf::ListView::SubItem(item, kFolderSize);
        file.pages = tf::ListView::SubItem(item, kFolderPages);
        file.typeText = tf::ListView::SubItem(item, kFolderType);
        if (thumbnails) file.thumbnail = pictures.image(tf::ListView::SmallIcon(item)).toImage();
        files.push_back(std::move(file));
    }
    return files;
}

QString BrowseFolderFiles::currentFolder() const { return m_window.browse()->fileMainPath(); }

void BrowseFolderFiles::learnResolution(const QString& tag, const QString& resolution)
{
    const tf::ListView* list = m_window.browse()->lvFolder();
    for (int i = 1; i <= list->Count(); ++i)
        if (tf::ListView::Tag(list->Item(i)) == tag) {
            tf::ListView::setSubItem(list->Item(i), kFolderResolution, resolution);
            return;
        }
}

bool BrowseFolderFiles::isFolderDrag(const QObject* source) const { return source && source == m_window.browse()->lvFolder(); }

QString BrowseFolderFiles::dragSourceList() const { return m_window.browse()->mstrDragSourceList; }
