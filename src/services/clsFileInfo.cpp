#include "services/clsFileInfo.h"

#include "platform/ui/msgbox.h"
#include "services/modFileSystem.h"

#include <QApplication>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QMutex>
#include <QPainter>

clsFileInfo gclsFileInfo;

namespace {

const QString kNotCompressed = QStringLiteral("Not Compressed");
const QString kUnknownOS = QStringLiteral("Undefined or Unknown");

QLocale groupedLocale()
{
    QLocale loc;
    loc.setNumberOptions(loc.numberOptions() & ~QLocale::OmitGroupSeparator);
    return loc;
}

// size / divisor with the given number of decimals, halves rounded away from zero as the size
// texts always were; worked in whole numbers so that no binary fraction tips a half.
QString scaledText(qint64 size, qint64 divisor, int decimals)
{
    using u128 = unsigned __int128;
    const u128 scale = decimals == 2 ? 100 : 10;
    const u128 rounded = (u128(size) * scale * 2 + u128(divisor)) / (u128(divisor) * 2);
    QLocale loc;
    loc.setNumberOptions(loc.numberOptions() | QLocale::OmitGroupSeparator);
    QString fraction = loc.toString(qint64(rounded % scale));
    while (fraction.size() < decimals) fraction.prepend(loc.zeroDigit());
    return loc.toString(qint64(rounded / scale)) + loc.decimalPoint() + fraction;
}

// The locale's long time format less its time zone.
QString longTimeFormatWithoutZone(const QLocale& loc)
{
    const QString format = loc.timeFormat(QLocale::LongFormat);
    QString out;
    bool inQuote = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) inQuote = !inQuote;
        if (!inQuote && c == QLatin1Char('t')) continue;
        out.append(c);
    }
    return out.simplified();
}

// What the desktop calls a kind of file, and its icon, looked up once per kind for the whole run:
// a folder of a thousand photos asks the type database twice, not a thousand times, and never
// reads a file to tell its type. A name's kind is its extension as written (patterns may tell
// case apart); a name without one can only be matched whole, so it is its own kind.
struct FileKinds {
    struct Kind {
        QString mimeName; // empty when the desktop does not know the kind
        QString comment;
    };
    QMutex lock;
    QHash<QString, Kind> byExtension;
    QHash<QString, QIcon> iconByKind;
};

FileKinds& fileKinds()
{
    static FileKinds kinds;
    return kinds;
}

QString kindKey(const QString& fileName)
{
    const QString extension = fncGetExtension(fileName);
    return extension.isEmpty() ? QLatin1Char('/') + fileName : QLatin1Char('.') + extension;
}

FileKinds::Kind kindOf(const QString& fileName)
{
    FileKinds& kinds = fileKinds();
    const QString key = kindKey(fileName);
    {
        const QMutexLocker locked(&kinds.lock);
        const auto known = kinds.byExtension.constFind(key);
        if (known != kinds.byExtension.cend()) return *known;
    }
    // By the name alone: the patterns of the extension, no look at the file's bytes.
    const QString sample = key.startsWith(QLatin1Char('.')) ? QStringLiteral("x") + key : fileName;
    const QList<QMimeType> matches = QMimeDatabase().mimeTypesForFileName(sample);
    FileKinds::Kind kind;
    if (!matches.isEmpty() && !matches.first().isDefault()) {
        kind.mimeName = matches.first().name();
        kind.comment = matches.first().comment().trimmed();
    }
    const QMutexLocker locked(&kinds.lock);
    // Names without an extension each take an entry; a run that meets very many starts over.
    if (kinds.byExtension.size() >= 4096) kinds.byExtension.clear();
    kinds.byExtension.insert(key, kind);
    return kind;
}

void releaseSharedIcon()
{
    gclsFileInfo.ClearFileInfo();
    const QMutexLocker locked(&fileKinds().lock);
    fileKinds().iconByKind.clear();
}

} // namespace

QString fncFormatSize(qint64 size, uint8_t option)
{
    if (size == -1) return QStringLiteral("0.0KB (0 bytes)");
    const QString bytes = groupedLocale().toString(size);
    if (size < 1024) return bytes + QStringLiteral(" bytes");
    const qint64 k = size / 1024;
    QString text;
    if (k < 10)
        text = scaledText(size, 1024, 2) + QStringLiteral("KB");
    else if (k < 1000)
        text = scaledText(size, 1024, 1) + QStringLiteral("KB");
    else if (k < 10000)
        text = scaledText(size, 1048576, 2) + QStringLiteral("MB");
    else if (k < 1000000)
        text = scaledText(size, 1048576, 1) + QStringLiteral("MB");
    else
        text = scaledText(size, qint64(1) << 30, 2) + QStringLiteral("GB");
    if (option == 1) text += QStringLiteral(" (") + bytes + QStringLiteral(" bytes)");
    return text;
}

QString fncFormatDateTime(const QDateTime& when)
{
    if (!when.isValid()) return QString();
    const QLocale loc;
    const QTime t = when.time();
    return loc.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           loc.toString(QTime(t.hour(), t.minute(), t.second()), longTimeFormatWithoutZone(loc));
}

void clsFileInfo::FilePath(const QString& path)
{
    ClearFileInfo();
    mstrPath = path;
    if (!CheckIfFileExists(path)) return;
    RefreshInfo();
}

void clsFileInfo::ClearFileInfo()
{
    // Keeps nothing of the file before, the path included.
    *this = clsFileInfo();
}

void clsFileInfo::RefreshInfo()
{
    const QString path = mstrPath;
    const uint8_t option = mbytSizeOption;
    ClearFileInfo();
    mstrPath = path;
    mbytSizeOption = option;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) return;

    mstrLongName = StripFileFromPath(path);
    mstrShortPath = path;
    mstrShortName = StripFileFromPath(mstrShortPath);
    mstrLocation = mstrShortPath.left(mstrShortPath.size() - mstrShortName.size());
    mstrExtension = StripFileExtention(mstrShortName).toUpper().left(3);

    mlngSize = info.size();
    mstrSizeText = fncFormatSize(mlngSize, mbytSizeOption);

    const QDateTime modified = info.lastModified();
    const QDateTime born = info.birthTime();
    mstrCreated = fncFormatDateTime(born.isValid() ? born : modified);
    mstrModified = fncFormatDateTime(modified);
    mstrAccessed = fncFormatDateTime(info.lastRead());

    // The type as the desktop names files of its extension.
    mstrType = kindOf(mstrLongName).comment;
    if (mstrType.isEmpty()) mstrType = (mstrExtension + QStringLiteral(" File")).trimmed();

    readAttributes();

    mlngCompressedSize = 0;
    mstrCompressedSizeText = kNotCompressed;
    mstrTargetOS = kUnknownOS;
    mblnValid = true;
}

void clsFileInfo::readAttributes()
{
    const QFileInfo info(mstrPath);
    mblnHidden = mstrLongName.startsWith(QLatin1Char('.'));
    mblnReadOnly = !(info.permissions() & QFileDevice::WriteOwner);
    mblnSystem = mblnArchive = mblnCompressed = mblnTemporary = false;
    mblnNormal = !mblnHidden && !mblnReadOnly;
}

QString clsFileInfo::fSizeFormated(uint8_t option)
{
    mbytSizeOption = option;
    if (!mblnValid) return QString();
    mstrSizeText = fncFormatSize(mlngSize, option);
    return mstrSizeText;
}

void clsFileInfo::fATTR_ReadOnly(bool value)
{
    if (!mblnValid) return;
    QFileDevice::Permissions p = QFile::permissions(mstrPath);
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (value)
        p &= ~writeBits;
    else
        p |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
    QFile::setPermissions(mstrPath, p);
    readAttributes();
}

void clsFileInfo::fATTR_Normal(bool value)
{
    // Normal alone: of the attributes this platform has, only read-only can be taken away.
    if (value) fATTR_ReadOnly(false);
}

// Hiding or showing a file here would mean renaming it, which breaks every path that names it;
// the other attributes do not exist. The flags stay as the disk says.
void clsFileInfo::fATTR_Hidden(bool) { if (mblnValid) readAttributes(); }
void clsFileInfo::fATTR_Archive(bool) { if (mblnValid) readAttributes(); }
void clsFileInfo::fATTR_Compressed(bool) { if (mblnValid) readAttributes(); }
void clsFileInfo::fATTR_System(bool) { if (mblnValid) readAttributes(); }
void clsFileInfo::fATTR_Temporary(bool) { if (mblnValid) readAttributes(); }

bool clsFileInfo::CheckIfFileExists(const QString& path)
{
    // Only plain files: opening a pipe or device could wait forever or have side effects.
    if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    file.close();
    return true;
}

QString clsFileInfo::ConvertLong2Short(const QString& path)
{
    if (CheckIfFileExists(path)) return path;
    MsgBox(QStringLiteral("Could not find this file to convert to 16bit file name.") + QStringLiteral("\n\n") + path,
           vbExclamation, QStringLiteral("  File Not Found"));
    return QString();
}

QString clsFileInfo::StripFileFromPath(const QString& path) { return fncGetFileName(path); }

QString clsFileInfo::StripFileExtention(const QString& fileName) { return fncGetExtension(fileName); }

QIcon clsFileInfo::fIconH() const
{
    // Looked up when first asked for: the desktop's icon costs more than every other fact
    // together, and a folder listing gathers the facts of every file without showing an icon.
    if (!m_iconRead && mblnValid && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Icons are shared by every file of a kind; they go before the application does.
        static bool releaseRegistered = false;
        if (!releaseRegistered) {
            qAddPostRoutine(releaseSharedIcon);
            releaseRegistered = true;
        }
        const FileKinds::Kind kind = kindOf(mstrLongName);
        const QString key = kind.mimeName.isEmpty() ? kindKey(mstrLongName) : kind.mimeName;
        FileKinds& kinds = fileKinds();
        const QMutexLocker locked(&kinds.lock);
        auto known = kinds.iconByKind.find(key);
        if (known == kinds.iconByKind.end())
            known = kinds.iconByKind.insert(key, QFileIconProvider().icon(QFileInfo(mstrPath)));
        m_icon = *known;
        m_iconRead = true;
    }
    return m_icon;
}

void clsFileInfo::GetFileIcon(QPainter* hdc, int x, int y, bool icon) const
{
    if (!hdc || !icon) return;
    const QIcon shown = fIconH();
    if (shown.isNull()) return;
    shown.paint(hdc, QRect(x, y, 32, 32));
}
