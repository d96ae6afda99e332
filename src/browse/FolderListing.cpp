#include "browse/FolderListing.h"

#include <algorithm>
#include <numeric>

namespace tf {

namespace {
std::vector<int> unchangedOrder(size_t count)
{
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    return order;
}
} // namespace

const FolderFile* FolderListing::file(int index) const
{
    return index >= 0 && index < count() ? &m_files[static_cast<size_t>(index)] : nullptr;
}

int FolderListing::indexOf(const QString& path) const
{
    for (int i = 0; i < count(); ++i)
        if (m_files[static_cast<size_t>(i)].path == path) return i;
    return -1;
}

int FolderListing::indexOfId(int id) const
{
    for (int i = 0; i < count(); ++i)
        if (m_files[static_cast<size_t>(i)].id == id) return i;
    return -1;
}

void FolderListing::remove(int index)
{
    if (index >= 0 && index < count()) m_files.erase(m_files.begin() + index);
}

void FolderListing::setFailure(int index, const QString& why)
{
    if (index >= 0 && index < count()) m_files[static_cast<size_t>(index)].failure = why;
}

// Text order without regard to case, as users read the list; sizes by their bytes, as "89.6KB"
// is smaller than "4.69MB" whatever the texts' order.
bool FolderListing::before(const FolderFile& a, const FolderFile& b) const
{
    const auto key = static_cast<size_t>(m_sort.SortKey);
    const int c = key == kFolderSize ? (a.bytes > b.bytes) - (a.bytes < b.bytes)
                                     : QString::compare(a.texts[key], b.texts[key], Qt::CaseInsensitive);
    return m_sort.SortOrder == 1 ? c > 0 : c < 0;
}

int FolderListing::add(FolderFile file)
{
    auto at = m_files.end();
    if (m_sort.Sorted)
        at = std::upper_bound(m_files.begin(), m_files.end(), file,
                              [this](const FolderFile& a, const FolderFile& b) { return before(a, b); });
    const auto index = at - m_files.begin();
    m_files.insert(at, std::move(file));
    return static_cast<int>(index);
}

void FolderListing::setText(int index, FolderColumn column, const QString& text)
{
    if (index >= 0 && index < count() && column >= 0 && column < kFolderColumnCount)
        m_files[static_cast<size_t>(index)].texts[static_cast<size_t>(column)] = text;
}

void FolderListing::setSize(int index, qint64 bytes, const QString& text)
{
    if (index < 0 || index >= count()) return;
    m_files[static_cast<size_t>(index)].bytes = bytes;
    m_files[static_cast<size_t>(index)].texts[kFolderSize] = text;
}

void FolderListing::setThumbnail(int index, int number)
{
    if (index >= 0 && index < count()) m_files[static_cast<size_t>(index)].thumbnail = number;
}

std::vector<int> FolderListing::sortByColumn(int column)
{
    if (column < 1 || column > kFolderColumnCount) return unchangedOrder(m_files.size());
    // The first click on any column sorts it ascending, even on the column the list starts with.
    if (m_sort.Sorted && m_sort.SortKey == column - 1) {
        m_sort.SortOrder = m_sort.SortOrder == 0 ? 1 : 0;
    } else {
        m_sort.SortOrder = 0;
        m_sort.SortKey = column - 1;
    }
    m_sort.Sorted = true;
    return applySort();
}

std::vector<int> FolderListing::resort()
{
    return m_sort.Sorted ? applySort() : unchangedOrder(m_files.size());
}

std::vector<int> FolderListing::applySort()
{
    std::vector<int> order = unchangedOrder(m_files.size());
    // Equal texts keep their order.
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return before(m_files[static_cast<size_t>(a)], m_files[static_cast<size_t>(b)]);
    });
    std::vector<FolderFile> sorted;
    sorted.reserve(m_files.size());
    for (int i : order) sorted.push_back(std::move(m_files[static_cast<size_t>(i)]));
    m_files = std::move(sorted);
    return order;
}

} // namespace tf
