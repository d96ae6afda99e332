#include "editing/tasks/Shadow.h"

#include "editing/PictureStore.h"
#include "editing/modProcessTasks.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_error.h"

#include <QButtonGroup>

namespace tf::task {

Shadow Shadow::read(const ParamReader& r) { return Shadow{r.integer(1)}; }

void Shadow::write(ParamWriter& w) const { w.number(1, index); }

void Shadow::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    selectOption(c.OptShadow, t.ShadowIndex);
    s.pictureIndex = int16_t(chosen(c.OptShadow) + PictureStore::kShadowBase);
}

void Shadow::store(const Controls& c, const PanelShared&, typTaskOptions& t) { t.ShadowIndex = int16_t(chosen(c.OptShadow)); }

std::optional<Shadow> Shadow::fromPanel(const Controls& c, const PanelShared&, PanelCheck&)
{
    return Shadow{int16_t(chosen(c.OptShadow))};
}

QImage Shadow::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    after.merge.transparency = 0;
    const int32_t piece = int32_t(index) + PictureStore::kShadowBase;
    if (piece < PictureStore::kShadowBase || piece >= PictureStore::kShadowBase + PictureStore::kShadowCount)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no shadow %1").arg(index));
    return subApplyPictureFrame(image, int16_t(piece), 1, false, after.background, after.merge);
}

} // namespace tf::task
