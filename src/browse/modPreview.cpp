#include "browse/modPreview.h"

#include "platform/sys/numbers.h"

#include <algorithm>

namespace {

// Half the free room, halves to the even pixel; 0 when there is no free room.
int centredOffset(int room, int size)
{
    if (room <= size) return 0;
    return tf::roundToLong((static_cast<double>(room) - size) / 2.0);
}

} // namespace

PreviewFit fncComputePreviewFit(QSize inner, QSize shown)
{
    PreviewFit fit;
    fit.size = QSize(std::max(0, shown.width()), std::max(0, shown.height()));
    fit.position = QPoint(centredOffset(inner.width(), fit.size.width()), centredOffset(inner.height(), fit.size.height()));
    fit.hsbVisible = fit.size.width() > inner.width();
    fit.vsbVisible = fit.size.height() > inner.height();
    fit.hsbMax = fit.hsbVisible ? fit.size.width() - inner.width() : 0;
    fit.vsbMax = fit.vsbVisible ? fit.size.height() - inner.height() : 0;
    return fit;
}

QPoint fncCentredPosition(QSize containerInner, QSize pictureOuter, QSize pictureInner)
{
    const auto along = [](int container, int outer, int innerSize) {
        if (innerSize > container) return 0;
        return tf::roundToLong((static_cast<double>(container) - outer) / 2.0);
    };
    return QPoint(along(containerInner.width(), pictureOuter.width(), pictureInner.width()),
                  along(containerInner.height(), pictureOuter.height(), pictureInner.height()));
}

int fncNextRowIndex(int count, int selected)
{
    if (count < 2 || selected < 1 || selected >= count) return 0;
    return selected + 1;
}

int fncPreviousRowIndex(int count, int selected)
{
    if (count < 2 || selected <= 1 || selected > count) return 0;
    return selected - 1;
}

bool fncPreviewLoadsThroughControl(const QString& extension)
{
    const QString ext = extension.toLower();
    return ext == "tiff" || ext == "tif" || ext == "jpg" || ext == "jpeg";
}

MetadataPaneRule fncMetadataPaneRule(const QString& extension)
{
    const QString ext = extension.toLower();
    MetadataPaneRule rule;
    if (ext == "tif" || ext == "tiff" || ext == "jpg" || ext == "jpeg" || ext == "jpe") {
        rule.showExif = rule.showIptc = true;
        rule.readExif = rule.readIptc = true;
        rule.tabIndex = 0;
        rule.tabsEnabled = true;
    } else if (ext == "psd") {
        rule.showExif = true; // the pane opens; only its IPTC side is filled
        rule.readIptc = true;
        rule.tabIndex = 1;
        rule.tabsEnabled = false;
    } else {
        rule.tabsEnabled = true;
    }
    return rule;
}

ToolbarRows fncToolbarRows(const std::vector<ToolbarItem>& items, int width, int margin, int spacing, int rowHeight,
                           int itemHeight)
{
    ToolbarRows rows;
    const int top = (rowHeight - itemHeight) / 2;
    int row = 0;
    int x = margin; // where the next item goes when it opens a row
    bool rowEmpty = true;
    for (const ToolbarItem& item : items) {
        const int left = rowEmpty ? x : x + spacing + item.gapBefore;
        if (!rowEmpty && left + item.width > width - margin) {
            ++row;
            x = margin;
            rowEmpty = true;
        }
        const int at = rowEmpty ? margin : left;
        rows.items.emplace_back(at, row * rowHeight + top, item.width, itemHeight);
        x = at + item.width;
        rowEmpty = false;
    }
    rows.height = (row + 1) * rowHeight;
    return rows;
}
