#pragma once
// The scanner's own dialog, which the acquisition leaves the scan source, mode and resolution to:
// the devices SANE finds and the values the chosen one lists, its own settings preselected, or
// the ones chosen last while the program runs. The devices and their options are asked of the
// scanner program on a worker; the dialog fills in as the answers come.
#include "acquire/ScannerProgram.h"

#include <QDialog>

#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace tf {

class frmScanDevice : public QDialog {
    Q_OBJECT
public:
    explicit frmScanDevice(QWidget* owner);

    // What Scan chose: the device, and the options to set on it in order.
    QString device() const { return m_device; }
    std::vector<std::pair<QString, QString>> options() const { return m_options; }

    // Forgets the choices kept since the start (tests).
    static void forgetChoices();

signals:
    // SANE found no device, or could not be asked: the dialog closes without scanning.
    void noScanner(const QString& why);

private:
    void listed(const QStringList& names, const QStringList& labels, const QString& why);
    void describe();
    void described(const QString& device, const std::vector<ScannerChoice>& choices, const QString& why);
    void cmdScan_Click();
    QComboBox* combo(const QString& option) const;

    QComboBox* cboDevice = nullptr;
    QComboBox* cboSource = nullptr;
    QComboBox* cboMode = nullptr;
    QComboBox* cboResolution = nullptr;
    QLabel* lblState = nullptr;
    QPushButton* cmdScan = nullptr;
    QString m_device;
    std::vector<std::pair<QString, QString>> m_options;
};

} // namespace tf
