#include "services/modFileSystem.h"

#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

namespace {

// Index of the point that starts the extension in the file-name part of path, or -1.
// Leading points belong to the name (".hidden", "..config").
qsizetype extensionPoint(const QString& path)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    qsizetype first = nameStart;
    while (first < path.size() && path.at(first) == QLatin1Char('.')) ++first;
    const qsizetype point = path.lastIndexOf(QLatin1Char('.'));
    return point >= first ? point : -1;
}

} // namespace

QString fncGetTempFolder()
{
    // Kept for the whole run; its destructor removes the folder at exit.
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder || !folder->isValid() || !QFileInfo(folder->path()).isDir())
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tavrel-folio-XXXXXX"));
    // Never the shared system folder itself: fixed names there are open to other users.
    if (!folder->isValid()) return tf::userTempDir() + QLatin1Char('/');
    return folder->path() + QLatin1Char('/');
}

QString fncTrimNull(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString fncGetExtension(const QString& path)
{
    const qsizetype point = extensionPoint(path);
    return point < 0 ? QString() : path.mid(point + 1);
}

QString fncRemoveExtension(const QString& path)
{
    const qsizetype point = extensionPoint(path);
    return point < 0 ? path : path.left(point);
}

QString fncGetFileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString fncGetFolder(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool subCopyFile(const QString& source, const QString& target)
{
    if (source.trimmed().isEmpty() || target.isEmpty()) return false;
    if (!QFileInfo(source).isFile()) return false;
    // Replaced only whole, so a failed copy leaves the old target (and copying a file onto itself
    // is harmless). The copy takes the source's permissions.
    tf::SafeFile out(target);
    out.setPermissions(QFile::permissions(source));
    return out.open() && out.copyFrom(source) && out.commit();
}

bool subMakeFolder(const QString& path)
{
    if (!path.isEmpty() && QFileInfo(path).isDir()) return true;
    if (!path.isEmpty() && QDir().mkdir(path)) return true;
    MsgBox(QStringLiteral("Error creating directory"), vbOKOnly);
    return false;
}

bool fncFileExists(const QString& path)
{
    if (path.trimmed().isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool fncPathExists(const QString& path, bool blnFolder)
{
    if (path.trimmed().isEmpty()) return false;
    const QFileInfo info(path);
    if (!info.exists()) return false;
    return blnFolder ? info.isDir() : !info.isDir();
}
