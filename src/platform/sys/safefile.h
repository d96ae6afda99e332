#pragma once
#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace tf {

// Files the user owns are replaced only whole: new content goes to a hidden temporary file in the
// same folder, which is renamed over the old file when complete. A failure anywhere leaves the
// old file byte for byte.

// A QTemporaryFile template for a hidden file beside `target` (same folder, so the rename is atomic).
QString hiddenTempTemplate(const QString& target);

// Temporary files are created private; a finished document gets the usual permissions.
inline constexpr QFileDevice::Permissions kDocumentPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

// Gives `temp` the document permissions and renames it over `target`.
bool renameOver(const QString& temp, const QString& target, QString* error);

// Writes `bytes` beside `target` and renames the result over it.
bool replaceFileAtomically(const QString& target, const QByteArray& bytes, QString* error);

} // namespace tf
