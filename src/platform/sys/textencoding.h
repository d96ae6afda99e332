#pragma once
#include <QByteArray>
#include <QString>

namespace tf {

// Text read from files the program writes in UTF-8 but which may come from the Windows program
// (Windows-1252): valid UTF-8 is taken as such, anything else as Windows-1252. A leading UTF-8
// byte order mark is dropped.
QString decodeUtf8OrWindows1252(const QByteArray& bytes);

QString decodeWindows1252(const QByteArray& bytes);

} // namespace tf
