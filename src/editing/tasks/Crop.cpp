#include "editing/tasks/Crop.h"

#include "editing/OptionControls.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/imagebox_geometry.h"
#include "platform/sys/numbers.h"

#include <QButtonGroup>
#include <QComboBox>

namespace tf::task {

Crop Crop::read(const ParamReader& r)
{
    Crop t;
    t.byValues = r.boolean(1);
    if (t.byValues) {
        t.shape = r.integer(2);
        if (t.shape != 0) t.background = r.longValue(7);
        t.bounds = {r.longValue(3), r.longValue(4), r.longValue(5), r.longValue(6)};
    } else {
        t.bounds = {r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)};
        if (r.has(6) && r.has(7)) t.box = QSize(r.longValue(6), r.longValue(7));
    }
    return t;
}

void Crop::write(ParamWriter& w) const
{
    w.boolean(1, byValues);
    const int first = byValues ? 3 : 2;
    if (byValues) w.number(2, shape);
    w.number(first, bounds.left);
    w.number(first + 1, bounds.top);
    w.number(first + 2, bounds.right);
    w.number(first + 3, bounds.bottom);
    if (ellipse()) w.number(7, background);
    if (!byValues && box) {
        w.number(6, box->width());
        w.number(7, box->height());
    }
}

void Crop::showSelect(const Controls& c, const PanelShared& s, int index)
{
    c.frameCropFixed->hide();
    c.frameCropMouse->hide();
    if (index == 0) {
        c.frameCropMouse->show();
        return;
    }
    c.frameCropFixed->show();
    c.txtCropRight->setText(QString::number(s.imageSize.width()));
    c.txtCropBot->setText(QString::number(s.imageSize.height()));
}

void Crop::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    c.txtCropTop->setText(QStringLiteral("0"));
    c.txtCropLeft->setText(QStringLiteral("0"));
    c.txtCropRight->setText(QString::number(s.imageSize.width()));
    c.txtCropBot->setText(QString::number(s.imageSize.height()));
    selectOption(c.optCropSelect, t.CropMode);
    showSelect(c, s, chosen(c.optCropSelect));
    c.cmbCrop->setCurrentIndex(clampIndex(t.CropChoice, c.cmbCrop->count()));
    s.frameBackColor->setVisible(c.cmbCrop->currentIndex() == 1);
}

void Crop::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.CropMode = uint8_t(chosen(c.optCropSelect) == 0 ? 0 : 1);
    t.CropChoice = uint8_t(std::max(0, c.cmbCrop->currentIndex()));
}

std::optional<Crop> Crop::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    Crop t;
    t.byValues = chosen(c.optCropSelect) == 1;
    if (t.byValues) {
        const auto l = check.number(c.txtCropLeft->text(), 0, 32767, QStringLiteral("the left edge"));
        const auto top = check.number(c.txtCropTop->text(), 0, 32767, QStringLiteral("the top edge"));
        const auto r = check.number(c.txtCropRight->text(), 0, 32767, QStringLiteral("the right edge"));
        const auto b = check.number(c.txtCropBot->text(), 0, 32767, QStringLiteral("the bottom edge"));
        if (!l || !top || !r || !b) return std::nullopt;
        if (*r <= *l || *b <= *top) {
            check.refuse(QStringLiteral("The right edge must lie right of the left edge, and the bottom below the top."));
            return std::nullopt;
        }
        t.shape = int16_t(std::max(0, c.cmbCrop->currentIndex()));
        t.bounds = {*l, *top, *r, *b};
        // The colour the shared button shows: the crop keeps none of its own.
        t.background = s.picCropBackColor->color();
    } else {
        if (s.cropRegion.isEmpty()) {
            check.refuse(QStringLiteral("Please select the area to crop on the preview first."));
            return std::nullopt;
        }
        t.box = s.cropBox;
        const QRect& region = s.cropRegion;
        t.bounds = {region.left(), region.top(), region.left() + region.width(), region.top() + region.height()};
    }
    return t;
}

QImage Crop::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    if (byValues) {
        if (ellipse()) after.background = background;
        return editops::CropToSelection(image, bounds, ellipse() ? editops::SelectionShape::Ellipse : editops::SelectionShape::Rectangle,
                                        after.background);
    }
    if (!box) return editops::Crop(image, bounds.normalized(), after.background);
    // Recorded on a fitted preview: the points are display pixels in a box of that size.
    if (box->width() <= 0 || box->height() <= 0)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("the recorded preview size is not valid"));
    const QSize shown = fitSize(image.size(), *box);
    const double sx = double(image.width()) / shown.width(), sy = double(image.height()) / shown.height();
    const editops::Bounds b = bounds.normalized();
    return editops::Crop(image,
                         editops::Bounds{roundToLong(sx * b.left), roundToLong(sy * b.top), roundToLong(sx * b.right),
                                         roundToLong(sy * b.bottom)},
                         after.background);
}

} // namespace tf::task
