#include "frame/frmErrorReport.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modWWW.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"
#include "version_info.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <system_error>

// Failures print the text, not the bytes.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

using namespace tf;

namespace {

const QString kVersion = QStringLiteral("%1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision);
const QString kAppName = QStringLiteral("Tavrel Folio Professional Edition");

QString labelText(QWidget& w, const char* name)
{
    auto* label = w.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

// A stand-in for the maker's web form on the loopback interface. It keeps each request line
// exactly as it came over the wire and answers with the status it was given (0: never answers).
class FormServer {
public:
    explicit FormServer(int status)
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, status] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, status] {
                    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
                    const bool whole = request.contains("\r\n\r\n");
                    socket->setProperty("request", whole ? QByteArray() : request);
                    if (!whole) return;
                    requests.push_back(request.left(request.indexOf("\r\n")));
                    if (status == 0) return;
                    socket->write("HTTP/1.1 " + QByteArray::number(status) + " Whatever\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: 7\r\nConnection: close\r\n\r\nSuccess");
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    std::vector<QByteArray> requests;

private:
    QTcpServer m_server;
};

// The request line split the way a CGI form reads it: method, path, then key=value pairs in order,
// with "+" as a blank and %xx as a byte of UTF-8.
struct ArrivedForm {
    QString method, path;
    QStringList keys, values;
    QString value(const QString& key) const { return values.value(keys.indexOf(key), "<absent>"); }
};

ArrivedForm parseRequest(const QByteArray& requestLine)
{
    const auto decode = [](QByteArray raw) {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(raw.replace('+', ' ')));
    };
    ArrivedForm form;
    form.method = QString::fromLatin1(requestLine.split(' ').value(0));
    const QByteArray target = requestLine.split(' ').value(1);
    const qsizetype q = target.indexOf('?');
    form.path = QString::fromLatin1(target.left(q));
    for (const QByteArray& pair : target.mid(q + 1).split('&')) {
        const qsizetype eq = pair.indexOf('=');
        form.keys << decode(pair.left(eq));
        form.values << (eq < 0 ? QString() : decode(pair.mid(eq + 1)));
    }
    return form;
}

const QStringList kKeysInOrder = {"ApplicationName", "EmailFrom",      "ApplicationVersion", "RoutineName",
                                  "ErrorLineNumber", "StringMessage",  "Error",              "UserDescription"};

// Reports an error; its dialog takes the address and description given and is sent. True when the
// dialog closed after Send.
bool reportAndSend(const QString& error, int32_t number, int32_t line, const QString& routine,
                   const QString& email = {}, const QString& description = {})
{
    ScriptedErrorReports reports;
    bool closed = false;
    reports.whileShown([&](frmErrorReport& dialog) {
        dialog.findChild<QLineEdit*>("txtEmail")->setText(email);
        dialog.findChild<QPlainTextEdit*>("txtUserDescription")->setPlainText(description);
        dialog.show();
        dialog.findChild<QPushButton*>("cmdSend")->click();
        closed = !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    });
    subGlobalErrorHandler(error, number, line, routine);
    return closed;
}

class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        subInitErrorHandling();
        gstrCurrentOperation.clear();
        setConnectionStateOverride(true);
        m_timeout = submitTimeoutMs();
    }
    void TearDown() override
    {
        setConnectionStateOverride(std::nullopt);
        setErrorReportEndpoint(QString::fromUtf8(kErrorReportEndpoint));
        setSubmitTimeoutMs(m_timeout);
    }

private:
    int m_timeout = 0;
};

} // namespace

// ---- the reporter and what it stores -----------------------------------------------------------

TEST_F(ErrorReportTest, EachReportIsStoredWithTheActivityShownInItsOwnDialogAndCancelSendsNothing)
{
    FormServer server(200);
    setErrorReportEndpoint(server.endpoint());
    ScriptedErrorReports reports;
    QStringList shown;
    reports.whileShown([&](frmErrorReport& dialog) {
        for (const char* name : {"lblHeading", "lblApplication", "lblRoutine", "lblLineNumber", "lblSystemError",
                                 "lblTrappingString"})
            shown << labelText(dialog, name);
        dialog.findChild<QPushButton*>("cmdCancel")->click();
    });
    gstrCurrentOperation = "Saving a MultiPage file";
    subGlobalErrorHandler("File not found", 53, 120, "modSaveOpenImageList.fncOpenImageBasket");
    gstrCurrentOperation = "<b>Updating</b> settings to controls"; // shown as text, never as markup
    subGlobalErrorHandler("Type <i>mismatch</i>", 13, 0, "LoadPic");

    ASSERT_EQ(reports.reports().size(), 2u);
    EXPECT_EQ(shown, QStringList({"tavrel-folio has encountered a problem", kAppName + " " + kVersion,
                                  "modSaveOpenImageList.fncOpenImageBasket", "120", "53 - File not found",
                                  "Saving a MultiPage file", "tavrel-folio has encountered a problem",
                                  kAppName + " " + kVersion, "LoadPic", "0", "13 - Type <i>mismatch</i>",
                                  "<b>Updating</b> settings to controls"}));
    EXPECT_EQ(gstrErrRoutine, "LoadPic");
    EXPECT_EQ(gintErrLine, 0);
    EXPECT_EQ(gstrErrOperation, "<b>Updating</b> settings to controls");
    EXPECT_EQ(gstrErrText, "13 - Type <i>mismatch</i>");
    EXPECT_TRUE(server.requests.empty());

    // Shown as text: a message holding markup must not be rendered as it.
    EXPECT_EQ(frmErrorReport().findChild<QLabel*>("lblSystemError")->textFormat(), Qt::PlainText);
}

TEST_F(ErrorReportTest, WithoutARecorderTheRealDialogIsShownModally)
{
    ErrorReportPresenter* previous = &errorReportPresenter();
    setErrorReportPresenter(nullptr);
    QString shownName, shownRoutine;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        shownName = modal->objectName();
        shownRoutine = labelText(*modal, "lblRoutine");
        if (auto* cancel = modal->findChild<QPushButton*>("cmdCancel")) cancel->click();
        else modal->close();
    });
    subGlobalErrorHandler("Subscript out of range", 9, 7, "frmMain.subResize");
    setErrorReportPresenter(previous);
    EXPECT_EQ(shownName, "frmErrorReport");
    EXPECT_EQ(shownRoutine, "frmMain.subResize");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ErrorReportTest, CaughtExceptionsReachTheReporterWithNumberAndTrapLine)
{
    ScriptedErrorReports reports;
    const auto trap = [](auto thrown, int32_t number = -1) {
        try {
            throw thrown;
        } catch (const std::exception& e) {
            if (number < 0) subReportException(e, "modMultiPage.fncSavePagesToNewFile");
            else subReportException(e, number, "modBatch.subConvert");
        } catch (...) {
            subReportUnknownException("frmMain.subEnd");
        }
    };
    trap(std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), "opening a.tif"));
    trap(std::bad_alloc());
    trap(std::runtime_error("page 3 is damaged"), 380);
    trap(42);
    ASSERT_EQ(reports.reports().size(), 4u);
    EXPECT_TRUE(reports.reports()[0].text.startsWith(QString::number(ENOENT) + " - opening a.tif"));
    EXPECT_GT(reports.reports()[0].line, 0);
    EXPECT_TRUE(reports.reports()[1].text.startsWith("7 - "));
    EXPECT_EQ(reports.reports()[2].text, "380 - page 3 is damaged");
    EXPECT_EQ(reports.reports()[3].text, "0 - Unknown error");
    EXPECT_EQ(reports.reports()[3].routine, "frmMain.subEnd");
}

// ---- sending to a server on this machine --------------------------------------------------------

TEST_F(ErrorReportTest, ValuesWithDelimitersSurviveARealRoundTripInTheirOrder)
{
    FormServer server(200);
    setErrorReportEndpoint(server.endpoint() + "/");
    ScriptedMessageBoxes boxes;
    const QString description = "I clicked & typed a=b #3 + 50% %41 \"quoted\" ?x\nsecond line\r\nthird é";
    gstrCurrentOperation = "Saving C:/a b/c&d=e#f.tif";
    // Each send closes its dialog at once; its answer comes as an event, with its message.
    const auto answered = [&](size_t count) { return QTest::qWaitFor([&] { return boxes.shown().size() == count; }); };
    EXPECT_TRUE(reportAndSend("Bad & worse = #1", 5, -3, "mod&X.fnc=Y", "   ", description));
    EXPECT_TRUE(boxes.shown().empty()) << "the dialog closed before the answer came";
    ASSERT_TRUE(answered(1));
    EXPECT_TRUE(reportAndSend("x", 1, 1, "r", "  user+tag@example.org "));
    ASSERT_TRUE(answered(2));
    {
        // A dialog sends the report it showed, though another error came after it opened.
        ScriptedErrorReports quiet;
        quiet.whileShown({});
        subGlobalErrorHandler("first", 1, 1, "first.routine");
        frmErrorReport dialog;
        subGlobalErrorHandler("second", 2, 2, "second.routine");
        dialog.findChild<QPushButton*>("cmdSend")->click();
    }
    ASSERT_TRUE(answered(3));

    ASSERT_EQ(server.requests.size(), 3u);
    const ArrivedForm form = parseRequest(server.requests[0]);
    EXPECT_EQ(form.method, "GET");
    EXPECT_EQ(form.path, "/cgi-bin/cgiemail/support/submitBug.txt");
    EXPECT_EQ(form.keys, kKeysInOrder);
    EXPECT_EQ(form.value("ApplicationName"), kAppName);
    EXPECT_EQ(form.value("EmailFrom"), QString::fromUtf8(kErrorReportSender));
    EXPECT_EQ(form.value("ApplicationVersion"), kVersion);
    EXPECT_EQ(form.value("RoutineName"), "mod&X.fnc=Y");
    EXPECT_EQ(form.value("ErrorLineNumber"), "-3");
    EXPECT_EQ(form.value("StringMessage"), "Saving C:/a b/c&d=e#f.tif");
    EXPECT_EQ(form.value("Error"), "5 - Bad & worse = #1");
    QString typed = description; // a plain-text box hands line breaks over as LF
    typed.replace("\r\n", "\n");
    EXPECT_EQ(form.value("UserDescription"), typed);
    EXPECT_EQ(parseRequest(server.requests[1]).value("EmailFrom"), "user+tag@example.org");
    EXPECT_EQ(parseRequest(server.requests[2]).value("RoutineName"), "first.routine");

    ASSERT_EQ(boxes.shown().size(), 3u);
    EXPECT_EQ(boxes.shown()[0].prompt, errorReportThanks());
    EXPECT_EQ(boxes.shown()[0].icon(), vbInformation);
    EXPECT_EQ(boxes.shown()[0].title, kAppName);
}

TEST_F(ErrorReportTest, ErrorAnswerRefusedConnectionAndSilenceEachGiveAFailureMessage)
{
    FormServer failing(500);
    FormServer silent(0);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    setSubmitTimeoutMs(200);

    for (const auto& [endpoint, reason] : {std::pair{failing.endpoint(), QString("500")},
                                           std::pair{refused, QString()},
                                           std::pair{silent.endpoint(), QString("did not answer")}}) {
        ScriptedMessageBoxes boxes;
        std::optional<bool> arrived;
        fncSubmitURL(QUrl(endpoint + "/x?a=1"), errorReportThanks(), [&](bool ok) { arrived = ok; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.has_value(); })) << endpoint.toStdString();
        EXPECT_FALSE(*arrived);
        ASSERT_EQ(boxes.shown().size(), 1u) << endpoint.toStdString();
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("The error report could not be sent."));
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(reason)) << boxes.shown()[0].prompt.toStdString();
        EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
    }
    EXPECT_EQ(failing.requests.size(), 1u);
    EXPECT_EQ(silent.requests.size(), 1u);
}

TEST_F(ErrorReportTest, WithoutAConnectionNothingIsSentAndTheDialogStillCloses)
{
    FormServer server(200);
    setErrorReportEndpoint(server.endpoint());
    setConnectionStateOverride(false);
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(reportAndSend("x", 1, 1, "r"));
    EXPECT_TRUE(server.requests.empty());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "No active internet connection detected on your system!");
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_EQ(boxes.shown()[0].title, kAppName);
}

// ---- without an endpoint: the report is kept in a file ---------------------------------------


TEST_F(ErrorReportTest, WithoutAnEndpointEachSendKeepsItsReportInANewFile)
{
    setErrorReportEndpoint(QString());
    QDir reportsDir(userDataDir() + "/reports");
    reportsDir.removeRecursively();
    ASSERT_TRUE(reportsDir.mkpath("."));
    // Earlier reports under the names this second and the next would give stay as they are.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList earlier;
    for (const QDateTime& t : {now, now.addSecs(1)}) {
        earlier << reportsDir.filePath("error-report-" + t.toString("yyyyMMdd-HHmmss") + ".txt");
        QFile file(earlier.back());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("earlier") == 7);
    }

    ScriptedMessageBoxes boxes;
    gstrCurrentOperation = "Writing page 2";
    const QString description = "Saved a page & then = boom\nline 2";
    for (const char* routine : {"modBasket.first", "modBasket.second"})
        EXPECT_TRUE(reportAndSend("Disk full", 61, 12, routine, "  me@example.org ", description));

    for (const QString& path : earlier) EXPECT_EQ(test::readAll(path), "earlier");
    ASSERT_EQ(boxes.shown().size(), 2u);
    ASSERT_EQ(reportsDir.entryList(QDir::Files).size(), 4);
    for (size_t i = 0; i < 2; ++i) {
        const auto& box = boxes.shown()[i];
        EXPECT_EQ(box.icon(), vbInformation);
        EXPECT_EQ(box.title, kAppName);
        // The message names the file, and the file holds that report.
        const QString path = box.prompt.section('\n', 2, 2);
        EXPECT_EQ(box.prompt, errorReportSavedMessage(path));
        EXPECT_FALSE(earlier.contains(path));
        const QString text = QString::fromUtf8(test::readAll(path));
        EXPECT_TRUE(text.contains(i == 0 ? "RoutineName: modBasket.first\n" : "RoutineName: modBasket.second\n"));
        EXPECT_TRUE(text.contains("EmailFrom: me@example.org\n"));
        EXPECT_TRUE(text.contains("StringMessage: Writing page 2\n"));
        EXPECT_TRUE(text.contains("Error: 61 - Disk full\n"));
        EXPECT_TRUE(text.endsWith("UserDescription:\n" + description + "\n"));
    }
}

TEST_F(ErrorReportTest, AReportThatCannotBeSavedSaysSoAndTheDialogCloses)
{
    setErrorReportEndpoint(QString());
    const QString reportsPath = userDataDir() + "/reports";
    QDir(reportsPath).removeRecursively();
    QFile file(reportsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not a folder") == 12);
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(reportAndSend("boom", 5, 0, "x.y"));
    QFile::remove(reportsPath);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("The error report could not be saved.\n"));
}

TEST(WebRoutines, BackslashTrimAndTheRoutinesWithNothingToFind)
{
    EXPECT_EQ(fncTrimBackslashes("\\Software\\Key\\"), "Software\\Key");
    EXPECT_EQ(fncTrimBackslashes("\\\\Key"), "\\Key");
    EXPECT_EQ(fncTrimBackslashes("\\"), "");
    EXPECT_EQ(fncTrimBackslashes("Key"), "Key");
    EXPECT_EQ(fncGetIEPath(), "");
}
