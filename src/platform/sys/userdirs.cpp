#include "platform/sys/userdirs.h"

#include "version_info.h"

#include <QCoreApplication>
#include <QDir>

namespace tf {

namespace {
QString dataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rules say a relative value is invalid and must be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.local/share");
}
} // namespace

QString userDataDir()
{
    const QString dir = dataHome() + QLatin1Char('/') + QString::fromLatin1(version::kProgramName);
    QDir().mkpath(dir);
    return dir;
}

QString userSubDir(const QString& name)
{
    const QString dir = userDataDir() + QLatin1Char('/') + name;
    QDir().mkpath(dir);
    return dir;
}

QString userTempDir()
{
    return userSubDir(QStringLiteral("Temp"));
}

QString programDir()
{
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

} // namespace tf
