#pragma once
#include "controls/explorerbar/ExplorerBarLayout.h"

#include <QPixmap>
#include <QStringList>

namespace tf::testing {

// Fixed text measures: 7 pixels a character, 14 a line, words wrapped greedily.
class FakeMetrics final : public EbTextMetrics {
public:
    int width(const QString& text, bool) const override { return 7 * static_cast<int>(text.size()); }
    int wrappedHeight(const QString& text, int width, bool) const override
    {
        int lines = 1, used = 0;
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int w = 7 * static_cast<int>(word.size());
            if (used == 0) used = w;
            else if (used + 7 + w <= width) used += 7 + w;
            else { ++lines; used = w; }
        }
        return 14 * lines;
    }
};

inline QPixmap filled(QColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return pixmap;
}

// A rectangle given by its edges, as the layout's rules state them.
inline QRect edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

} // namespace tf::testing
