#include "editing/tasks/Canvas.h"

#include "editing/OptionControls.h"
#include "frame/modSettings.h"

namespace tf::task {

Canvas Canvas::read(const ParamReader& r)
{
    return Canvas{r.longValue(1), r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)};
}

void Canvas::write(ParamWriter& w) const
{
    w.number(1, color);
    w.number(2, left);
    w.number(3, top);
    w.number(4, right);
    w.number(5, bottom);
}

void Canvas::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    s.frameBackColor->show();
    s.setBackColor(code, t.CanvasColor);
    for (size_t i = 0; i < 4; ++i) c.txtCanvasCustom[i]->setText(boxText(t.CanvasMargin[i], 0, 800));
}

void Canvas::store(const Controls& c, const PanelShared& s, typTaskOptions& t)
{
    for (size_t i = 0; i < 4; ++i) keepNumber(t.CanvasMargin[i], c.txtCanvasCustom[i]->text());
    t.CanvasColor = s.backColors[code];
}

std::optional<Canvas> Canvas::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    std::array<int, 4> m{};
    static const QString what[] = {QStringLiteral("the top margin"), QStringLiteral("the left margin"),
                                   QStringLiteral("the right margin"), QStringLiteral("the bottom margin")};
    for (size_t i = 0; i < 4; ++i) {
        const auto v = check.number(c.txtCanvasCustom[i]->text(), 0, 800, what[i]);
        if (!v) return std::nullopt;
        m[i] = *v;
    }
    return Canvas{s.backColors[code], m[1], m[0], m[2], m[3]};
}

QImage Canvas::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    after.background = color;
    return editops::Crop(image, grownBounds(image, left, top, right, bottom), color);
}

} // namespace tf::task
