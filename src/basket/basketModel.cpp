#include "basket/basketModel.h"

#include "platform/ui/reportview.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <QSet>

namespace tf::basket {

namespace {
constexpr int kColumnCount = 5;
}

BasketModel::BasketModel(QObject* parent) : QAbstractTableModel(parent) {}

QString BasketModel::columnText(int row, int column) const
{
    const PageRecord& p = at(row);
    switch (column) {
    case 0: return p.text;
    case 1: return p.resolution;
    case 2: return p.sizeText;
    case 3: return p.typeText;
    case 4: return p.source;
    default: return {};
    }
}

bool BasketModel::hasSource(const QString& source) const
{
    return std::any_of(m_pages.begin(), m_pages.end(), [&](const PageRecord& p) { return p.source == source; });
}

QStringList BasketModel::distinctSources() const
{
    QStringList sources;
    QSet<QString> seen;
    for (const PageRecord& p : m_pages) {
        if (p.source.isEmpty() || seen.contains(p.source)) continue;
        seen.insert(p.source);
        sources << p.source;
    }
    return sources;
}

int BasketModel::append(PageRecord page)
{
    const int row = count();
    beginInsertRows({}, row, row);
    m_pages.push_back(std::move(page));
    endInsertRows();
    emit appended(row);
    return row;
}

void BasketModel::remove(std::vector<int> rows)
{
    const std::set<int> chosen(rows.begin(), rows.end());
    std::vector<int> gone;
    for (int row : chosen)
        if (row >= 0 && row < count()) gone.push_back(row);
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
        beginRemoveRows({}, *it, *it);
        m_pages.erase(m_pages.begin() + *it);
        endRemoveRows();
    }
}

void BasketModel::move(const std::vector<int>& rows, int insertAt)
{
    const std::set<int> chosen(rows.begin(), rows.end());
    std::vector<int> before, block, after;
    for (int i = 0; i < count(); ++i) {
        if (chosen.count(i)) block.push_back(i);
        else if (i < insertAt) before.push_back(i);
        else after.push_back(i);
    }
    before.insert(before.end(), block.begin(), block.end());
    before.insert(before.end(), after.begin(), after.end());
    applyOrder(before);
}

void BasketModel::sort(int column, bool descending)
{
    std::vector<int> order(m_pages.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const qint64 x = at(a).bytes, y = at(b).bytes;
        const int c = column == 2 ? (x > y) - (x < y)
                                  : QString::compare(columnText(a, column), columnText(b, column), Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    });
    applyOrder(order);
}

void BasketModel::applyOrder(const std::vector<int>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(order.size());
    for (size_t i = 0; i < order.size(); ++i) newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& i : before) after << index(newRow[static_cast<size_t>(i.row())], i.column());
    changePersistentIndexList(before, after);
    std::vector<PageRecord> pages;
    pages.reserve(order.size());
    for (int old : order) pages.push_back(std::move(m_pages[static_cast<size_t>(old)]));
    m_pages = std::move(pages);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BasketModel::clear()
{
    beginResetModel();
    m_pages.clear();
    endResetModel();
}

bool BasketModel::setText(int row, const QString& text)
{
    // A blank title would leave a page nobody can tell apart: the old one stays.
    if (row < 0 || row >= count() || text.trimmed().isEmpty()) return false;
    m_pages[static_cast<size_t>(row)].text = text;
    emit dataChanged(index(row, 0), index(row, 0));
    return true;
}

void BasketModel::setResolution(int row, const QString& resolution)
{
    if (row < 0 || row >= count()) return;
    m_pages[static_cast<size_t>(row)].resolution = resolution;
    emit dataChanged(index(row, 1), index(row, 1));
}

int BasketModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }
int BasketModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant BasketModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count() || index.column() >= kColumnCount) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return columnText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() == 0 && m_icons) {
            const QPixmap picture = m_icons->image(at(index.row()).icon);
            if (!picture.isNull()) return picture;
        }
        return {};
    case tf::kPathRole: return index.column() == 0 ? QVariant(at(index.row()).tag) : QVariant();
    default: return {};
    }
}

bool BasketModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || (role != Qt::EditRole && role != Qt::DisplayRole)) return false;
    if (index.column() == 0) return setText(index.row(), value.toString());
    if (index.column() == 1) {
        setResolution(index.row(), value.toString());
        return true;
    }
    return false;
}

QVariant BasketModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const captions[kColumnCount] = {"File Name", "Resolution", "Size", "Type", "Source File"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return QString::fromLatin1(captions[section]);
}

Qt::ItemFlags BasketModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    // Pages are dragged to move them; the title is edited only when the view is told to.
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled | (index.column() == 0 ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

} // namespace tf::basket
