#pragma once
#include "platform/sys/safefile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace tf {

// An error while reading or writing an open text file, for the caller's error trap. The numbers
// are those the program has always reported: 62 input past end of file, 57 device I/O error,
// 61 disk full, 7 out of memory (a record beyond any sane length).
class FileError : public std::runtime_error {
public:
    FileError(int32_t number, const QString& description);
    int32_t number() const { return m_number; }
    QString description() const { return QString::fromUtf8(what()); }

private:
    int32_t m_number;
};

// A write that failed, as the error its cause stands for: 61 "Disk full" when the disk had no room
// left, 57 "Device I/O error" for anything else; `detail` (the writer's words, the system's reason
// in them) follows in brackets.
FileError fileWriteError(const QString& detail);

} // namespace tf

// One sequential text file, opened for reading or for writing, with whole lines and records of
// comma-separated quoted texts. While no file is open every member does nothing, so a caller whose
// open failed can run its loop unchanged.
//
// Records: each text in double quotes (a quote inside it doubled), separated by commas, ending in
// CR LF. Reading accepts LF or CR alone as a line end, a quoted text running over line ends, and
// Windows-1252 where a field is not valid UTF-8. Written text is UTF-8.
//
// A written file replaces the old one only at closefile; an object dropped while still open for
// writing (the caller's error trap left early) discards what it wrote and keeps the old file.
class clsFile {
public:
    static constexpr int kEditingListFields = 19;
    using EditingList = std::array<QString, kEditingListFields>;

    clsFile() = default;
    ~clsFile();
    clsFile(const clsFile&) = delete;
    clsFile& operator=(const clsFile&) = delete;

    // True when the file is open; a missing file, a folder or a bad path gives false, silently.
    bool OpenForRead(const QString& filename);
    // True at the end of the file, and whenever no file is open for reading.
    bool fEof();
    // The next line without its line end; empty when no file is open.
    QString readLine();
    void read_EditingList(EditingList& fields);
    void write_EditingList(const EditingList& fields);
    // Created, or replaced at closefile when it exists.
    bool OpenForWrite(const QString& filename);
    // One record of that one text.
    void writeline(const QString& text);
    // Closes the file; a written file takes its place on disk now (a failure is raised).
    void closefile();
    void write_ImageBasket(const QString& path, const QString& description);
    void read_ImageBasket(QString& path, QString& description);

    bool isOpen() const { return mblnOpen; }
    // The number of this object's open file, unique among the files open at once; 0 while closed.
    int16_t fileNumber() const { return mintFileNumber; }
    QString fileName() const { return mstrFileName; }

private:
    void release();
    bool takeFileNumber();
    void writeRecord(const QString* fields, int count);
    bool readRecord(QString* fields, int count);
    QString readField();
    int peekByte();
    int getByte();
    void consumeLineEnd();
    void takeDelimiter();

    bool mblnOpen = false;
    QString mstrFileName;
    int16_t mintFileNumber = 0;

    std::unique_ptr<QFile> m_in;
    std::unique_ptr<tf::SafeFile> m_out;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_afterComma = false;
};
