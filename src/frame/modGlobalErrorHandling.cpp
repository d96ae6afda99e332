#include "frame/modGlobalErrorHandling.h"

#include "frame/frmErrorReport.h"
#include "frame/globals.h"
#include "version_info.h"

#include <QApplication>
#include <new>
#include <system_error>

QString gstrCurrentOperation;
QString gstrApplicationName;

QString gstrErrVersion;
QString gstrErrRoutine;
int16_t gintErrLine = 0;
QString gstrErrOperation;
QString gstrErrText;

std::array<QString, 6> gstrSuccessTitles;

void subInitErrorHandling()
{
    gstrSuccessTitles = {
        QStringLiteral("Success - Windows Internet Explorer"),
        QStringLiteral("Success - Microsoft Internet Explorer"),
        QStringLiteral("Success"),
        QStringLiteral("Success - Internet Explorer"),
        QStringLiteral("Success - Explorer"),
        QStringLiteral("Success - Windows Explorer"),
    };
    gstrApplicationName = QString::fromUtf8(tf::version::kTitle) + QLatin1Char(' ')
                          + QString::fromUtf8(tf::version::kComments);
}

void subGlobalErrorHandler(const QString& ErrDescription, int32_t ErrNumber, int16_t LineNumber,
                           const QString& RoutineName)
{
    // A report can arrive before the main window's set-up ran (or from a tool without one); the
    // dialog and its messages still need their title.
    if (gstrApplicationName.isEmpty()) subInitErrorHandling();

    gstrErrVersion = QStringLiteral("%1.%2.%3")
                         .arg(tf::version::kMajor)
                         .arg(tf::version::kMinor)
                         .arg(tf::version::kRevision);
    gstrErrRoutine = RoutineName;
    gintErrLine = LineNumber;
    gstrErrOperation = gstrCurrentOperation;
    gstrErrText = QString::number(ErrNumber) + QStringLiteral(" - ") + ErrDescription;

    tf::errorReportPresenter().showErrorReport();
}

namespace {

int16_t lineOf(const std::source_location& where)
{
    const auto line = where.line();
    return line > 32767 ? int16_t(0) : int16_t(line);
}

QString describe(const std::exception& error)
{
    const QString text = QString::fromUtf8(error.what());
    return text.isEmpty() ? QStringLiteral("Unknown error") : text;
}

} // namespace

void subReportException(const std::exception& error, const QString& RoutineName, std::source_location where)
{
    subGlobalErrorHandler(describe(error), tf::errorNumberOf(error), lineOf(where), RoutineName);
}

void subReportException(const std::exception& error, int32_t ErrNumber, const QString& RoutineName,
                        std::source_location where)
{
    subGlobalErrorHandler(describe(error), ErrNumber, lineOf(where), RoutineName);
}

void subReportUnknownException(const QString& RoutineName, std::source_location where)
{
    subGlobalErrorHandler(QStringLiteral("Unknown error"), 0, lineOf(where), RoutineName);
}

namespace tf {

ErrorReportFacts lastErrorReport()
{
    return {gstrErrVersion, gstrErrRoutine, gintErrLine, gstrErrOperation, gstrErrText};
}

int32_t errorNumberOf(const std::exception& error)
{
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) return system->code().value();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return 7;
    return 0;
}

namespace {

class DialogPresenter : public ErrorReportPresenter {
public:
    void showErrorReport() override
    {
        // Without a widget application there is no one to show a window to.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            qWarning("%s: %s (line %d; %s)", qPrintable(gstrErrRoutine), qPrintable(gstrErrText),
                     int(gintErrLine), qPrintable(gstrErrOperation));
            return;
        }
        frmErrorReport dialog(QApplication::activeWindow());
        dialog.exec();
    }
};

DialogPresenter g_dialogPresenter;
ErrorReportPresenter* g_presenter = nullptr;

} // namespace

void setErrorReportPresenter(ErrorReportPresenter* presenter) { g_presenter = presenter; }

ErrorReportPresenter& errorReportPresenter() { return g_presenter ? *g_presenter : g_dialogPresenter; }

ScriptedErrorReports::ScriptedErrorReports() : m_previous(g_presenter) { g_presenter = this; }

ScriptedErrorReports::~ScriptedErrorReports()
{
    if (g_presenter == this) g_presenter = m_previous;
}

void ScriptedErrorReports::showErrorReport()
{
    m_reports.push_back(lastErrorReport());
    if (m_action) {
        frmErrorReport dialog;
        m_action(dialog);
    }
}

} // namespace tf
