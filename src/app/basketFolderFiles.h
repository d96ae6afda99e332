#pragma once
// The folder list as the basket sees it: the chosen files with their pictures, the folder shown,
// and which list had the focus last. Works over the browse area's folder list.
#include "basket/BasketController.h"

class frmMain;

class BrowseFolderFiles final : public FolderFiles {
public:
    // Reads the window's folder list and browse area when asked, so it may be made before them.
    explicit BrowseFolderFiles(frmMain& window) : m_window(window) {}

    int folderFileCount() const override;
    std::vector<FolderFile> chosenFolderFiles() const override;
    QString currentFolder() const override;
    void learnResolution(const QString& tag, const QString& resolution) override;
    bool isFolderDrag(const QObject* source) const override;
    QString dragSourceList() const override;

private:
    frmMain& m_window;
};
