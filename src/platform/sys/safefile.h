#pragma once
#include <QByteArray>
#include <QFile>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace tf {

// Every file the user owns is replaced here and nowhere else, and only whole: new content goes
// to a hidden file in the target's folder, is flushed to the disk, and only then renamed over the
// target. A failure anywhere (a full disk included) leaves the old file byte for byte and no
// hidden file behind.
//
// The target is the file a symbolic link points to, not the link; an existing target keeps its
// permissions; a new one gets those of any new file the user makes (0666 less the umask).

enum class Placement {
    Replace,   // the finished file takes the target's place
    NoReplace, // the finished file takes a name that must still be free ("New File" names)
};

class SafeFile {
public:
    explicit SafeFile(const QString& target, Placement placement = Placement::Replace);
    // A file not committed is removed.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the hidden file beside the target. False (and *error) when the target is a folder,
    // a file the user may not write, or the folder takes no new file.
    bool open(QString* error = nullptr);
    // Unbuffered, so that a write the disk cannot take shows in that write's count.
    QFile& device() { return m_file; }
    // For writers that open files by name (libtiff, qpdf): they write this file.
    QString fileName() const { return m_temp; }
    // The file that will be replaced (a link resolved).
    QString target() const { return m_target; }
    // The finished file gets these permissions instead of the target's (or a new file's).
    void setPermissions(QFileDevice::Permissions permissions) { m_permissions = permissions; }

    bool write(const QByteArray& bytes, QString* error = nullptr);
    // Appends the content of `source`.
    bool copyFrom(const QString& source, QString* error = nullptr);
    // Flushes the file to the disk and puts it in the target's place.
    bool commit(QString* error = nullptr);
    void discard();

private:
    QString m_target;
    Placement m_placement;
    QString m_temp;
    QFile m_file;
    std::optional<QFileDevice::Permissions> m_permissions;
};

// Writes `bytes` as the new content of `target`.
bool writeFileSafely(const QString& target, const QByteArray& bytes, QString* error = nullptr);

// Puts a finished file from anywhere (a private work folder, say) in the target's place and
// removes it from where it was. On one file system this is one rename; across file systems the
// file is first copied beside the target.
bool moveFileSafely(const QString& finished, const QString& target, Placement placement = Placement::Replace,
                    QString* error = nullptr);

} // namespace tf
