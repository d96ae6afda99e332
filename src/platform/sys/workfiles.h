#pragma once
#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

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
// made, and reads no file it did not write (a journal has the program's name pattern and first
// line). It finds the data folder once and from there never follows a link nor enters another
// mount: a Temp or WorkFiles that is one is left alone. In a user's folder it removes a regular
// file with a work file's name (below) and the device, inode and birth time written down when it
// was made, found in the folder written down for it without following a link; in the program's
// own temporary folder, a page folder named in it ("multipage-…", "size-…") that is a real folder
// on Temp's own mount holding nothing but regular files. Whatever it leaves alone is said once, in
// a summary on standard error.
//
// Work is recorded or refused: a work file whose record cannot be written is not made, and the
// record is written before the file has its name, so that a run killed at any instant leaves
// nothing of the program's that the next start does not find.

// Whether `fileName` (no folder) has the shape of a work file's name: one the program makes for
// the files it writes into users' folders and no file of a user's has, namely ".tavrel-folio-",
// 26 random letters or digits, and an optional extension of up to four letters.
bool isWorkFileName(const QString& fileName);

// Makes a new, empty file with a work file's name in `folder` that no other file can have taken,
// with `mode` (less the umask), written down before it has its name, so that it is recorded before
// its first byte is written. The file's descriptor (*created: its path), or -1 with errno set;
// when it is the record that could not be written, *error says so naming the data folder (empty
// otherwise, the folder's own failure being the caller's to describe).
int createWorkFile(const QString& folder, const QString& extension, mode_t mode, QString* created,
                   QString* error = nullptr);

// A writer is about to rename `finished` over the work file `workFile` (a copy written beside a
// work file and put in its place): the file that name will hold is written down too. True, doing
// nothing, when `workFile` is not named as a work file; false (and *error) when the record could
// not be written, and then the rename must not happen.
bool recordWorkFileReplacement(const QString& finished, const QString& workFile, QString* error = nullptr);

// Notes a page folder this run has just made directly in its temporary folder (a file inside one
// goes with it and needs no record of its own); it may be gone by the time the run ends. Prefer
// WorkFolder, which writes the record before the folder exists.
bool recordWorkFile(const QString& path);

// A page folder of this run in the program's temporary folder, named `prefix` ("multipage",
// "size"), a dash and random letters: written down before it is made, and removed with all it
// holds when the object goes.
class WorkFolder {
public:
    explicit WorkFolder(const QString& prefix);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString filePath(const QString& name) const { return m_path + QLatin1Char('/') + name; }
    // Why it could not be made (a record that cannot be written names the data folder).
    QString errorString() const { return m_error; }

private:
    QString m_path;
    QString m_error;
};

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
// the number of files, folders and appends dealt with. Runs beside the window: `stop`, once true,
// ends it between records, leaving the journal it was reading for the next start. A journal larger
// than any run writes is set aside unread ("….journal.set-aside") and said so.
int removeWorkFilesOfDeadRuns(const std::atomic<bool>* stop = nullptr);

// Tests: with `on` false, work files are made under their name at once, as where the file system
// cannot make a file without one; `beforeJournal`, when set, is called as the clean-up opens each
// journal.
void setUnnamedWorkFilesForTests(bool on);
void setBeforeJournalForTests(std::function<void()> beforeJournal);

} // namespace tf
