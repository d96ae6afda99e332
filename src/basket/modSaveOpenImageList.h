#pragma once
// The image basket file: ".ibf", one quoted source path per line (UTF-8, CR LF), written from the
// basket and read back into it; ".ibd" records of a quoted path and a description are read too.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace tf::basket {
class BasketModel;
struct AddSource;
} // namespace tf::basket

// One entry of a basket file.
struct typImageBasketEntry {
    QString path;
    QString description; // ".ibd" only; not kept in the basket
    bool operator==(const typImageBasketEntry&) const = default;
};

// The name a basket file is written under: ".ibf" appended to a name that does not end in it (any case).
QString fncBasketFileName(const QString& strFileName);

// Writes the distinct sources of the basket (in the order of their first page) to strFileName,
// replacing it only once the new file is complete. Modes 1 and 2 write ".ibf" under
// fncBasketFileName(strFileName). False for an empty basket, another mode, or after an error
// (reported as "modSaveOpenImageList.fncSaveImageBasket"). lstUniqueFiles receives the paths written.
bool fncSaveImageBasket(int16_t intMode, QString& strFileName, const tf::basket::BasketModel& basket,
                        QStringList& lstUniqueFiles);

// The paths a basket file cannot name: it holds one name a line, so a name with a line break in it
// would come back as pieces that name nothing.
QStringList fncBasketFileUnnamable(const QStringList& paths);

// The path of one ".ibf" line: the surrounding double quotes taken off (and a doubled quote inside
// made single again) when they are there; any other line stays as it is.
QString fncStripQuotes(const QString& strLine);

// The fields of one ".ibd" line: texts separated by commas, each plain or in double quotes (a comma
// inside quotes belongs to the text, a doubled quote is one quote).
QStringList fncSplitBasketRecord(const QString& strLine);

// Reads the whole basket file into entries: blank lines are skipped, and a path that came before
// is not taken again. A name that ends neither in ".ibf" nor ".ibd" (any case) reads nothing.
// Raises tf::FileError when the file cannot be opened or read.
std::vector<typImageBasketEntry> fncReadImageBasket(const QString& strFileName);

// Reads a basket file for opening: the files it names that are there, each as the basket adds
// it (the name with its extension; a TIFF of more than one page becomes temp page files
// "scan.tif1", "scan.tif2", ...), with its place among the entries as its progress. The file is
// read whole: when it cannot be read, the error goes to the reporter
// ("modSaveOpenImageList.fncOpenImageBasket") and the result is false. entryCount receives the
// number of entries, missing ones included; missing, the paths of the files that are not there,
// in the file's order, for the user to hear of.
bool fncOpenImageBasket(const QString& strFileName, std::vector<tf::basket::AddSource>& sources,
                        int* entryCount = nullptr, QStringList* missing = nullptr);

// How the basket adds one file named in a basket file.
tf::basket::AddSource fncBasketEntrySource(const QString& strPath);
