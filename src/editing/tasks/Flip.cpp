#include "editing/tasks/Flip.h"

#include "frame/modSettings.h"

#include <QButtonGroup>

namespace tf::task {

Flip Flip::read(const ParamReader& r) { return Flip{r.text(1) == QLatin1String("0") ? 0 : 1}; }

void Flip::write(ParamWriter& w) const { w.text(1, direction == 0 ? QStringLiteral("0") : QStringLiteral("1")); }

void Flip::fill(const Controls& c, PanelShared&, const typTaskOptions& t) { selectOption(c.optFlip, t.FlipMode); }

void Flip::store(const Controls& c, const PanelShared&, typTaskOptions& t) { t.FlipMode = uint8_t(chosen(c.optFlip) == 0 ? 0 : 1); }

std::optional<Flip> Flip::fromPanel(const Controls& c, const PanelShared&, PanelCheck&)
{
    return Flip{chosen(c.optFlip) == 0 ? 0 : 1};
}

QImage Flip::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Flip(image, direction); }

} // namespace tf::task
