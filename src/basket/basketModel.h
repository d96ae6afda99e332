#pragma once
// The basket's pages as data: what lvPages shows, what the writers, the basket file and every
// later consumer (batch conversion, printing, players) read. No widget here; the list view
// mirrors the model through its signals, row for row.
#include <QObject>
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

class BasketModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

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
    // The page's title (its row's name) as the user renamed it.
    void setText(int row, const QString& text);
    void clear();

signals:
    void appended(int row);
    // Rows removed, ascending.
    void removed(const std::vector<int>& rows);
    // New row i holds what old row order[i] held.
    void reordered(const std::vector<int>& order);
    void cleared();

private:
    void applyOrder(const std::vector<int>& order);
    std::vector<PageRecord> m_pages;
};

} // namespace tf::basket
