#pragma once
// What each fuzz target does with one input. The fuzzers and the regression replay in the test
// suite call the same functions, so an input that once broke a reader is replayed exactly as it
// was found. Each returns an empty text when the reader behaved, or what went wrong (a broken
// promise of the reader, not a crash: those end the process on their own).
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tf::fuzz {

// Pixel size, depth and resolution read from the bytes as a GIF/BMP and as a JPEG/TIFF/PNG header.
QString headerInfo(const QByteArray& bytes);
// The bytes as a settings file: decoded, checked, and when taken, written and read back the same.
QString settingsRecord(const QByteArray& bytes);
// The bytes as an ".ibf" and as an ".ibd" basket file.
QString basketFile(const QByteArray& bytes);
// The task basket reader: a refused file says why; a taken one reads back the same once written.
QString taskBasket(const QByteArray& bytes);
// The IPTC template reader (".ffo"): a refused file leaves nothing held; a taken one writes out
// and reads back as the same fields.
QString iptcTemplate(const QByteArray& bytes);
// The EXIF template reader (".xiff"), which reads a file: the bytes go through a scratch file and
// are applied to an empty picture's metadata as the batch conversion applies them.
QString exifTemplate(const QByteArray& bytes);
// The first byte picks which records to read (lines, editing lists, basket records); the rest is
// the text file.
QString textRecords(const QByteArray& bytes);
// The first byte picks the page position and whether the document changes in place; the rest is
// the TIFF or PDF document a small picture is appended to. A failed append leaves it whole.
QString tiffAppend(const QByteArray& bytes);
QString pdfAppend(const QByteArray& bytes);
// The bytes are a PDF that a page is added to as an update, once as the program reads it for an
// update and once through qpdf's whole reading: both give the same answer and the same bytes, and
// a document that cannot take the update is left as it was.
QString pdfUpdate(const QByteArray& bytes);
// The bytes are a TIFF whose first page takes an EXIF field, written as the metadata window writes
// it: refused with a reason and the file as it was, or written with every page still there.
QString tiffMetadata(const QByteArray& bytes);
// The bytes as a dead run's work-file journal ("@" stands for a scratch folder holding files of
// the user's); the start-up clean-up may remove only the program's own work files.
QString workJournal(const QByteArray& bytes);
// The bytes as a built show: a package the players' reader takes (with either options record) is
// exactly what the builders' writer writes from what was read, byte for byte.
QString playerPackage(const QByteArray& bytes);
// The first byte picks the file name's extension; the rest is the picture file.
QString loader(const QByteArray& bytes);
// The bytes as a JPEG read at an eighth for a thumbnail, in process (the reader is our own):
// nothing, or a picture of an eighth of the frame's size.
QString jpegEighth(const QByteArray& bytes);
// A picture file whose extension is known (the reproducers keep their own names).
QString loadPicture(const QByteArray& bytes, const QString& extension);
// The extensions loader() picks from.
const QStringList& loaderExtensions();

} // namespace tf::fuzz
