#pragma once
#include <QPersistentModelIndex>
#include <QTreeView>

class QFileSystemModel;

namespace tf {

// The folder tree of the browse pane: the folders of the file system (no files), from the root.
// Choosing a folder, by the user or by setSelectedFolder, raises FolderClick with its path once the
// folder is both the current and the selected row.
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

    QFileSystemModel* fileSystemModel() const { return m_model; }

signals:
    void FolderClick(const QString& path);

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Raises FolderClick for the row made current last, once it is selected too.
    void raiseFolderClick();

    QFileSystemModel* m_model;
    // The row made current whose folder event is still to come.
    QPersistentModelIndex m_chosen;
    // The folder opened by setSelectedFolder, kept in the middle of the view while the model
    // reads the folders around it in the background (each read moves the rows below it), until
    // the user takes the tree over.
    QPersistentModelIndex m_centred;
    bool m_centreQueued = false;
};

} // namespace tf
