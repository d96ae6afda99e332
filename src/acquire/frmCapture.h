#pragma once
// The capture dialog: which screen to capture, and the whole of it or a region.
#include <QDialog>

#include <array>
#include <cstdint>

class QRadioButton;
class QPushButton;

namespace tf {

class CaptureController;

class frmCapture : public QDialog {
    Q_OBJECT
public:
    frmCapture(CaptureController& capture, QWidget* owner);
    int16_t mode() const { return m_mode; }

    void optCapture_Click(int index);
    void cmdCapture_Click();
    void CmdCustom_Click();

private:
    CaptureController& m_capture;
    // The dialog's own mode: choosing one here does not change the default offered next time.
    int16_t m_mode = 0;
    std::array<QRadioButton*, 3> optCapture{};
};

} // namespace tf
