#pragma once
// The basket's pages as data: what lvPages shows, what the writers, the basket file and every
// later consumer (batch conversion, printing, players) read. No widget here; lvPages is a view of
// this model, and its order is the order of the pages written out, so sorting the basket sorts
// the pages themselves.
#include "platform/ui/imagelist.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <vector>

namespace tf::basket {

struct PageRecord {
    QString source;     // the file the page came from; one source enters the basket once
    QString tag;        // the file actually read when the page is written (a temp page file for split pages)
    int page = 1;       // the page's number in its source
    QString text;       // the row's texts: name, "W X H", size, type
    QString resolution;
    QString sizeText;
    qint64 bytes = -1;  // the size sizeText tells; -1 when not known
    QString typeText;
    int icon = 0;       // the thumbnail's key in the basket's image list
};

class BasketModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BasketModel(QObject* parent = nullptr);

    int count() const { return static_cast<int>(m_pages.size()); }
    bool isEmpty() const { return m_pages.empty(); }
    const std::vector<PageRecord>& pages() const { return m_pages; }
    // Rows count from 0 here.
    const PageRecord& at(int row) const { return m_pages.at(static_cast<size_t>(row)); }
    // The text of a shown column: 0 the name, then resolution, size, type, source.
    QString columnText(int row, int column) const;

    bool hasSource(const QString& source) const;
    // The sources in the order of their first page, each once; pages without a source name nothing.
    QStringList distinctSources() const;

    // Gives the new page's row.
    int append(PageRecord page);
    // Removes the given rows (any order, duplicates and rows outside ignored).
    void remove(std::vector<int> rows);
    // The chosen rows move as one block, in their order, to just before the row now at insertAt
    // (0..count; count means the end). Unchosen rows keep their order.
    void move(const std::vector<int>& rows, int insertAt);
    // Text order of one column without regard to case, the size column by the pages' bytes
    // (unknown ones first); equal values keep their order.
    void sort(int column, bool descending);
    // The page's title (its row's name) as the user renamed it; a blank title is refused.
    bool setText(int row, const QString& text);
    // The page's size as the preview found it ("W X H X bits").
    void setResolution(int row, const QString& resolution);
    void clear();

    // The thumbnails the pages' icon keys name (the list stays the caller's).
    void setIcons(tf::ImageList* icons) { m_icons = icons; }

    // QAbstractItemModel: the columns above; the name's column gives the page's file in
    // tf::kPathRole and is edited as the title; the resolution may be set.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void appended(int row);

private:
    // New row i holds what old row order[i] held; views keep their selection on the same pages.
    void applyOrder(const std::vector<int>& order);
    std::vector<PageRecord> m_pages;
    QPointer<tf::ImageList> m_icons;
};

} // namespace tf::basket
