#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;

namespace tf {
class ListView;

// The thumbnail boxes' limits, in pixels.
inline constexpr int kThumbnailSizeMin = 20;
inline constexpr int kThumbnailSizeMax = 300;

// A thumbnail box's text after it is left: above the limits the maximum, below them (or not a
// number) the minimum.
QString clampedThumbnailText(const QString& text);

// Why a generic name (the stem of the file names that capture and acquisition make) cannot be
// used, or an empty text when it can.
QString genericNameFault(const QString& name);

} // namespace tf

// The pickers the dialog opens; they live above the frame, so the caller hands them in.
struct SettingsPickers {
    // The colour the user chose as 0x00BBGGRR, or nothing when the dialog was cancelled.
    std::function<std::optional<int32_t>(QWidget* owner)> color;
    // The folder the user chose, or an empty text when the dialog was cancelled.
    std::function<QString(QWidget* owner, const QString& startFolder)> folder;
};

// The settings dialog: the settings that have no control of their own in the main window. It
// reads gudtSettings when it is made and writes it only on OK, then raises settingsStored, on
// which the main window puts the record on its controls.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    explicit frmSettings(SettingsPickers pickers, QWidget* parent = nullptr);

    // The record onto the controls.
    void subSetup();
    // The preview background as chosen so far (0x00BBGGRR or a system colour).
    int32_t PreviewBackColor() const { return m_previewBackColor; }

public slots:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdCaptureBrowse_Click();
    void cmdTwainBrowse_Click();
    void picPreviewBackground_Click();

signals:
    // OK stored the record.
    void settingsStored();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGeneral(QWidget* page);
    void buildFolderPage(QWidget* page, const char* prefix, QLineEdit*& generic, QLineEdit*& folder,
                         QPushButton*& browse, const QString& folderCaption);
    void subFillShortcutList();
    void showPreviewBackColor();
    bool fncCheckGenericName(QLineEdit* box, QWidget* page);

    SettingsPickers m_pickers;
    int32_t m_previewBackColor = 0;

    QTabWidget* tbsSettings = nullptr;
    QWidget* picGeneral = nullptr;
    QWidget* picCapture = nullptr;
    QWidget* picTwain = nullptr;
    QWidget* picShortcuts = nullptr;
    QCheckBox* chkAllowTip = nullptr;
    QLabel* picPreviewBackground = nullptr;
    QRadioButton* optFileSize[2] = {nullptr, nullptr};
    QCheckBox* chkFolderFullRowSelect = nullptr;
    QLineEdit* txtFolderThumbnailWidth = nullptr;
    QLineEdit* txtFolderThumbnailHeight = nullptr;
    QLineEdit* txtCaptureGeneric = nullptr;
    QLineEdit* txtCaptureFolder = nullptr;
    QPushButton* cmdCaptureBrowse = nullptr;
    QLineEdit* txtTwainGeneric = nullptr;
    QLineEdit* txtTwainFolder = nullptr;
    QPushButton* cmdTwainBrowse = nullptr;
    tf::ListView* lvShortcuts = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};
