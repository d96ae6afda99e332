#include "editing/tasks/Blur.h"

#include "frame/modSettings.h"

#include <QSlider>

namespace tf::task {

Blur Blur::read(const ParamReader& r) { return Blur{r.longValue(1)}; }

void Blur::write(ParamWriter& w) const { w.number(1, level); }

void Blur::fill(const Controls& c, PanelShared&, const typTaskOptions& t) { c.sldBlur->setValue(t.BlurLevel); }

void Blur::store(const Controls& c, const PanelShared&, typTaskOptions& t) { t.BlurLevel = int16_t(c.sldBlur->value()); }

std::optional<Blur> Blur::fromPanel(const Controls& c, const PanelShared&, PanelCheck&) { return Blur{c.sldBlur->value()}; }

QImage Blur::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Blur(image, level); }

} // namespace tf::task
