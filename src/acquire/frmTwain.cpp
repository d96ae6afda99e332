#include "acquire/frmTwain.h"

#include "controls/modButtonPicture.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "services/modCommonDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tf {

namespace {

const QStringList kSinglePage = {"BMP", "JPG", "TIF", "PDF", "PSD", "GIF"};
const QStringList kMultiPage = {"TIF", "PDF"};

// The fit button's picture: a page inside a frame, with the corners that it is fitted to.
QPixmap fitPicture()
{
    QPixmap picture(16, 16);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(4, 4, 7, 7);
    for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)}) {
        const int dx = corner.x() ? -1 : 1, dy = corner.y() ? -1 : 1;
        p.drawLine(corner, corner + QPoint(3 * dx, 3 * dy));
        p.drawLine(corner, corner + QPoint(2 * dx, 0));
        p.drawLine(corner, corner + QPoint(0, 2 * dy));
    }
    return picture;
}

} // namespace

frmTwain::frmTwain(QWidget* owner) : QDialog(owner), m_image(std::make_unique<ImageDocument>())
{
    setObjectName(QStringLiteral("frmTwain"));
    setWindowTitle(QStringLiteral("Acquire"));
    m_acquisition = new ImageBoxAcquisition(*m_image, this);
    connect(m_acquisition, &ImageBoxAcquisition::ImageAcquired, this, &frmTwain::ImageBox1_ImageAcquired);
    connect(m_acquisition, &ImageBoxAcquisition::acquisitionFinished, this, [this](const ScanResult& r) {
        cmdAcquire->setEnabled(true);
        // One report per acquisition, whatever stopped it.
        if (!r.error.isEmpty()) MsgBox(r.error, vbExclamation);
        emit acquisitionEnded(r);
    });

    auto* layout = new QVBoxLayout(this);
    const auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    const char* acquireTexts[] = {"Put acquired images to queue", "Save acquired images to disk"};
    for (int i = 0; i < 2; ++i) {
        optAcquire[size_t(i)] = named(new QRadioButton(QString::fromLatin1(acquireTexts[i]), this),
                                      i ? "optAcquire1" : "optAcquire0");
        connect(optAcquire[size_t(i)], &QRadioButton::clicked, this, [this, i] { optAcquire_Click(i); });
        layout->addWidget(optAcquire[size_t(i)]);
    }
    picSave = named(new QWidget(this), "picSave");
    auto* save = new QFormLayout(picSave);
    const char* fileTexts[] = {"Save as single-page files", "Save as multi-page file"};
    for (int i = 0; i < 2; ++i) {
        optFile[size_t(i)] = named(new QRadioButton(QString::fromLatin1(fileTexts[i]), picSave), i ? "optFile1" : "optFile0");
        connect(optFile[size_t(i)], &QRadioButton::clicked, this, [this, i] { optFile_Click(i); });
    }
    cboSinglepage = named(new QComboBox(picSave), "cboSinglepage");
    cboMultipage = named(new QComboBox(picSave), "cboMultipage");
    save->addRow(optFile[0], cboSinglepage);
    save->addRow(optFile[1], cboMultipage);
    txtFileName = named(new QLineEdit(picSave), "txtFileName");
    save->addRow(named(new QLabel(QStringLiteral("File name:"), picSave), "lblFileName"), txtFileName);
    txtFolder = named(new QLineEdit(picSave), "txtFolder");
    // Room for a folder's path: the form would otherwise leave the box the width of its margin.
    txtFolder->setMinimumWidth(txtFolder->fontMetrics().averageCharWidth() * 36);
    txtFolder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(txtFolder);
    auto* cmdBrowse = named(new QPushButton(QStringLiteral("Browse"), picSave), "cmdBrowse");
    folderRow->addWidget(cmdBrowse);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        const QString chosen = fncBrowseDestinationFolder(this, txtFolder->text());
        if (!chosen.trimmed().isEmpty()) txtFolder->setText(chosen);
    });
    save->addRow(new QLabel(QStringLiteral("Saved in:"), picSave), folderRow);
    chkOverwrite = named(new QCheckBox(QStringLiteral("Overwrite if file exists"), picSave), "chkOverwrite");
    save->addRow(chkOverwrite);
    layout->addWidget(picSave);
    cmdfit = named(new QPushButton(QStringLiteral("       Best Fit"), this), "cmdfit");
    cmdfit->setMinimumWidth(cmdfit->fontMetrics().horizontalAdvance(QStringLiteral("       Actual Size")) + 24);
    mnuFitParent = named(new QMenu(QStringLiteral("Fit"), cmdfit), "mnuFitParent");
    const char* fitTexts[] = {"Best Fit", "Actual Size"};
    for (int i = 0; i < 2; ++i) {
        mnuFit[size_t(i)] = mnuFitParent->addAction(QString::fromLatin1(fitTexts[i]), this, [this, i] { mnuFit_Click(i); });
        mnuFit[size_t(i)]->setObjectName(QStringLiteral("mnuFit%1").arg(i));
        mnuFit[size_t(i)]->setCheckable(true);
    }
    mnuFit[0]->setChecked(true);
    connect(cmdfit, &QPushButton::clicked, this, &frmTwain::cmdfit_Click);
    auto* fitRow = new QHBoxLayout;
    fitRow->addWidget(cmdfit);
    fitRow->addStretch(1);
    layout->addLayout(fitRow);
    FrameTwain = named(new QGroupBox(QStringLiteral("Options"), this), "FrameTwain");
    auto* frame = new QVBoxLayout(FrameTwain);
    m_view = new QScrollArea(FrameTwain);
    m_view->setMinimumSize(200, 200);
    m_view->setAlignment(Qt::AlignCenter);
    ImageBox1 = named(new QLabel(m_view), "ImageBox1");
    m_view->setWidget(ImageBox1);
    frame->addWidget(m_view);
    layout->addWidget(FrameTwain);
    lblSize = named(new QLabel(this), "lblSize");
    layout->addWidget(lblSize);
    auto* buttons = new QHBoxLayout;
    cmdAcquire = named(new QPushButton(QStringLiteral("Acquire"), this), "cmdAcquire");
    auto* cmdExit = named(new QPushButton(QStringLiteral("Exit"), this), "cmdExit");
    buttons->addWidget(cmdAcquire);
    buttons->addWidget(cmdExit);
    layout->addLayout(buttons);
    connect(cmdAcquire, &QPushButton::clicked, this, &frmTwain::cmdAcquire_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmTwain::cmdExit_Click);
    // Escape leaves as Exit does: the scan is stopped and the options kept.
    tf::setDialogKeys(this, cmdAcquire, cmdExit);
    subSetup();
}


void frmTwain::subSetup()
{
    const typTwainOptions& o = gudtSettings.Twain;
    subSetButtonPicture(cmdfit, fitPicture());
    cboSinglepage->addItems(kSinglePage);
    cboMultipage->addItems(kMultiPage);
    // Indexes read from the settings file are held to the lists.
    cboSinglepage->setCurrentIndex(std::clamp<int>(o.SinglePageFormat, 0, int(kSinglePage.size()) - 1));
    cboMultipage->setCurrentIndex(std::clamp<int>(o.MultiPageFormat, 0, int(kMultiPage.size()) - 1));
    chkOverwrite->setChecked(o.Overwrite != 0);
    const int acquire = o.AcquireOption ? 1 : 0, file = o.FileOption ? 1 : 0;
    optAcquire[size_t(acquire)]->setChecked(true);
    optAcquire_Click(acquire);
    optFile[size_t(file)]->setChecked(true);
    optFile_Click(file);
    txtFileName->setText(o.GenericName);
    txtFolder->setText(o.Folder);
}

void frmTwain::optAcquire_Click(int index)
{
    m_acquireOption = uint8_t(index);
    picSave->setVisible(index == 1);
}

void frmTwain::optFile_Click(int index)
{
    m_fileOption = uint8_t(index);
    cboSinglepage->setVisible(index == 0);
    cboMultipage->setVisible(index != 0);
}

void frmTwain::subStoreTwainOptions()
{
    typTwainOptions& o = gudtSettings.Twain;
    o.SinglePageFormat = int16_t(cboSinglepage->currentIndex());
    o.MultiPageFormat = int16_t(cboMultipage->currentIndex());
    o.Overwrite = chkOverwrite->isChecked() ? 1 : 0;
    o.AcquireOption = m_acquireOption;
    o.FileOption = m_fileOption;
    o.GenericName = txtFileName->text();
    o.Folder = txtFolder->text();
}

ScanRequest frmTwain::request() const
{
    ScanRequest q;
    q.route = m_acquireOption == 0 ? ScanRequest::Route::Basket
              : m_fileOption == 0  ? ScanRequest::Route::SingleFiles
                                   : ScanRequest::Route::MultiPage;
    q.extension = (m_fileOption == 0 ? cboSinglepage : cboMultipage)->currentText().toLower();
    q.folder = txtFolder->text();
    q.genericName = txtFileName->text();
    q.overwrite = chkOverwrite->isChecked();
    q.tempFolder = userTempDir();
    return q;
}

void frmTwain::cmdAcquire_Click()
{
    if (m_acquisition->TwainAvailable()) {
        m_acquisition->TwainOption1 = m_acquisition->TwainOption2 = m_acquisition->TwainOption3 = true;
        if (m_acquisition->TwainAcquire(request())) cmdAcquire->setEnabled(false);
    } else {
        MsgBox(QStringLiteral("No scanner found"), vbExclamation);
    }
    subStoreTwainOptions();
}

void frmTwain::ImageBox1_ImageAcquired()
{
    const QImage image = m_image->BitmapHandle();
    if (m_acquireOption == 0) emit pageForBasket(m_acquisition->AcquiredPath(), image);
    showImage();
    lblSize->setText(QString::number(image.width()) + QStringLiteral(" X ") + QString::number(image.height()));
}

void frmTwain::cmdfit_Click()
{
    cmdfit->update();
    mnuFitParent->popup(cmdfit->mapToGlobal(QPoint(0, cmdfit->height())));
}

void frmTwain::mnuFit_Click(int index)
{
    mnuFit[size_t(1 - index)]->setChecked(false);
    mnuFit[size_t(index)]->setChecked(true);
    if (m_bestFit == (index == 0)) return;
    m_bestFit = index == 0;
    subSetButtonCaption(cmdfit, QStringLiteral("    ") + mnuFit[size_t(index)]->text());
    cmdfit->update();
    showImage();
}

void frmTwain::showImage()
{
    const QImage image = m_image->BitmapHandle();
    if (image.isNull()) return;
    const QSize room = m_view->viewport()->size();
    const QImage shown = m_bestFit && (image.width() > room.width() || image.height() > room.height())
                             ? image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                             : image;
    ImageBox1->setPixmap(QPixmap::fromImage(shown));
    ImageBox1->resize(shown.size());
}

frmTwain::~frmTwain() { subRemoveButtonPicture(cmdfit); }

void frmTwain::cmdExit_Click()
{
    m_acquisition->cancel();
    subStoreTwainOptions();
    accept();
}

} // namespace tf
