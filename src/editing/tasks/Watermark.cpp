#include "editing/tasks/Watermark.h"

#include "editing/OptionControls.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_error.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>

namespace tf::task {

namespace {
// The merge style code the image control takes for each entry of cboMergeStyle.
constexpr int kMergeStyleCode[] = {1, 0, 2, 3};
} // namespace

Watermark Watermark::read(const ParamReader& r)
{
    Watermark t;
    t.transparent = r.boolean(1);
    t.transparency = r.integer(2);
    t.style = r.integer(3);
    t.file = r.text(4);
    if (t.style == editops::mergeAtPoint) {
        t.y = r.longValue(6);
        t.x = r.longValue(7);
    } else {
        t.y = r.optionalLong(6, 0);
        t.x = r.optionalLong(7, 0);
    }
    t.transparentColor = t.transparent ? r.longValue(5) : r.optionalLong(5, 0);
    t.fitToWindow = r.optionalBool(8, false);
    return t;
}

void Watermark::write(ParamWriter& w) const
{
    w.boolean(1, transparent);
    w.number(2, transparency);
    w.number(3, style);
    w.text(4, file);
    w.number(5, transparentColor);
    w.number(6, y);
    w.number(7, x);
    w.boolean(8, fitToWindow);
}

void Watermark::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    c.cboMergeStyle->setCurrentIndex(clampIndex(t.WatermarkMergeStyle, c.cboMergeStyle->count()));
    s.picLocation->setVisible(c.cboMergeStyle->currentIndex() == 0);
    c.sldWatermarkTransparency->setValue(t.WatermarkTransparency);
    tick(c.chkWatermarkTransparent, t.WatermarkTransparent);
    c.picTransparentOptions->setVisible(c.chkWatermarkTransparent->isChecked());
    c.picWatermarkTransparentColor->setColor(t.WatermarkTransparentColor);
    s.mergeFile = t.WatermarkImage;
    if (QFileInfo(t.WatermarkImage).isFile() && c.picWatermarkImage->property("Tag").toString().isEmpty())
        s.loadMergePicture(t.WatermarkImage);
}

void Watermark::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.WatermarkMergeStyle = int16_t(c.cboMergeStyle->currentIndex());
    t.WatermarkTransparency = int16_t(c.sldWatermarkTransparency->value());
    t.WatermarkTransparent = checkValue(c.chkWatermarkTransparent);
    t.WatermarkTransparentColor = c.picWatermarkTransparentColor->color();
    t.WatermarkImage = c.picWatermarkImage->property("Tag").toString();
}

std::optional<Watermark> Watermark::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    if (s.mergeFile.isEmpty()) {
        check.refuse(QStringLiteral("Please select an image/logo for watermarking the image."));
        return std::nullopt;
    }
    if (!QFileInfo(s.mergeFile).isFile()) {
        check.refuse(QStringLiteral("The last watermark image/logo file has either moved, renamed or deleted.\r\n"
                                    "Please select an image/logo from disk."));
        return std::nullopt;
    }
    const int style = c.cboMergeStyle->currentIndex();
    Watermark t;
    t.transparent = ticked(c.chkWatermarkTransparent);
    t.transparency = int16_t(c.sldWatermarkTransparency->value());
    t.style = int16_t(style >= 0 && style < 4 ? kMergeStyleCode[style] : 0);
    t.file = s.mergeFile;
    t.transparentColor = c.picWatermarkTransparentColor->color();
    t.y = s.mergePoint.y();
    t.x = s.mergePoint.x();
    t.fitToWindow = s.fitToWindow;
    return t;
}

bool Watermark::changedOnceChosen(const Controls&, const PanelShared& s) { return QFileInfo(s.mergeFile).isFile(); }

QImage Watermark::apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const
{
    editops::MergeParams& m = after.merge;
    m.transparent = transparent;
    m.transparency = transparency;
    m.style = style;
    if (style == editops::mergeAtPoint) {
        m.y = y;
        m.x = x;
    }
    if (transparent) m.transparentColor = transparentColor;
    const QImage picture = loader(file);
    if (picture.isNull())
        throw ImageBoxError(imagebox_error::kFileNotFound, QStringLiteral("the picture \"%1\" could not be read").arg(file));
    return editops::Merge(image, picture, m);
}

} // namespace tf::task
