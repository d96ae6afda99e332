#include "editing/tasks/Sharpen.h"

#include "frame/modSettings.h"

#include <QSlider>

namespace tf::task {

Sharpen Sharpen::read(const ParamReader& r) { return Sharpen{r.longValue(1)}; }

void Sharpen::write(ParamWriter& w) const { w.number(1, level); }

void Sharpen::fill(const Controls& c, PanelShared&, const typTaskOptions& t) { c.sldSharpen->setValue(t.SharpenLevel); }

void Sharpen::store(const Controls& c, const PanelShared&, typTaskOptions& t) { t.SharpenLevel = uint8_t(c.sldSharpen->value()); }

std::optional<Sharpen> Sharpen::fromPanel(const Controls& c, const PanelShared&, PanelCheck&) { return Sharpen{c.sldSharpen->value()}; }

QImage Sharpen::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Sharpen(image, level); }

} // namespace tf::task
