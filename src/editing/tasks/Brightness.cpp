#include "editing/tasks/Brightness.h"

#include "frame/modSettings.h"

#include <QCheckBox>
#include <QSlider>

namespace tf::task {

Brightness Brightness::read(const ParamReader& r) { return Brightness{r.longValue(1), {r.boolean(2), r.boolean(3), r.boolean(4)}}; }

void Brightness::write(ParamWriter& w) const
{
    w.number(1, level);
    w.check(2, channels.red);
    w.check(3, channels.green);
    w.check(4, channels.blue);
}

void Brightness::fill(const Controls& c, PanelShared&, const typTaskOptions& t)
{
    c.sldBrightness->setValue(t.BrightnessLevel);
    tick(c.chkBr[0], t.BrightnessRed);
    tick(c.chkBr[1], t.BrightnessGreen);
    tick(c.chkBr[2], t.BrightnessBlue);
}

void Brightness::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.BrightnessLevel = int16_t(c.sldBrightness->value());
    t.BrightnessRed = checkValue(c.chkBr[0]);
    t.BrightnessGreen = checkValue(c.chkBr[1]);
    t.BrightnessBlue = checkValue(c.chkBr[2]);
}

std::optional<Brightness> Brightness::fromPanel(const Controls& c, const PanelShared&, PanelCheck&)
{
    return Brightness{c.sldBrightness->value(), {ticked(c.chkBr[0]), ticked(c.chkBr[1]), ticked(c.chkBr[2])}};
}

QImage Brightness::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Brightness(image, level, channels); }

} // namespace tf::task
