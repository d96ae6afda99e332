#pragma once
#include "basket/basketModel.h"
#include "pages/PagePipeline.h"

#include <vector>

namespace tf {

// The basket's pages as they were when the command started.
class BasketPageSource final : public PageSource {
public:
    explicit BasketPageSource(const std::vector<basket::PageRecord>& pages);
    int count() const override { return static_cast<int>(m_pages.size()); }
    Page page(int index) const override { return m_pages[static_cast<size_t>(index)]; }

private:
    std::vector<Page> m_pages;
};

} // namespace tf
