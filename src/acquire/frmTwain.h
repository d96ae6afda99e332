#pragma once
// The acquisition dialog: where scanned images go (the basket, single-page files, one multipage
// file), under which name and in which folder.
#include "acquire/ImageBoxAcquire.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QMenu;
class QAction;
class QWidget;

namespace tf {

class ImageDocument;

class frmTwain : public QDialog {
    Q_OBJECT
public:
    explicit frmTwain(QWidget* owner);
    ~frmTwain() override;

    ImageBoxAcquisition& acquisition() { return *m_acquisition; }
    // The request Acquire makes from the dialog's choices.
    ScanRequest request() const;

    void subSetup();
    void subStoreTwainOptions();
    void cmdAcquire_Click();
    void cmdExit_Click();

signals:
    // A scanned page written to a temp file, for the basket.
    void pageForBasket(const QString& path, const QImage& image);
    void acquisitionEnded(const tf::ScanResult& result);

private:
    void ImageBox1_ImageAcquired();
    void optAcquire_Click(int index);
    void optFile_Click(int index);
    void cmdfit_Click();
    void mnuFit_Click(int index);
    void showImage();

    std::unique_ptr<ImageDocument> m_image;
    ImageBoxAcquisition* m_acquisition = nullptr;
    uint8_t m_acquireOption = 0, m_fileOption = 0;
    bool m_bestFit = true;
    std::array<QRadioButton*, 2> optAcquire{}, optFile{};
    QWidget* picSave = nullptr;
    QComboBox* cboSinglepage = nullptr;
    QComboBox* cboMultipage = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtFolder = nullptr;
    QCheckBox* chkOverwrite = nullptr;
    QPushButton* cmdAcquire = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* ImageBox1 = nullptr;
    QGroupBox* FrameTwain = nullptr;
    QScrollArea* m_view = nullptr; // ImageBox1 scrolls in it at Actual Size
    QPushButton* cmdfit = nullptr;
    QMenu* mnuFitParent = nullptr;
    std::array<QAction*, 2> mnuFit{};
};

} // namespace tf
