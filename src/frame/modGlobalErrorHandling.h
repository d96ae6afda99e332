#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <source_location>
#include <vector>

class frmErrorReport;

// The program's title, a blank and its edition text; the title of the frame's messages.
extern QString gstrApplicationName;

// The facts of the most recent report; each report overwrites them.
extern QString gstrErrVersion;   // major.minor.revision
extern QString gstrErrRoutine;   // "object.procedure" of the reporting trap
extern int16_t gintErrLine;      // line of the trap, 0 when unknown
extern QString gstrErrOperation; // gstrCurrentOperation when the error was reported
extern QString gstrErrText;      // number, " - ", description

// Titles of the web form's confirmation page, as browsers captioned it.
extern std::array<QString, 6> gstrSuccessTitles;

// Fills gstrApplicationName (and the reporter's other fixed texts). Safe to call more than once.
void subInitErrorHandling();

// The one program-wide reporter: records the error with the current-activity text and shows the
// error report dialog. RoutineName is the object's name, a point and the procedure's name
// ("modSaveOpenImageList.fncOpenImageBasket"). The caller ends its command afterwards.
void subGlobalErrorHandler(const QString& ErrDescription, int32_t ErrNumber, int16_t LineNumber,
                           const QString& RoutineName);

// Our error traps are try/catch blocks. These end one the way the old traps did: the error goes
// to the reporter with the trap's line, and the caller returns.
//   try { ... } catch (const std::exception& e) { subReportException(e, "modX.fncY"); return false; }
// The number is taken from std::system_error and std::bad_alloc (7, "Out of memory"); other
// exceptions report 0 unless the caller passes the number it knows.
void subReportException(const std::exception& error, const QString& RoutineName,
                        std::source_location where = std::source_location::current());
void subReportException(const std::exception& error, int32_t ErrNumber, const QString& RoutineName,
                        std::source_location where = std::source_location::current());
// For catch (...): something that is not a std::exception.
void subReportUnknownException(const QString& RoutineName,
                               std::source_location where = std::source_location::current());

namespace tf {

// One report, as the reporter stored it.
struct ErrorReportFacts {
    QString version;
    QString routine;
    int16_t line = 0;
    QString operation;
    QString text;
};

// The facts of the last report (the gstrErr... values).
ErrorReportFacts lastErrorReport();

// The error number a caught exception stands for (see subReportException).
int32_t errorNumberOf(const std::exception& error);

// The reporter shows its dialog through this seam. The real one runs frmErrorReport modally;
// tests install a recorder so that nothing blocks.
class ErrorReportPresenter {
public:
    virtual ~ErrorReportPresenter() = default;
    // Shows the report stored in the gstrErr... values; returns when the user is done with it.
    virtual void showErrorReport() = 0;
};

// nullptr restores the real dialog. The caller keeps ownership.
void setErrorReportPresenter(ErrorReportPresenter* presenter);
ErrorReportPresenter& errorReportPresenter();

// A presenter for tests: records every report. When an action is set, each report also builds a
// real frmErrorReport (loaded, not shown modally) and hands it to the action, so a test can read
// its labels or type and press Send or Cancel as a user would. Installs itself while it lives.
class ScriptedErrorReports : public ErrorReportPresenter {
public:
    ScriptedErrorReports();
    ~ScriptedErrorReports() override;
    ScriptedErrorReports(const ScriptedErrorReports&) = delete;
    ScriptedErrorReports& operator=(const ScriptedErrorReports&) = delete;

    void whileShown(std::function<void(frmErrorReport&)> action) { m_action = std::move(action); }
    const std::vector<ErrorReportFacts>& reports() const { return m_reports; }

    void showErrorReport() override;

private:
    std::function<void(frmErrorReport&)> m_action;
    std::vector<ErrorReportFacts> m_reports;
    ErrorReportPresenter* m_previous = nullptr;
};

} // namespace tf
