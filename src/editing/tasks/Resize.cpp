#include "editing/tasks/Resize.h"

#include "editing/OptionControls.h"
#include "frame/modSettings.h"

#include <QButtonGroup>
#include <QCheckBox>

namespace tf::task {

Resize Resize::read(const ParamReader& r)
{
    Resize t;
    t.bySize = r.boolean(1);
    if (t.bySize) {
        t.width = r.longValue(2);
        t.height = r.longValue(3);
    } else {
        t.percent = r.integer(2);
    }
    return t;
}

void Resize::write(ParamWriter& w) const
{
    w.boolean(1, bySize);
    if (bySize) {
        w.number(2, width);
        w.number(3, height);
    } else {
        w.number(2, percent);
    }
}

void Resize::showMode(const Controls& c, int index)
{
    c.frameResize->hide();
    c.FrameScale->hide();
    (index == 0 ? c.frameResize : c.FrameScale)->show();
}

void Resize::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    // The ratio is kept to the size the picture had when the task was chosen, so a crop
    // confirmed earlier does not distort it.
    s.ratioBase = s.imageSize;
    c.txtResizeWidth->setText(QString::number(s.imageSize.width()));
    c.txtResizeHeight->setText(QString::number(s.imageSize.height()));
    c.txtScale->setText(QString::number(t.ResizeScale));
    selectOption(c.optResize, t.ResizeMode);
    showMode(c, chosen(c.optResize));
    tick(c.chkResizeRatio, t.ResizeKeepRatio);
    tick(c.chkResizeResample, t.ResizeResample);
}

void Resize::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    keepNumber(t.ResizeScale, c.txtScale->text());
    t.ResizeMode = uint8_t(chosen(c.optResize) == 0 ? 0 : 1);
    t.ResizeKeepRatio = checkValue(c.chkResizeRatio);
    t.ResizeResample = checkValue(c.chkResizeResample);
}

std::optional<Resize> Resize::fromPanel(const Controls& c, const PanelShared&, PanelCheck& check)
{
    Resize t;
    t.bySize = chosen(c.optResize) == 0;
    if (t.bySize) {
        const auto w = check.number(c.txtResizeWidth->text(), 1, 32767, QStringLiteral("the width"));
        const auto h = check.number(c.txtResizeHeight->text(), 1, 32767, QStringLiteral("the height"));
        if (!w || !h) return std::nullopt;
        t.width = *w;
        t.height = *h;
    } else {
        const auto scale = check.number(c.txtScale->text(), 1, 32767, QStringLiteral("the percentage"));
        if (!scale) return std::nullopt;
        t.percent = int16_t(*scale);
    }
    return t;
}

bool Resize::changedOnceChosen(const Controls& c, const PanelShared&)
{
    return chosen(c.optResize) == 1 && c.txtScale->text() != QLatin1String("100");
}

bool Resize::changes(QSize picture) const
{
    return bySize ? width != picture.width() || height != picture.height() : percent != 100;
}

QImage Resize::apply(const QImage& image, EditSettings&, const PictureLoader&) const
{
    return bySize ? editops::ResizeWidthHeight(image, width, height) : editops::Scale(image, percent);
}

} // namespace tf::task
