#pragma once
#include "frame/modGlobalErrorHandling.h"

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Where reports go and who they come from when the user gives no address. A packager sets the
// endpoint (scheme and host) with cmake -DTF_ERROR_REPORT_ENDPOINT=https://...; without one, Send
// keeps the report in a file of the per-user folder for the user to pass on.
#ifndef TF_ERROR_REPORT_ENDPOINT
#define TF_ERROR_REPORT_ENDPOINT ""
#endif

namespace tf {

inline constexpr const char* kErrorReportEndpoint = TF_ERROR_REPORT_ENDPOINT;
inline constexpr const char* kErrorReportSender = "bugreport@tavrelfolio.example";
inline constexpr const char* kErrorReportPath = "/cgi-bin/cgiemail/support/submitBug.txt";

// The endpoint in use: the constant above unless a test pointed it elsewhere. Empty: reports are
// kept in files.
QString errorReportEndpoint();
void setErrorReportEndpoint(const QString& endpoint);

// The typed address with blanks trimmed, or the fixed sender when nothing is left.
QString errorReportSender(const QString& typedEmail);

// The report's address: the endpoint, the form's path and the eight values in their fixed order.
// Each value is percent-encoded completely ("+" and "%" included), so the form decodes exactly
// what was recorded and typed.
QUrl errorReportURL(const QString& endpoint, const QString& applicationName, const QString& sender,
                    const ErrorReportFacts& facts, const QString& userDescription);

// The message shown once the report has arrived.
QString errorReportThanks();

// The report as a text file a person reads: the same eight values as the web form, one per line,
// the user's description last and as typed.
QString errorReportText(const QString& applicationName, const QString& sender, const ErrorReportFacts& facts,
                        const QString& userDescription);

// Keeps the report in a new file of the per-user "reports" folder; an earlier report is never
// replaced. The file's path, or why it could not be written, in the return value's fields.
struct SavedErrorReport {
    bool saved = false;
    QString path;
    QString error;
};
SavedErrorReport saveErrorReport(const QString& text);

// What the user is told once the report is in a file, or could not be put there.
QString errorReportSavedMessage(const QString& path);
QString errorReportNotSavedMessage(const QString& reason);

} // namespace tf

// The error report dialog. It shows the report stored when it was loaded and sends that one,
// even if another error is reported while it is open.
class frmErrorReport : public QDialog {
    Q_OBJECT
public:
    explicit frmErrorReport(QWidget* parent = nullptr);

    void subShowErrorDetails();

public slots:
    void cmdSend_Click();
    void cmdCancel_Click();

private:
    tf::ErrorReportFacts m_facts;
    QLabel* lblHeading = nullptr;
    QLabel* lblApplication = nullptr;
    QLabel* lblRoutine = nullptr;
    QLabel* lblLineNumber = nullptr;
    QLabel* lblSystemError = nullptr;
    QLabel* lblTrappingString = nullptr;
    QLineEdit* txtEmail = nullptr;
    QPlainTextEdit* txtUserDescription = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdCancel = nullptr;
};
