#include "editing/tasks/Contrast.h"

#include "frame/modSettings.h"

#include <QCheckBox>
#include <QSlider>

namespace tf::task {

Contrast Contrast::read(const ParamReader& r) { return Contrast{r.longValue(1), {r.boolean(2), r.boolean(3), r.boolean(4)}}; }

void Contrast::write(ParamWriter& w) const
{
    w.number(1, level);
    w.check(2, channels.red);
    w.check(3, channels.green);
    w.check(4, channels.blue);
}

void Contrast::fill(const Controls& c, PanelShared&, const typTaskOptions& t)
{
    c.sldContrast->setValue(t.ContrastLevel);
    tick(c.chkCon[0], t.ContrastRed);
    tick(c.chkCon[1], t.ContrastGreen);
    tick(c.chkCon[2], t.ContrastBlue);
}

void Contrast::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.ContrastLevel = int16_t(c.sldContrast->value());
    t.ContrastRed = checkValue(c.chkCon[0]);
    t.ContrastGreen = checkValue(c.chkCon[1]);
    t.ContrastBlue = checkValue(c.chkCon[2]);
}

std::optional<Contrast> Contrast::fromPanel(const Controls& c, const PanelShared&, PanelCheck&)
{
    return Contrast{c.sldContrast->value(), {ticked(c.chkCon[0]), ticked(c.chkCon[1]), ticked(c.chkCon[2])}};
}

QImage Contrast::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Contrast(image, level, channels); }

} // namespace tf::task
