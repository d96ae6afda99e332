#include "basket/frmSaveSinglePage.h"

#include "basket/modSaveBatch.h"
#include "frame/globals.h"
#include "frame/modSettings.h"
#include "platform/ui/msgbox.h"
#include "services/modCommonDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>
#include <QVBoxLayout>

namespace {

std::function<void(frmSaveSinglePage&)> g_script;

// The stored folder field holds 256 characters; a longer folder would be cut into another one.
constexpr int kFolderFieldBytes = 256;

// Refuses the characters no file name may hold on the systems the names travel to, typed or
// pasted alike.
class NameCharValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (const QChar c : input)
            if (QStringLiteral("\"*/:<>?\\|").contains(c)) return Invalid;
        return Acceptable;
    }
};

// Digits only, or one of the list's entries (and what deleting from one leaves on the way).
class CounterValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        if (input == tf::kCounterStart1 || input == tf::kCounterStart1001) return Acceptable;
        if (tf::kCounterStart1.startsWith(input) || tf::kCounterStart1001.startsWith(input)) return Intermediate;
        for (const QChar c : input)
            if (!c.isDigit() || c.unicode() > '9') return Invalid;
        return input.size() <= 9 ? Acceptable : Invalid;
    }
};

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items, bool editable)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(editable);
    box->addItems(items);
    if (editable) box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

uint8_t checked(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

} // namespace

frmSaveSinglePage::frmSaveSinglePage(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSaveSinglePage"));
    setWindowTitle(QStringLiteral("Save single-page files"));
    auto* top = new QVBoxLayout(this);

    auto* format = new QGridLayout;
    cboFormat = combo(this, "cboFormat", {"TIFF", "PDF"}, false);
    cboTIFFCompression = combo(this, "cboTIFFCompression", {"None", "PackBits (RLE)", "CCITT Group 4"}, false);
    cboColorFormat = combo(this, "cboColorFormat",
                           {"24 bit", "256 Color", "256 Grayscale", "16 Color", "16 Grayscale", "Mono", "Mono BW"}, false);
    format->addWidget(cboFormat, 0, 0);
    format->addWidget(new QLabel(QStringLiteral("Compression:"), this), 0, 1);
    format->addWidget(cboTIFFCompression, 0, 2);
    format->addWidget(named(new QLabel(QStringLiteral("Color Format:"), this), "lblColorFormat"), 0, 3);
    format->addWidget(cboColorFormat, 0, 4);
    top->addLayout(format);

    auto* names = new QGroupBox(QStringLiteral("File name"), this);
    auto* ng = new QGridLayout(names);
    m_names = new QButtonGroup(this);
    const char* optTexts[] = {"Retain the original filename (extension will differ)", "Hybrid", "Generic "};
    const char* egTexts[] = {"Eg. sample.tif", "Eg. Prefix_sample_Postfix.tif", "Eg. Sample1.tif"};
    const int optRows[] = {0, 1, 4};
    for (int i = 0; i < 3; ++i) {
        OptName[i] = new QRadioButton(QString::fromLatin1(optTexts[i]), names);
        OptName[i]->setObjectName(QStringLiteral("OptName_%1").arg(i));
        m_names->addButton(OptName[i], i);
        ng->addWidget(OptName[i], optRows[i], 0, 1, 2);
        ng->addWidget(new QLabel(QString::fromLatin1(egTexts[i]), names), optRows[i], 2, 1, 2);
    }
    cboRenamePrefix = combo(names, "cboRenamePrefix", tf::batchNamingTokens(), true);
    cboSeparator1 = combo(names, "cboSeparator1", tf::batchSeparators(), true);
    cboSeparator2 = combo(names, "cboSeparator2", tf::batchSeparators(), true);
    cboRenameSuffix = combo(names, "cboRenameSuffix", tf::batchNamingTokens(), true);
    for (QComboBox* box : {cboRenamePrefix, cboSeparator1, cboSeparator2, cboRenameSuffix})
        box->setValidator(new NameCharValidator(box));
    const char* heads[] = {"Prefix", "Separator", "Original filename", "Separator", "Postfix"};
    for (int i = 0; i < 5; ++i) ng->addWidget(new QLabel(QString::fromLatin1(heads[i]), names), 2, i);
    ng->addWidget(cboRenamePrefix, 3, 0);
    ng->addWidget(cboSeparator1, 3, 1);
    ng->addWidget(cboSeparator2, 3, 3);
    ng->addWidget(cboRenameSuffix, 3, 4);
    txtRenameGeneric = named(new QLineEdit(names), "txtRenameGeneric");
    cboRenameGeneric = combo(names, "cboRenameGeneric", {tf::kCounterStart1, tf::kCounterStart1001}, true);
    cboRenameGeneric->setValidator(new CounterValidator(cboRenameGeneric));
    ng->addWidget(new QLabel(QStringLiteral("Specify a generic name"), names), 5, 0);
    ng->addWidget(txtRenameGeneric, 5, 1);
    ng->addWidget(new QLabel(QStringLiteral("Count (identity token)"), names), 5, 2);
    ng->addWidget(cboRenameGeneric, 5, 3);
    top->addWidget(names);

    auto* dest = new QGroupBox(QStringLiteral("Destination Folder"), this);
    auto* dg = new QGridLayout(dest);
    m_destinations = new QButtonGroup(this);
    const char* destTexts[] = {"Place the output files to the source folder", "Place the output files to the following folder"};
    for (int i = 0; i < 2; ++i) {
        optDestinationFolder[i] = new QRadioButton(QString::fromLatin1(destTexts[i]), dest);
        optDestinationFolder[i]->setObjectName(QStringLiteral("optDestinationFolder_%1").arg(i));
        m_destinations->addButton(optDestinationFolder[i], i);
        dg->addWidget(optDestinationFolder[i], i, 0, 1, 2);
    }
    txtDestinationFolder = named(new QLineEdit(dest), "txtDestinationFolder");
    cmdBrowseFolder = named(new QPushButton(QStringLiteral("Browse"), dest), "cmdBrowseFolder");
    dg->addWidget(txtDestinationFolder, 2, 0);
    dg->addWidget(cmdBrowseFolder, 2, 1);
    top->addWidget(dest);

    chkOverwrite = named(new QCheckBox(QStringLiteral("Overwrite existing files"), this), "chkOverwrite");
    chkProcessEditingList = named(new QCheckBox(QStringLiteral("Process Tasks Basket"), this), "chkProcessEditingList");
    top->addWidget(chkOverwrite);
    top->addWidget(chkProcessEditingList);

    frameMetadata = named(new QGroupBox(QStringLiteral("Import Metadata EXIF/IPTC to all output files "), this),
                          "frameMetadata");
    auto* mg = new QGridLayout(frameMetadata);
    chkImportEXIF = named(new QCheckBox(QStringLiteral("Import a .XIFF (EXIF file info)"), frameMetadata), "chkImportEXIF");
    txtImportEXIF = named(new QLineEdit(frameMetadata), "txtImportEXIF");
    cmdImportEXIF = named(new QPushButton(QStringLiteral("Browse"), frameMetadata), "cmdImportEXIF");
    chkImportIPTC = named(new QCheckBox(QStringLiteral("Import a .FFO (IPTC file info)"), frameMetadata), "chkImportIPTC");
    txtImportIPTC = named(new QLineEdit(frameMetadata), "txtImportIPTC");
    cmdImportIPTC = named(new QPushButton(QStringLiteral("Browse"), frameMetadata), "cmdImportIPTC");
    mg->addWidget(chkImportEXIF, 0, 0);
    mg->addWidget(txtImportEXIF, 0, 1);
    mg->addWidget(cmdImportEXIF, 0, 2);
    mg->addWidget(chkImportIPTC, 1, 0);
    mg->addWidget(txtImportIPTC, 1, 1);
    mg->addWidget(cmdImportIPTC, 1, 2);
    top->addWidget(frameMetadata);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdStarConversion = named(new QPushButton(QStringLiteral("Save"), this), "cmdStarConversion");
    cmdCancel = named(new QPushButton(QStringLiteral("E&xit"), this), "cmdCancel");
    buttons->addWidget(cmdStarConversion);
    buttons->addWidget(cmdCancel);
    top->addLayout(buttons);

    subSetup();

    connect(cboFormat, &QComboBox::activated, this, &frmSaveSinglePage::cboFormat_Click);
    connect(m_names, &QButtonGroup::idClicked, this, &frmSaveSinglePage::OptName_Click);
    connect(m_destinations, &QButtonGroup::idClicked, this, &frmSaveSinglePage::optDestinationFolder_Click);
    connect(chkImportEXIF, &QCheckBox::clicked, this, &frmSaveSinglePage::chkImportEXIF_Click);
    connect(chkImportIPTC, &QCheckBox::clicked, this, &frmSaveSinglePage::chkImportIPTC_Click);
    connect(cmdImportEXIF, &QPushButton::clicked, this, &frmSaveSinglePage::cmdImportEXIF_Click);
    connect(cmdImportIPTC, &QPushButton::clicked, this, &frmSaveSinglePage::cmdImportIPTC_Click);
    connect(cmdBrowseFolder, &QPushButton::clicked, this, &frmSaveSinglePage::cmdBrowseFolder_Click);
    connect(cmdStarConversion, &QPushButton::clicked, this, &frmSaveSinglePage::cmdStarConversion_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSaveSinglePage::cmdCancel_Click);
}

bool frmSaveSinglePage::ask(QWidget* owner)
{
    // A stored answer from an earlier run never starts a conversion.
    gudtSettings.BatchSave.Accepted = 0;
    frmSaveSinglePage dialog(owner);
    if (g_script)
        g_script(dialog);
    else
        dialog.exec();
    if (dialog.result() != QDialog::Accepted) gudtSettings.BatchSave.Accepted = 0;
    return gudtSettings.BatchSave.Accepted == -1;
}

void frmSaveSinglePage::setScript(std::function<void(frmSaveSinglePage&)> script) { g_script = std::move(script); }

void frmSaveSinglePage::subSetup()
{
    const typBatchSaveOptions& o = gudtSettings.BatchSave;
    cboFormat->setCurrentIndex(o.OutputFormat == 1 ? 1 : 0);
    frameMetadata->setVisible(o.OutputFormat == 0);
    cboTIFFCompression->setCurrentIndex(qBound(0, int(o.TiffCompression), 2));
    cboColorFormat->setCurrentIndex(qBound(0, int(o.ColorFormat), 6));
    const int mode = qBound(0, int(o.RenameMode), 2);
    OptName[mode]->setChecked(true);
    OptName_Click(mode);
    cboRenamePrefix->setEditText(o.RenamePrefix);
    cboRenameSuffix->setEditText(o.RenameSuffix);
    cboSeparator1->setEditText(o.Separator1);
    cboSeparator2->setEditText(o.Separator2);
    txtRenameGeneric->setText(o.GenericName);
    cboRenameGeneric->setEditText(o.CounterText);
    const int dest = o.DestinationMode == 1 ? 1 : 0;
    optDestinationFolder[dest]->setChecked(true);
    optDestinationFolder_Click(dest);
    txtDestinationFolder->setText(o.DestinationFolder);
    chkOverwrite->setChecked(o.Overwrite == 1);
    chkProcessEditingList->setChecked(o.ProcessTaskList == 1);
    chkImportEXIF->setChecked(o.ImportEXIF == 1);
    chkImportIPTC->setChecked(o.ImportIPTC == 1);
    chkImportEXIF_Click();
    chkImportIPTC_Click();
    txtImportEXIF->setText(o.ExifTemplateFile);
    txtImportIPTC->setText(o.IptcTemplateFile);
}

void frmSaveSinglePage::subEnableRenameControls(int index)
{
    for (QWidget* w : {static_cast<QWidget*>(cboRenamePrefix), static_cast<QWidget*>(cboRenameSuffix),
                       static_cast<QWidget*>(cboSeparator1), static_cast<QWidget*>(cboSeparator2)})
        w->setEnabled(index == 1);
    txtRenameGeneric->setEnabled(index == 2);
    cboRenameGeneric->setEnabled(index == 2);
}

void frmSaveSinglePage::subEnableDestinationControls(int index)
{
    txtDestinationFolder->setEnabled(index == 1);
    cmdBrowseFolder->setEnabled(index == 1);
}

void frmSaveSinglePage::cboFormat_Click() { frameMetadata->setVisible(cboFormat->currentIndex() != 1); }

void frmSaveSinglePage::OptName_Click(int index)
{
    gudtSettings.BatchSave.RenameMode = int16_t(index);
    subEnableRenameControls(index);
}

void frmSaveSinglePage::optDestinationFolder_Click(int index)
{
    gudtSettings.BatchSave.DestinationMode = uint8_t(index);
    subEnableDestinationControls(index);
}

void frmSaveSinglePage::chkImportEXIF_Click()
{
    cmdImportEXIF->setVisible(chkImportEXIF->isChecked());
    txtImportEXIF->setVisible(chkImportEXIF->isChecked());
}

void frmSaveSinglePage::chkImportIPTC_Click()
{
    cmdImportIPTC->setVisible(chkImportIPTC->isChecked());
    txtImportIPTC->setVisible(chkImportIPTC->isChecked());
}

namespace {
void chooseTemplate(QWidget* owner, const QString& title, const QString& filter, QLineEdit* box)
{
    typCommonDialog dialog;
    dialog.hwndOwner = owner;
    dialog.strDialogTitle = title;
    dialog.strFilter = filter;
    dialog.lngFlags = 5;
    const QString chosen = fncShowOpen(dialog).strFileName;
    if (!chosen.isEmpty()) box->setText(chosen);
}
} // namespace

void frmSaveSinglePage::cmdImportEXIF_Click()
{
    chooseTemplate(this, QStringLiteral("Open EXIF .xiff file"), QStringLiteral("EXIF file (*.xiff)|*.xiff"), txtImportEXIF);
}

void frmSaveSinglePage::cmdImportIPTC_Click()
{
    chooseTemplate(this, QStringLiteral("Open IPTC .ffo file"), QStringLiteral("IPTC file (*.ffo)|*.ffo"), txtImportIPTC);
}

void frmSaveSinglePage::cmdBrowseFolder_Click()
{
    const QString chosen = fncBrowseDestinationFolder(this, txtDestinationFolder->text().trimmed());
    if (!chosen.isEmpty()) txtDestinationFolder->setText(chosen);
}

void frmSaveSinglePage::cmdStarConversion_Click()
{
    typBatchSaveOptions& o = gudtSettings.BatchSave;
    o.Accepted = -1;
    o.OutputFormat = uint8_t(cboFormat->currentIndex());
    o.TiffCompression = int16_t(cboTIFFCompression->currentIndex());
    o.ColorFormat = int16_t(cboColorFormat->currentIndex());
    o.RenameSuffix = cboRenameSuffix->currentText();
    o.RenamePrefix = cboRenamePrefix->currentText();
    o.Separator1 = cboSeparator1->currentText();
    o.Separator2 = cboSeparator2->currentText();
    o.GenericName = txtRenameGeneric->text();
    o.CounterText = cboRenameGeneric->currentText();
    o.Overwrite = checked(chkOverwrite);
    if (o.CounterText.trimmed().isEmpty()) {
        MsgBox(QStringLiteral("The count variable cannot be empty!"), vbInformation);
        return;
    }
    if (!tf::batchCounterStart(o.CounterText)) {
        MsgBox(QStringLiteral("Count should be numeric!"), vbInformation);
        return;
    }
    // Stored as the folder it names, without a separator rule of its own: paths are joined later.
    const QString folder = txtDestinationFolder->text().trimmed();
    if (folder.toUtf8().size() > kFolderFieldBytes) {
        MsgBox(QStringLiteral("The destination folder's path is too long (at most %1 bytes).").arg(kFolderFieldBytes),
               vbInformation);
        return;
    }
    o.DestinationFolder = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    o.ExifTemplateFile = txtImportEXIF->text();
    o.IptcTemplateFile = txtImportIPTC->text();
    o.ImportEXIF = checked(chkImportEXIF);
    o.ImportIPTC = checked(chkImportIPTC);
    o.ProcessTaskList = checked(chkProcessEditingList);
    done(QDialog::Accepted);
}

void frmSaveSinglePage::cmdCancel_Click() { reject(); }

void frmSaveSinglePage::reject()
{
    gudtSettings.BatchSave.Accepted = 0;
    QDialog::reject();
}
