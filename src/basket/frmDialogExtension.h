#pragma once
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
struct typSaveDialogOptions;

// The option panel embedded below the multipage save and append dialogs: TIFF compression,
// colour format, append position, output mode and the replay of the edit list. Every choice is
// written into the options record at once, so it stays even when the dialog is cancelled.
class frmDialogExtension : public QWidget {
    Q_OBJECT
public:
    // Works on gudtSettings.SaveDialog unless given another record (which must outlive the panel).
    explicit frmDialogExtension(QWidget* parent = nullptr);
    explicit frmDialogExtension(typSaveDialogOptions& options, QWidget* parent = nullptr);

    // Fills the lists and shows the stored choices; run once by the constructor.
    void subSetup();

    QWidget* PicTiff = nullptr; // the TIFF box: shown only while a TIFF type is selected
    QLabel* Label1 = nullptr;
    QComboBox* cboTIFFCompression = nullptr;
    QLabel* lblColorFormat = nullptr;
    QComboBox* cboColorFormat = nullptr;
    QWidget* picAppendMode = nullptr; // the append box: only for appending
    QLabel* Label2 = nullptr;
    QComboBox* cboAppendMode = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cboOutputMode = nullptr;
    QCheckBox* chkProcessEditingList = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lblMessage = nullptr;

public slots:
    void cboTIFFCompression_Click();
    void cboColorFormat_Click();
    void cboAppendMode_Click();
    void cboOutputMode_Click();
    void chkProcessEditingList_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    typSaveDialogOptions& m_options;
    bool m_filling = false;
};
