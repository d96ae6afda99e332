#include "basket/frmDialogExtension.h"

#include "frame/modSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

namespace {

const char* const kStartHint = "Move mouse to the label or focus the drop down box to know more about it.";
const char* const kCompressionHint = "Choose a compression method to apply in all the pages (images) in the basket.";
const char* const kColorFormatHint =
    "Choose a color format (color depth) to use in all the pages (images) in the basket.";
const char* const kAppendModeHint =
    "Specify either to write all the pages/images in the basket to the beginning or end of the existing file.";
const char* const kOutputModeHint = "Specify either to output the file to a new file or replace the existing one";

// Selects a stored index; an index outside the list (a damaged or never-set record) selects nothing.
void selectIndex(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

} // namespace

frmDialogExtension::frmDialogExtension(QWidget* parent) : frmDialogExtension(gudtSettings.SaveDialog, parent) {}

frmDialogExtension::frmDialogExtension(typSaveDialogOptions& options, QWidget* parent)
    : QWidget(parent), m_options(options)
{
    build();
    subSetup();
}

void frmDialogExtension::build()
{
    setObjectName(QStringLiteral("frmDialogExtension"));
    setFont(QFont(QStringLiteral("Tahoma")));

    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 4, 0, 0);

    PicTiff = named(new QWidget(this), "PicTiff");
    auto* tiffRow = new QHBoxLayout(PicTiff);
    tiffRow->setContentsMargins(0, 0, 0, 0);
    Label1 = named(new QLabel(QStringLiteral("Compression:"), PicTiff), "Label1");
    cboTIFFCompression = named(new QComboBox(PicTiff), "cboTIFFCompression");
    Label1->setBuddy(cboTIFFCompression);
    tiffRow->addWidget(Label1);
    tiffRow->addWidget(cboTIFFCompression, 1);
    grid->addWidget(PicTiff, 0, 0, 1, 2);

    lblColorFormat = named(new QLabel(QStringLiteral("Color Format:"), this), "lblColorFormat");
    cboColorFormat = named(new QComboBox(this), "cboColorFormat");
    lblColorFormat->setBuddy(cboColorFormat);
    grid->addWidget(lblColorFormat, 1, 0);
    grid->addWidget(cboColorFormat, 1, 1);

    picAppendMode = named(new QWidget(this), "picAppendMode");
    auto* appendGrid = new QGridLayout(picAppendMode);
    appendGrid->setContentsMargins(0, 0, 0, 0);
    Label2 = named(new QLabel(QStringLiteral("Append mode:"), picAppendMode), "Label2");
    cboAppendMode = named(new QComboBox(picAppendMode), "cboAppendMode");
    Label3 = named(new QLabel(QStringLiteral("Output mode:"), picAppendMode), "Label3");
    cboOutputMode = named(new QComboBox(picAppendMode), "cboOutputMode");
    Label2->setBuddy(cboAppendMode);
    Label3->setBuddy(cboOutputMode);
    appendGrid->addWidget(Label2, 0, 0);
    appendGrid->addWidget(cboAppendMode, 0, 1);
    appendGrid->addWidget(Label3, 1, 0);
    appendGrid->addWidget(cboOutputMode, 1, 1);
    grid->addWidget(picAppendMode, 2, 0, 1, 2);

    chkProcessEditingList = named(new QCheckBox(QStringLiteral("Process Tasks Basket"), this), "chkProcessEditingList");
    grid->addWidget(chkProcessEditingList, 3, 0, 1, 2);

    auto* hintRow = new QHBoxLayout;
    Image1 = named(new QLabel(this), "Image1");
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    Image1->setAlignment(Qt::AlignTop);
    lblMessage = named(new QLabel(QLatin1String(kStartHint), this), "lblMessage");
    lblMessage->setWordWrap(true);
    lblMessage->setTextFormat(Qt::PlainText);
    hintRow->addWidget(Image1);
    hintRow->addWidget(lblMessage, 1);
    grid->addLayout(hintRow, 0, 2, 4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    for (QWidget* w :
         {static_cast<QWidget*>(cboTIFFCompression), static_cast<QWidget*>(cboColorFormat),
          static_cast<QWidget*>(cboAppendMode), static_cast<QWidget*>(cboOutputMode), static_cast<QWidget*>(Label1),
          static_cast<QWidget*>(lblColorFormat), static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3)})
        w->installEventFilter(this);

    connect(cboTIFFCompression, &QComboBox::currentIndexChanged, this, &frmDialogExtension::cboTIFFCompression_Click);
    connect(cboColorFormat, &QComboBox::currentIndexChanged, this, &frmDialogExtension::cboColorFormat_Click);
    connect(cboAppendMode, &QComboBox::currentIndexChanged, this, &frmDialogExtension::cboAppendMode_Click);
    connect(cboOutputMode, &QComboBox::currentIndexChanged, this, &frmDialogExtension::cboOutputMode_Click);
    connect(chkProcessEditingList, &QCheckBox::toggled, this, &frmDialogExtension::chkProcessEditingList_Click);
}

void frmDialogExtension::subSetup()
{
    m_filling = true;
    cboTIFFCompression->clear();
    cboTIFFCompression->addItems(
        {QStringLiteral("None"), QStringLiteral("PackBits (RLE)"), QStringLiteral("CCITT Group 4")});
    cboColorFormat->clear();
    cboColorFormat->addItems({QStringLiteral("24 bit"), QStringLiteral("256 Color"), QStringLiteral("256 Grayscale"),
                              QStringLiteral("16 Color"), QStringLiteral("16 Grayscale"), QStringLiteral("Mono"),
                              QStringLiteral("Mono BW")});
    cboAppendMode->clear();
    cboAppendMode->addItems({QStringLiteral("Beginning of file"), QStringLiteral("End of file")});
    cboOutputMode->clear();
    cboOutputMode->addItems({QStringLiteral("Overwrite"), QStringLiteral("New File")});

    selectIndex(cboTIFFCompression, m_options.TiffCompression);
    selectIndex(cboColorFormat, m_options.ColorFormat);
    selectIndex(cboAppendMode, m_options.AppendMode);
    selectIndex(cboOutputMode, m_options.OutputMode);
    chkProcessEditingList->setChecked(m_options.ProcessTaskList == 1);
    m_filling = false;
}

// Each choice is stored the moment it is made.
void frmDialogExtension::cboTIFFCompression_Click()
{
    if (!m_filling && cboTIFFCompression->currentIndex() >= 0)
        m_options.TiffCompression = static_cast<int16_t>(cboTIFFCompression->currentIndex());
}

void frmDialogExtension::cboColorFormat_Click()
{
    if (!m_filling && cboColorFormat->currentIndex() >= 0)
        m_options.ColorFormat = static_cast<int16_t>(cboColorFormat->currentIndex());
}

void frmDialogExtension::cboAppendMode_Click()
{
    if (!m_filling && cboAppendMode->currentIndex() >= 0)
        m_options.AppendMode = static_cast<uint8_t>(cboAppendMode->currentIndex());
}

void frmDialogExtension::cboOutputMode_Click()
{
    if (!m_filling && cboOutputMode->currentIndex() >= 0)
        m_options.OutputMode = static_cast<uint8_t>(cboOutputMode->currentIndex());
}

void frmDialogExtension::chkProcessEditingList_Click()
{
    if (!m_filling) m_options.ProcessTaskList = chkProcessEditingList->isChecked() ? 1 : 0;
}

bool frmDialogExtension::eventFilter(QObject* watched, QEvent* event)
{
    const bool focus = event->type() == QEvent::FocusIn;
    const bool hover = event->type() == QEvent::Enter;
    if (focus || hover) {
        const char* hint = nullptr;
        if (watched == cboTIFFCompression || watched == Label1)
            hint = kCompressionHint;
        else if (watched == cboColorFormat || watched == lblColorFormat)
            hint = kColorFormatHint;
        else if (watched == cboAppendMode || watched == Label2)
            hint = kAppendModeHint;
        else if (watched == cboOutputMode || watched == Label3)
            hint = kOutputModeHint;
        // The combos give their hint on focus, the labels on the mouse.
        const bool isLabel = qobject_cast<QLabel*>(watched) != nullptr;
        if (hint && (isLabel ? hover : focus)) lblMessage->setText(QLatin1String(hint));
    }
    return QWidget::eventFilter(watched, event);
}
