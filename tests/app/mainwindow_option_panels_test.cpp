// The option panels as the explorer bar shows them: in every state a panel can take, each control
// stays inside the option group and clear of its neighbours, and its caption is not cut off.
#include "mainwindow_gui.h"

#include "controls/modButtonPicture.h"
#include "platform/ui/msgbox.h"

#include <QComboBox>
#include <QDebug>
#include <QLabel>

using namespace tf;
using namespace tf::test;

namespace {

struct PanelState {
    const char* task;     // the task chart's key; empty: no task chosen
    const char* control;  // a control set after choosing, or empty
    int value;            // the combo box index, or for buttons whether it ends ticked
};

const PanelState kStates[] = {
    {"", "", 0},           {"Flip", "", 0},       {"Rotate", "", 0},
    {"Resize", "", 0},     {"Resize", "optResize_1", 1},
    {"Blur", "", 0},       {"Contrast", "", 0},   {"Brightness", "", 0},    {"Sharpen", "", 0},
    {"Crop", "optCropSelect_0", 1},               {"Crop", "optCropSelect_1", 1},   {"Crop", "cmbCrop", 1},
    {"Watermark", "cboMergeStyle", 0},            {"Watermark", "chkWatermarkTransparent", 0},
    {"Text", "", 0},       {"Text", "OptTextOrientation_1", 1},
    {"Text", "cboPosition", 9},                   {"Text", "chkTransparent", 0},
    {"Invert", "", 0},     {"Canvas", "", 0},     {"Frame", "OptFrameStyle_0", 1},  {"Frame", "OptFrameStyle_1", 1},
    {"Mask", "", 0},       {"Shadow", "", 0},     {"RedEye", "", 0},
};

// Plain widgets hold rows of controls; anything else is one control, whatever it is made of.
bool isContainer(const QWidget* w) { return w->metaObject() == &QWidget::staticMetaObject; }

// A caption wider than its control is cut off (wrapping labels break their lines instead), and
// so is a control narrower than it can be drawn.
bool cutOff(const QWidget* w)
{
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return !l->wordWrap() && !l->text().isEmpty() && l->minimumSizeHint().width() > l->width();
    // A push button's hint keeps a wide margin, and a button with a picture pads its caption with
    // blanks; what counts is the picture and the words on its face.
    if (const auto* b = qobject_cast<const QPushButton*>(w)) {
        const int picture = hasButtonPicture(b) ? 20 : 0;
        return b->fontMetrics().horizontalAdvance(b->text().trimmed()) + picture + 8 > b->width();
    }
    // Anything else squeezed below the width it needs (picture buttons crowded into one row).
    return !isContainer(w) && w->minimumSizeHint().width() > w->width();
}

QString describe(const QWidget* w, const QWidget* within)
{
    QString out;
    QDebug(&out) << w->objectName() << w->metaObject()->className() << QRect(w->mapTo(within, QPoint(0, 0)), w->size());
    return out;
}

// Every visible control inside its container and the option group, and clear of its siblings.
void collectFaults(const QWidget* container, const QWidget* dialog, QStringList& faults)
{
    QList<const QWidget*> shown;
    for (const QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(dialog) && !w->isWindow()) shown << w;
    const QRect dialogRect = dialog->rect();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QWidget* w = shown[i];
        const QRect inDialog(w->mapTo(dialog, QPoint(0, 0)), w->size());
        if (!container->rect().contains(w->geometry()) || !dialogRect.contains(inDialog))
            faults << QStringLiteral("outside %1: %2").arg(container->objectName(), describe(w, dialog));
        if (cutOff(w)) faults << QStringLiteral("cut off: %1").arg(describe(w, dialog));
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (w->geometry().intersects(shown[j]->geometry()))
                faults << QStringLiteral("overlap: %1 and %2").arg(describe(w, dialog), describe(shown[j], dialog));
        if (isContainer(w)) collectFaults(w, dialog, faults);
    }
}

class MainWindowOptionPanels : public MainWindowGui, public ::testing::WithParamInterface<PanelState> {
protected:
    ScriptedMessageBoxes boxes;
};

TEST_P(MainWindowOptionPanels, EveryControlStaysInsideTheOptionGroup)
{
    const PanelState& state = GetParam();
    frmMain& w = start();
    w.browse()->showCapturedPicture(solid(400, 300, Qt::darkCyan), dataDir() + QStringLiteral("/shown.png"));
    click(w.browse()->CmdPreviewEdit());
    ASSERT_EQ(w.editing()->lngEditMode(), 1);
    if (*state.task) emit w.editing()->eb()->ItemClick(QStringLiteral("Special Group"), QLatin1String(state.task));
    if (*state.control) {
        const QString name = QLatin1String(state.control);
        if (auto* combo = w.findChild<QComboBox*>(name)) combo->setCurrentIndex(state.value);
        else find<QAbstractButton>(name)->setChecked(state.value != 0);
    }
    QCoreApplication::processEvents();

    ASSERT_TRUE(w.editing()->picDialog()->isVisible());
    ASSERT_LE(w.editing()->picDialog()->geometry().right(), w.editing()->eb()->width()) << "the explorer bar gives the group its width";
    QStringList faults;
    collectFaults(w.editing()->picDialog(), w.editing()->picDialog(), faults);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(States, MainWindowOptionPanels, ::testing::ValuesIn(kStates),
                         [](const ::testing::TestParamInfo<PanelState>& info) {
                             return (*info.param.task ? std::string(info.param.task) : std::string("Nothing")) + "_" +
                                    std::to_string(info.index);
                         });

} // namespace
