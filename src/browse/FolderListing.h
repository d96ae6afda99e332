#pragma once
// The folder list's data, without a widget: the listed folder's files in the order the list shows
// them, each with the texts of its columns and the number of its own thumbnail, and the list's
// sort state. The sort state outlives a listing, so the next folder comes in the order the user
// chose. Whatever needs the folder's files (the basket, previous and next) reads them here.
#include <QString>
#include <QtGlobal>
#include <array>
#include <vector>

namespace tf {

// The folder list's columns; the number is the column's index (0 is the row text).
enum FolderColumn : int {
    kFolderFileName = 0,
    kFolderResolution,
    kFolderSize,
    kFolderPages,
    kFolderType,
    kFolderDateCreated,
    kFolderDateModified,
    kFolderDateAccessed,
    kFolderColumnCount
};

struct FolderFile {
    QString path;
    std::array<QString, kFolderColumnCount> texts; // by FolderColumn
    qint64 bytes = -1;                             // the file's size; -1 until it is known
    int thumbnail = 0;                             // its picture's number in ilFolder, 0 for none
    int id = 0;                                    // the listing's own number for the file, kept through sorts
    QString failure;                               // why it has no thumbnail; empty while none was asked or it has one
};

// The list's sort state, by the old list's names: the column (0 = the row text) and the order
// (0 ascending, 1 descending); sorted once the user has clicked a column caption.
struct FolderSortState {
    int SortKey = 0;
    int SortOrder = 0;
    bool Sorted = false;
};

class FolderListing {
public:
    int count() const { return static_cast<int>(m_files.size()); }
    // 0-based; nullptr outside the listing.
    const FolderFile* file(int index) const;
    const std::vector<FolderFile>& files() const { return m_files; }
    // The index of the file with this path (or id), -1 when it is not listed.
    int indexOf(const QString& path) const;
    int indexOfId(int id) const;

    // Forgets the files; the sort state stays.
    void clear() { m_files.clear(); }
    // Adds a file and returns the index it took: its place in the sort order while the list is
    // sorted (after files with equal texts), the end otherwise.
    int add(FolderFile file);
    void remove(int index);
    void setText(int index, FolderColumn column, const QString& text);
    // The file's size and the Size column's text for it.
    void setSize(int index, qint64 bytes, const QString& text);
    void setThumbnail(int index, int number);
    void setFailure(int index, const QString& why);

    // A click on the caption of column `column` (1 = the row text): the same column again turns
    // the order round, another column sorts ascending. Texts sort without regard to case; the Size
    // column sorts by the files' sizes (unknown ones first), not by its text. Returns the new order as the files' old
    // indices; an unknown column changes nothing and returns the order as it is.
    std::vector<int> sortByColumn(int column);
    const FolderSortState& sortState() const { return m_sort; }
    // Puts the files in the chosen order again after their texts changed (the old indices, as
    // sortByColumn gives them); unsorted, the order stays.
    std::vector<int> resort();

private:
    bool before(const FolderFile& a, const FolderFile& b) const;
    std::vector<int> applySort();

    std::vector<FolderFile> m_files;
    FolderSortState m_sort;
};

} // namespace tf
