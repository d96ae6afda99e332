#include "controls/modButtonPicture.h"

#include "platform/sys/numbers.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace tf {

namespace {

constexpr int kPictureLeft = 5;

// Pale grey, keeping each pixel's coverage: what a disabled button's picture looks like.
QImage washedOut(QImage image, bool washed)
{
    if (!washed) return image;
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int shade = 255 - (255 - qGray(line[x])) * 2 / 5;
            line[x] = qRgba(shade, shade, shade, qAlpha(line[x]));
        }
    }
    return image;
}

// Combined into the face, a picture darkens it; on a dark face (a dark desktop palette) that
// leaves a dim, recoloured shadow of it. There a picture that has its own transparency is laid
// over the face instead, in its own colours.
bool pictureLaidOver(const QWidget& button, const QPixmap& picture)
{
    return picture.hasAlphaChannel() && qGray(button.palette().color(QPalette::Button).rgb()) < 128;
}

// Lives as a child of its button, so it goes with the button; the button's paint runs through it.
class ButtonPictureFilter : public QObject {
    Q_OBJECT
public:
    explicit ButtonPictureFilter(QPushButton* button) : QObject(button) {}

    void setPicture(const QPixmap& picture)
    {
        m_picture = picture;
        m_holder = nullptr;
        m_fromHolder = false;
    }
    void setHolder(QLabel* holder)
    {
        m_picture = QPixmap();
        m_holder = holder;
        m_fromHolder = true;
    }
    QString padded;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint) return false;
        auto* button = static_cast<QWidget*>(watched);
        // The button draws its face first; the picture then goes into the same paint.
        static_cast<QObject*>(button)->event(event);
        const QPixmap picture = m_fromHolder ? (m_holder ? m_holder->pixmap() : QPixmap()) : m_picture;
        if (picture.isNull()) return true;

        const int top = buttonPictureTop(button->height(), picture.deviceIndependentSize().height());
        QPainter painter(button);
        // Clipped by the face alone: a picture taller than the button shows its middle, both
        // ends cut evenly, rather than losing its lower part at one face height below its top.
        painter.setClipRect(QRect(kPictureLeft, 0, button->width() - 7, button->height()));
        // A disabled button shows its picture washed out, as its caption is, so that an
        // icon-only button does not look ready for a click.
        if (pictureLaidOver(*button, picture)) {
            painter.drawImage(QPoint(kPictureLeft, top), washedOut(picture.toImage(), !button->isEnabled()));
            return true;
        }
        QImage onWhite(picture.size(), QImage::Format_ARGB32_Premultiplied);
        onWhite.setDevicePixelRatio(picture.devicePixelRatio());
        onWhite.fill(Qt::white);
        {
            QPainter flatten(&onWhite);
            flatten.drawPixmap(0, 0, picture);
        }
        painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        painter.drawImage(QPoint(kPictureLeft, top), washedOut(onWhite, !button->isEnabled()));
        return true;
    }

private:
    QPixmap m_picture;
    QPointer<QLabel> m_holder;
    bool m_fromHolder = false;
};

ButtonPictureFilter* filterOf(const QPushButton* button)
{
    return button ? button->findChild<ButtonPictureFilter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// Installs the filter once; a caption is padded only when it is not already the padded one.
ButtonPictureFilter* setUp(QPushButton* button)
{
    ButtonPictureFilter* filter = filterOf(button);
    if (!filter) {
        filter = new ButtonPictureFilter(button);
        button->installEventFilter(filter);
    }
    if (filter->padded.isNull() || button->text() != filter->padded) {
        filter->padded = padButtonCaption(button->text(), button->width(), QFontMetrics(button->font()));
        button->setText(filter->padded);
    }
    return filter;
}

} // namespace

QString padButtonCaption(const QString& caption, int buttonWidth, const QFontMetrics& metrics)
{
    const int margin = caption.contains(QLatin1Char('&')) ? 5 : 11;
    QString padded = caption;
    for (int i = 1; i <= buttonWidth; ++i) {
        padded.prepend(QLatin1Char(' '));
        // Measured as written: the "&" counts although the button does not show it.
        if (metrics.horizontalAdvance(padded) >= buttonWidth - margin) break;
    }
    return padded;
}

int pictureButtonWidth(int designWidth, const QString& caption, const QFontMetrics& metrics, int pictureWidth)
{
    const QString shown = QString(caption).remove(QLatin1Char('&')).trimmed();
    if (shown.isEmpty()) return designWidth;
    const int clear = kPictureLeft + pictureWidth + 3;
    for (int width = std::max(designWidth, 1);; ++width) {
        const QString padded = padButtonCaption(caption, width, metrics);
        const int paddedWidth = metrics.horizontalAdvance(padded);
        const int textStart = (width - paddedWidth) / 2 + paddedWidth - metrics.horizontalAdvance(shown);
        if (textStart >= clear || width > designWidth + 4 * metrics.horizontalAdvance(shown)) return width;
    }
}

int buttonPictureTop(int faceHeight, double pictureHeight)
{
    const double centre = faceHeight / 2.0;
    return roundToLong(centre - roundHalfEven(pictureHeight) / 2.0);
}

bool hasButtonPicture(const QPushButton* button) { return filterOf(button) != nullptr; }

} // namespace tf

void subSetButtonPicture(QPushButton* button, const QPixmap& picture)
{
    if (!button) return;
    tf::setUp(button)->setPicture(picture);
    button->update();
}

void subSetButtonPicture(QPushButton* button, QLabel* pictureBox)
{
    if (!button) return;
    if (pictureBox) pictureBox->hide(); // the holder only keeps the picture
    tf::setUp(button)->setHolder(pictureBox);
    button->update();
}

void subSetButtonCaption(QPushButton* button, const QString& caption)
{
    if (!button) return;
    tf::ButtonPictureFilter* filter = tf::filterOf(button);
    if (!filter) {
        button->setText(caption);
        return;
    }
    filter->padded = tf::padButtonCaption(caption, button->width(), QFontMetrics(button->font()));
    button->setText(filter->padded);
}

void subRemoveButtonPicture(QPushButton* button)
{
    if (!button) return;
    while (QObject* filter = tf::filterOf(button)) {
        button->removeEventFilter(filter);
        delete filter;
    }
    button->update();
}

#include "modButtonPicture.moc"
