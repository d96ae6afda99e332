#pragma once
// File names that are not valid UTF-8. Linux names are bytes; Qt's own file classes carry names
// as text and cannot reach a file whose name has a byte that is no UTF-8 (QDir does not even
// list it). Such a byte is carried in a QString as an unpaired low surrogate (U+DC80 + byte), so
// the name keeps every byte, and the file is reached through a stable link of ours whose name
// is text, which every library (and the decoder program) can open.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace tf {

// The bytes of a name as text: UTF-8 where valid, each other byte escaped.
QString fileNameFromBytes(const QByteArray& bytes);
// Back to the bytes the file system holds.
QByteArray fileNameToBytes(const QString& name);
// Whether a name carries escaped bytes (and so needs reachablePath to be opened).
bool hasEscapedBytes(const QString& name);
// The name as a person reads it: escaped bytes shown as U+FFFD.
QString readableFileName(const QString& name);

// The plain files of a folder (no hidden ones), every name included, sorted as QDir sorts
// QDir::Name | QDir::IgnoreCase.
QStringList folderFileEntries(const QString& folder);

// A plain file of a folder with what tells that it was written (size, modification time in ns).
struct FolderFileEntry {
    QString name;
    qint64 size = 0;
    qint64 modified = 0;
};
// The same files in the same order, only those whose name (the bytes the folder holds) `wanted`
// takes: asked before the file is looked at, so that the others cost nothing but their names.
std::vector<FolderFileEntry> folderFileEntries(const QString& folder, const std::function<bool(const char*)>& wanted);

// A path that Qt and the image libraries can open for `path`: the path itself, or for a name
// with escaped bytes a link in the data folder ("Names/<digest>/<readable name>") to the file.
// The link's name reads as the file's, so windows and messages show it; the same file always
// gets the same link, so a basket file that names it stays good. Empty when the link cannot be
// made.
QString reachablePath(const QString& path);

} // namespace tf
