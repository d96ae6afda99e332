#include "players/frmExecutable.h"

#include "frame/modSettings.h"
#include "players/PlayerBuild.h"
#include "players/PlayerCommands.h"
#include "players/dialogParts.h"
#include "players/kit/ClockFace.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tf {

frmExecutable::frmExecutable(PlayerCommands& commands, QWidget* owner) : QDialog(owner), m_commands(commands)
{
    setObjectName(QStringLiteral("frmExecutable"));
    setWindowTitle(QStringLiteral("Effect slide show"));
    const auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    m_lstStyles = new QListWidget(this);
    named(m_lstStyles, "lstStyles");
    m_lstStyles->setFixedWidth(120);

    m_frameNothing = new QGroupBox(QStringLiteral("Options"), this);
    named(m_frameNothing, "FrameNothing");
    (new QVBoxLayout(m_frameNothing))->addWidget(new QLabel(QStringLiteral("This style has no options."), m_frameNothing));

    m_frameRollingText = new QGroupBox(QStringLiteral("Rolling text"), this);
    named(m_frameRollingText, "frameRollingText");
    m_txtRaining = new QLineEdit(m_frameRollingText);
    named(m_txtRaining, "txtRaining");
    m_cmdRollingTextColor = players::colorButton(m_frameRollingText, "cmdRollingTextColor", 0);
    auto* rolling = new QHBoxLayout(m_frameRollingText);
    rolling->addWidget(m_txtRaining);
    rolling->addWidget(m_cmdRollingTextColor);

    m_frameClock = new QGroupBox(QStringLiteral("Clock"), this);
    named(m_frameClock, "frameClock");
    auto* clock = new QGridLayout(m_frameClock);
    const char* kinds[] = {"Analog", "Digital"};
    for (int i = 0; i < 2; ++i) {
        m_optClock[i] = new QRadioButton(QString::fromLatin1(kinds[i]), m_frameClock);
        m_optClock[i]->setObjectName(QStringLiteral("optClock_%1").arg(i));
        clock->addWidget(m_optClock[i], 0, i);
        connect(m_optClock[i], &QRadioButton::clicked, this, [this, i] { optClock_Click(i); });
    }
    m_cmdHour = players::colorButton(m_frameClock, "cmdHour", 0);
    m_cmdMinute = players::colorButton(m_frameClock, "cmdMinute", 0);
    m_cmdSecond = players::colorButton(m_frameClock, "cmdSecond", 0);
    clock->addWidget(new QLabel(QStringLiteral("Hands"), m_frameClock), 1, 0);
    auto* hands = new QHBoxLayout;
    hands->addWidget(m_cmdHour);
    hands->addWidget(m_cmdMinute);
    hands->addWidget(m_cmdSecond);
    clock->addLayout(hands, 1, 1);
    m_lblDigitalClockColor = new QLabel(QStringLiteral("Digital clock colour"), m_frameClock);
    named(m_lblDigitalClockColor, "lblDigitalClockColor");
    m_cmdDigitalClockColor = players::colorButton(m_frameClock, "cmdDigitalClockColor", 0);
    clock->addWidget(m_lblDigitalClockColor, 2, 0);
    clock->addWidget(m_cmdDigitalClockColor, 2, 1);
    m_chkDate = new QCheckBox(QStringLiteral("Show the date"), m_frameClock);
    named(m_chkDate, "chkDate");
    m_cmdDateColor = players::colorButton(m_frameClock, "cmdDateColor", 0);
    clock->addWidget(m_chkDate, 3, 0);
    clock->addWidget(m_cmdDateColor, 3, 1);
    connect(m_chkDate, &QCheckBox::clicked, this, &frmExecutable::chkDate_Click);

    // A sample of the analog clock, at ten past ten as clocks are shown.
    m_picClock = new QLabel(this);
    named(m_picClock, "picClock");
    QImage face(110, 110, QImage::Format_RGB32);
    face.fill(Qt::white);
    players::EffectExeOptions sample;
    sample.HourHandColor = 255;
    sample.MinuteHandColor = 32768;
    sample.SecondHandColor = 0x808080;
    m_picClock->setPixmap(QPixmap::fromImage(
        players::drawClock(face, QDateTime(QDate(2000, 1, 1), QTime(10, 10, 30)), sample, QLocale::c())));

    auto* cmdCreate = new QPushButton(QStringLiteral("Create"), this);
    named(cmdCreate, "cmdCreate");
    cmdCreate->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    named(cmdCancel, "cmdCancel");
    connect(cmdCreate, &QPushButton::clicked, this, &frmExecutable::cmdCreate_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* options = new QVBoxLayout;
    options->addWidget(m_frameNothing);
    options->addWidget(m_frameRollingText);
    options->addWidget(m_frameClock);
    options->addWidget(m_picClock, 0, Qt::AlignHCenter);
    options->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(m_lstStyles);
    top->addLayout(options);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(players::samplesLink(this, "greetings"));
    buttons->addStretch();
    buttons->addWidget(cmdCreate);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    connect(m_lstStyles, &QListWidget::currentRowChanged, this, &frmExecutable::lstStyles_Click);
    subSetup();
}

void frmExecutable::subSetup()
{
    const typEffectExeSettings& saved = gudtSettings.EffectExe;
    for (const EffectStyle& style : kEffectStyles) m_lstStyles->addItem(QString::fromLatin1(style.text));
    m_lstStyles->setCurrentRow(std::clamp<int>(saved.Style, 0, 3));
    lstStyles_Click();
    m_txtRaining->setText(saved.GreetingText);
    players::setButtonColor(m_cmdRollingTextColor, saved.RollingTextColor);
    m_optClock[saved.ClockKind == 1 ? 1 : 0]->setChecked(true);
    m_picClock->hide();
    m_cmdDigitalClockColor->setVisible(saved.ClockKind == 1);
    m_lblDigitalClockColor->setVisible(saved.ClockKind == 1);
    players::setButtonColor(m_cmdDigitalClockColor, saved.DigitalClockColor);
    m_chkDate->setChecked(saved.ShowDate == 1);
    m_cmdDateColor->setVisible(saved.ShowDate == 1);
    players::setButtonColor(m_cmdDateColor, saved.DateColor);
    players::setButtonColor(m_cmdHour, saved.HourHandColor);
    players::setButtonColor(m_cmdMinute, saved.MinuteHandColor);
    players::setButtonColor(m_cmdSecond, saved.SecondHandColor);
}

void frmExecutable::lstStyles_Click()
{
    m_frameNothing->hide();
    m_frameRollingText->hide();
    m_frameClock->hide();
    m_picClock->hide();
    const int index = m_lstStyles->currentRow();
    if (index == 0 || index == 1) m_frameNothing->show();
    if (index == 2) m_frameRollingText->show();
    if (index == 3) {
        m_frameClock->show();
        if (m_optClock[0]->isChecked()) m_picClock->show();
    }
}

void frmExecutable::optClock_Click(int index)
{
    m_cmdDigitalClockColor->setVisible(index == 1);
    m_lblDigitalClockColor->setVisible(index == 1);
    m_picClock->setVisible(index != 1);
}

void frmExecutable::chkDate_Click() { m_cmdDateColor->setVisible(m_chkDate->isChecked()); }

void frmExecutable::cmdCreate_Click()
{
    const int index = std::max(0, m_lstStyles->currentRow());
    players::EffectExeOptions& options = m_commands.effectOptions();
    typEffectExeSettings& saved = gudtSettings.EffectExe;
    if (index == 2) {
        options.RollingText = players::rollingTextBytes(m_txtRaining->text());
        options.RollingTextColor = players::buttonColor(m_cmdRollingTextColor);
        saved.GreetingText = QString::fromUtf8(options.RollingText);
        saved.RollingTextColor = options.RollingTextColor;
    }
    if (index == 3) {
        options.ShowDate = m_chkDate->isChecked() ? 1 : 0;
        options.ClockType = m_optClock[0]->isChecked() ? 0 : 1;
        options.DateColor = players::buttonColor(m_cmdDateColor);
        options.DigitalClockColor = players::buttonColor(m_cmdDigitalClockColor);
        options.HourHandColor = players::buttonColor(m_cmdHour);
        options.MinuteHandColor = players::buttonColor(m_cmdMinute);
        options.SecondHandColor = players::buttonColor(m_cmdSecond);
        saved.ShowDate = options.ShowDate;
        saved.ClockKind = options.ClockType;
        saved.DateColor = options.DateColor;
        saved.DigitalClockColor = options.DigitalClockColor;
        saved.HourHandColor = options.HourHandColor;
        saved.MinuteHandColor = options.MinuteHandColor;
        saved.SecondHandColor = options.SecondHandColor;
    }
    saved.Style = static_cast<int16_t>(index);
    hide();
    typCommonDialog dialog;
    dialog.hwndOwner = parentWidget();
    dialog.strDialogTitle = QStringLiteral("Save IMAGE as Effect Executable");
    dialog.strFilter = QStringLiteral("Exe File (*.exe)|*.exe");
    dialog.lngFlags = 5;
    // The build asks its own question, about the name with its extension.
    dialog.blnConfirmOverwrite = false;
    const QString chosen = fncShowSave(dialog).strFileName;
    if (!chosen.isEmpty())
        m_commands.subMakeEffectExe(static_cast<int16_t>(index), fncWithExtension(chosen, QStringLiteral(".exe")),
                                    m_commands.previewFile(), true);
    accept();
}

} // namespace tf
