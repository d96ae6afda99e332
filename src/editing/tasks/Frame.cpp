#include "editing/tasks/Frame.h"

#include "editing/OptionControls.h"
#include "editing/PictureStore.h"
#include "editing/modProcessTasks.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_error.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QScrollBar>

namespace tf::task {

Frame Frame::read(const ParamReader& r)
{
    Frame t;
    t.color = r.longValue(1);
    t.plain = r.byte(2) != 0;
    if (t.plain) {
        t.width = r.longValue(3);
    } else {
        t.picture = r.integer(3);
        t.resizeCanvas = r.byte(4);
    }
    return t;
}

void Frame::write(ParamWriter& w) const
{
    w.number(1, color);
    w.text(2, plain ? QStringLiteral("1") : QStringLiteral("0"));
    if (plain) {
        w.number(3, width);
    } else {
        w.number(3, picture);
        w.check(4, resizeCanvas != 0);
    }
}

void Frame::showStyle(const Controls& c, const PanelShared& s, int index)
{
    c.picFrameImage->setVisible(index == 0);
    c.picFrameColor->setVisible(index != 0);
    s.frameBackColor->setVisible(index != 0);
}

void Frame::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    selectOption(c.OptFrameStyle, t.FrameStyle);
    selectOption(c.OptFrameImage, t.FramePictureIndex);
    s.pictureIndex = int16_t(chosen(c.OptFrameImage));
    c.txtFrameSize->setText(boxText(t.FrameSize, 0, 800));
    c.vsFrameSize->setValue(c.txtFrameSize->text().toInt());
    tick(c.chkFrameImageResizeCanvas, t.FrameResizeCanvas);
    s.setBackColor(code, t.FrameColor);
    showStyle(c, s, chosen(c.OptFrameStyle));
}

void Frame::store(const Controls& c, const PanelShared& s, typTaskOptions& t)
{
    t.FramePictureIndex = int16_t(chosen(c.OptFrameImage));
    t.FrameColor = s.backColors[code];
    keepNumber(t.FrameSize, c.txtFrameSize->text());
    t.FrameResizeCanvas = checkValue(c.chkFrameImageResizeCanvas);
    t.FrameStyle = uint8_t(chosen(c.OptFrameStyle) == 0 ? 0 : 1);
}

std::optional<Frame> Frame::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    Frame t;
    t.color = s.backColors[code];
    t.plain = chosen(c.OptFrameStyle) != 0;
    if (t.plain) {
        const auto width = check.number(c.txtFrameSize->text(), 0, 800, QStringLiteral("the frame size"));
        if (!width) return std::nullopt;
        t.width = *width;
    } else {
        t.picture = int16_t(chosen(c.OptFrameImage));
        t.resizeCanvas = ticked(c.chkFrameImageResizeCanvas) ? 1 : 0;
    }
    return t;
}

QImage Frame::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    after.merge.transparent = false;
    after.merge.transparency = 0;
    after.background = color;
    if (plain) return editops::Crop(image, grownBounds(image, width, width, width, width), color);
    // The pieces above the frames are the shadows'; a frame row may not reach them.
    if (picture < 0 || picture >= PictureStore::kFrameCount)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("There is no picture frame %1").arg(picture));
    return subApplyPictureFrame(image, picture, resizeCanvas, picture == 4, color, after.merge);
}

} // namespace tf::task
