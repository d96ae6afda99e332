#include "platform/sys/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace tf {

QString hiddenTempTemplate(const QString& target)
{
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX");
}

bool renameOver(const QString& temp, const QString& target, QString* error)
{
    QFile::setPermissions(temp, kDocumentPermissions);
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        if (error) *error = QStringLiteral("Cannot replace ") + target;
        return false;
    }
    return true;
}

bool replaceFileAtomically(const QString& target, const QByteArray& bytes, QString* error)
{
    QSaveFile out(target);
    // Unbuffered, so that a short write (a full disk) is seen here and not hidden by commit().
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || out.write(bytes) != bytes.size() || !out.commit()) {
        if (error) *error = QStringLiteral("Cannot write ") + target;
        return false;
    }
    return true;
}

} // namespace tf
