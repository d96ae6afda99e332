#include "support/testenv.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "services/modGenericFunctions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace tf::test {

namespace {

class UnexpectedMessages : public MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString& title) override
    {
        ADD_FAILURE() << "unexpected message box \"" << title.toStdString() << "\": " << prompt.toStdString();
        return msgBoxDefaultAnswer(style);
    }
};

class UnexpectedDialogs : public DialogProvider {
public:
    FileDialogResult fileDialog(const FileDialogRequest& request) override
    {
        ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
        return {};
    }
    ColorDialogResult colorDialog(QWidget*, const QColor&, QList<QColor>&) override
    {
        ADD_FAILURE() << "unexpected colour dialog";
        return {};
    }
    QString folderDialog(QWidget*, const QString& title, const QString&) override
    {
        ADD_FAILURE() << "unexpected folder dialog: " << title.toStdString();
        return {};
    }
};

class UnexpectedShellOpens : public ShellOpener {
public:
    bool open(const QUrl& url) override
    {
        ADD_FAILURE() << "unexpected shell open: " << url.toString().toStdString();
        return false;
    }
};

class UnexpectedErrorReports : public ErrorReportPresenter {
public:
    void showErrorReport() override
    {
        ADD_FAILURE() << "unexpected error report from " << gstrErrRoutine.toStdString() << ": "
                      << gstrErrText.toStdString();
    }
};

UnexpectedMessages g_messages;
UnexpectedShellOpens g_shellOpens;
UnexpectedDialogs g_dialogs;
UnexpectedErrorReports g_errorReports;

} // namespace

void installUnexpectedModalGuards()
{
    setMessageBoxHandler(&g_messages);
    setDialogProvider(&g_dialogs);
    setShellOpener(&g_shellOpens);
    setErrorReportPresenter(&g_errorReports);
}

TempFolder::TempFolder() { EXPECT_TRUE(m_dir.isValid()); }

QString TempFolder::write(const QString& name, const QByteArray& bytes) const
{
    const QString path = file(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QImage loadPage(const QString& path, int page)
{
    ImageDocument document;
    document.setPageIndex(page);
    document.LoadFromFile(path);
    return document.LoadFailed() ? QImage() : document.Picture();
}

QString runTool(const QString& program, const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace tf::test
