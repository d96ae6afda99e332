#include "frame/frmSettings.h"

#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/sys/colors.h"
#include "platform/ui/listview.h"
#include "platform/ui/msgbox.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tf {

QString clampedThumbnailText(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value > kThumbnailSizeMax) return QString::number(kThumbnailSizeMax);
    if (!ok || value < kThumbnailSizeMin) return QString::number(kThumbnailSizeMin);
    return text;
}

QString genericNameFault(const QString& name)
{
    const QString why = QStringLiteral("A generic name becomes part of the name of every file made with it, so it "
                                       "cannot contain %1.\nPlease type a name without it.");
    if (name.contains(QLatin1Char('/'))) return why.arg(QStringLiteral("\"/\""));
    if (name.contains(QChar(0))) return why.arg(QStringLiteral("a NUL character"));
    return QString();
}

} // namespace tf

namespace {

// A thumbnail size: up to three digits (typed or pasted), never empty, the caret at the end when
// the box is entered, and clamped to the limits when it is left.
class ThumbnailBox : public QLineEdit {
public:
    explicit ThumbnailBox(QWidget* parent) : QLineEdit(parent)
    {
        setMaxLength(3);
        setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
        connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
            if (!text.isEmpty()) return;
            // Selected, so that what the user types next replaces it.
            setText(QString::number(tf::kThumbnailSizeMin));
            selectAll();
        });
    }

    void clamp()
    {
        const QString clamped = tf::clampedThumbnailText(text());
        if (clamped != text()) setText(clamped);
    }

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        end(false);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        clamp();
        QLineEdit::focusOutEvent(event);
    }
};

QLineEdit* makeBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QWidget* makePage(QTabWidget* tabs, const char* name, const QString& caption)
{
    auto* page = new QWidget(tabs);
    page->setObjectName(QString::fromLatin1(name));
    tabs->addTab(page, caption);
    return page;
}

} // namespace

frmSettings::frmSettings(SettingsPickers pickers, QWidget* parent) : QDialog(parent), m_pickers(std::move(pickers))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setMinimumWidth(420);

    tbsSettings = new QTabWidget(this);
    tbsSettings->setObjectName(QStringLiteral("tbsSettings"));
    picGeneral = makePage(tbsSettings, "picGeneral", QStringLiteral("General"));
    picCapture = makePage(tbsSettings, "picCapture", QStringLiteral("Capture"));
    picTwain = makePage(tbsSettings, "picTwain", QStringLiteral("Twain"));
    picShortcuts = makePage(tbsSettings, "picShortcuts", QStringLiteral("Shortcuts"));
    buildGeneral(picGeneral);
    buildFolderPage(picCapture, "Capture", txtCaptureGeneric, txtCaptureFolder, cmdCaptureBrowse,
                    QStringLiteral("Default Capture Folder"));
    buildFolderPage(picTwain, "Twain", txtTwainGeneric, txtTwainFolder, cmdTwainBrowse,
                    QStringLiteral("Default Twain Folder"));
    lvShortcuts = new tf::ListView(picShortcuts);
    lvShortcuts->setObjectName(QStringLiteral("lvShortcuts"));
    lvShortcuts->setColumnHeaders({QStringLiteral("Action"), QStringLiteral("Shortcut")});
    lvShortcuts->setRootIsDecorated(false);
    lvShortcuts->setSelectionMode(QAbstractItemView::NoSelection);
    (new QVBoxLayout(picShortcuts))->addWidget(lvShortcuts);

    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"));
    cmdOK->setDefault(true);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("Cancel"));
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSettings::cmdCancel_Click);
    connect(cmdCaptureBrowse, &QPushButton::clicked, this, &frmSettings::cmdCaptureBrowse_Click);
    connect(cmdTwainBrowse, &QPushButton::clicked, this, &frmSettings::cmdTwainBrowse_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addWidget(tbsSettings);
    all->addLayout(buttons);

    subSetup();
}

void frmSettings::buildGeneral(QWidget* page)
{
    chkAllowTip = new QCheckBox(QStringLiteral("Show Tips for controls"), page);
    chkAllowTip->setObjectName(QStringLiteral("chkAllowTip"));

    picPreviewBackground = new QLabel(page);
    picPreviewBackground->setObjectName(QStringLiteral("picPreviewBackground"));
    picPreviewBackground->setFixedSize(48, 20);
    picPreviewBackground->setFrameStyle(QFrame::Box | QFrame::Plain);
    picPreviewBackground->setAutoFillBackground(true);
    picPreviewBackground->setCursor(Qt::PointingHandCursor);
    picPreviewBackground->installEventFilter(this);
    auto* background = new QHBoxLayout;
    background->addWidget(new QLabel(QStringLiteral("Preview Background :"), page));
    background->addWidget(picPreviewBackground);
    background->addStretch(1);

    auto* frameFolder = new QGroupBox(QStringLiteral("Folder Files"), page);
    frameFolder->setObjectName(QStringLiteral("frameFolder"));
    const QString sizeCaptions[2] = {QStringLiteral("Show short file size"), QStringLiteral("Show long file size")};
    for (int i = 0; i < 2; ++i) {
        optFileSize[i] = new QRadioButton(sizeCaptions[i], frameFolder);
        optFileSize[i]->setObjectName(QStringLiteral("optFileSize_%1").arg(i));
    }
    chkFolderFullRowSelect = new QCheckBox(QStringLiteral("Enable Full Row Select"), frameFolder);
    chkFolderFullRowSelect->setObjectName(QStringLiteral("chkFolderFullRowSelect"));
    txtFolderThumbnailWidth = new ThumbnailBox(frameFolder);
    txtFolderThumbnailWidth->setObjectName(QStringLiteral("txtFolderThumbnailWidth"));
    txtFolderThumbnailHeight = new ThumbnailBox(frameFolder);
    txtFolderThumbnailHeight->setObjectName(QStringLiteral("txtFolderThumbnailHeight"));
    auto* sizes = new QFormLayout;
    sizes->addRow(QStringLiteral("Thumbnail Width"), txtFolderThumbnailWidth);
    sizes->addRow(QStringLiteral("Thumbnail Height"), txtFolderThumbnailHeight);
    auto* folder = new QVBoxLayout(frameFolder);
    folder->addWidget(optFileSize[0]);
    folder->addWidget(optFileSize[1]);
    folder->addWidget(chkFolderFullRowSelect);
    folder->addLayout(sizes);

    auto* column = new QVBoxLayout(page);
    column->addWidget(chkAllowTip);
    column->addLayout(background);
    column->addWidget(frameFolder);
    column->addStretch(1);
}

void frmSettings::buildFolderPage(QWidget* page, const char* prefix, QLineEdit*& generic, QLineEdit*& folder,
                                  QPushButton*& browse, const QString& folderCaption)
{
    generic = makeBox(page, ("txt" + QByteArray(prefix) + "Generic").constData());
    folder = makeBox(page, ("txt" + QByteArray(prefix) + "Folder").constData());
    browse = makeButton(page, ("cmd" + QByteArray(prefix) + "Browse").constData(), QStringLiteral("Browse"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    auto* column = new QVBoxLayout(page);
    column->addWidget(new QLabel(QStringLiteral("Generic Name"), page));
    column->addWidget(generic);
    column->addSpacing(8);
    column->addWidget(new QLabel(folderCaption, page));
    column->addLayout(folderRow);
    column->addStretch(1);
}

void frmSettings::subSetup()
{
    try {
        const typSettings& s = gudtSettings;
        chkAllowTip->setChecked(s.ShowToolTips != 0);
        txtTwainGeneric->setText(s.Twain.GenericName);
        txtTwainFolder->setText(s.Twain.Folder);
        txtCaptureGeneric->setText(s.Capture.GenericName);
        txtCaptureFolder->setText(s.Capture.Folder);
        m_previewBackColor = s.PreviewBackColor;
        showPreviewBackColor();
        txtFolderThumbnailWidth->setText(QString::number(s.FolderThumbWidth));
        txtFolderThumbnailHeight->setText(QString::number(s.FolderThumbHeight));
        optFileSize[s.LongFileSize != 0 ? 1 : 0]->setChecked(true);
        chkFolderFullRowSelect->setChecked(s.FolderFullRowSelect == -1);
        subFillShortcutList();
        tbsSettings->setCurrentWidget(picGeneral);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("frmSettings.subSetup"));
    }
}

void frmSettings::subFillShortcutList()
{
    lvShortcuts->Clear();
    const char* const rows[][2] = {
        {"Add Selected Files to basket", "Enter [Return]"},
        {"Select all files", "Ctrl + A"},
        {"Delete selected files from basket", "Delete"},
    };
    for (const auto& row : rows)
        tf::ListView::setSubItem(lvShortcuts->AddItem(QString::fromLatin1(row[0])), 1, QString::fromLatin1(row[1]));
    lvShortcuts->resizeColumnToContents(0);
    lvShortcuts->resizeColumnToContents(1);
}

void frmSettings::showPreviewBackColor()
{
    QPalette palette = picPreviewBackground->palette();
    palette.setColor(QPalette::Window, tf::colorFromOle(m_previewBackColor));
    picPreviewBackground->setPalette(palette);
}

bool frmSettings::fncCheckGenericName(QLineEdit* box, QWidget* page)
{
    const QString fault = tf::genericNameFault(box->text());
    if (fault.isEmpty()) return true;
    tbsSettings->setCurrentWidget(page);
    MsgBox(fault, vbExclamation);
    box->setFocus();
    box->selectAll();
    return false;
}

void frmSettings::cmdOK_Click()
{
    // Enter on the default button stores without leaving the box that was being typed in.
    static_cast<ThumbnailBox*>(txtFolderThumbnailWidth)->clamp();
    static_cast<ThumbnailBox*>(txtFolderThumbnailHeight)->clamp();
    if (!fncCheckGenericName(txtCaptureGeneric, picCapture) || !fncCheckGenericName(txtTwainGeneric, picTwain)) return;

    typSettings& s = gudtSettings;
    s.ShowToolTips = chkAllowTip->isChecked() ? 1 : 0;
    s.Capture.Folder = txtCaptureFolder->text();
    s.Capture.GenericName = txtCaptureGeneric->text();
    s.Twain.Folder = txtTwainFolder->text();
    s.Twain.GenericName = txtTwainGeneric->text();
    s.PreviewBackColor = m_previewBackColor;
    s.FolderThumbWidth = int16_t(txtFolderThumbnailWidth->text().toInt());
    s.FolderThumbHeight = int16_t(txtFolderThumbnailHeight->text().toInt());
    s.LongFileSize = optFileSize[0]->isChecked() ? 0 : 1;
    s.FolderFullRowSelect = chkFolderFullRowSelect->isChecked() ? -1 : 0;
    s.PagesThumbWidth = s.FolderThumbWidth;
    s.PagesThumbHeight = s.FolderThumbHeight;
    s.PagesFullRowSelect = s.FolderFullRowSelect;
    emit settingsStored();
    accept();
}

void frmSettings::cmdCancel_Click() { reject(); }

void frmSettings::cmdCaptureBrowse_Click()
{
    if (!m_pickers.folder) return;
    const QString chosen = m_pickers.folder(this, txtCaptureFolder->text());
    if (!chosen.isEmpty()) txtCaptureFolder->setText(chosen);
}

void frmSettings::cmdTwainBrowse_Click()
{
    if (!m_pickers.folder) return;
    const QString chosen = m_pickers.folder(this, txtTwainFolder->text());
    if (!chosen.isEmpty()) txtTwainFolder->setText(chosen);
}

void frmSettings::picPreviewBackground_Click()
{
    if (!m_pickers.color) return;
    const std::optional<int32_t> chosen = m_pickers.color(this);
    if (!chosen) return;
    m_previewBackColor = *chosen;
    showPreviewBackColor();
}

bool frmSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == picPreviewBackground && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && picPreviewBackground->rect().contains(mouse->position().toPoint())) {
            picPreviewBackground_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
