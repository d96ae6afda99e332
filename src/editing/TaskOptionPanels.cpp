#include "editing/TaskOptionPanels.h"

#include "controls/modFontsCombo.h"
#include "editing/ImageOperations.h"
#include "editing/PictureStore.h"
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
#include <algorithm>
#include <cmath>

namespace tf {

using task::chosen;

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

constexpr int kPictureCount = 8;
constexpr int kButtonsPerRow = 4;
constexpr int kShadowBase = PictureStore::kShadowBase;

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

TaskOptionPanels::TaskOptionPanels(const std::array<QWidget*, 17>& panels, Lists lists, QObject* parent)
    : QObject(parent), m_panels(panels)
{
    m_shared.loadMergePicture = [this](const QString& path) { subLoadMergeImage(path); };
    build(lists);
}

TaskOptionPanels::~TaskOptionPanels()
{
    if (m_ownsShared) {
        delete m_shared.frameBackColor;
        delete m_shared.picLocation;
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
        if (b == m_shared.picCropBackColor) {
            m_shared.setBackColor(m_task, r.lngColor);
            markChanged(m_task);
            return;
        }
        b->setColor(r.lngColor);
        markChanged(b->property("taskCode").toInt());
    });
    return b;
}

void TaskOptionPanels::build(Lists lists)
{
    for (size_t i = 0; i < m_panels.size(); ++i)
        if (!m_panels[i]) {
            // Every panel is needed; a missing one is made here so the controls have a home.
            m_panels[i] = new QWidget;
            m_panels[i]->setObjectName(QString::fromLatin1(taskInfo(int32_t(i))->panel));
            m_ownedPanels.push_back(m_panels[i]);
        }
    if (lists == Lists::FilledByWindow) {
        // Empty, and made before the panels' other controls, as the window has always had them.
        const std::pair<int32_t, const char*> windowLists[] = {{taskWatermark, "cboMergeStyle"}, {taskText, "ComboFilter"},
                                                               {taskText, "ComboFontFamily"}, {taskText, "comboFontSize"},
                                                               {taskText, "cboPosition"}};
        for (const auto& [code, objectName] : windowLists) (new QComboBox(panel(code)))->setObjectName(name(objectName));
    }

    // The two groups several panels share sit beside the panels, in their container.
    QWidget* container = panel(taskRotate)->parentWidget();
    m_ownsShared = container == nullptr;
    m_shared.frameBackColor = new QWidget(container);
    m_shared.frameBackColor->setObjectName(QStringLiteral("FrameBackColor"));
    label(m_shared.frameBackColor, QStringLiteral("Back Color"));
    m_shared.picCropBackColor = colorButton(m_shared.frameBackColor, "picCropBackColor");
    checkButton(m_shared.frameBackColor, "chkCropBackColor", QStringLiteral("Pick"));
    m_shared.frameBackColor->hide();
    m_shared.picLocation = new QWidget(container);
    m_shared.picLocation->setObjectName(QStringLiteral("picLocation"));
    checkButton(m_shared.picLocation, "chkSelectLocation", QStringLiteral("Select location"));
    label(m_shared.picLocation, QString(), "lblSelectLocation");
    m_shared.picLocation->hide();
    // Below the panels when the container stacks them; the controller may place them otherwise.
    if (container && container->layout()) {
        container->layout()->addWidget(m_shared.frameBackColor);
        container->layout()->addWidget(m_shared.picLocation);
    }

    buildNothing();
    buildFlip();
    buildRotate();
    buildResize();
    static const char* const noChecks[] = {nullptr};
    static const char* const conChecks[] = {"chkConRed", "chkConGreen", "chkConBlue", nullptr};
    static const char* const brChecks[] = {"chkBrRed", "chkBrGreen", "chkBrBlue", nullptr};
    controls<task::Blur>().sldBlur = buildSliderPanel(taskBlur, "sldBlur", "lblBlur", 1, 10, 1, noChecks, nullptr);
    controls<task::Sharpen>().sldSharpen = buildSliderPanel(taskSharpen, "sldSharpen", "lblSharpen", 1, 10, 1, noChecks, nullptr);
    auto& brightness = controls<task::Brightness>();
    brightness.sldBrightness =
        buildSliderPanel(taskBrightness, "sldBrightness", "lblBrightessValue", 0, 100, 50, brChecks, &brightness.chkBr);
    auto& contrast = controls<task::Contrast>();
    contrast.sldContrast = buildSliderPanel(taskContrast, "sldContrast", "lblContrastValue", 0, 100, 50, conChecks, &contrast.chkCon);
    buildCrop();
    buildWatermark();
    buildText();
    buildCanvas();
    buildFrame();
    buildMask();
    buildShadow();
    buildRedEye();
    // The controls sit at the top of a panel taller than they need; a panel shown for two codes
    // gets one stretch.
    for (auto p = m_panels.begin(); p != m_panels.end(); ++p)
        if (std::find(m_panels.begin(), p, *p) == p) columnOf(*p)->addStretch(1);
}

void TaskOptionPanels::buildNothing()
{
    label(panel(taskNothing), QStringLiteral("No option selected."), "lblNothing")->setWordWrap(true);
}

void TaskOptionPanels::buildFlip()
{
    auto& c = controls<task::Flip>();
    c.optFlip = options(panel(taskFlip), "optFlip", {QStringLiteral("Flip Horizontal"), QStringLiteral("Flip Vertical")}, false);
    connect(c.optFlip, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) markChanged(taskFlip);
    });
}

void TaskOptionPanels::buildRotate()
{
    auto& c = controls<task::Rotate>();
    QWidget* p = panel(taskRotate);
    label(p, QStringLiteral("Degrees"));
    // Four typed characters, so that -100 to -180 can be typed.
    c.txtDegrees = numericBox(p, "txtDegrees", {4, true, QStringLiteral("45"), true, -180, 180}, taskRotate);
    c.sbDegrees = spinner(p, "sbDegrees", -180, 180, 45, c.txtDegrees);
    connect(c.sbDegrees, &QScrollBar::valueChanged, this, [this] { enableApply(taskRotate); });
    const int angles[] = {-15, 15, 45, -45};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(QStringLiteral("%1º").arg(angles[i]), p);
        b->setObjectName(QStringLiteral("cmdAngle_%1").arg(i));
        columnOf(p)->addWidget(b);
        const int angle = angles[i];
        connect(b, &QPushButton::clicked, this, [this, angle, &c] { c.sbDegrees->setValue(angle); });
    }
    c.chkRotateResample = checkBox(p, "chkRotateResample", QStringLiteral("Resample"), false, taskRotate);
    label(p, QStringLiteral("Note: Canvas will be resized"));
}

void TaskOptionPanels::buildResize()
{
    auto& c = controls<task::Resize>();
    QWidget* p = panel(taskResize);
    c.optResize = options(p, "optResize", {QStringLiteral("Resize"), QStringLiteral("Scale")}, false);
    c.frameResize = group(p, "frameResize");
    label(c.frameResize, QStringLiteral("Width"));
    c.txtResizeWidth = numericBox(c.frameResize, "txtResizeWidth", {}, -1);
    label(c.frameResize, QStringLiteral("Height"));
    c.txtResizeHeight = numericBox(c.frameResize, "txtResizeHeight", {}, -1);
    c.chkResizeRatio = checkBox(c.frameResize, "chkResizeRatio", QStringLiteral("Retain Ratio"), true, taskResize);
    c.FrameScale = group(p, "FrameScale");
    label(c.FrameScale, QStringLiteral("Enter percentage"));
    // Digits only: a pasted or typed "abc" must not reach Apply as 0.
    c.txtScale = numericBox(c.FrameScale, "txtScale", {0, false, QString(), false, 0, 0}, taskResize);
    c.FrameScale->hide();
    c.chkResizeResample = checkBox(p, "chkResizeResample", QStringLiteral("Resample"), false, taskResize);
    c.txtResizeWidth->setText(QString());
    c.txtResizeHeight->setText(QString());
    connect(c.txtResizeWidth, &QLineEdit::textChanged, this, [this] { onResizeBox(true); });
    connect(c.txtResizeHeight, &QLineEdit::textChanged, this, [this] { onResizeBox(false); });
    connect(c.optResize, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onResizeMode(id);
    });
}

void TaskOptionPanels::onResizeMode(int index)
{
    enableApply(taskResize);
    task::Resize::showMode(controls<task::Resize>(), index);
}

void TaskOptionPanels::onResizeBox(bool width)
{
    NumericBox* own = width ? controls<task::Resize>().txtResizeWidth : controls<task::Resize>().txtResizeHeight;
    NumericBox* other = width ? controls<task::Resize>().txtResizeHeight : controls<task::Resize>().txtResizeWidth;
    bool& ownGuard = width ? m_heightFromWidth : m_widthFromHeight;
    const bool otherWriting = width ? m_widthFromHeight : m_heightFromWidth;
    if (!m_filling && controls<task::Resize>().chkResizeRatio->isChecked() && !otherWriting) {
        const double ownBase = width ? m_shared.ratioBase.width() : m_shared.ratioBase.height();
        const double otherBase = width ? m_shared.ratioBase.height() : m_shared.ratioBase.width();
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

QSlider* TaskOptionPanels::buildSliderPanel(int32_t code, const char* sliderName, const char* labelName, int lo, int hi,
                                            int start, const char* const* checks, std::array<QCheckBox*, 3>* boxes)
{
    QWidget* p = panel(code);
    label(p, QStringLiteral("Value:"));
    QSlider* s = slider(p, sliderName, lo, hi, start, labelName, code);
    static const QString captions[] = {QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue")};
    for (int i = 0; checks[i]; ++i) (*boxes)[size_t(i)] = checkBox(p, checks[i], captions[i], true, code);
    return s;
}

void TaskOptionPanels::buildCrop()
{
    auto& c = controls<task::Crop>();
    QWidget* p = panel(taskCrop);
    c.optCropSelect = options(p, "optCropSelect", {QStringLiteral("Mouse "), QStringLiteral("Key-in")}, false);
    c.frameCropMouse = group(p, "frameCropMouse");
    checkButton(c.frameCropMouse, "chkCropMouse", QStringLiteral("Select with the mouse"));
    label(c.frameCropMouse, QString(), "lblSelectRegionStart");
    label(c.frameCropMouse, QString(), "lblSelectRegionEnd");
    c.frameCropFixed = group(p, "frameCropFixed");
    label(c.frameCropFixed, QStringLiteral("Select type"));
    c.cmbCrop = new QComboBox(c.frameCropFixed);
    c.cmbCrop->setObjectName(QStringLiteral("cmbCrop"));
    c.cmbCrop->addItems({QStringLiteral("Rectangle"), QStringLiteral("Ellipse")});
    columnOf(c.frameCropFixed)->addWidget(c.cmbCrop);
    c.txtCropLeft = numericBox(c.frameCropFixed, "txtCropLeft", {}, taskCrop);
    c.txtCropTop = numericBox(c.frameCropFixed, "txtCropTop", {0, false, QStringLiteral("0"), true, 0, 0}, taskCrop);
    c.txtCropRight = numericBox(c.frameCropFixed, "txtCropRight", {}, taskCrop);
    c.txtCropBot = numericBox(c.frameCropFixed, "txtCropBot", {}, taskCrop);
    c.frameCropMouse->hide();
    connect(c.optCropSelect, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onCropSelect(id);
    });
    connect(c.cmbCrop, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_shared.frameBackColor->hide();
        enableApply(taskCrop);
        if (i == 1) m_shared.frameBackColor->show();
    });
}

void TaskOptionPanels::onCropSelect(int index)
{
    enableApply(taskCrop);
    gudtSettings.Tasks.CropMode = uint8_t(index);
    task::Crop::showSelect(controls<task::Crop>(), m_shared, index);
    // Also when the texts were already these: choosing Key-in is a change.
    if (index != 0) markChanged(taskCrop);
}

void TaskOptionPanels::buildWatermark()
{
    auto& c = controls<task::Watermark>();
    QWidget* p = panel(taskWatermark);
    auto* select = new QPushButton(QStringLiteral("Select Image"), p);
    select->setObjectName(QStringLiteral("cmdSelectMerge"));
    columnOf(p)->addWidget(select);
    connect(select, &QPushButton::clicked, this, &TaskOptionPanels::onSelectMerge);
    c.picWatermarkImageContainer = group(p, "picWatermarkImageContainer");
    c.picWatermarkImageContainer->setFixedSize(120, 90);
    c.picWatermarkImage = new QLabel(c.picWatermarkImageContainer);
    c.picWatermarkImage->setObjectName(QStringLiteral("picWatermarkImage"));
    c.picWatermarkImage->setMouseTracking(true);
    c.picWatermarkImage->installEventFilter(this);
    c.lblWatermarkResolution = label(p, QString(), "lblWatermarkResolution");
    c.chkWatermarkTransparent = checkBox(p, "chkWatermarkTransparent", QStringLiteral("Transparent"), true, -1);
    c.picTransparentOptions = group(p, "picTransparentOptions");
    c.picWatermarkTransparentColor = colorButton(c.picTransparentOptions, "picWatermarkTransparentColor");
    c.picWatermarkTransparentColor->setProperty("taskCode", taskWatermark);
    c.chkWatermarkTransparentColor = checkButton(c.picTransparentOptions, "chkWatermarkTransparentColor", QStringLiteral("Pick"));
    connect(c.chkWatermarkTransparentColor, &QAbstractButton::clicked, this, [this](bool ticked) {
        if (ticked) m_pickMergeColor = true;
    });
    connect(c.chkWatermarkTransparent, &QCheckBox::toggled, this, [this, &c](bool on) {
        c.picTransparentOptions->setVisible(on);
        markChanged(taskWatermark);
    });
    label(p, QStringLiteral("Style:"));
    c.cboMergeStyle = fixedCombo("cboMergeStyle", taskWatermark, kMergeStyles);
    connect(c.cboMergeStyle, &QComboBox::currentIndexChanged, this, [this](int i) {
        // The point pick ends with the custom position; its button says so too.
        if (auto* pick = m_shared.picLocation->findChild<QAbstractButton*>(QStringLiteral("chkSelectLocation")))
            pick->setChecked(false);
        m_shared.picLocation->setVisible(i == 0);
        markChanged(taskWatermark);
    });
    label(p, QStringLiteral("Transparency:"));
    c.sldWatermarkTransparency = slider(p, "sldWatermarkTransparency", 0, 100, 50, "lblWatermarkTransparency", taskWatermark);
}

void TaskOptionPanels::onSelectMerge()
{
    typCommonDialog dialog;
    dialog.hwndOwner = controls<task::Watermark>().picWatermarkImage->window();
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
        m_shared.mergeFile = chosen;
        gudtSettings.Tasks.WatermarkImage = m_shared.mergeFile;
    }
    subLoadMergeImage(m_shared.mergeFile);
}

void TaskOptionPanels::subLoadMergeImage(const QString& path)
{
    m_shared.mergeFile = path;
    controls<task::Watermark>().picWatermarkImage->setProperty("Tag", path);
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
        m_mergeRequest = m_mergeFeed->submit(loadPicRequest(path, 2, controls<task::Watermark>().picWatermarkImageContainer->width(),
                                                            controls<task::Watermark>().picWatermarkImageContainer->height(), rgb(255, 255, 255)));
        controls<task::Watermark>().lblWatermarkResolution->clear(); // no size is known yet
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
    controls<task::Watermark>().picWatermarkImage->setPixmap(QPixmap::fromImage(picture));
    controls<task::Watermark>().picWatermarkImage->resize(picture.isNull() ? QSize(0, 0) : picture.size());
    controls<task::Watermark>().lblWatermarkResolution->setText(QStringLiteral("%1 x %2").arg(width).arg(height));
    const QSize free = controls<task::Watermark>().picWatermarkImageContainer->size() - controls<task::Watermark>().picWatermarkImage->size();
    controls<task::Watermark>().picWatermarkImage->move(free.width() / 2, free.height() / 2);
}

bool TaskOptionPanels::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != controls<task::Watermark>().picWatermarkImage || !m_pickMergeColor) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QPixmap pixmap = controls<task::Watermark>().picWatermarkImage->pixmap();
        // Only points on the picture have a colour; a drag may go outside it.
        if (!pixmap.isNull() && QRect(QPoint(0, 0), pixmap.size()).contains(at))
            controls<task::Watermark>().picWatermarkTransparentColor->setColor(oleFromColor(pixmap.toImage().pixelColor(at)));
    } else if (event->type() == QEvent::MouseButtonRelease) {
        m_pickMergeColor = false;
        controls<task::Watermark>().chkWatermarkTransparentColor->setChecked(false);
    }
    return QObject::eventFilter(watched, event);
}

void TaskOptionPanels::buildText()
{
    auto& c = controls<task::Text>();
    QWidget* p = panel(taskText);
    label(p, QStringLiteral("Enter your text"));
    c.txtDraw = new QPlainTextEdit(p);
    c.txtDraw->setObjectName(QStringLiteral("txtDraw"));
    c.txtDraw->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    columnOf(p)->addWidget(c.txtDraw);
    connect(c.txtDraw, &QPlainTextEdit::textChanged, this, [this] { markChanged(taskText); });
    label(p, QStringLiteral("Position"));
    c.cboPosition = fixedCombo("cboPosition", taskText, kPositions);
    c.picTextAlignment = group(p, "picTextAlignment");
    c.OptTextAlignment = options(c.picTextAlignment, "OptTextAlignment",
                               {QStringLiteral("Left"), QStringLiteral("Centre"), QStringLiteral("Right")}, true);
    c.picTextOrientation = group(p, "picTextOrientation");
    c.OptTextOrientation = options(c.picTextOrientation, "OptTextOrientation",
                                 {QStringLiteral("Horizontal"), QStringLiteral("Vertical")}, true);
    c.picTextOrientationCustom = controlRow(p);
    c.picTextOrientationCustom->setObjectName(QStringLiteral("picTextOrientationCustom"));
    label(c.picTextOrientationCustom, QStringLiteral("Aº"));
    c.txtTextAngle = numericBox(c.picTextOrientationCustom, "txtTextAngle", {4, true, QStringLiteral("0"), true, -180, 180}, taskText);
    c.vsbTextAngle = spinner(c.picTextOrientationCustom, "vsbTextAngle", -180, 180, 0, c.txtTextAngle);
    c.picTextOrientationCustom->hide();
    bool fontsListed = false;
    for (QWidget* w : m_panels)
        fontsListed = fontsListed || w->findChild<QComboBox*>(QStringLiteral("ComboFontFamily"));
    c.ComboFontFamily = fixedCombo("ComboFontFamily", taskText, {});
    if (!fontsListed) fncLoadFontsCombo(c.ComboFontFamily, true);
    c.comboFontSize = fixedCombo("comboFontSize", taskText, fontSizes());
    c.comboFontSize->setEditable(true);
    c.comboFontSize->setMinimumContentsLength(3); // sizes go up to 200
    c.comboFontSize->lineEdit()->installEventFilter(new FontSizeFilter(this));
    // The size shares a row with the colours, and the styles share one: one control a row makes
    // this the tallest panel by far, and every panel is as tall as it.
    QWidget* sizeRow = controlRow(p);
    columnOf(c.comboFontSize->parentWidget())->removeWidget(c.comboFontSize);
    c.comboFontSize->setParent(sizeRow);
    columnOf(sizeRow)->addWidget(c.comboFontSize, 1);
    label(sizeRow, QStringLiteral("Color"));
    c.cmdTextColor = colorButton(sizeRow, "cmdTextColor");
    c.cmdTextColor->setProperty("taskCode", taskText);
    // The background's colour stands beside the text's: beside its check box it would not fit.
    c.cmdTextBackground = colorButton(sizeRow, "cmdTextBackground");
    QWidget* styleRow = controlRow(p);
    c.chkTextBold = checkBox(styleRow, "chkTextBold", QStringLiteral("B"), false, taskText);
    c.chkTextItalic = checkBox(styleRow, "chkTextItalic", QStringLiteral("I"), false, taskText);
    c.chkTextUnderline = checkBox(styleRow, "chkTextUnderline", QStringLiteral("U"), false, taskText);
    columnOf(styleRow)->addStretch(1);
    c.chkTransparent = checkBox(p, "chkTransparent", QStringLiteral("Transparent background"), true, -1);
    c.cmdTextBackground->setProperty("taskCode", taskText);
    c.cmdTextBackground->hide();
    c.chkAntiAlias = checkBox(p, "chkAntiAlias", QStringLiteral("Anti-Alias"), false, -1);
    c.chkAntiAlias->hide();
    label(p, QStringLiteral("Filter"))->hide();
    c.ComboFilter = fixedCombo("ComboFilter", taskText, kFilters);
    c.ComboFilter->hide();

    connect(c.OptTextAlignment, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) markChanged(taskText);
    });
    connect(c.OptTextOrientation, &QButtonGroup::idToggled, this, [this, &c](int id, bool on) {
        if (!on) return;
        markChanged(taskText);
        c.picTextAlignment->setVisible(id == 0);
    });
    connect(c.cboPosition, &QComboBox::currentIndexChanged, this, &TaskOptionPanels::onPosition);
    for (QCheckBox* box : {c.chkTextBold, c.chkTextItalic, c.chkTextUnderline})
        connect(box, &QCheckBox::toggled, this, [this] { task::Text::showFont(controls<task::Text>()); });
    connect(c.ComboFontFamily, &QComboBox::currentIndexChanged, this, [this] {
        markChanged(taskText);
        task::Text::showFont(controls<task::Text>());
    });
    connect(c.comboFontSize, &QComboBox::currentIndexChanged, this, [this] { markChanged(taskText); });
    connect(c.comboFontSize, &QComboBox::editTextChanged, this, [this, &c](const QString& t) {
        if (t.isEmpty()) {
            c.comboFontSize->setEditText(QStringLiteral("0"));
            c.comboFontSize->lineEdit()->selectAll();
            return;
        }
        markChanged(taskText);
    });
    connect(c.ComboFilter, &QComboBox::currentIndexChanged, this, [this] { markChanged(taskText); });
    connect(c.chkTransparent, &QCheckBox::toggled, this, [this, &c](bool on) {
        c.cmdTextBackground->setVisible(!on);
        markChanged(taskText);
    });
    connect(c.chkAntiAlias, &QCheckBox::toggled, this, [this] {
        if (!m_filling) emit optionsFlagged(taskText);
    });
}

void TaskOptionPanels::onPosition(int index)
{
    markChanged(taskText);
    task::Text::showPosition(controls<task::Text>(), m_shared, index);
}

void TaskOptionPanels::buildCanvas()
{
    auto& c = controls<task::Canvas>();
    QWidget* p = panel(taskCanvas);
    // Index-to-index with the record's margins: top, left, right, bottom.
    static const char* const labels[] = {"Y1", "X1", "X2", "Y2"};
    static const char* const names[] = {"txtCanvasCustom_0", "txtCanvasCustom_1", "txtCanvasCustom_2", "txtCanvasCustom_3"};
    for (int i = 0; i < 4; ++i) {
        label(p, QString::fromLatin1(labels[i]));
        c.txtCanvasCustom[size_t(i)] = numericBox(p, names[i], {0, false, QStringLiteral("0"), true, 0, 800}, taskCanvas);
    }
}

void TaskOptionPanels::buildFrame()
{
    auto& c = controls<task::Frame>();
    QWidget* p = panel(taskFrame);
    label(p, QStringLiteral("Select a frame style"));
    c.OptFrameStyle = options(p, "OptFrameStyle", {QStringLiteral("Image"), QStringLiteral("Color")}, false);
    c.picFrameImage = group(p, "picFrameImage");
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    c.OptFrameImage = options(c.picFrameImage, "OptFrameImage", numbers, true);
    setPictureIcons(c.OptFrameImage, false, 0);
    c.chkFrameImageResizeCanvas = checkBox(c.picFrameImage, "chkFrameImageResizeCanvas", QStringLiteral("Use canvas space"), true, taskFrame);
    c.picFrameColor = group(p, "picFrameColor");
    label(c.picFrameColor, QStringLiteral("Frame Size"));
    c.txtFrameSize = numericBox(c.picFrameColor, "txtFrameSize", {3, false, QStringLiteral("0"), true, 0, 800}, taskFrame);
    // The spinner covers the whole range the box accepts, so a typed 500 is not cut to 360.
    c.vsFrameSize = spinner(c.picFrameColor, "vsFrameSize", 0, 800, 45, c.txtFrameSize);
    connect(c.vsFrameSize, &QScrollBar::valueChanged, this, [this] { enableApply(taskFrame); });
    c.picFrameColor->hide();
    connect(c.OptFrameStyle, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) onFrameStyle(id);
    });
    connect(c.OptFrameImage, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_shared.pictureIndex = int16_t(id);
        markChanged(taskFrame);
    });
}

void TaskOptionPanels::onFrameStyle(int index)
{
    task::Frame::showStyle(controls<task::Frame>(), m_shared, index);
    markChanged(taskFrame);
}

void TaskOptionPanels::buildMask()
{
    auto& c = controls<task::Mask>();
    QWidget* p = panel(taskMask);
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    c.OptMask = options(p, "OptMask", numbers, true);
    setPictureIcons(c.OptMask, true, 0);
    c.chkMaskTransparent = checkBox(p, "chkMaskTransparent", QStringLiteral("Transparent"), true, taskMask);
    label(p, QStringLiteral("Level:"));
    c.sldMask = slider(p, "sldMask", 0, 100, 50, "lblMask", taskMask);
    connect(c.OptMask, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_shared.pictureIndex = int16_t(id);
        markChanged(taskMask);
    });
}

void TaskOptionPanels::buildShadow()
{
    auto& c = controls<task::Shadow>();
    QStringList numbers;
    for (int i = 1; i <= kPictureCount; ++i) numbers << QString::number(i);
    c.OptShadow = options(panel(taskShadow), "OptShadow", numbers, true);
    setPictureIcons(c.OptShadow, false, kShadowBase);
    connect(c.OptShadow, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        m_shared.pictureIndex = int16_t(id + kShadowBase);
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
    m_shared.imageSize = size;
    controls<task::Crop>().txtCropTop->setRange(0, std::max(0, size.height()));
}

void TaskOptionPanels::setTextClick(QPoint display, QSize imageSize, QSize displaySize)
{
    m_shared.textClick = display;
    m_shared.textClickImage = imageSize;
    m_shared.textClickDisplay = displaySize;
}

// ---- fill and store: each task's kind says what its controls mean ---------------------------------

void TaskOptionPanels::fillFromSettings()
{
    const int32_t current = m_task;
    for (int32_t code = taskFlip; code <= taskRedEye; ++code) fillTask(code);
    fillTask(current);
}

void TaskOptionPanels::fillTask(int32_t code)
{
    m_filling = true;
    m_task = code;
    m_shared.cropRegion = QRect();
    m_shared.cropBox.reset();
    m_shared.frameBackColor->hide();
    m_shared.picLocation->hide();
    task::forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { &K::fill; }) K::fill(controls<K>(), m_shared, gudtSettings.Tasks);
    });
    m_filling = false;
}

bool TaskOptionPanels::marksChangedAfterFill(int32_t code) const
{
    bool changed = false;
    task::forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { &K::changedOnceChosen; }) changed = K::changedOnceChosen(controls<K>(), m_shared);
        else changed = true;
    });
    return changed;
}

void TaskOptionPanels::storeToSettings() const
{
    for (int32_t code = taskFlip; code <= taskShadow; ++code) storeTask(code);
}

void TaskOptionPanels::storeTask(int32_t code) const
{
    task::forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { &K::store; }) K::store(controls<K>(), m_shared, gudtSettings.Tasks);
    });
}

std::optional<task::Record> TaskOptionPanels::taskFromPanel(int32_t taskCode, QString* message) const
{
    QString dummy;
    QString& why = message ? *message : dummy;
    why.clear();
    task::PanelCheck check(why);
    std::optional<task::Record> record;
    const bool recorded = task::forKind(taskCode, [&]<class K>(std::type_identity<K>) {
        if (auto t = K::fromPanel(controls<K>(), m_shared, check)) record = std::move(*t);
    });
    if (!recorded) why = QStringLiteral("There is no task %1.").arg(taskCode);
    return record;
}

bool TaskOptionPanels::switchChangesPicture(int32_t code, QSize picture) const
{
    bool changes = false;
    task::forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires(const K& k) { k.changes(picture); }) {
            QString ignored;
            task::PanelCheck check(ignored);
            const std::optional<K> t = K::fromPanel(controls<K>(), m_shared, check);
            // Boxes the task cannot take: Preview tells the user what is wrong with them.
            changes = !t || t->changes(picture);
        }
    });
    return changes;
}

} // namespace tf
