#include "frame/frmErrorReport.h"

#include "frame/modWWW.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"
#include "version_info.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <optional>

namespace tf {

namespace {
std::optional<QString> g_endpointOverride;
}

QString errorReportEndpoint()
{
    return g_endpointOverride ? *g_endpointOverride : QString::fromUtf8(kErrorReportEndpoint);
}

void setErrorReportEndpoint(const QString& endpoint) { g_endpointOverride = endpoint; }

QString errorReportSender(const QString& typedEmail)
{
    const QString trimmed = typedEmail.trimmed();
    return trimmed.isEmpty() ? QString::fromUtf8(kErrorReportSender) : trimmed;
}

QUrl errorReportURL(const QString& endpoint, const QString& applicationName, const QString& sender,
                    const ErrorReportFacts& facts, const QString& userDescription)
{
    // QUrlQuery alone leaves "+" and "%xx" in a value as they are, and a form decodes them into a
    // blank and another character; encoding every value first keeps it exactly as it was.
    const auto encoded = [](const QString& value) {
        return QString::fromLatin1(QUrl::toPercentEncoding(value));
    };
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ApplicationName"), encoded(applicationName));
    query.addQueryItem(QStringLiteral("EmailFrom"), encoded(sender));
    query.addQueryItem(QStringLiteral("ApplicationVersion"), encoded(facts.version));
    query.addQueryItem(QStringLiteral("RoutineName"), encoded(facts.routine));
    query.addQueryItem(QStringLiteral("ErrorLineNumber"), encoded(QString::number(facts.line)));
    query.addQueryItem(QStringLiteral("StringMessage"), encoded(facts.operation));
    query.addQueryItem(QStringLiteral("Error"), encoded(facts.text));
    query.addQueryItem(QStringLiteral("UserDescription"), encoded(userDescription));

    QString base = endpoint;
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    QUrl url(base + QString::fromLatin1(kErrorReportPath), QUrl::StrictMode);
    url.setQuery(query);
    return url;
}

QString errorReportThanks()
{
    return QStringLiteral("Report send. Thank you very much for your time.\n\n"
                          "If you had provided us with a valid email address,\n"
                          "one of our support staff will attend to this error report,\n"
                          "and you might get a responce from us");
}

QString errorReportText(const QString& applicationName, const QString& sender, const ErrorReportFacts& facts,
                        const QString& userDescription)
{
    QString text;
    const auto line = [&text](const char* key, const QString& value) {
        text += QString::fromLatin1(key) + QStringLiteral(": ") + value + QLatin1Char('\n');
    };
    line("ApplicationName", applicationName);
    line("EmailFrom", sender);
    line("ApplicationVersion", facts.version);
    line("RoutineName", facts.routine);
    line("ErrorLineNumber", QString::number(facts.line));
    line("StringMessage", facts.operation);
    line("Error", facts.text);
    text += QStringLiteral("UserDescription:\n") + userDescription;
    if (!text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
    return text;
}

SavedErrorReport saveErrorReport(const QString& text)
{
    SavedErrorReport result;
    const QString folder = userSubDir(QStringLiteral("reports"));
    if (!QFileInfo(folder).isDir()) {
        result.error = QStringLiteral("Cannot create the folder ") + QDir::toNativeSeparators(folder);
        return result;
    }
    const QString stem = folder + QStringLiteral("/error-report-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // The name is taken by creating the file empty (which fails if it exists), so two reports
    // in one second, or two running programs, never end up in one file.
    for (int n = 1; n <= 1000 && result.path.isEmpty(); ++n) {
        const QString candidate = n == 1 ? stem + QStringLiteral(".txt") : stem + QStringLiteral("-%1.txt").arg(n);
        QFile reserve(candidate);
        if (reserve.open(QIODevice::WriteOnly | QIODevice::NewOnly)) result.path = candidate;
        else if (!reserve.exists()) break; // not a name clash: the folder refuses new files
    }
    if (result.path.isEmpty()) {
        result.error = QStringLiteral("Cannot create a file in ") + QDir::toNativeSeparators(folder);
        return result;
    }
    if (!tf::writeFileSafely(result.path, text.toUtf8(), &result.error)) {
        QFile::remove(result.path); // only the empty file reserved above
        result.path.clear();
        return result;
    }
    result.saved = true;
    return result;
}

QString errorReportSavedMessage(const QString& path)
{
    return QStringLiteral("The error report was saved in this file:\n\n") + QDir::toNativeSeparators(path)
           + QStringLiteral("\n\nPlease attach it to your bug report.");
}

QString errorReportNotSavedMessage(const QString& reason)
{
    return QStringLiteral("The error report could not be saved.\n") + reason;
}

} // namespace tf

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* label = new QLabel(text, parent);
    // Error texts and file names are shown as they are, never read as markup.
    label->setTextFormat(Qt::PlainText);
    if (name) label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

frmErrorReport::frmErrorReport(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmErrorReport"));
    setWindowTitle(QStringLiteral(" Send Error Report"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);

    lblHeading = plainLabel(QString(), this, "lblHeading");
    QFont headingFont = lblHeading->font();
    headingFont.setBold(true);
    lblHeading->setFont(headingFont);
    layout->addWidget(lblHeading);

    QLabel* apology = plainLabel(
        QStringLiteral("We are sorry for the incovenience. We have created an error report that you can send "
                       "to us. We will treat this report as confidential and anonymous. To help us diagnose "
                       "the cause of this error and improve this software, please describe what you were "
                       "doing when this error occurred, and send this report to us."),
        this, "lblApology");
    apology->setWordWrap(true);
    layout->addWidget(apology);

    auto* facts = new QGridLayout;
    const auto addFact = [&](int row, const QString& caption, QLabel*& value, const char* name) {
        facts->addWidget(plainLabel(caption, this), row, 0, Qt::AlignTop);
        value = plainLabel(QString(), this, name);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        facts->addWidget(value, row, 1);
    };
    addFact(0, QStringLiteral("Application:"), lblApplication, "lblApplication");
    addFact(1, QStringLiteral("Routine:"), lblRoutine, "lblRoutine");
    addFact(2, QStringLiteral("Line:"), lblLineNumber, "lblLineNumber");
    addFact(3, QStringLiteral("System error:"), lblSystemError, "lblSystemError");
    addFact(4, QStringLiteral("Trapping String:"), lblTrappingString, "lblTrappingString");
    facts->setColumnStretch(1, 1);
    layout->addLayout(facts);

    layout->addWidget(plainLabel(QStringLiteral("Your Email address [Optional, but if you want feedback, input one]"), this));
    txtEmail = new QLineEdit(this);
    txtEmail->setObjectName(QStringLiteral("txtEmail"));
    layout->addWidget(txtEmail);

    layout->addWidget(plainLabel(QStringLiteral("Describe what you were doing when th error occured (Optional)"), this));
    txtUserDescription = new QPlainTextEdit(this);
    txtUserDescription->setObjectName(QStringLiteral("txtUserDescription"));
    txtUserDescription->setTabChangesFocus(true);
    layout->addWidget(txtUserDescription, 1);

    QLabel* sendNote = plainLabel(
        QStringLiteral("Sending this report to us will help resolve this bug/issue in upcoming release. It should "
                       "take a few seconds to submit this error report online."),
        this, "lblSendNote");
    sendNote->setWordWrap(true);
    layout->addWidget(sendNote);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cmdSend = new QPushButton(QStringLiteral("&Send"), this);
    cmdSend->setObjectName(QStringLiteral("cmdSend"));
    cmdSend->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdSend, &QPushButton::clicked, this, &frmErrorReport::cmdSend_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmErrorReport::cmdCancel_Click);

    resize(480, 520);
    subShowErrorDetails();
}

void frmErrorReport::subShowErrorDetails()
{
    if (gstrApplicationName.isEmpty()) subInitErrorHandling();
    m_facts = tf::lastErrorReport();
    lblHeading->setText(QString::fromUtf8(tf::version::kProgramName) + QStringLiteral(" has encountered a problem"));
    lblApplication->setText(gstrApplicationName + QLatin1Char(' ') + m_facts.version);
    lblLineNumber->setText(QString::number(m_facts.line));
    lblRoutine->setText(m_facts.routine);
    lblSystemError->setText(m_facts.text);
    lblTrappingString->setText(m_facts.operation);
}

void frmErrorReport::cmdSend_Click()
{
    const QString endpoint = tf::errorReportEndpoint();
    // One click, one report: the buttons stay off while the report is on its way.
    cmdSend->setEnabled(false);
    cmdCancel->setEnabled(false);
    if (endpoint.isEmpty()) {
        // Without the maker's form the report stays here, for the user to attach to a bug report;
        // only an address the user typed goes into it.
        const tf::SavedErrorReport saved = tf::saveErrorReport(tf::errorReportText(
            gstrApplicationName, txtEmail->text().trimmed(), m_facts, txtUserDescription->toPlainText()));
        if (saved.saved)
            MsgBox(tf::errorReportSavedMessage(saved.path), vbInformation, gstrApplicationName);
        else
            MsgBox(tf::errorReportNotSavedMessage(saved.error), vbCritical, gstrApplicationName);
    } else {
        const QUrl url = tf::errorReportURL(endpoint, gstrApplicationName, tf::errorReportSender(txtEmail->text()),
                                            m_facts, txtUserDescription->toPlainText());
        fncSubmitURL(url, tf::errorReportThanks());
    }
    accept();
}

void frmErrorReport::cmdCancel_Click() { reject(); }
