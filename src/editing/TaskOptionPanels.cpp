#include "editing/TaskOptionPanels.h"

#include "controls/modFontsCombo.h"
#include "editing/ImageOperations.h"
#include "editing/PictureStore.h"
#include "editing/SelectionTool.h"
#include "editing/TaskRecords.h"
#include "editing/modProcessTasks.h"
#include "frame/modSettings.h"
#include "platform/decode/decode_feed.h"
#include "platform/sys/numbers.h"
#include "services/modCommonDialog.h"
#include "services/modLoadPic.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace tf {

namespace {

QString name(const char* n) { return QString::fromLatin1(n); }

// The layout a panel's rows go into: the one it has, or a new column.
QBoxLayout* columnOf(QWidget* w)
{
    if (auto* box = qobject_cast<QBoxLayout*>(w->layout())) return box;
    if (w->layout()) {
        // A panel laid out some other way gets its rows in one child column.
        const QString column = QStringLiteral("tfOptionColumn");
        auto* inner = w->findChild<QWidget*>(column, Qt::FindDirectChildrenOnly);
        if (!inner) {
            inner = new QWidget(w);
            inner->setObjectName(column);
            w->layout()->addWidget(inner);
            new QVBoxLayout(inner);
        }
        return static_cast<QBoxLayout*>(inner->layout());
    }
    auto* column = new QVBoxLayout(w);
    column->setContentsMargins(4, 4, 4, 4);
    return column;
}

QWidget* group(QWidget* parent, const char* objectName)
{
    auto* w = new QWidget(parent);
    w->setObjectName(name(objectName));
    if (parent) columnOf(parent)->addWidget(w);
    return w;
}

// A row of controls inside a panel's column.
QWidget* controlRow(QWidget* parent)
{
    auto* w = new QWidget(parent);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    columnOf(parent)->addWidget(w);
    return w;
}

QLabel* label(QWidget* parent, const QString& text, const char* objectName = nullptr)
{
    auto* l = new QLabel(text, parent);
    if (objectName) l->setObjectName(name(objectName));
    columnOf(parent)->addWidget(l);
    return l;
}

QAbstractButton* checkButton(QWidget* parent, const char* objectName, const QString& caption)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name(objectName));
    b->setText(caption);
    b->setCheckable(true);
    columnOf(parent)->addWidget(b);
    return b;
}

int clampIndex(int value, int count) { return value >= 0 && value < count ? value : 0; }

void selectOption(QButtonGroup* g, int index)
{
    const int i = clampIndex(index, int(g->buttons().size()));
    if (QAbstractButton* b = g->button(i)) b->setChecked(true);
}

int chosen(const QButtonGroup* g) { return g->checkedId() < 0 ? 0 : g->checkedId(); }

// Text of a number read from the record, within the box's range.
QString boxText(int value, int lo, int hi) { return QString::number(std::clamp(value, lo, hi)); }

void keepNumber(int16_t& field, const QString& text)
{
    if (const auto v = taskparam::toInteger(text)) field = *v;
}

QString numberMessage(const QString& what, int lo, int hi)
{
    return QStringLiteral("Please enter a whole number from %1 to %2 for %3.").arg(lo).arg(hi).arg(what);
}

const QStringList kMergeStyles = {QStringLiteral("Custom position"), QStringLiteral("Centre"), QStringLiteral("Tile"),
                                  QStringLiteral("Wrap")};
const QStringList kFilters = {QStringLiteral("Bilinear"), QStringLiteral("Hermite"), QStringLiteral("Bell"),
                              QStringLiteral("B-Spline"), QStringLiteral("Lanczos"), QStringLiteral("Mitchell")};
const QStringList kPositions = {QStringLiteral("Top-Left"),      QStringLiteral("Top-Centre"),
                                QStringLiteral("Top-Right"),     QStringLiteral("Centre-Left"),
                                QStringLiteral("Centre"),        QStringLiteral("Centre-Right"),
                                QStringLiteral("Bottom-Left"),   QStringLiteral("Bottom-Centre"),
                                QStringLiteral("Bottom-Right"),  QStringLiteral("Mouse-Click Position")};

QStringList fontSizes()
{
    QStringList sizes;
    for (int s = 8; s <= 100; ++s) sizes << QString::number(s);
    return sizes;
}

// The merge style code the image control takes for each entry of cboMergeStyle.
constexpr int kMergeStyleCode[] = {1, 0, 2, 3};

constexpr int kPictureCount = 8;
constexpr int kButtonsPerRow = 4;
constexpr int kShadowBase = 8;

// Keys for comboFontSize's edit line, which is a plain line edit of the combo box.
class FontSizeFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (!edit) return false;
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const QString t = key->text();
            if (t.isEmpty() || !t.at(0).isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
            for (const QChar c : t)
                if (!(c.isDigit() && c.unicode() < 128)) return true;
        } else if (event->type() == QEvent::FocusOut) {
            const QString t = clampedNumberText(edit->text(), 0, 200);
            if (t != edit->text()) edit->setText(t);
        }
        return false;
    }
};

// The picture a frame, shadow (index + 8) or mask button shows: the piece round a blank square,
// or the mask itself. No icon when a picture cannot be made.
QIcon pictureIcon(bool mask, int pieceIndex)
{
    try {
        QImage picture;
        if (mask) {
            picture = PictureStore::instance().mask(pieceIndex);
        } else {
            QImage blank(40, 40, QImage::Format_RGB32);
            blank.fill(Qt::white);
            picture = subApplyPictureFrame(blank, int16_t(pieceIndex), 1, pieceIndex == 4, rgb(255, 255, 255), {});
        }
        if (picture.isNull()) return {};
        return QIcon(QPixmap::fromImage(picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } catch (const std::exception&) {
        return {};
    }
}

void setPictureIcons(QButtonGroup* group, bool mask, int firstPiece)
{
    for (QAbstractButton* b : group->buttons()) {
        const QIcon icon = pictureIcon(mask, firstPiece + group->id(b));
        if (icon.isNull()) continue;
        b->setIcon(icon);
        b->setIconSize(QSize(32, 32));
        b->setToolTip(b->text());
        b->setText(QString());
    }
}

} // namespace

TaskOptionPanels::TaskOptionPanels(const std::array<QWidget*, 17>& panels, QObject* parent)
    : QObject(parent), m_panels(panels)
{
    build();
}

TaskOptionPanels::~TaskOptionPanels()
{
    if (m_ownsShared) {
        delete m_frameBackColor;
        delete m_picLocation;
    }
    for (QWidget* w : m_ownedPanels) delete w;
}

// ---- building ----------------------------------------------------------------------------------

// A combo box sized by its longest entry (a font's name, say) would push past the panel's edge.
static QComboBox* narrow(QComboBox* c)
{
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(6);
    return c;
}

QComboBox* TaskOptionPanels::fixedCombo(const char* objectName, int32_t ownerCode, const QStringList& entries)
{
    for (QWidget* p : m_panels)
        if (p)
            if (auto* c = p->findChild<QComboBox*>(name(objectName))) {
                const QLayout* home = c->parentWidget()->layout();
                if (!home || home->indexOf(c) < 0) columnOf(c->parentWidget())->addWidget(c);
                return narrow(c);
            }
    // Standing alone (no main window filled it): made here, with the same entries.
    auto* c = new QComboBox(panel(ownerCode));
    c->setObjectName(name(objectName));
    c->addItems(entries);
    columnOf(panel(ownerCode))->addWidget(c);
    return narrow(c);
}

NumericBox* TaskOptionPanels::numericBox(QWidget* parent, const char* objectName, const NumericBox::Rule& rule, int32_t code)
{
    auto* box = new NumericBox(name(objectName), rule, parent);
    columnOf(parent)->addWidget(box);
    if (code >= 0) connect(box, &QLineEdit::textChanged, this, [this, code] { markChanged(code); });
    return box;
}

QScrollBar* TaskOptionPanels::spinner(QWidget* parent, const char* objectName, int lo, int hi, int start, NumericBox* box)
{
    auto* s = new QScrollBar(Qt::Vertical, parent);
    s->setObjectName(name(objectName));
    s->setRange(lo, hi);
    s->setSingleStep(1);
    s->setPageStep(5);
    // Up raises the number.
    s->setInvertedAppearance(true);
    s->setInvertedControls(true);
    s->setValue(start);
    s->setFixedHeight(36);
    columnOf(parent)->addWidget(s);
    connect(s, &QScrollBar::valueChanged, box, [box](int v) { box->setText(QString::number(v)); });
    connect(box, &NumericBox::clamped, s, [s](int v) { s->setValue(v); });
    return s;
}

QSlider* TaskOptionPanels::slider(QWidget* parent, const char* objectName, int lo, int hi, int start,
                                  const char* labelName, int32_t code)
{
    auto* row = new QWidget(parent);
    columnOf(parent)->addWidget(row);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    auto* s = new QSlider(Qt::Horizontal, row);
    s->setObjectName(name(objectName));
    s->setRange(lo, hi);
    s->setValue(start);
    // Like the old slider: a drag shows its value, the change comes at the release.
    s->setTracking(false);
    auto* l = new QLabel(QString::number(start), row);
    l->setObjectName(name(labelName));
    h->addWidget(s, 1);
    h->addWidget(l);
    connect(s, &QSlider::sliderMoved, l, [l](int v) { l->setText(QString::number(v)); });
    connect(s, &QSlider::valueChanged, this, [this, l, code](int v) {
        l->setText(QString::number(v));
        markChanged(code);
    });
    return s;
}

QCheckBox* TaskOptionPanels::checkBox(QWidget* parent, const char* objectName, const QString& caption, bool ticked, int32_t code)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name(objectName));
    c->setChecked(ticked);
    columnOf(parent)->addWidget(c);
    if (code >= 0) connect(c, &QCheckBox::toggled, this, [this, code] { markChanged(code); });
    return c;
}

QButtonGroup* TaskOptionPanels::options(QWidget* parent, const char* objectName, const QStringList& captions, bool graphical)
{
    auto* g = new QButtonGroup(parent);
    g->setObjectName(name(objectName));
    QWidget* row = parent;
    QGridLayout* grid = nullptr;
    if (graphical) {
        row = new QWidget(parent);
        columnOf(parent)->addWidget(row);
        grid = new QGridLayout(row);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(4);
    }
    for (int i = 0; i < captions.size(); ++i) {
        QAbstractButton* b;
        if (graphical) {
            auto* t = new QToolButton(row);
            t->setCheckable(true);
            b = t;
        } else {
            b = new QRadioButton(row);
        }
        b->setText(captions[i]);
        b->setObjectName(QStringLiteral("%1_%2").arg(name(objectName)).arg(i));
        g->addButton(b, i);
        // The eight pictures of a set stand in two rows of four: one row of eight is twice the
        // width of the option group.
        if (grid) grid->addWidget(b, i / kButtonsPerRow, i % kButtonsPerRow);
        else columnOf(row)->addWidget(b);
    }
    if (!captions.isEmpty()) g->button(0)->setChecked(true);
    return g;
}

ColorButton* TaskOptionPanels::colorButton(QWidget* parent, const char* objectName)
{
    auto* b = new ColorButton(name(objectName), parent);
    columnOf(parent)->addWidget(b);
    connect(b, &QToolButton::clicked, this, [this, b] {
        const typColorResult r = fncShowColor(b->window(), false);
        if (r.blnCancelled || r.lngColor < 0) return;
        // The shared back colour belongs to whichever task is chosen.
        if (b == picCropBackColor) {
            setBackColor(m_task, r.lngColor);
            markChanged(m_task);
            return;
        }
        b->setColor(r.lngColor);
        markChanged(b->property("taskCode").toInt());
    });
    return b;
}

void TaskOptionPanels::build()
{
    for (size_t i = 0; i < m_panels.size(); ++i)
        if (!m_panels[i]) {
            // Every panel is needed; a missing one is made here so the controls have a home.
            m_panels[i] = new QWidget;
            m_panels[i]->setObjectName(QString::fromLatin1(taskInfo(int32_t(i))->panel));
            m_ownedPanels.push_back(m_panels[i]);
        }

    // The two groups several panels share sit beside the panels, in their container.
    QWidget* container = panel(taskRotate)->parentWidget();
    m_ownsShared = container == nullptr;
    m_frameBackColor = new QWidget(container);
    m_frameBackColor->setObjectName(QStringLiteral("FrameBackColor"));
    label(m_frameBackColor, QStringLiteral("Back Color"));
    picCropBackColor = colorButton(m_frameBackColor, "picCropBackColor");
    checkButton(m_frameBackColor, "chkCropBackColor", QStringLiteral("Pick"));
    m_frameBackColor->hide();
    m_picLocation = new QWidget(container);
    m_picLocation->setObjectName(QStringLiteral("picLocation"));
    checkButton(m_picLocation, "chkSelectLocation", QStringLiteral("Select location"));
    label(m_picLocation, QString(), "lblSelectLocation");
    m_picLocation->hide();
    // Below the panels when the container stacks them; the controller may place them otherwise.
    if (container && container->layout()) {
        container->layout()->addWidget(m_frameBackColor);
        container->layout()->addWidget(m_picLocation);
    }

    buildNothing();
    buildFlip();
    buildRotate();
    buildResize();
    static const char* const noChecks[] = {nullptr};
    static const char* const conChecks[] = {"chkConRed", "chkConGreen", "chkConBlue", nullptr};
    static const char* const brChecks[] = {"chkBrRed", "chkBrGreen", "chkBrBlue", nullptr};
    buildSliderPanel(taskBlur, "sldBlur", "lblBlur", 1, 10, 1, noChecks);
    buildSliderPanel(taskSharpen, "sldSharpen", "lblSharpen", 1, 10, 1, noChecks);
    buildSliderPanel(taskBrightness, "sldBrightness", "lblBrightessValue", 0, 100, 50, brChecks);
    buildSliderPanel(taskContrast, "sldContrast", "lblContrastValue", 0, 100, 50, conChecks);
    buildCrop();
    buildWatermark();
    buildText();
    buildCanvas();
    buildFrame();
    buildMask();
    buildShadow();
    buildRedEye();
    // The controls sit at the top of a panel taller than they need.
    for (int32_t code = taskNothing; code <= taskRedEye; ++code)
        if (code != taskInvert) columnOf(panel(code))->addStretch(1);
}

void TaskOptionPanels::buildNothing()
{
    label(panel(taskNothing), QStringLiteral("No option selected."), "lblNothing")->setWordWrap(true);
}

void TaskOptionPanels::buildFlip()
{
    optFlip = options(panel(taskFlip), "optFlip", {QStringLiteral("Flip Horizontal"), QStringLiteral("Flip Vertical")}, false);
    connect(optFlip, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) markChanged(taskFlip);
    });
}

void TaskOptionPanels::buildRotate()
{
    QWidget* p = panel(taskRotate);
    label(p, QStringLiteral("Degrees"));
    // Four typed characters, so that -100 to -180 can be typed.
    txtDegrees = numericBox(p, "txtDegrees", {4, true, QStringLiteral("45"), true, -180, 180}, taskRotate);
    sbDegrees = spinner(p, "sbDegrees", -180, 180, 45, txtDegrees);
    connect(sbDegrees, &QScrollBar::valueChanged, this, [this] { enableApply(taskRotate); });
    const int angles[] = {-15, 15, 45, -45};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(QStringLiteral("%1º").arg(angles[i]), p);
        b->setObjectName(QStringLiteral("cmdAngle_%1").arg(i));
        columnOf(p)->addWidget(b);
        const int angle = angles[i];
        connect(b, &QPushButton::clicked, this, [this, angle] { sbDegrees->setValue(angle); });
    }
    chkRotateResample = checkBox(p, "chkRotateResample", QStringLiteral("Resample"), false, taskRotate);
    label(p, QStringLiteral("Note: Canvas will be resized"));
}

void TaskOptionPanels::buildResize()
{
    QWidget* p = panel(taskResize);
    optResize = options(p, "optResize", {QStringLiteral("Resize"), QStringLiteral("Scale")}, false);
    frameResize = group(p, "frameResize");
    label(frameResize, QStringLiteral("Width"));
    txtResizeWidth = numericBox(frameResize, "txtResizeWidth", {}, -1);
    label(frameResize, QStringLiteral("Height"));
    txtResizeHeight = numericBox(frameResize, "txtResizeHeight", {}, -1);
    chkResizeRatio = checkBox(frameResize, "chkResizeRatio", QStringLiteral("Retain Ratio"), true, taskResize);
    FrameScale = group(p, "FrameScale");
    label(FrameScale, QStringLiteral("Enter percentage"));
    // Digits only: a pasted or typed "abc" must not reach Apply as 0.
    txtScale = numericBox(FrameScale, "txtScale", {0, false, QString(), false, 0, 0}, taskResize);
    FrameScale->hide();
    chkResizeResample = checkBox(p, "chkResizeResample", QStringLiteral("Resample"), false, taskResize);
    txtResizeWidth->setText(QString());
    txtResizeHeight->setText(QString());
    connect(txtResizeWidth, &QLineEdit::textChanged, this, [this] { onResizeBox(true); });
    connect(txtResizeHeight, &QLineEdit::textChanged, this, [this] { onResizeBox(false); });
    connect(optResize, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onResizeMode(id);
    });
}

void TaskOptionPanels::onResizeMode(int index)
{
    frameResize->hide();
    FrameScale->hide();
    enableApply(taskResize);
    (index == 0 ? frameResize : FrameScale)->show();
}

void TaskOptionPanels::onResizeBox(bool width)
{
    NumericBox* own = width ? txtResizeWidth : txtResizeHeight;
    NumericBox* other = width ? txtResizeHeight : txtResizeWidth;
    bool& ownGuard = width ? m_heightFromWidth : m_widthFromHeight;
    const bool otherWriting = width ? m_widthFromHeight : m_heightFromWidth;
    if (!m_filling && chkResizeRatio->isChecked() && !otherWriting) {
        const double ownBase = width ? m_ratioBase.width() : m_ratioBase.height();
        const double otherBase = width ? m_ratioBase.height() : m_ratioBase.width();
        bool ok = false;
        const double v = own->text().toDouble(&ok);
        // A base of 0 or a text that is no number leaves the other box as it is.
        if (ok && ownBase > 0 && std::isfinite(v)) {
            const double r = roundHalfEven(v / ownBase * otherBase);
            if (r >= 0 && r <= 2147483647.0) {
                ownGuard = true;
                other->setText(QString::number(qint64(r)));
                ownGuard = false;
            }
        }
    }
    markChanged(taskResize);
}

void TaskOptionPanels::buildSliderPanel(int32_t code, const char* sliderName, const char* labelName, int lo, int hi,
                                        int start, const char* const* checks)
{
    QWidget* p = panel(code);
    label(p, QStringLiteral("Value:"));
    QSlider* s = slider(p, sliderName, lo, hi, start, labelName, code);
    static const QString captions[] = {QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue")};
    for (int i = 0; checks[i]; ++i) {
        QCheckBox* c = checkBox(p, checks[i], captions[i], true, code);
        (code == taskContrast ? chkCon : chkBr)[size_t(i)] = c;
    }
    switch (code) {
    case taskBlur: sldBlur = s; break;
    case taskSharpen: sldSharpen = s; break;
    case taskContrast: sldContrast = s; break;
    default: sldBrightness = s; break;
    }
}

void TaskOptionPanels::buildCrop()
{
    QWidget* p = panel(taskCrop);
    optCropSelect = options(p, "optCropSelect", {QStringLiteral("Mouse "), QStringLiteral("Key-in")}, false);
    frameCropMouse = group(p, "frameCropMouse");
    checkButton(frameCropMouse, "chkCropMouse", QStringLiteral("Select with the mouse"));
    label(frameCropMouse, QString(), "lblSelectRegionStart");
    label(frameCropMouse, QString(), "lblSelectRegionEnd");
    frameCropFixed = group(p, "frameCropFixed");
    label(frameCropFixed, QStringLiteral("Select type"));
    cmbCrop = new QComboBox(frameCropFixed);
    cmbCrop->setObjectName(QStringLiteral("cmbCrop"));
    cmbCrop->addItems({QStringLiteral("Rectangle"), QStringLiteral("Ellipse")});
    columnOf(frameCropFixed)->addWidget(cmbCrop);
    txtCropLeft = numericBox(frameCropFixed, "txtCropLeft", {}, taskCrop);
    txtCropTop = numericBox(frameCropFixed, "txtCropTop", {0, false, QStringLiteral("0"), true, 0, 0}, taskCrop);
    txtCropRight = numericBox(frameCropFixed, "txtCropRight", {}, taskCrop);
    txtCropBot = numericBox(frameCropFixed, "txtCropBot", {}, taskCrop);
    frameCropMouse->hide();
    connect(optCropSelect, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onCropSelect(id);
    });
    connect(cmbCrop, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_frameBackColor->hide();
        enableApply(taskCrop);
        if (i == 1) m_frameBackColor->show();
    });
}

void TaskOptionPanels::onCropSelect(int index)
{
    frameCropFixed->hide();
    frameCropMouse->hide();
    enableApply(taskCrop);
    gudtSettings.Tasks.CropMode = uint8_t(index);
    if (index == 0) {
        frameCropMouse->show();
        return;
    }
    frameCropFixed->show();
    txtCropRight->setText(QString::number(m_imageSize.width()));
    txtCropBot->setText(QString::number(m_imageSize.height()));
    // Also when the texts were already these: choosing Key-in is a change.
    markChanged(taskCrop);
}

void TaskOptionPanels::buildWatermark()
{
    QWidget* p = panel(taskWatermark);
    auto* select = new QPushButton(QStringLiteral("Select Image"), p);
    select->setObjectName(QStringLiteral("cmdSelectMerge"));
    columnOf(p)->addWidget(select);
    connect(select, &QPushButton::clicked, this, &TaskOptionPanels::onSelectMerge);
    picWatermarkImageContainer = group(p, "picWatermarkImageContainer");
    picWatermarkImageContainer->setFixedSize(120, 90);
    picWatermarkImage = new QLabel(picWatermarkImageContainer);
    picWatermarkImage->setObjectName(QStringLiteral("picWatermarkImage"));
    picWatermarkImage->setMouseTracking(true);
    picWatermarkImage->installEventFilter(this);
    lblWatermarkResolution = label(p, QString(), "lblWatermarkResolution");
    chkWatermarkTransparent = checkBox(p, "chkWatermarkTransparent", QStringLiteral("Transparent"), true, -1);
    picTransparentOptions = group(p, "picTransparentOptions");
    picWatermarkTransparentColor = colorButton(picTransparentOptions, "picWatermarkTransparentColor");
    picWatermarkTransparentColor->setProperty("taskCode", taskWatermark);
    chkWatermarkTransparentColor = checkButton(picTransparentOptions, "chkWatermarkTransparentColor", QStringLiteral("Pick"));
    connect(chkWatermarkTransparentColor, &QAbstractButton::clicked, this, [this](bool ticked) {
        if (ticked) m_pickMergeColor = true;
    });
    connect(chkWatermarkTransparent, &QCheckBox::toggled, this, [this](bool on) {
        picTransparentOptions->setVisible(on);
        markChanged(taskWatermark);
    });
    label(p, QStringLiteral("Style:"));
    cboMergeStyle = fixedCombo("cboMergeStyle", taskWatermark, kMergeStyles);
    connect(cboMergeStyle, &QComboBox::currentIndexChanged, this, [this](int i) {
        // The point pick ends with the custom position; its button says so too.
        if (auto* pick = m_picLocation->findChild<QAbstractButton*>(QStringLiteral("chkSelectLocation")))
            pick->setChecked(false);
        m_picLocation->setVisible(i == 0);
        markChanged(taskWatermark);
    });
    label(p, QStringLiteral("Transparency:"));
    sldWatermarkTransparency = slider(p, "sldWatermarkTransparency", 0, 100, 50, "lblWatermarkTransparency", taskWatermark);
}

void TaskOptionPanels::onSelectMerge()
{
    typCommonDialog dialog;
    dialog.hwndOwner = picWatermarkImage->window();
    dialog.strDialogTitle = QStringLiteral("Load Image for Merging");
    dialog.lngFlags = 5;
    dialog.lngFilterIndex = 1;
    dialog.strFilter =
        QStringLiteral("All Image Files|*.bmp;*.jpg;*.jpeg;*.pcx;*.png;*.gif;*.wbm;*.wbmp;*.psd;*.tif;*.tiff") +
        QStringLiteral("|Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg, *.jpeg)|*.jpg;*.jpeg") +
        QStringLiteral("|PCX Files (*.pcx)|*.pcx|PNG Files (*.png)|*.png") + QStringLiteral("|GIF Files (*.gif)|*.gif") +
        QStringLiteral("|Wireless Bitmap Files (*.wbm, *.wbmp)|*.wbm;*.wbmp") +
        QStringLiteral("|Adobe Photoshop Files (*.psd)|*.psd") + QStringLiteral("|TIFF Files (*.tif, *.tiff)|*.tif;*.tiff");
    const QString chosen = fncShowOpen(dialog).strFileName;
    if (!chosen.isEmpty()) {
        m_mergeFile = chosen;
        gudtSettings.Tasks.WatermarkImage = m_mergeFile;
    }
    subLoadMergeImage(m_mergeFile);
}

void TaskOptionPanels::subLoadMergeImage(const QString& path)
{
    m_mergeFile = path;
    picWatermarkImage->setProperty("Tag", path);
    // Whatever was asked before is superseded; until the new picture arrives the panel shows none.
    if (m_mergeFeed && m_mergeRequest >= 0) m_mergeFeed->cancel();
    m_mergeRequest = -1;
    showMergePicture(QImage(), 0, 0);
    // Nothing to read wakes no decoder, and nothing is reported.
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        if (!m_mergeFeed) {
            m_mergeFeed = new decode::DecodeFeed(this);
            connect(m_mergeFeed, &decode::DecodeFeed::decoded, this, &TaskOptionPanels::takeMergePicture);
        }
        m_mergeRequest = m_mergeFeed->submit(loadPicRequest(path, 2, picWatermarkImageContainer->width(),
                                                            picWatermarkImageContainer->height(), rgb(255, 255, 255)));
        lblWatermarkResolution->clear(); // no size is known yet
    }
    markChanged(taskWatermark);
}

void TaskOptionPanels::takeMergePicture(int request, const decode::DecodeResult& answer)
{
    if (request != m_mergeRequest) return;
    m_mergeRequest = -1;
    int32_t w = 0, h = 0;
    // A picture no decoder could read shows as none, without a message.
    const QImage picture = loadPicAnswer(answer, w, h);
    showMergePicture(picture, w, h);
}

void TaskOptionPanels::showMergePicture(const QImage& picture, int32_t width, int32_t height)
{
    picWatermarkImage->setPixmap(QPixmap::fromImage(picture));
    picWatermarkImage->resize(picture.isNull() ? QSize(0, 0) : picture.size());
    lblWatermarkResolution->setText(QStringLiteral("%1 x %2").arg(width).arg(height));
    const QSize free = picWatermarkImageContainer->size() - picWatermarkImage->size();
    picWatermarkImage->move(free.width() / 2, free.height() / 2);
}

bool TaskOptionPanels::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != picWatermarkImage || !m_pickMergeColor) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QPixmap pixmap = picWatermarkImage->pixmap();
        // Only points on the picture have a colour; a drag may go outside it.
        if (!pixmap.isNull() && QRect(QPoint(0, 0), pixmap.size()).contains(at))
            picWatermarkTransparentColor->setColor(oleFromColor(pixmap.toImage().pixelColor(at)));
    } else if (event->type() == QEvent::MouseButtonRelease) {
        m_pickMergeColor = false;
        chkWatermarkTransparentColor->setChecked(false);
    }
    return QObject::eventFilter(watched, event);
}

void TaskOptionPanels::buildText()
{
    QWidget* p = panel(taskText);
    label(p, QStringLiteral("Enter your text"));
    txtDraw = new QPlainTextEdit(p);
    txtDraw->setObjectName(QStringLiteral("txtDraw"));
    txtDraw->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    columnOf(p)->addWidget(txtDraw);
    connect(txtDraw, &QPlainTextEdit::textChanged, this, [this] { markChanged(taskText); });
    label(p, QStringLiteral("Position"));
    cboPosition = fixedCombo("cboPosition", taskText, kPositions);
    picTextAlignment = group(p, "picTextAlignment");
    OptTextAlignment = options(picTextAlignment, "OptTextAlignment",
                               {QStringLiteral("Left"), QStringLiteral("Centre"), QStringLiteral("Right")}, true);
    picTextOrientation = group(p, "picTextOrientation");
    OptTextOrientation = options(picTextOrientation, "OptTextOrientation",
                                 {QStringLiteral("Horizontal"), QStringLiteral("Vertical")}, true);
    picTextOrientationCustom = controlRow(p);
    picTextOrientationCustom->setObjectName(QStringLiteral("picTextOrientationCustom"));
    label(picTextOrientationCustom, QStringLiteral("Aº"));
    txtTextAngle = numericBox(picTextOrientationCustom, "txtTextAngle", {4, true, QStringLiteral("0"), true, -180, 180}, taskText);
    vsbTextAngle = spinner(picTextOrientationCustom, "vsbTextAngle", -180, 180, 0, txtTextAngle);
    picTextOrientationCustom->hide();
    bool fontsListed = false;
    for (QWidget* w : m_panels)
        fontsListed = fontsListed || w->findChild<QComboBox*>(QStringLiteral("ComboFontFamily"));
    ComboFontFamily = fixedCombo("ComboFontFamily", taskText, {});
    if (!fontsListed) fncLoadFontsCombo(ComboFontFamily, true);
    comboFontSize = fixedCombo("comboFontSize", taskText, fontSizes());
    comboFontSize->setEditable(true);
    comboFontSize->setMinimumContentsLength(3); // sizes go up to 200
    comboFontSize->lineEdit()->installEventFilter(new FontSizeFilter(this));
    // The size shares a row with the colours, and the styles share one: one control a row makes
    // this the tallest panel by far, and every panel is as tall as it.
    QWidget* sizeRow = controlRow(p);
    columnOf(comboFontSize->parentWidget())->removeWidget(comboFontSize);
    comboFontSize->setParent(sizeRow);
    columnOf(sizeRow)->addWidget(comboFontSize, 1);
    label(sizeRow, QStringLiteral("Color"));
    cmdTextColor = colorButton(sizeRow, "cmdTextColor");
    cmdTextColor->setProperty("taskCode", taskText);
    // The background's colour stands beside the text's: beside its check box it would not fit.
    cmdTextBackground = colorButton(sizeRow, "cmdTextBackground");
    QWidget* styleRow = controlRow(p);
    chkTextBold = checkBox(styleRow, "chkTextBold", QStringLiteral("B"), false, taskText);
    chkTextItalic = checkBox(styleRow, "chkTextItalic", QStringLiteral("I"), false, taskText);
    chkTextUnderline = checkBox(styleRow, "chkTextUnderline", QStringLiteral("U"), false, taskText);
    columnOf(styleRow)->addStretch(1);
    chkTransparent = checkBox(p, "chkTransparent", QStringLiteral("Transparent background"), true, -1);
    cmdTextBackground->setProperty("taskCode", taskText);
    cmdTextBackground->hide();
    chkAntiAlias = checkBox(p, "chkAntiAlias", QStringLiteral("Anti-Alias"), false, -1);
    chkAntiAlias->hide();
    label(p, QStringLiteral("Filter"))->hide();
    ComboFilter = fixedCombo("ComboFilter", taskText, kFilters);
    ComboFilter->hide();

    connect(OptTextAlignment, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) markChanged(taskText);
    });
    connect(OptTextOrientation, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        markChanged(taskText);
        picTextAlignment->setVisible(id == 0);
    });
    connect(cboPosition, &QComboBox::currentIndexChanged, this, &TaskOptionPanels::onPosition);
    for (QCheckBox* c : {chkTextBold, chkTextItalic, chkTextUnderline})
        connect(c, &QCheckBox::toggled, this, &TaskOptionPanels::updateTextFont);
    connect(ComboFontFamily, &QComboBox::currentIndexChanged, this, [this] {
        markChanged(taskText);
        updateTextFont();
    });
    connect(comboFontSize, &QComboBox::currentIndexChanged, this, [this] { markChanged(taskText); });
    connect(comboFontSize, &QComboBox::editTextChanged, this, [this](const QString& t) {
        if (t.isEmpty()) {
            comboFontSize->setEditText(QStringLiteral("0"));
            comboFontSize->lineEdit()->selectAll();
            return;
        }
        markChanged(taskText);
    });
    connect(ComboFilter, &QComboBox::currentIndexChanged, this, [this] { markChanged(taskText); });
    connect(chkTransparent, &QCheckBox::toggled, this, [this](bool on) {
        cmdTextBackground->setVisible(!on);
        markChanged(taskText);
    });
    connect(chkAntiAlias, &QCheckBox::toggled, this, [this] {
        if (!m_filling) emit optionsFlagged(taskText);
    });
}

void TaskOptionPanels::onPosition(int index)
{
    markChanged(taskText);
    if (index < 0) return;
    const bool click = index == 9;
    picTextOrientation->setVisible(!click);
    picTextAlignment->setVisible(!click && chosen(OptTextOrientation) == 0);
    picTextOrientationCustom->setVisible(click);
    m_picLocation->setVisible(click);
}

void TaskOptionPanels::updateTextFont()
{
    QFont f = txtDraw->font();
    f.setFamily(ComboFontFamily->currentText());
    f.setBold(chkTextBold->isChecked());
    f.setItalic(chkTextItalic->isChecked());
    f.setUnderline(chkTextUnderline->isChecked());
    txtDraw->setFont(f);
}

void TaskOptionPanels::buildCanvas()
{
    QWidget* p = panel(taskCanvas);
    // Index-to-index with the record's margins: top, left, right, bottom.
    static const char* const labels[] = {"Y1", "X1", "X2", "Y2"};
    static const char* const names[] = {"txtCanvasCustom_0", "txtCanvasCustom_1", "txtCanvasCustom_2", "txtCanvasCustom_3"};
    for (int i = 0; i < 4; ++i) {
        label(p, QString::fromLatin1(labels[i]));
        txtCanvasCustom[size_t(i)] = numericBox(p, names[i], {0, false, QStringLiteral("0"), true, 0, 800}, taskCanvas);
    }
}

void TaskOptionPanels::buildFrame()
{
    QWidget* p = panel(taskFrame);
    label(p, QStringLiteral("Select a frame style"));
    OptFrameStyle = options(p, "OptFrameStyle", {QStringLiteral("Image"), QStringLiteral("Color")}, false);
    picFrameImage = group(p, "picFrameImage");
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    OptFrameImage = options(picFrameImage, "OptFrameImage", numbers, true);
    setPictureIcons(OptFrameImage, false, 0);
    chkFrameImageResizeCanvas = checkBox(picFrameImage, "chkFrameImageResizeCanvas", QStringLiteral("Use canvas space"), true, taskFrame);
    picFrameColor = group(p, "picFrameColor");
    label(picFrameColor, QStringLiteral("Frame Size"));
    txtFrameSize = numericBox(picFrameColor, "txtFrameSize", {3, false, QStringLiteral("0"), true, 0, 800}, taskFrame);
    // The spinner covers the whole range the box accepts, so a typed 500 is not cut to 360.
    vsFrameSize = spinner(picFrameColor, "vsFrameSize", 0, 800, 45, txtFrameSize);
    connect(vsFrameSize, &QScrollBar::valueChanged, this, [this] { enableApply(taskFrame); });
    picFrameColor->hide();
    connect(OptFrameStyle, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onFrameStyle(id);
    });
    connect(OptFrameImage, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_pictureIndex = int16_t(id);
        markChanged(taskFrame);
    });
}

void TaskOptionPanels::onFrameStyle(int index)
{
    picFrameImage->setVisible(index == 0);
    picFrameColor->setVisible(index != 0);
    m_frameBackColor->setVisible(index != 0);
    markChanged(taskFrame);
}

void TaskOptionPanels::buildMask()
{
    QWidget* p = panel(taskMask);
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    OptMask = options(p, "OptMask", numbers, true);
    setPictureIcons(OptMask, true, 0);
    chkMaskTransparent = checkBox(p, "chkMaskTransparent", QStringLiteral("Transparent"), true, taskMask);
    label(p, QStringLiteral("Level:"));
    sldMask = slider(p, "sldMask", 0, 100, 50, "lblMask", taskMask);
    connect(OptMask, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_pictureIndex = int16_t(id);
        markChanged(taskMask);
    });
}

void TaskOptionPanels::buildShadow()
{
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    OptShadow = options(panel(taskShadow), "OptShadow", numbers, true);
    setPictureIcons(OptShadow, false, kShadowBase);
    connect(OptShadow, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_pictureIndex = int16_t(id + kShadowBase);
        markChanged(taskShadow);
    });
}

void TaskOptionPanels::buildRedEye()
{
    QWidget* p = panel(taskRedEye);
    QLabel* l = label(p, QStringLiteral("Click the button below to activate the Red-Eye selection tool and select the eye "
                                        "region from the preview."));
    l->setWordWrap(true);
    // Red-eye correction is made for one picture and is never recorded in the task list.
    label(p, QStringLiteral("Red-eye correction is not added to the task list."))->setWordWrap(true);
    checkButton(p, "chkRedEye", QStringLiteral("Red-Eye"));
}

// ---- changes -----------------------------------------------------------------------------------

void TaskOptionPanels::markChanged(int32_t code)
{
    if (!m_filling) emit optionsChanged(code);
}

void TaskOptionPanels::enableApply(int32_t code)
{
    if (!m_filling) emit applyEnabled(code);
}

void TaskOptionPanels::setImageSize(QSize size)
{
    m_imageSize = size;
    txtCropTop->setRange(0, std::max(0, size.height()));
}

void TaskOptionPanels::setBackColor(int32_t code, OleColor color)
{
    if (code >= 0 && code < int32_t(m_backColors.size())) m_backColors[size_t(code)] = color;
    picCropBackColor->setColor(color);
}

void TaskOptionPanels::setTextClick(QPoint display, QSize imageSize, QSize displaySize)
{
    m_textClick = display;
    m_textClickImage = imageSize;
    m_textClickDisplay = displaySize;
}

// ---- fill and store ----------------------------------------------------------------------------

void TaskOptionPanels::fillFromSettings()
{
    const int32_t current = m_task;
    for (int32_t code = taskFlip; code <= taskRedEye; ++code) fillTask(code);
    fillTask(current);
}

void TaskOptionPanels::fillTask(int32_t code)
{
    const typTaskOptions& t = gudtSettings.Tasks;
    m_filling = true;
    m_task = code;
    m_cropRegion = QRect();
    m_cropBox.reset();
    m_frameBackColor->hide();
    m_picLocation->hide();
    auto tick = [](QAbstractButton* b, int value) { b->setChecked(value != 0); };
    switch (code) {
    case taskFlip: selectOption(optFlip, t.FlipMode); break;
    case taskRotate:
        m_frameBackColor->show();
        txtDegrees->setText(boxText(t.RotateDegrees, -180, 180));
        sbDegrees->setValue(txtDegrees->text().toInt());
        tick(chkRotateResample, t.RotateResample);
        setBackColor(taskRotate, t.RotateBackColor);
        break;
    case taskResize:
        m_ratioBase = m_imageSize;
        txtResizeWidth->setText(QString::number(m_imageSize.width()));
        txtResizeHeight->setText(QString::number(m_imageSize.height()));
        txtScale->setText(QString::number(t.ResizeScale));
        selectOption(optResize, t.ResizeMode);
        onResizeMode(chosen(optResize));
        tick(chkResizeRatio, t.ResizeKeepRatio);
        tick(chkResizeResample, t.ResizeResample);
        break;
    case taskBlur: sldBlur->setValue(t.BlurLevel); break;
    case taskContrast:
        sldContrast->setValue(t.ContrastLevel);
        tick(chkCon[0], t.ContrastRed);
        tick(chkCon[1], t.ContrastGreen);
        tick(chkCon[2], t.ContrastBlue);
        break;
    case taskBrightness:
        sldBrightness->setValue(t.BrightnessLevel);
        tick(chkBr[0], t.BrightnessRed);
        tick(chkBr[1], t.BrightnessGreen);
        tick(chkBr[2], t.BrightnessBlue);
        break;
    case taskSharpen: sldSharpen->setValue(t.SharpenLevel); break;
    case taskCrop:
        txtCropTop->setText(QStringLiteral("0"));
        txtCropLeft->setText(QStringLiteral("0"));
        txtCropRight->setText(QString::number(m_imageSize.width()));
        txtCropBot->setText(QString::number(m_imageSize.height()));
        selectOption(optCropSelect, t.CropMode);
        onCropSelect(chosen(optCropSelect));
        cmbCrop->setCurrentIndex(clampIndex(t.CropChoice, cmbCrop->count()));
        m_frameBackColor->setVisible(cmbCrop->currentIndex() == 1);
        break;
    case taskWatermark: {
        cboMergeStyle->setCurrentIndex(clampIndex(t.WatermarkMergeStyle, cboMergeStyle->count()));
        m_picLocation->setVisible(cboMergeStyle->currentIndex() == 0);
        sldWatermarkTransparency->setValue(t.WatermarkTransparency);
        tick(chkWatermarkTransparent, t.WatermarkTransparent);
        picTransparentOptions->setVisible(chkWatermarkTransparent->isChecked());
        picWatermarkTransparentColor->setColor(t.WatermarkTransparentColor);
        m_mergeFile = t.WatermarkImage;
        if (QFileInfo(t.WatermarkImage).isFile() && picWatermarkImage->property("Tag").toString().isEmpty())
            subLoadMergeImage(t.WatermarkImage);
        break;
    }
    case taskText: {
        tick(chkTextBold, t.TextBold);
        txtDraw->setPlainText(t.Text);
        tick(chkTransparent, t.TextTransparent);
        cmdTextBackground->setVisible(!chkTransparent->isChecked());
        cmdTextBackground->setColor(t.TextBackColor);
        const int byName = t.TextFontName.isEmpty() ? -1 : ComboFontFamily->findText(t.TextFontName);
        ComboFontFamily->setCurrentIndex(byName >= 0 ? byName : clampIndex(t.TextFontIndex, ComboFontFamily->count()));
        comboFontSize->setEditText(boxText(t.TextFontSize, 0, 200));
        cboPosition->setCurrentIndex(clampIndex(t.TextPosition, cboPosition->count()));
        selectOption(OptTextOrientation, t.TextOrientation);
        cmdTextColor->setColor(t.TextColor);
        ComboFilter->setCurrentIndex(clampIndex(t.ResizeFilter, ComboFilter->count()));
        selectOption(OptTextAlignment, t.TextAlignment);
        txtTextAngle->setText(boxText(t.TextAngle, -180, 180));
        vsbTextAngle->setValue(txtTextAngle->text().toInt());
        onPosition(cboPosition->currentIndex());
        updateTextFont();
        break;
    }
    case taskCanvas:
        m_frameBackColor->show();
        setBackColor(taskCanvas, t.CanvasColor);
        for (size_t i = 0; i < 4; ++i) txtCanvasCustom[i]->setText(boxText(t.CanvasMargin[i], 0, 800));
        break;
    case taskFrame:
        selectOption(OptFrameStyle, t.FrameStyle);
        selectOption(OptFrameImage, t.FramePictureIndex);
        m_pictureIndex = int16_t(chosen(OptFrameImage));
        txtFrameSize->setText(boxText(t.FrameSize, 0, 800));
        vsFrameSize->setValue(txtFrameSize->text().toInt());
        tick(chkFrameImageResizeCanvas, t.FrameResizeCanvas);
        setBackColor(taskFrame, t.FrameColor);
        onFrameStyle(chosen(OptFrameStyle));
        break;
    case taskMask:
        sldMask->setValue(t.MaskLevel);
        tick(chkMaskTransparent, t.MaskTransparent);
        selectOption(OptMask, t.MaskIndex);
        m_pictureIndex = int16_t(chosen(OptMask));
        break;
    case taskShadow:
        selectOption(OptShadow, t.ShadowIndex);
        m_pictureIndex = int16_t(chosen(OptShadow) + kShadowBase);
        break;
    default: break;
    }
    m_filling = false;
}

bool TaskOptionPanels::marksChangedAfterFill(int32_t code) const
{
    switch (code) {
    case taskNothing:
    case taskRedEye: return false;
    case taskRotate: return txtDegrees->text() != QLatin1String("0");
    case taskResize: return chosen(optResize) == 1 && txtScale->text() != QLatin1String("100");
    case taskWatermark: return QFileInfo(gudtSettings.Tasks.WatermarkImage).isFile();
    case taskText: return !txtDraw->toPlainText().isEmpty();
    default: return code > taskNothing && code < taskRedEye;
    }
}

void TaskOptionPanels::storeToSettings() const
{
    for (int32_t code = taskFlip; code <= taskShadow; ++code) storeTask(code);
}

void TaskOptionPanels::storeTask(int32_t code) const
{
    typTaskOptions& t = gudtSettings.Tasks;
    auto check = [](const QAbstractButton* b) { return uint8_t(b->isChecked() ? 1 : 0); };
    switch (code) {
    case taskFlip: t.FlipMode = uint8_t(chosen(optFlip) == 0 ? 0 : 1); break;
    case taskRotate:
        keepNumber(t.RotateDegrees, txtDegrees->text());
        t.RotateResample = check(chkRotateResample);
        t.RotateBackColor = m_backColors[taskRotate];
        break;
    case taskResize:
        keepNumber(t.ResizeScale, txtScale->text());
        t.ResizeMode = uint8_t(chosen(optResize) == 0 ? 0 : 1);
        t.ResizeKeepRatio = check(chkResizeRatio);
        t.ResizeResample = check(chkResizeResample);
        break;
    case taskBlur: t.BlurLevel = int16_t(sldBlur->value()); break;
    case taskContrast:
        t.ContrastLevel = int16_t(sldContrast->value());
        t.ContrastRed = check(chkCon[0]);
        t.ContrastGreen = check(chkCon[1]);
        t.ContrastBlue = check(chkCon[2]);
        break;
    case taskBrightness:
        t.BrightnessLevel = int16_t(sldBrightness->value());
        t.BrightnessRed = check(chkBr[0]);
        t.BrightnessGreen = check(chkBr[1]);
        t.BrightnessBlue = check(chkBr[2]);
        break;
    case taskSharpen: t.SharpenLevel = uint8_t(sldSharpen->value()); break;
    case taskCrop:
        t.CropMode = uint8_t(chosen(optCropSelect) == 0 ? 0 : 1);
        t.CropChoice = uint8_t(std::max(0, cmbCrop->currentIndex()));
        break;
    case taskWatermark:
        t.WatermarkMergeStyle = int16_t(cboMergeStyle->currentIndex());
        t.WatermarkTransparency = int16_t(sldWatermarkTransparency->value());
        t.WatermarkTransparent = check(chkWatermarkTransparent);
        t.WatermarkTransparentColor = picWatermarkTransparentColor->color();
        t.WatermarkImage = picWatermarkImage->property("Tag").toString();
        break;
    case taskText: {
        t.TextBold = check(chkTextBold);
        t.Text = txtDraw->toPlainText();
        t.TextTransparent = check(chkTransparent);
        t.TextBackColor = cmdTextBackground->color();
        t.TextFontIndex = int16_t(ComboFontFamily->currentIndex());
        t.TextFontName = ComboFontFamily->currentText();
        keepNumber(t.TextFontSize, comboFontSize->currentText());
        t.TextPosition = int16_t(cboPosition->currentIndex());
        t.TextOrientation = uint8_t(chosen(OptTextOrientation) == 0 ? 0 : 1);
        t.TextColor = cmdTextColor->color();
        t.ResizeFilter = int16_t(ComboFilter->currentIndex());
        // The alignment's own index: right comes back as right.
        t.TextAlignment = uint8_t(chosen(OptTextAlignment));
        // The angle that was applied: the box's number within its range.
        if (const auto angle = boxNumber(clampedNumberText(txtTextAngle->text(), -180, 180), -180, 180))
            t.TextAngle = int16_t(*angle);
        break;
    }
    case taskCanvas:
        for (size_t i = 0; i < 4; ++i) keepNumber(t.CanvasMargin[i], txtCanvasCustom[i]->text());
        t.CanvasColor = m_backColors[taskCanvas];
        break;
    case taskFrame:
        t.FramePictureIndex = int16_t(chosen(OptFrameImage));
        t.FrameColor = m_backColors[taskFrame];
        keepNumber(t.FrameSize, txtFrameSize->text());
        t.FrameResizeCanvas = check(chkFrameImageResizeCanvas);
        t.FrameStyle = uint8_t(chosen(OptFrameStyle) == 0 ? 0 : 1);
        break;
    case taskMask:
        t.MaskIndex = int16_t(chosen(OptMask));
        t.MaskTransparent = check(chkMaskTransparent);
        t.MaskLevel = int16_t(sldMask->value());
        break;
    case taskShadow: t.ShadowIndex = int16_t(chosen(OptShadow)); break;
    default: break;
    }
}

// ---- the task as Apply records it --------------------------------------------------------------

std::optional<EditTask> TaskOptionPanels::taskFromPanel(int32_t taskCode, QString* message) const
{
    QString dummy;
    QString& why = message ? *message : dummy;
    why.clear();
    if (!taskInfo(taskCode)) {
        why = QStringLiteral("There is no task %1.").arg(taskCode);
        return std::nullopt;
    }
    // The number in a box, or a refusal naming what the box holds.
    auto number = [&why](const QString& text, int lo, int hi, const QString& what) -> std::optional<int> {
        const auto v = boxNumber(text, lo, hi);
        if (!v && why.isEmpty()) why = numberMessage(what, lo, hi);
        return v;
    };
    auto check = [](const QAbstractButton* b) { return b->isChecked(); };

    std::optional<task::Record> record;
    switch (taskCode) {
    case taskFlip: record = task::Flip{chosen(optFlip) == 0 ? 0 : 1}; break;
    case taskRotate: {
        const auto angle = number(txtDegrees->text(), -180, 180, QStringLiteral("the angle"));
        if (!angle) return std::nullopt;
        record = task::Rotate{check(chkRotateResample), int16_t(*angle), m_backColors[taskRotate]};
        break;
    }
    case taskResize: {
        task::Resize t;
        t.bySize = chosen(optResize) == 0;
        if (t.bySize) {
            const auto w = number(txtResizeWidth->text(), 1, 32767, QStringLiteral("the width"));
            const auto h = number(txtResizeHeight->text(), 1, 32767, QStringLiteral("the height"));
            if (!w || !h) return std::nullopt;
            t.width = *w;
            t.height = *h;
        } else {
            const auto scale = number(txtScale->text(), 1, 32767, QStringLiteral("the percentage"));
            if (!scale) return std::nullopt;
            t.percent = int16_t(*scale);
        }
        record = t;
        break;
    }
    case taskBlur: record = task::Blur{sldBlur->value()}; break;
    case taskSharpen: record = task::Sharpen{sldSharpen->value()}; break;
    case taskContrast: record = task::Contrast{sldContrast->value(), {check(chkCon[0]), check(chkCon[1]), check(chkCon[2])}}; break;
    case taskBrightness: record = task::Brightness{sldBrightness->value(), {check(chkBr[0]), check(chkBr[1]), check(chkBr[2])}}; break;
    case taskCrop: {
        task::Crop t;
        t.byValues = chosen(optCropSelect) == 1;
        if (t.byValues) {
            const auto l = number(txtCropLeft->text(), 0, 32767, QStringLiteral("the left edge"));
            const auto top = number(txtCropTop->text(), 0, 32767, QStringLiteral("the top edge"));
            const auto r = number(txtCropRight->text(), 0, 32767, QStringLiteral("the right edge"));
            const auto b = number(txtCropBot->text(), 0, 32767, QStringLiteral("the bottom edge"));
            if (!l || !top || !r || !b) return std::nullopt;
            if (*r <= *l || *b <= *top) {
                why = QStringLiteral("The right edge must lie right of the left edge, and the bottom below the top.");
                return std::nullopt;
            }
            t.shape = int16_t(std::max(0, cmbCrop->currentIndex()));
            t.bounds = {*l, *top, *r, *b};
            t.background = picCropBackColor->color();
        } else {
            if (m_cropRegion.isEmpty()) {
                why = QStringLiteral("Please select the area to crop on the preview first.");
                return std::nullopt;
            }
            t.box = m_cropBox;
            t.bounds = {m_cropRegion.left(), m_cropRegion.top(), m_cropRegion.left() + m_cropRegion.width(),
                        m_cropRegion.top() + m_cropRegion.height()};
        }
        record = t;
        break;
    }
    case taskWatermark: {
        if (m_mergeFile.isEmpty()) {
            why = QStringLiteral("Please select an image/logo for watermarking the image.");
            return std::nullopt;
        }
        if (!QFileInfo(m_mergeFile).isFile()) {
            why = QStringLiteral("The last watermark image/logo file has either moved, renamed or deleted.\r\n"
                                 "Please select an image/logo from disk.");
            return std::nullopt;
        }
        const int style = cboMergeStyle->currentIndex();
        task::Watermark t;
        t.transparent = check(chkWatermarkTransparent);
        t.transparency = int16_t(sldWatermarkTransparency->value());
        t.style = int16_t(style >= 0 && style < 4 ? kMergeStyleCode[style] : 0);
        t.file = m_mergeFile;
        t.transparentColor = picWatermarkTransparentColor->color();
        t.y = m_mergePoint.y();
        t.x = m_mergePoint.x();
        t.fitToWindow = m_fitToWindow;
        record = t;
        break;
    }
    case taskText: {
        const auto size = number(comboFontSize->currentText(), 1, 200, QStringLiteral("the font size"));
        if (!size) return std::nullopt;
        const int position = cboPosition->currentIndex();
        if (position < 0) {
            why = QStringLiteral("Please choose where the text goes.");
            return std::nullopt;
        }
        task::Text t;
        editops::TextParams& p = t.params;
        p.antiAlias = check(chkAntiAlias);
        p.transparent = check(chkTransparent);
        p.fontName = ComboFontFamily->currentText();
        p.fontSize = *size;
        p.bold = check(chkTextBold);
        p.italic = check(chkTextItalic);
        p.underline = check(chkTextUnderline);
        p.color = cmdTextColor->color();
        p.backColor = cmdTextBackground->color();
        t.text = txtDraw->toPlainText();
        t.fitToWindow = m_fitToWindow;
        t.position = int16_t(position);
        if (position == 9) {
            const auto angle = number(txtTextAngle->text(), -180, 180, QStringLiteral("the text angle"));
            if (!angle) return std::nullopt;
            p.angle = float(*angle);
            p.alignment = 0;
            if (!m_textClickImage.isEmpty() && !m_textClickDisplay.isEmpty()) {
                const QPoint origin = textOriginFromClick(m_textClick, m_textClickImage, m_textClickDisplay, p.fontSize);
                t.x = origin.x();
                t.y = origin.y();
            }
        } else if (chosen(OptTextOrientation) == 0) {
            p.angle = 0;
            p.alignment = int16_t(chosen(OptTextAlignment));
        } else {
            t.orientation = 1;
            p.angle = -90;
            p.alignment = 0;
        }
        if (position != 9 && !m_imageSize.isEmpty() && !p.fontName.isEmpty()) {
            try {
                subCalcTextPosition(t.orientation, t.position, p.alignment, m_imageSize, editops::TextExtent(p, t.text), t.x, t.y);
            } catch (const std::exception&) {
                // The replay places grid positions itself; the recorded origin is for reading only.
            }
        }
        record = t;
        break;
    }
    case taskInvert: record = task::Invert{}; break;
    case taskCanvas: {
        std::array<int, 4> m{};
        static const QString what[] = {QStringLiteral("the top margin"), QStringLiteral("the left margin"),
                                       QStringLiteral("the right margin"), QStringLiteral("the bottom margin")};
        for (size_t i = 0; i < 4; ++i) {
            const auto v = number(txtCanvasCustom[i]->text(), 0, 800, what[i]);
            if (!v) return std::nullopt;
            m[i] = *v;
        }
        record = task::Canvas{m_backColors[taskCanvas], m[1], m[0], m[2], m[3]};
        break;
    }
    case taskFrame: {
        task::Frame t;
        t.color = m_backColors[taskFrame];
        t.plain = chosen(OptFrameStyle) != 0;
        if (t.plain) {
            const auto width = number(txtFrameSize->text(), 0, 800, QStringLiteral("the frame size"));
            if (!width) return std::nullopt;
            t.width = *width;
        } else {
            t.picture = int16_t(chosen(OptFrameImage));
            t.resizeCanvas = check(chkFrameImageResizeCanvas) ? 1 : 0;
        }
        record = t;
        break;
    }
    case taskMask: record = task::Mask{check(chkMaskTransparent), int16_t(sldMask->value()), int16_t(chosen(OptMask))}; break;
    case taskShadow: record = task::Shadow{int16_t(chosen(OptShadow))}; break;
    default: break; // Nothing and Red-eye record no parameters
    }
    EditTask task = record ? task::toTask(*record) : makeEditTask(static_cast<TaskCode>(taskCode));
    return task;
}

} // namespace tf
