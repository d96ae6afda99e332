#include "frame/modWWW.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

int g_timeoutMs = 30000;
std::optional<bool> g_connectedOverride;

// The pointer shows the report is on its way until its answer came, however it ends.
void showSending(bool on)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (on)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

// Whether a finished request arrived; when not, `reason` says why.
bool arrivedWell(QNetworkReply& reply, QString& reason)
{
    const QVariant statusAttr = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;
    if (reply.error() == QNetworkReply::NoError && status >= 200 && status < 300) return true;
    if (status != 0)
        reason = QStringLiteral("The server answered with HTTP status %1.").arg(status);
    else if (reply.error() == QNetworkReply::OperationCanceledError)
        reason = QStringLiteral("The server did not answer in time.");
    else
        reason = reply.errorString();
    return false;
}

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

void fncSubmitURL(const QUrl& URL, const QString& Message, std::function<void(bool arrived)> done)
{
    if (gstrApplicationName.isEmpty()) subInitErrorHandling();
    const auto answer = [&done](bool arrived) {
        if (done) done(arrived);
    };
    if (!fncIsConnected()) {
        MsgBox(QStringLiteral("No active internet connection detected on your system!"), vbCritical,
               gstrApplicationName);
        return answer(false);
    }
    fncCloseSuccessWindow();

    if (!URL.isValid() || URL.scheme().isEmpty() || URL.host().isEmpty()) {
        MsgBox(tf::submitFailureMessage(QStringLiteral("The report's address is not valid.")), vbExclamation,
               gstrApplicationName);
        return answer(false);
    }

    // The manager lives as long as its one request; the answer arrives as the reply's signal.
    auto* manager = new QNetworkAccessManager;
    QNetworkRequest request(URL);
    request.setTransferTimeout(g_timeoutMs);
    QNetworkReply* reply = manager->get(request);
    showSending(true);
    QObject::connect(reply, &QNetworkReply::finished, manager, [manager, reply, Message, done = std::move(done)] {
        showSending(false);
        QString reason;
        const bool arrived = arrivedWell(*reply, reason);
        reply->deleteLater();
        manager->deleteLater();
        if (arrived)
            MsgBox(Message, vbInformation, gstrApplicationName);
        else
            MsgBox(tf::submitFailureMessage(reason), vbExclamation, gstrApplicationName);
        if (done) done(arrived);
    });
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
