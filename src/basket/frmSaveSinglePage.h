#pragma once
// "Save single-page files": the options of the single-page conversion, shown from and stored into
// gudtSettings.BatchSave.
#include <QDialog>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmSaveSinglePage : public QDialog {
    Q_OBJECT
public:
    explicit frmSaveSinglePage(QWidget* owner = nullptr);

    // Shows the dialog modally; true when the user pressed Save and the options passed. While a
    // script is installed, the script works the dialog instead of a person (no modal loop).
    static bool ask(QWidget* owner);
    static void setScript(std::function<void(frmSaveSinglePage&)> script);

    void subSetup();
    void subEnableRenameControls(int index);
    void subEnableDestinationControls(int index);

    QComboBox* cboFormat = nullptr;
    QComboBox* cboTIFFCompression = nullptr;
    QComboBox* cboColorFormat = nullptr;
    QRadioButton* OptName[3] = {};
    QComboBox* cboRenamePrefix = nullptr;
    QComboBox* cboSeparator1 = nullptr;
    QComboBox* cboSeparator2 = nullptr;
    QComboBox* cboRenameSuffix = nullptr;
    QLineEdit* txtRenameGeneric = nullptr;
    QComboBox* cboRenameGeneric = nullptr;
    QRadioButton* optDestinationFolder[2] = {};
    QLineEdit* txtDestinationFolder = nullptr;
    QPushButton* cmdBrowseFolder = nullptr;
    QCheckBox* chkOverwrite = nullptr;
    QCheckBox* chkProcessEditingList = nullptr;
    QGroupBox* frameMetadata = nullptr;
    QCheckBox* chkImportEXIF = nullptr;
    QPushButton* cmdImportEXIF = nullptr;
    QLineEdit* txtImportEXIF = nullptr;
    QCheckBox* chkImportIPTC = nullptr;
    QPushButton* cmdImportIPTC = nullptr;
    QLineEdit* txtImportIPTC = nullptr;
    QPushButton* cmdStarConversion = nullptr;
    QPushButton* cmdCancel = nullptr;

public slots:
    void cboFormat_Click();
    void OptName_Click(int index);
    void optDestinationFolder_Click(int index);
    void chkImportEXIF_Click();
    void chkImportIPTC_Click();
    void cmdImportEXIF_Click();
    void cmdImportIPTC_Click();
    void cmdBrowseFolder_Click();
    void cmdStarConversion_Click();
    void cmdCancel_Click();
    // Every way of closing but Save (Escape, the title bar) is a Cancel.
    void reject() override;

private:
    QButtonGroup* m_names = nullptr;
    QButtonGroup* m_destinations = nullptr;
};
