#include "frame/modWWW.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

int g_timeoutMs = 30000;
std::optional<bool> g_connectedOverride;

// Restores the pointer however the wait ends.
class WaitCursor {
public:
    WaitCursor()
    {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_set = true;
        }
    }
    ~WaitCursor()
    {
        if (m_set) QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_set = false;
};

} // namespace

QString fncRegGetString(int32_t, const QString&, const QString&, const QString& strDefault)
{
    return strDefault;
}

QString fncTrimBackslashes(const QString& strPath)
{
    QString out = strPath;
    if (out.startsWith(QLatin1Char('\\'))) out.remove(0, 1);
    if (out.endsWith(QLatin1Char('\\'))) out.chop(1);
    return out;
}

QString fncGetIEPath()
{
    return fncRegGetString(HKEY_LOCAL_MACHINE,
                           QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE"),
                           QString(), QString());
}

bool fncCloseSuccessWindow() { return false; }

bool fncIsConnected()
{
    if (g_connectedOverride) return *g_connectedOverride;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) {
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        info = QNetworkInformation::instance();
    }
    if (!info) return true;
    return info->reachability() != QNetworkInformation::Reachability::Disconnected;
}

bool fncSubmitURL(const QUrl& URL, const QString& Message)
{
    if (gstrApplicationName.isEmpty()) subInitErrorHandling();
    if (!fncIsConnected()) {
        MsgBox(QStringLiteral("No active internet connection detected on your system!"), vbCritical,
               gstrApplicationName);
        return false;
    }
    fncCloseSuccessWindow();

    if (!URL.isValid() || URL.scheme().isEmpty() || URL.host().isEmpty()) {
        MsgBox(tf::submitFailureMessage(QStringLiteral("The report's address is not valid.")), vbExclamation,
               gstrApplicationName);
        return false;
    }

    QNetworkAccessManager manager;
    QNetworkRequest request(URL);
    request.setTransferTimeout(g_timeoutMs);
    QNetworkReply* reply = manager.get(request);

    bool arrived = false;
    QString reason;
    {
        WaitCursor cursor;
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        arrived = true;
    } else if (status != 0) {
        reason = QStringLiteral("The server answered with HTTP status %1.").arg(status);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        reason = QStringLiteral("The server did not answer in time.");
    } else {
        reason = reply->errorString();
    }
    delete reply;

    if (arrived) {
        MsgBox(Message, vbInformation, gstrApplicationName);
    } else {
        MsgBox(tf::submitFailureMessage(reason), vbExclamation, gstrApplicationName);
    }
    return arrived;
}

namespace tf {

int submitTimeoutMs() { return g_timeoutMs; }
void setSubmitTimeoutMs(int ms) { g_timeoutMs = ms > 0 ? ms : 1; }

void setConnectionStateOverride(std::optional<bool> connected) { g_connectedOverride = connected; }

QString submitFailureMessage(const QString& reason)
{
    QString text = QStringLiteral("The error report could not be sent.");
    if (!reason.isEmpty()) text += QLatin1Char('\n') + reason;
    text += QStringLiteral("\n\nPlease try again later.");
    return text;
}

} // namespace tf
