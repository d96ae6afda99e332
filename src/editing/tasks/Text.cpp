#include "editing/tasks/Text.h"

#include "editing/OptionControls.h"
#include "editing/SelectionTool.h"
#include "editing/modProcessTasks.h"
#include "frame/modSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace tf::task {

Text Text::read(const ParamReader& r)
{
    Text t;
    editops::TextParams& p = t.params;
    p.antiAlias = r.boolean(1);
    t.fitToWindow = r.optionalBool(2, false);
    p.transparent = r.boolean(3);
    p.angle = float(r.integer(4));
    p.alignment = r.integer(5);
    p.fontName = r.text(6);
    // The size keeps its fraction: the preview drew a 10.5-point text at 10.5 points.
    p.fontSize = r.number(7);
    p.bold = r.boolean(8);
    p.italic = r.boolean(9);
    p.underline = r.boolean(10);
    p.color = r.longValue(11);
    p.backColor = r.longValue(12);
    t.orientation = r.byte(13);
    t.position = r.integer(14);
    t.text = r.text(15);
    if (t.position == 9) {
        t.x = r.longValue(16);
        t.y = r.longValue(17);
    } else {
        t.x = r.optionalLong(16, 0);
        t.y = r.optionalLong(17, 0);
    }
    return t;
}

void Text::write(ParamWriter& w) const
{
    const editops::TextParams& p = params;
    w.boolean(1, p.antiAlias);
    w.boolean(2, fitToWindow);
    w.boolean(3, p.transparent);
    w.text(4, taskparam::fromSingle(p.angle));
    w.number(5, p.alignment);
    w.text(6, p.fontName);
    w.text(7, QString::number(p.fontSize));
    w.boolean(8, p.bold);
    w.boolean(9, p.italic);
    w.boolean(10, p.underline);
    w.number(11, p.color);
    w.number(12, p.backColor);
    w.number(13, orientation);
    w.number(14, position);
    w.text(15, text);
    w.number(16, x);
    w.number(17, y);
}

void Text::showPosition(const Controls& c, const PanelShared& s, int index)
{
    if (index < 0) return;
    const bool click = index == 9;
    c.picTextOrientation->setVisible(!click);
    c.picTextAlignment->setVisible(!click && chosen(c.OptTextOrientation) == 0);
    c.picTextOrientationCustom->setVisible(click);
    s.picLocation->setVisible(click);
}

void Text::showFont(const Controls& c)
{
    QFont f = c.txtDraw->font();
    f.setFamily(c.ComboFontFamily->currentText());
    f.setBold(c.chkTextBold->isChecked());
    f.setItalic(c.chkTextItalic->isChecked());
    f.setUnderline(c.chkTextUnderline->isChecked());
    c.txtDraw->setFont(f);
}

void Text::fill(const Controls& c, PanelShared& s, const typTaskOptions& t)
{
    tick(c.chkTextBold, t.TextBold);
    c.txtDraw->setPlainText(t.Text);
    tick(c.chkTransparent, t.TextTransparent);
    c.cmdTextBackground->setVisible(!c.chkTransparent->isChecked());
    c.cmdTextBackground->setColor(t.TextBackColor);
    const int byName = t.TextFontName.isEmpty() ? -1 : c.ComboFontFamily->findText(t.TextFontName);
    c.ComboFontFamily->setCurrentIndex(byName >= 0 ? byName : clampIndex(t.TextFontIndex, c.ComboFontFamily->count()));
    c.comboFontSize->setEditText(boxText(t.TextFontSize, 0, 200));
    c.cboPosition->setCurrentIndex(clampIndex(t.TextPosition, c.cboPosition->count()));
    selectOption(c.OptTextOrientation, t.TextOrientation);
    c.cmdTextColor->setColor(t.TextColor);
    c.ComboFilter->setCurrentIndex(clampIndex(t.ResizeFilter, c.ComboFilter->count()));
    selectOption(c.OptTextAlignment, t.TextAlignment);
    c.txtTextAngle->setText(boxText(t.TextAngle, -180, 180));
    c.vsbTextAngle->setValue(c.txtTextAngle->text().toInt());
    showPosition(c, s, c.cboPosition->currentIndex());
    showFont(c);
}

void Text::store(const Controls& c, const PanelShared&, typTaskOptions& t)
{
    t.TextBold = checkValue(c.chkTextBold);
    t.Text = c.txtDraw->toPlainText();
    t.TextTransparent = checkValue(c.chkTransparent);
    t.TextBackColor = c.cmdTextBackground->color();
    t.TextFontIndex = int16_t(c.ComboFontFamily->currentIndex());
    t.TextFontName = c.ComboFontFamily->currentText();
    keepNumber(t.TextFontSize, c.comboFontSize->currentText());
    t.TextPosition = int16_t(c.cboPosition->currentIndex());
    t.TextOrientation = uint8_t(chosen(c.OptTextOrientation) == 0 ? 0 : 1);
    t.TextColor = c.cmdTextColor->color();
    t.ResizeFilter = int16_t(c.ComboFilter->currentIndex());
    // The alignment's own index: right comes back as right.
    t.TextAlignment = uint8_t(chosen(c.OptTextAlignment));
    // The angle that was applied: the box's number within its range.
    if (const auto angle = boxNumber(clampedNumberText(c.txtTextAngle->text(), -180, 180), -180, 180))
        t.TextAngle = int16_t(*angle);
}

std::optional<Text> Text::fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check)
{
    const auto size = check.number(c.comboFontSize->currentText(), 1, 200, QStringLiteral("the font size"));
    if (!size) return std::nullopt;
    const int position = c.cboPosition->currentIndex();
    if (position < 0) {
        check.refuse(QStringLiteral("Please choose where the text goes."));
        return std::nullopt;
    }
    Text t;
    editops::TextParams& p = t.params;
    p.antiAlias = ticked(c.chkAntiAlias);
    p.transparent = ticked(c.chkTransparent);
    p.fontName = c.ComboFontFamily->currentText();
    p.fontSize = *size;
    p.bold = ticked(c.chkTextBold);
    p.italic = ticked(c.chkTextItalic);
    p.underline = ticked(c.chkTextUnderline);
    p.color = c.cmdTextColor->color();
    p.backColor = c.cmdTextBackground->color();
    t.text = c.txtDraw->toPlainText();
    t.fitToWindow = s.fitToWindow;
    t.position = int16_t(position);
    if (position == 9) {
        const auto angle = check.number(c.txtTextAngle->text(), -180, 180, QStringLiteral("the text angle"));
        if (!angle) return std::nullopt;
        p.angle = float(*angle);
        p.alignment = 0;
        if (!s.textClickImage.isEmpty() && !s.textClickDisplay.isEmpty()) {
            const QPoint origin = textOriginFromClick(s.textClick, s.textClickImage, s.textClickDisplay, p.fontSize);
            t.x = origin.x();
            t.y = origin.y();
        }
    } else if (chosen(c.OptTextOrientation) == 0) {
        p.angle = 0;
        p.alignment = int16_t(chosen(c.OptTextAlignment));
    } else {
        t.orientation = 1;
        p.angle = -90;
        p.alignment = 0;
    }
    if (position != 9 && !s.imageSize.isEmpty() && !p.fontName.isEmpty()) {
        try {
            subCalcTextPosition(t.orientation, t.position, p.alignment, s.imageSize, editops::TextExtent(p, t.text), t.x, t.y);
        } catch (const std::exception&) {
            // The replay places grid positions itself; the recorded origin is for reading only.
        }
    }
    return t;
}

bool Text::changedOnceChosen(const Controls& c, const PanelShared&) { return !c.txtDraw->toPlainText().isEmpty(); }

QImage Text::apply(const QImage& image, EditSettings& after, const PictureLoader&) const
{
    after.text = params;
    if (position == 9) {
        after.textX = x;
        after.textY = y;
    } else {
        subCalcTextPosition(orientation, position, params.alignment, image.size(), editops::TextExtent(params, text),
                            after.textX, after.textY);
    }
    return editops::DrawText(image, params, after.textX, after.textY, text);
}

} // namespace tf::task
