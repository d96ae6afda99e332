#include "services/clsFile.h"

#include "platform/sys/textencoding.h"

#include <QFileInfo>
#include <bitset>

namespace tf {

FileError::FileError(int32_t number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number)
{
}

FileError fileWriteError(const QString& detail)
{
    if (writeFailureCause(detail) == QLatin1String("The disk is full."))
        return FileError(61, QStringLiteral("Disk full (%1)").arg(detail));
    return FileError(57, QStringLiteral("Device I/O error (%1)").arg(detail));
}

} // namespace tf

namespace {

// The file numbers in use, as the file runtime hands them out: the lowest free one from 1 to 255.
std::bitset<256> g_usedFileNumbers;

constexpr qsizetype kChunk = 64 * 1024;
// No line or field of a basket or task file comes near this; beyond it the file is not ours.
constexpr qsizetype kMaxRecordBytes = 64 * 1024 * 1024;

[[noreturn]] void throwPastEnd() { throw tf::FileError(62, QStringLiteral("Input past end of file")); }
[[noreturn]] void throwTooLong() { throw tf::FileError(7, QStringLiteral("Out of memory")); }

QByteArray quoted(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }

} // namespace

clsFile::~clsFile()
{
    release(); // an unfinished file is dropped; the old one stays
}

void clsFile::release()
{
    m_in.reset();
    m_out.reset();
    m_buffer.clear();
    m_pos = 0;
    m_afterComma = false;
    if (mintFileNumber > 0) g_usedFileNumbers.reset(static_cast<size_t>(mintFileNumber));
    mintFileNumber = 0;
    mblnOpen = false;
}

bool clsFile::takeFileNumber()
{
    for (size_t n = 1; n < g_usedFileNumbers.size(); ++n) {
        if (!g_usedFileNumbers.test(n)) {
            g_usedFileNumbers.set(n);
            mintFileNumber = static_cast<int16_t>(n);
            return true;
        }
    }
    return false;
}

bool clsFile::OpenForRead(const QString& filename)
{
    if (mblnOpen) {
        try { closefile(); } catch (const tf::FileError&) {}
    }
    mstrFileName = filename;
    // Only plain files: opening a pipe or a device for reading could wait forever.
    if (filename.isEmpty() || !QFileInfo(filename).isFile()) return false;
    auto file = std::make_unique<QFile>(filename);
    if (!file->open(QIODevice::ReadOnly)) return false;
    if (!takeFileNumber()) return false;
    m_in = std::move(file);
    mblnOpen = true;
    // A byte order mark some editors put first is no part of the first line.
    try {
        if (peekByte() == 0xEF && m_buffer.startsWith("\xEF\xBB\xBF")) m_pos = 3;
    } catch (const tf::FileError&) {
        release();
        return false;
    }
    return true;
}

bool clsFile::OpenForWrite(const QString& filename)
{
    if (mblnOpen) {
        try { closefile(); } catch (const tf::FileError&) {}
    }
    mstrFileName = filename;
    if (filename.isEmpty() || QFileInfo(filename).isDir()) return false;
    // A short write (a full disk) shows at the record that did not fit, and the old file stays.
    auto file = std::make_unique<tf::SafeFile>(filename);
    if (!file->open()) return false;
    if (!takeFileNumber()) return false;
    m_out = std::move(file);
    mblnOpen = true;
    return true;
}

void clsFile::closefile()
{
    if (!mblnOpen) return;
    if (m_out) {
        QString why;
        const bool ok = m_out->commit(&why);
        release();
        if (!ok) throw tf::fileWriteError(why);
        return;
    }
    release();
}

int clsFile::peekByte()
{
    if (m_pos >= m_buffer.size()) {
        m_buffer = m_in->read(kChunk);
        m_pos = 0;
        if (m_buffer.isEmpty()) {
            if (m_in->error() != QFileDevice::NoError) throw tf::FileError(57, QStringLiteral("Device I/O error"));
            return -1;
        }
    }
    return static_cast<unsigned char>(m_buffer.at(m_pos));
}

int clsFile::getByte()
{
    const int c = peekByte();
    if (c >= 0) ++m_pos;
    return c;
}

void clsFile::consumeLineEnd()
{
    if (getByte() == '\r' && peekByte() == '\n') getByte();
}

bool clsFile::fEof()
{
    if (!mblnOpen || !m_in) return true;
    return peekByte() < 0;
}

QString clsFile::readLine()
{
    if (!mblnOpen || !m_in) return QString();
    if (peekByte() < 0) throwPastEnd();
    QByteArray line;
    for (int c = peekByte(); c >= 0 && !isLineEnd(c); c = peekByte()) {
        line.append(static_cast<char>(getByte()));
        if (line.size() > kMaxRecordBytes) throwTooLong();
    }
    if (peekByte() >= 0) consumeLineEnd();
    m_afterComma = false;
    return tf::decodeUtf8OrWindows1252(line);
}

// After a field: a comma means another field follows on this record; a line end closes it.
void clsFile::takeDelimiter()
{
    const int c = peekByte();
    if (c == ',') {
        getByte();
        m_afterComma = true;
    } else {
        if (c >= 0) consumeLineEnd();
        m_afterComma = false;
    }
}

QString clsFile::readField()
{
    int c;
    for (;;) {
        while (isBlank(peekByte())) getByte();
        c = peekByte();
        if (c < 0) {
            // A record may end in an empty field after its last comma; otherwise nothing is left.
            if (!m_afterComma) throwPastEnd();
            m_afterComma = false;
            return QString();
        }
        if (!isLineEnd(c)) break;
        consumeLineEnd();
        if (m_afterComma) {
            m_afterComma = false;
            return QString();
        }
        // A blank line between records holds no field.
    }

    QByteArray bytes;
    if (c == '"') {
        getByte();
        for (int q = getByte(); q >= 0; q = getByte()) {
            if (q == '"') {
                if (peekByte() != '"') break;
                getByte();
            }
            bytes.append(static_cast<char>(q));
            if (bytes.size() > kMaxRecordBytes) throwTooLong();
        }
        // Anything between the closing quote and the delimiter is not part of the field.
        while (peekByte() >= 0 && peekByte() != ',' && !isLineEnd(peekByte())) getByte();
    } else {
        while (peekByte() >= 0 && peekByte() != ',' && !isLineEnd(peekByte())) {
            bytes.append(static_cast<char>(getByte()));
            if (bytes.size() > kMaxRecordBytes) throwTooLong();
        }
        while (!bytes.isEmpty() && isBlank(bytes.back())) bytes.chop(1);
    }
    takeDelimiter();
    return tf::decodeUtf8OrWindows1252(bytes);
}

bool clsFile::readRecord(QString* fields, int count)
{
    if (!mblnOpen || !m_in) return false;
    // All or nothing: a record cut short leaves the caller's texts as they were.
    std::vector<QString> read;
    read.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) read.push_back(readField());
    for (int i = 0; i < count; ++i) fields[i] = std::move(read[static_cast<size_t>(i)]);
    return true;
}

void clsFile::writeRecord(const QString* fields, int count)
{
    if (!mblnOpen || !m_out) return;
    QByteArray line;
    for (int i = 0; i < count; ++i) {
        if (i > 0) line.append(',');
        line.append(quoted(fields[i]));
    }
    line.append("\r\n");
    if (m_out->device().write(line) != line.size()) {
        // The unfinished copy is dropped and the old file kept; the object is closed, so whatever
        // the caller's trap does next (more records, closefile) changes nothing.
        const QString why = m_out->device().errorString();
        release();
        throw tf::fileWriteError(why);
    }
}

void clsFile::writeline(const QString& text) { writeRecord(&text, 1); }

void clsFile::write_ImageBasket(const QString& path, const QString& description)
{
    const QString fields[2] = {path, description};
    writeRecord(fields, 2);
}

void clsFile::read_ImageBasket(QString& path, QString& description)
{
    QString fields[2];
    if (readRecord(fields, 2)) {
        path = fields[0];
        description = fields[1];
    }
}

void clsFile::write_EditingList(const EditingList& fields) { writeRecord(fields.data(), kEditingListFields); }

void clsFile::read_EditingList(EditingList& fields)
{
    EditingList read;
    if (readRecord(read.data(), kEditingListFields)) fields = read;
}
