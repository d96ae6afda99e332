#pragma once
#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

namespace tf {

class FolderModel;
class FolderWatch;

// The folder tree of the browse pane: the folders of the file system (no files), from the root.
// Choosing a folder, by the user or by setSelectedFolder, raises FolderClick with its path once the
// folder is both the current and the selected row; that folder is the shown one from then on.
// The folders shown open are kept up to date.
class FolderTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTreeView(QWidget* parent = nullptr);
    ~FolderTreeView() override;

    // The chosen folder's path, or "" when none is chosen.
    QString SelectedFolder() const;
    // Opens the tree at the folder (expanding its parents) and chooses it. Blanks at the end are
    // ignored; a path that is not an existing folder changes nothing and answers false.
    bool setSelectedFolder(const QString& path);

    FolderModel* folderModel() const { return m_model; }
    // Which changes in the shown folder are told of (see FolderWatch::setEntryFilter).
    void setShownEntryFilter(std::function<bool(const QString&, const char*, bool)> filter);

signals:
    void FolderClick(const QString& path);
    // Files or folders in the shown folder were made, removed, renamed or had their attributes
    // changed; a burst of changes is told of once, and never more often than once a second.
    void shownFolderChanged(const QString& path);

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Raises FolderClick for the row made current last, once it is selected too.
    void raiseFolderClick();

    FolderModel* m_model;
    FolderWatch* m_shownWatch;
    // The row made current whose folder event is still to come.
    QPersistentModelIndex m_chosen;
    // The folder opened by setSelectedFolder, kept in the middle of the view while the model
    // reads the folders around it in the background (each read moves the rows below it), until
    // the user takes the tree over.
    QPersistentModelIndex m_centred;
    bool m_centreQueued = false;
};

} // namespace tf
