#include "basket/basketModel.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <QSet>

namespace tf::basket {

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
    m_pages.push_back(std::move(page));
    const int row = count() - 1;
    emit appended(row);
    return row;
}

void BasketModel::remove(std::vector<int> rows)
{
    const std::set<int> chosen(rows.begin(), rows.end());
    std::vector<int> gone;
    for (int row : chosen)
        if (row >= 0 && row < count()) gone.push_back(row);
    if (gone.empty()) return;
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) m_pages.erase(m_pages.begin() + *it);
    emit removed(gone);
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
    std::vector<PageRecord> pages;
    pages.reserve(order.size());
    for (int old : order) pages.push_back(std::move(m_pages[static_cast<size_t>(old)]));
    m_pages = std::move(pages);
    emit reordered(order);
}

void BasketModel::clear()
{
    m_pages.clear();
    emit cleared();
}

} // namespace tf::basket

void tf::basket::BasketModel::setText(int row, const QString& text)
{
    if (row >= 0 && row < count()) m_pages[static_cast<size_t>(row)].text = text;
}
