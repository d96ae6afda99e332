#include "app/basketFolderFiles.h"

#include "app/frmMain.h"
#include "basket/modBasket.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"

int BrowseFolderFiles::folderFileCount() const { return m_window.browse()->folderListing().count(); }

std::vector<FolderFile> BrowseFolderFiles::chosenFolderFiles() const
{
    BrowseController& browse = *m_window.browse();
    // The list's own pictures count only while it shows thumbnails.
    const bool thumbnails = browse.ilFolder().count() >= 1 && gudtSettings.FolderView == 0;
    std::vector<FolderFile> files;
    for (const SelectedFolderFile& chosen : browse.selectedFolderFiles()) {
        const tf::FolderFile& listed = chosen.file;
        FolderFile file;
        file.index = chosen.index;
        file.text = listed.texts[tf::kFolderFileName];
        file.tag = listed.path;
        file.resolution = listed.texts[tf::kFolderResolution];
        file.sizeText = listed.texts[tf::kFolderSize];
        file.pages = listed.texts[tf::kFolderPages];
        file.typeText = listed.texts[tf::kFolderType];
        if (thumbnails) file.thumbnail = browse.fncFolderThumbnail(listed.thumbnail).toImage();
        files.push_back(std::move(file));
    }
    return files;
}

QString BrowseFolderFiles::currentFolder() const { return m_window.browse()->fileMainPath(); }

void BrowseFolderFiles::learnResolution(const QString& tag, const QString& resolution)
{
    m_window.browse()->learnResolution(tag, resolution);
}

bool BrowseFolderFiles::isFolderDrag(const QObject* source) const { return source && source == m_window.browse()->lvFolder(); }

QString BrowseFolderFiles::dragSourceList() const { return m_window.browse()->dragSourceList(); }
