#include "acquire/frmCapture.h"

#include "acquire/CaptureController.h"
#include "frame/modSettings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tf {

frmCapture::frmCapture(CaptureController& capture, QWidget* owner) : QDialog(owner), m_capture(capture)
{
    setObjectName(QStringLiteral("frmCapture"));
    setWindowTitle(QStringLiteral("Capture"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Choose a screen to capture"), this);
    label->setObjectName(QStringLiteral("Label4"));
    layout->addWidget(label);
    const char* captions[] = {"Desktop", "Foreground", "Background"};
    // A mode read from a damaged settings file falls back to the first.
    const int16_t stored = gudtSettings.Capture.CaptureMode;
    m_mode = stored >= 0 && stored <= 2 ? stored : 0;
    for (int i = 0; i < 3; ++i) {
        optCapture[size_t(i)] = new QRadioButton(QString::fromLatin1(captions[i]), this);
        optCapture[size_t(i)]->setObjectName(QStringLiteral("optCapture%1").arg(i));
        optCapture[size_t(i)]->setChecked(i == m_mode);
        connect(optCapture[size_t(i)], &QRadioButton::clicked, this, [this, i] { optCapture_Click(i); });
        layout->addWidget(optCapture[size_t(i)]);
    }
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    connect(button("cmdCapture", "Whole Screen"), &QPushButton::clicked, this, &frmCapture::cmdCapture_Click);
    connect(button("CmdCustom", "Select Region"), &QPushButton::clicked, this, &frmCapture::CmdCustom_Click);
    connect(button("cmdExit", "Exit"), &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(buttons);
}

void frmCapture::optCapture_Click(int index) { m_mode = int16_t(index); }

void frmCapture::cmdCapture_Click()
{
    m_capture.subCapture(m_mode, this);
    accept();
}

void frmCapture::CmdCustom_Click()
{
    m_capture.selectRegion(m_mode, this);
    accept();
}

} // namespace tf
