#include "players/frmScreenSaverOptions.h"

#include "frame/modSettings.h"
#include "players/PlayerCommands.h"
#include "players/dialogParts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace tf {

frmScreenSaverOptions::frmScreenSaverOptions(PlayerCommands& commands, QWidget* owner)
    : QDialog(owner), m_commands(commands)
{
    setObjectName(QStringLiteral("frmScreenSaverOptions"));
    setWindowTitle(QStringLiteral("Screen saver and slide show"));
    const typSaverSettings& saved = gudtSettings.Saver;
    auto* form = new QFormLayout;
    auto* kinds = new QHBoxLayout;
    const char* captions[] = {"Screen saver", "Slide Show"};
    for (int i = 0; i < 2; ++i) {
        m_optType[i] = new QRadioButton(QString::fromLatin1(captions[i]), this);
        m_optType[i]->setObjectName(QStringLiteral("OptType_%1").arg(i));
        kinds->addWidget(m_optType[i]);
    }
    m_optType[saved.PlayerType == 0 ? 0 : 1]->setChecked(true);
    form->addRow(QStringLiteral("Kind"), kinds);

    m_txtInterval = new QLineEdit(QString::number(saved.Interval), this);
    m_txtInterval->setObjectName(QStringLiteral("txtInterval"));
    m_txtInterval->setMaximumWidth(50);
    subAttachNumericKeyFilter(m_txtInterval);
    m_txtInterval->installEventFilter(this);
    m_vsInterval = new QScrollBar(Qt::Vertical, this);
    m_vsInterval->setObjectName(QStringLiteral("vsInterval"));
    m_vsInterval->setRange(1, 9);
    m_vsInterval->setValue(saved.Interval);
    m_vsInterval->setFixedHeight(m_txtInterval->sizeHint().height());
    connect(m_vsInterval, &QScrollBar::valueChanged, this,
            [this](int value) { m_txtInterval->setText(QString::number(value)); });
    connect(m_txtInterval, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) subDefaultIfEmpty(m_txtInterval, QStringLiteral("3"));
    });
    connect(m_txtInterval, &QLineEdit::editingFinished, this, [this] {
        subClampValue(m_txtInterval, 1, 9);
        m_vsInterval->setValue(m_txtInterval->text().toInt());
    });
    auto* interval = new QHBoxLayout;
    interval->addWidget(m_txtInterval);
    interval->addWidget(m_vsInterval);
    interval->addWidget(new QLabel(QStringLiteral("seconds per page"), this));
    interval->addStretch();
    form->addRow(QStringLiteral("Interval"), interval);

    m_sldQuality = new QSlider(Qt::Horizontal, this);
    m_sldQuality->setObjectName(QStringLiteral("sldQuality"));
    m_sldQuality->setRange(1, 100);
    m_sldQuality->setValue(saved.JpegQuality);
    m_lblQuality = new QLabel(QString::number(m_sldQuality->value()), this);
    m_lblQuality->setObjectName(QStringLiteral("lblQuality"));
    connect(m_sldQuality, &QSlider::valueChanged, m_lblQuality,
            [this](int value) { m_lblQuality->setText(QString::number(value)); });
    auto* quality = new QHBoxLayout;
    quality->addWidget(m_sldQuality);
    quality->addWidget(m_lblQuality);
    form->addRow(QStringLiteral("JPEG quality"), quality);

    m_cmdPageBackgroundColor = players::colorButton(this, "cmdPageBackgroundColor", saved.PageBackColor);
    form->addRow(QStringLiteral("Background"), m_cmdPageBackgroundColor);
    m_chkProcessEditingList = new QCheckBox(QStringLiteral("Process the edit list on every page"), this);
    m_chkProcessEditingList->setObjectName(QStringLiteral("chkProcessEditingList"));
    m_chkProcessEditingList->setChecked(saved.ProcessTaskList == 1);
    form->addRow(m_chkProcessEditingList);

    auto* cmdCreate = new QPushButton(QStringLiteral("Create"), this);
    cmdCreate->setObjectName(QStringLiteral("cmdCreate"));
    cmdCreate->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCreate, &QPushButton::clicked, this, &frmScreenSaverOptions::cmdCreate_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(players::samplesLink(this, "screensavers"));
    buttons->addStretch();
    buttons->addWidget(cmdCreate);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

bool frmScreenSaverOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_txtInterval && event->type() == QEvent::FocusIn) subCaretToEnd(m_txtInterval);
    return QDialog::eventFilter(watched, event);
}

void frmScreenSaverOptions::cmdCreate_Click()
{
    hide();
    // The box is clamped when it loses the focus; Create may come before that.
    const int16_t interval = static_cast<int16_t>(std::clamp(m_txtInterval->text().toInt(), 1, 9));
    const OleColor back = players::buttonColor(m_cmdPageBackgroundColor);
    m_commands.saverOptions() = {back, interval};
    typSaverSettings& saved = gudtSettings.Saver;
    saved.PageBackColor = back;
    saved.Interval = interval;
    saved.ProcessTaskList = m_chkProcessEditingList->isChecked() ? 1 : 0;
    saved.JpegQuality = static_cast<int16_t>(m_sldQuality->value());
    saved.PlayerType = m_optType[0]->isChecked() ? 0 : 1;
    m_commands.MkSaver(saved.PlayerType);
    accept();
}

} // namespace tf
