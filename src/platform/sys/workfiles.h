#pragma once
#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

namespace tf {

// Work files (hidden copies beside a user's document, page spools, private work folders) are
// normally removed by the code that made them. A run that is killed or crashes cannot, and such
// files can be hundreds of megabytes, so each one is written down in this run's journal the
// moment it is made, and the next start removes the files of every run that is no longer alive.
//
// A run's journal is held locked for as long as the run lives (the system lets go of the lock
// when the process ends, however it ends), so a journal that can be locked belongs to a dead run.
//
// A journal is only a hint: whatever it says, the clean-up removes nothing but what this program
// made. In a user's folder that is a regular file with a work file's name (below) and the device,
// inode and birth time written down when it was made, found in the folder written down for it
// without following a link; in the program's own temporary folder it is whatever lies inside it,
// again reached without following a link. A line naming anything else is left alone and reported
// on standard error.

// Whether `fileName` (no folder) has the shape of a work file's name: one the program makes for
// the files it writes into users' folders and no file of a user's has, namely ".tavrel-folio-",
// 26 random letters or digits, and an optional extension of up to four letters.
bool isWorkFileName(const QString& fileName);

// Makes a new, empty file with a work file's name in `folder` that no other file can have taken
// (created exclusively), with `mode` (less the umask), and writes it down before returning, so
// that it is recorded before its first byte is written. The file's descriptor (*created: its
// path), or -1 with errno set.
int createWorkFile(const QString& folder, const QString& extension, mode_t mode, QString* created);

// A writer is about to rename `finished` over the work file `workFile` (a copy written beside a
// work file and put in its place): the file that name will hold is written down too. Does nothing
// when `workFile` is not named as a work file.
void recordWorkFileReplacement(const QString& finished, const QString& workFile);

// Notes a file or folder this run has just made in its temporary folder; it may be gone by the
// time the run ends.
void recordWorkFile(const QString& path);

// Pages appended in place to a user's file: the bytes after `length` are the run's, and the
// append takes effect when the pointer at `linkAt` (below `length`) stops holding `linkBytes`
// (up to 8 bytes; none where the append's last bytes are what make it take effect, as a PDF's
// startxref line, which its proof then names).
//
// The record is on the disk before the first new byte can be, and says enough for the next start
// to cut a file back on its own, whatever instant the run was killed at: the file is still the one
// appended to while it has the same identity, still begins as `format`, its first and last old
// bytes have the checksum recorded and both pointers hold what they held.
struct AppendRecord {
    QString path;
    quint64 device = 0; // the file's identity, so that another file of that name is left alone
    quint64 inode = 0;
    qint64 birth = 0; // nanoseconds; an inode number is reused by the next file made (0: unknown)
    qint64 length = 0;
    qint64 linkAt = 0;
    QByteArray linkBytes;
    QByteArray format;  // "tiff" or "pdf": what the file begins as
    QByteArray oldEnds; // the checksum of its old first and last bytes (appendRecordOf reads them)
    // A pointer below `length` that this append leaves alone but another program's append would
    // rewrite (a TIFF's other end of its chain): with it changed the file is not cut.
    qint64 keptAt = 0;
    QByteArray keptBytes;
};

// The record of an append to `path`, open as `fd`, whose status is `st`: its identity, length,
// format and the checksum of its old ends (empty when they cannot be read), no pointer yet.
AppendRecord appendRecordOf(const QString& path, int fd, const struct stat& st, const QByteArray& format);

// What the append writes last to take effect: recorded, and on the disk, before it is written, so
// that the next start tells that write done from one cut short.
struct AppendProof {
    QByteArray format;       // "tiff" or "pdf": what the file must still begin as
    qint64 tailLength = 0;   // the bytes past the record's length
    QByteArray tailChecksum; // appendTailChecksum() of them (none: not known)
    QByteArray linkAfter;    // what the pointer holds once the append has taken effect; with no
                             // pointer, the bytes written last, after the tail, that make it take effect
};

// When the open file `fd` was made, in nanoseconds; 0 where the file system does not say.
qint64 fileBirthTime(int fd);

// Writes the record and flushes it to the disk before returning; its id, or 0 (and *error) when
// the journal cannot take it or the record lacks its old ends. A run killed before it commits (or
// undoes) the append leaves its pages past the old end, linked to nothing: the next start cuts
// them off while the file is still the one appended to, and never once the append took effect
// (nor from a PDF that another program finished since with an update of its own).
quint64 recordAppend(const AppendRecord& record, QString* error);
// Flushed to the disk like the record (one not `durable` is only written: a run killed still
// leaves it, a system that stops may not). The next start takes the append for finished when the
// pointer holds `linkAfter` (with no pointer: the file holds it right after the tail proved); the
// last proof written counts.
bool recordAppendProof(quint64 id, const AppendProof& proof, QString* error, bool durable = true);
// The checksum of `length` bytes of `fd` from `at`, as the journal writes it; empty when they
// cannot all be read.
QByteArray appendTailChecksum(int fd, qint64 at, qint64 length);
// The same checksum of bytes as a writer writes them, so that it need not read its tail back.
class AppendTailChecksum {
public:
    AppendTailChecksum();
    void add(const char* data, qint64 n);
    QByteArray value() const;

private:
    unsigned long m_crc;
};
// The append was committed or undone: the record no longer applies.
void forgetAppend(quint64 id);

// Removes what dead runs left and their journals, and cuts back the appends they did not finish;
// the number of files, folders and appends dealt with.
int removeWorkFilesOfDeadRuns();

} // namespace tf
