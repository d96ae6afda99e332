#include "acquire/acquireNames.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace tf {

namespace {

bool taken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString folderFile(const QString& folder, const QString& name)
{
    QString f = folder.trimmed();
    if (!f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
    return f + name;
}

QString freeRandomName(const QString& folder, const QString& prefix, const QString& suffix,
                       const std::function<int()>& draw)
{
    const auto next = draw ? draw : [] { return int(QRandomGenerator::global()->bounded(9999)); };
    const auto name = [&](int n) { return folderFile(folder, prefix + QString::number(n) + suffix); };
    // A few draws find a free name unless the folder is nearly full; then every number is tried.
    for (int i = 0; i < 64; ++i) {
        const QString path = name(next());
        if (!taken(path)) return path;
    }
    for (int n = 0; n < 9999; ++n)
        if (!taken(name(n))) return name(n);
    return {};
}

QString freeNumberedName(const QString& path)
{
    if (!taken(path)) return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = info.dir().filePath(info.completeBaseName());
    for (int n = 2;; ++n) {
        const QString candidate = stem + QLatin1Char('_') + QString::number(n) + suffix;
        if (!taken(candidate)) return candidate;
    }
}

} // namespace tf
