#include "platform/sys/filenames.h"

#include "platform/sys/userdirs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tf {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at p (1 to 4), 0 when the bytes there are not one.
int utf8Sequence(const unsigned char* p, qsizetype left)
{
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    int n = 0;
    uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07;
    else return 0;
    if (left < n) return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode would not come back as the same bytes.
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// An unpaired low surrogate U+DC80..U+DCFF stands for one byte that is no UTF-8; one that
// follows a high surrogate is half of a real character.
bool isEscapedByte(const QString& name, qsizetype i)
{
    const char16_t c = name.at(i).unicode();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF &&
           !(i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode()));
}

} // namespace

QString fileNameFromBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const int n = utf8Sequence(p + i, size - i);
        if (n == 0) {
            text += QChar(char16_t(kEscapeBase + p[i]));
            ++i;
            continue;
        }
        text += QString::fromUtf8(reinterpret_cast<const char*>(p + i), n);
        i += n;
    }
    return text;
}

QByteArray fileNameToBytes(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) {
        if (end > start) bytes += QStringView(name).mid(start, end - start).toUtf8();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapedByte(name, i)) continue;
        flush(i);
        bytes += char(name.at(i).unicode() - kEscapeBase);
        start = i + 1;
    }
    flush(name.size());
    return bytes;
}

bool hasEscapedBytes(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isEscapedByte(name, i)) return true;
    return false;
}

QString readableFileName(const QString& name)
{
    if (!hasEscapedBytes(name)) return name;
    QString readable = name;
    for (qsizetype i = 0; i < readable.size(); ++i)
        if (isEscapedByte(name, i)) readable[i] = QChar(QChar::ReplacementCharacter);
    return readable;
}

QStringList folderFileEntries(const QString& folder)
{
    QStringList names;
    for (FolderFileEntry& entry : folderFileEntries(folder, {})) names << std::move(entry.name);
    return names;
}

std::vector<FolderFileEntry> folderFileEntries(const QString& folder, const std::function<bool(const char*)>& wanted)
{
    std::vector<FolderFileEntry> entries;
    if (folder.isEmpty()) return entries;
    const QByteArray native = fileNameToBytes(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), ::closedir);
    if (!dir) return entries;
    const int fd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue; // hidden, and the folder's own entries
        if (wanted && !wanted(entry->d_name)) continue;
        struct stat st {};
        // A link counts by what it points to, as QDir::Files does.
        if (::fstatat(fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        entries.push_back({fileNameFromBytes(QByteArray(entry->d_name)), qint64(st.st_size),
                           qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    // As QDir sorts Name | IgnoreCase: by the lower-cased names, each lowered once.
    std::vector<std::pair<QString, size_t>> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) keys.emplace_back(entries[i].name.toLower(), i);
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : entries[a.second].name < entries[b.second].name;
    });
    std::vector<FolderFileEntry> sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
    return sorted;
}

QString reachablePath(const QString& path)
{
    if (!hasEscapedBytes(path)) return path;
    QByteArray native = fileNameToBytes(path);
    if (!native.startsWith('/')) native = QFile::encodeName(QDir::currentPath()) + '/' + native;
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(native, QCryptographicHash::Sha1).toHex().left(20));
    const QString folder = userSubDir(QStringLiteral("Names")) + QLatin1Char('/') + digest;
    QString leaf = readableFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    if (leaf.isEmpty()) leaf = QStringLiteral("file");
    const QString link = folder + QLatin1Char('/') + leaf;
    if (!QDir().mkpath(folder)) return {};
    const QByteArray linkBytes = QFile::encodeName(link);
    char target[4096];
    const ssize_t n = ::readlink(linkBytes.constData(), target, sizeof target);
    if (n >= 0 && QByteArray(target, n) == native) return link;
    // Not there yet, or (after a rename of ours) pointing elsewhere: made again.
    ::unlink(linkBytes.constData());
    if (::symlink(native.constData(), linkBytes.constData()) != 0) return {};
    return link;
}

} // namespace tf
