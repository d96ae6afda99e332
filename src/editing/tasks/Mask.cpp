#include "editing/tasks/Mask.h"

#include "editing/PictureStore.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_error.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QSlider>

namespace tf::task {

Mask Mask::read(const ParamReader& r) { return Mask{r.boolean(1), r.integer(2), r.integer(3)}; }

void Mask::write(ParamWriter& w) const
{
    w.boolean(1, transparent);
    w.number(2, level);
    w.number(3, index);
}

void Mask::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    c.sldMask->setValue(t.MaskLevel);
    tick(c.chkMaskTransparent, t.MaskTransparent);
    selectOption(c.OptMask, t.MaskIndex);
    s.pictureIndex = int16_t(chosen(c.OptMask));
}

void Mask::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.MaskIndex = int16_t(chosen(c.OptMask));
    t.MaskTransparent = checkValue(c.chkMaskTransparent);
    t.MaskLevel = int16_t(c.sldMask->value());
}

std::optional<Mask> Mask::fromPanel(const Controls& c, const PanelShared&, PanelCheck&)
{
    return Mask{ticked(c.chkMaskTransparent), int16_t(c.sldMask->value()), int16_t(chosen(c.OptMask))};
}

QImage Mask::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    editops::MergeParams& m = after.merge;
    m.transparentColor = 0;
    m.transparent = transparent;
    m.transparency = level;
    m.style = editops::mergeAtPoint;
    m.x = m.y = 0;
    const QImage mask = PictureStore::instance().mask(index);
    if (mask.isNull()) throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no mask %1").arg(index));
    // Always stretched over the whole picture (the Preview button does the same), smoothly, so
    // its edge stays antialiased at any size.
    const QImage merged = editops::MergeMask(image, mask, m);
    return m.transparent ? editops::Blur(merged, 2) : merged;
}

} // namespace tf::task
