#pragma once
#include <QByteArray>
#include <QString>

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
// makes, namely entries inside its own temporary folder and regular files of the user's named as
// the safe-write routine names its hidden copies (".<document>.<6 letters or digits>").

// Notes a file or folder this run has just made; it may be gone by the time the run ends.
void recordWorkFile(const QString& path);

// Pages appended in place to a user's file: the bytes after `length` are the run's, and the
// append takes effect when the pointer at `linkAt` (below `length`) stops holding `linkBytes`.
struct AppendRecord {
    QString path;
    quint64 device = 0; // the file's identity, so that another file of that name is left alone
    quint64 inode = 0;
    qint64 birth = 0; // nanoseconds; an inode number is reused by the next file made (0: unknown)
    qint64 length = 0;
    qint64 linkAt = 0;
    QByteArray linkBytes;
};

// When the open file `fd` was made, in nanoseconds; 0 where the file system does not say.
qint64 fileBirthTime(int fd);

// Writes the record and flushes it to the disk before returning, so that a run killed while
// appending leaves it behind. 0 (and *error) when the journal cannot take it.
quint64 recordAppend(const AppendRecord& record, QString* error);

// The checksum of the bytes of the open file `fd` from `from` up to `to`; false when they cannot
// be read.
bool appendChecksum(int fd, qint64 from, qint64 to, quint64* sum);

// The appended bytes are on the disk, the file `end` bytes long, and the pointer is about to take
// `newLink`: what the next start needs to prove that the bytes past the old length are still the
// ones appended (their appendChecksum). Flushed before returning. The next start then cuts the
// file back to its old length only when it is still the same TIFF, exactly that long, the pointer
// was never relinked and the checksum matches; an append recorded without this, or a file changed
// since, is left as it is (a tail no page points at is harmless) and said so on standard error.
bool recordAppendTail(quint64 id, qint64 end, const QByteArray& newLink, quint64 checksum, QString* error);
// The append was committed or undone: the record no longer applies.
void forgetAppend(quint64 id);

// Removes what dead runs left and their journals, and cuts back the appends they did not finish;
// the number of files, folders and appends dealt with.
int removeWorkFilesOfDeadRuns();

} // namespace tf
