#include "editing/tasks/Rotate.h"

#include "editing/OptionControls.h"
#include "frame/modSettings.h"

#include <QCheckBox>
#include <QScrollBar>

namespace tf::task {

Rotate Rotate::read(const ParamReader& r)
{
    Rotate t;
    t.background = r.longValue(3);
    t.resample = r.boolean(1);
    t.degrees = r.integer(2);
    return t;
}

void Rotate::write(ParamWriter& w) const
{
    w.boolean(1, resample);
    w.number(2, degrees);
    w.number(3, background);
}

void Rotate::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    s.frameBackColor->show();
    c.txtDegrees->setText(boxText(t.RotateDegrees, -180, 180));
    c.sbDegrees->setValue(c.txtDegrees->text().toInt());
    tick(c.chkRotateResample, t.RotateResample);
    s.setBackColor(code, t.RotateBackColor);
}

void Rotate::store(const Controls& c, const PanelShared& s, typTaskOptions& t)
{
    keepNumber(t.RotateDegrees, c.txtDegrees->text());
    t.RotateResample = checkValue(c.chkRotateResample);
    t.RotateBackColor = s.backColors[code];
}

std::optional<Rotate> Rotate::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    const auto angle = check.number(c.txtDegrees->text(), -180, 180, QStringLiteral("the angle"));
    if (!angle) return std::nullopt;
    return Rotate{ticked(c.chkRotateResample), int16_t(*angle), s.backColors[code]};
}

bool Rotate::changedOnceChosen(const Controls& c, const PanelShared&) { return c.txtDegrees->text() != QLatin1String("0"); }

QImage Rotate::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    after.background = background;
    after.resample = resample;
    return editops::Rotate(image, {double(degrees), resample, background});
}

} // namespace tf::task
