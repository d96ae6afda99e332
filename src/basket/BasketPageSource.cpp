#include "basket/BasketPageSource.h"

namespace tf {

BasketPageSource::BasketPageSource(const std::vector<basket::PageRecord>& pages)
{
    m_pages.reserve(pages.size());
    for (const basket::PageRecord& record : pages) m_pages.push_back({record.tag, record.text, record.source});
}

} // namespace tf
