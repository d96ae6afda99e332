#include "basket/modSaveOpenImageList.h"

#include "basket/basketAdding.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/imagebox/imagebox_error.h"
#include "services/clsFile.h"
#include "services/clsFileInfo.h"

#include <QFileInfo>
#include <QSet>
#include <exception>

namespace {

// The number the old traps reported for each kind of error we raise.
int32_t numberOf(const std::exception& error)
{
    if (const auto* file = dynamic_cast<const tf::FileError*>(&error)) return file->number();
    if (const auto* image = dynamic_cast<const tf::ImageBoxError*>(&error)) return image->number();
    return tf::errorNumberOf(error);
}

void report(const std::exception& error, const QString& routine) { subReportException(error, numberOf(error), routine); }

QString lowerEnding(const QString& name) { return name.right(4).toLower(); }

} // namespace

QString fncBasketFileName(const QString& strFileName)
{
    return lowerEnding(strFileName) == QStringLiteral(".ibf") ? strFileName : strFileName + QStringLiteral(".ibf");
}

bool fncSaveImageBasket(int16_t intMode, QString& strFileName, const tf::basket::BasketModel& basket,
                        QStringList& lstUniqueFiles)
{
    if (basket.isEmpty()) return false;
    // Only the ".ibf" form is written; no command ever asked for another.
    if (intMode != 1 && intMode != 2) return false;
    try {
        // A page without a source would come back as a blank line, which names nothing.
        lstUniqueFiles = basket.distinctSources();
        strFileName = fncBasketFileName(strFileName);

        clsFile file;
        if (!file.OpenForWrite(strFileName))
            throw tf::FileError(75, QStringLiteral("Path/File access error (%1)").arg(strFileName));
        for (const QString& path : lstUniqueFiles) file.writeline(path);
        file.closefile(); // the old file is replaced only here, once the new one is whole
        return true;
    } catch (const std::exception& e) {
        report(e, QStringLiteral("modSaveOpenImageList.fncSaveImageBasket"));
        return false;
    }
}

QStringList fncBasketFileUnnamable(const QStringList& paths)
{
    QStringList unnamable;
    for (const QString& path : paths)
        if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) unnamable << path;
    return unnamable;
}

QString fncStripQuotes(const QString& strLine)
{
    if (strLine.size() >= 2 && strLine.startsWith(QLatin1Char('"')) && strLine.endsWith(QLatin1Char('"'))) {
        QString inner = strLine.mid(1, strLine.size() - 2);
        inner.replace(QStringLiteral("\"\""), QStringLiteral("\""));
        return inner;
    }
    return strLine;
}

QStringList fncSplitBasketRecord(const QString& strLine)
{
    QStringList fields;
    qsizetype i = 0;
    const qsizetype n = strLine.size();
    for (;;) {
        while (i < n && (strLine[i] == QLatin1Char(' ') || strLine[i] == QLatin1Char('\t'))) ++i;
        QString field;
        if (i < n && strLine[i] == QLatin1Char('"')) {
            for (++i; i < n; ++i) {
                if (strLine[i] == QLatin1Char('"')) {
                    if (i + 1 < n && strLine[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += strLine[i];
            }
            // Whatever stands between the closing quote and the comma is not part of the text.
            while (i < n && strLine[i] != QLatin1Char(',')) ++i;
        } else {
            while (i < n && strLine[i] != QLatin1Char(',')) field += strLine[i++];
            field = field.trimmed();
        }
        fields << field;
        if (i >= n) break;
        ++i; // the comma
    }
    return fields;
}

std::vector<typImageBasketEntry> fncReadImageBasket(const QString& strFileName)
{
    const QString ending = lowerEnding(strFileName);
    const bool ibf = ending == QStringLiteral(".ibf");
    const bool ibd = ending == QStringLiteral(".ibd");

    clsFile file;
    if (!file.OpenForRead(strFileName)) {
        if (!QFileInfo::exists(strFileName)) throw tf::FileError(53, QStringLiteral("File not found"));
        throw tf::FileError(75, QStringLiteral("Path/File access error"));
    }
    std::vector<typImageBasketEntry> entries;
    if (!ibf && !ibd) return entries;

    // A path is taken once: the basket never holds one source twice.
    QSet<QString> seen;
    while (!file.fEof()) {
        const QString line = file.readLine().trimmed();
        if (line.isEmpty()) continue;
        typImageBasketEntry entry;
        if (ibf) {
            entry.path = fncStripQuotes(line);
        } else {
            const QStringList fields = fncSplitBasketRecord(line);
            entry.path = fields.value(0);
            entry.description = fields.value(1);
        }
        if (entry.path.isEmpty() || seen.contains(entry.path)) continue;
        seen.insert(entry.path);
        entries.push_back(std::move(entry));
    }
    file.closefile();
    return entries;
}

tf::basket::AddSource fncBasketEntrySource(const QString& strPath)
{
    tf::basket::AddSource source;
    clsFileInfo info;
    info.FilePath(strPath);
    const QString extension = QFileInfo(strPath).suffix().toLower();
    const QString displayName = clsFileInfo::StripFileFromPath(strPath);
    source.path = strPath;
    source.failName = strPath;
    source.displayName = displayName;
    // Only TIFF files are split again; their pages are counted by the decoders first.
    source.countPages = extension == QStringLiteral("tif") || extension == QStringLiteral("tiff");
    source.naming.pageName = displayName;
    source.naming.tempBase = displayName;
    source.naming.failName = strPath;
    source.page.text = displayName;
    source.page.tag = strPath;
    source.page.sizeText = info.fSizeFormated();
    source.page.typeText = info.fType();
    source.page.source = strPath;
    return source;
}

bool fncOpenImageBasket(const QString& strFileName, std::vector<tf::basket::AddSource>& sources, int* entryCount,
                        QStringList* missing)
{
    std::vector<typImageBasketEntry> entries;
    try {
        entries = fncReadImageBasket(strFileName);
    } catch (const std::exception& e) {
        report(e, QStringLiteral("modSaveOpenImageList.fncOpenImageBasket"));
        return false;
    }
    sources.clear();
    if (missing) missing->clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        const QString& path = entries[i].path;
        if (!clsFileInfo::CheckIfFileExists(path)) {
            if (missing) *missing << path;
            continue;
        }
        sources.push_back(fncBasketEntrySource(path));
        sources.back().progress = int(i) + 1;
    }
    if (entryCount) *entryCount = int(entries.size());
    return true;
}
