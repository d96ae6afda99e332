#include "frame/frmAbout.h"

#include "version_info.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* makeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

frmAbout::frmAbout(AboutHooks hooks, QWidget* parent) : QDialog(parent), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(tf::version::kTitle));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(m_hooks.picture);
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    lblTitle = makeLabel(this, "lblTitle");
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    lblTitle->setFont(titleFont);
    lblEdition = makeLabel(this, "lblEdition");
    lblVersion = makeLabel(this, "lblVersion");
    lblDescription = makeLabel(this, "lblDescription");
    lblTrademark = makeLabel(this, "lblTrademark");
    lblCompany = makeLabel(this, "lblCompany");
    lblCopyright = makeLabel(this, "lblCopyright");
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto* texts = new QVBoxLayout;
    for (QLabel* label : {lblTitle, lblEdition, lblVersion, lblDescription, lblTrademark, lblCompany, lblCopyright})
        texts->addWidget(label);
    if (m_hooks.makeLink) {
        lblVarnel7 = m_hooks.makeLink(this, QUrl(homePage()).host(), [this] { lblVarnel7_Click(); });
        if (lblVarnel7) {
            lblVarnel7->setObjectName(QStringLiteral("lblVarnel7"));
            texts->addSpacing(6);
            texts->addWidget(lblVarnel7);
        }
    }
    texts->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(Image1);
    body->addSpacing(12);
    body->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* all = new QVBoxLayout(this);
    all->addLayout(body);
    all->addLayout(buttons);

    Form_Load();
}

QString frmAbout::homePage() { return QString::fromUtf8(tf::version::kHomePage); }

void frmAbout::Form_Load()
{
    lblTitle->setText(QString::fromUtf8(tf::version::kTitle));
    lblEdition->setText(QString::fromUtf8(tf::version::kComments));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(tf::version::kMajor)
                            .arg(tf::version::kMinor)
                            .arg(tf::version::kRevision));
    lblDescription->setText(QString::fromUtf8(tf::version::kDescription));
    lblTrademark->setText(QString::fromUtf8(tf::version::kTrademarks));
    lblCompany->setText(QString::fromUtf8(tf::version::kCompany));
    lblCopyright->setText(QString::fromUtf8(tf::version::kCopyright));
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::Image1_Click()
{
    if (m_hooks.openAddress) m_hooks.openAddress(homePage());
}

void frmAbout::lblVarnel7_Click()
{
    if (m_hooks.openAddress) m_hooks.openAddress(homePage());
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Image1->rect().contains(mouse->position().toPoint())) {
            Image1_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
