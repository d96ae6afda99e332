#include "editing/modTaskBasket.h"

#include <algorithm>

#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/safefile.h"
#include "platform/sys/textencoding.h"
#include "platform/ui/msgbox.h"
#include "services/clsFile.h"
#include "services/modCommonDialog.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

namespace tf {

namespace {

const QString kFilter = QStringLiteral("Task basket file (*.tbf)|*.tbf");

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

QString quoted(const QString& field)
{
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The text in Windows-1252, the code page the program's files were always read in elsewhere;
// nullopt when a character has no place in it.
std::optional<QByteArray> encodeWindows1252(const QString& text)
{
    static const QHash<char16_t, char> codes = [] {
        QHash<char16_t, char> map;
        for (int b = 0; b < 256; ++b) map.insert(decodeWindows1252(QByteArray(1, char(b))).at(0).unicode(), char(b));
        return map;
    }();
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const auto it = codes.constFind(c.unicode());
        if (it == codes.constEnd()) return std::nullopt;
        out.append(*it);
    }
    return out;
}

// Splits the bytes into fields: a comma or a line end ends a field, so a record may go on over
// several lines, and lines holding nothing between records are passed over.
bool splitFields(const QByteArray& bytes, std::vector<QByteArray>& fields, QString* why)
{
    const qsizetype end = bytes.size();
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    bool afterComma = false;
    auto consumeLineEnd = [&] {
        if (bytes[pos] == '\r' && pos + 1 < end && bytes[pos + 1] == '\n') ++pos;
        ++pos;
    };
    for (;;) {
        while (pos < end && isBlank(bytes[pos])) ++pos;
        if (pos == end) {
            // A record may end in an empty field after its last comma.
            if (afterComma) fields.emplace_back();
            return true;
        }
        if (isLineEnd(bytes[pos])) {
            consumeLineEnd();
            if (afterComma) fields.emplace_back();
            afterComma = false;
            continue;
        }
        QByteArray field;
        if (bytes[pos] == '"') {
            ++pos;
            for (;;) {
                if (pos == end) {
                    if (why) *why = QStringLiteral("a quoted field is not closed");
                    return false;
                }
                if (bytes[pos] == '"') {
                    if (pos + 1 < end && bytes[pos + 1] == '"') {
                        field.append('"');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field.append(bytes[pos++]);
            }
            // Anything between the closing quote and the delimiter is not part of the field.
            while (pos < end && bytes[pos] != ',' && !isLineEnd(bytes[pos])) ++pos;
        } else {
            while (pos < end && bytes[pos] != ',' && !isLineEnd(bytes[pos])) field.append(bytes[pos++]);
            while (!field.isEmpty() && isBlank(field.back())) field.chop(1);
        }
        fields.push_back(std::move(field));
        afterComma = false;
        if (pos < end) {
            if (bytes[pos] == ',') {
                ++pos;
                afterComma = true;
            } else {
                consumeLineEnd();
            }
        }
    }
}

bool validUtf8(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes); // decoding happens on the conversion
    return !utf8.hasError();
}

} // namespace

QByteArray formatTaskBasket(const std::vector<EditTask>& tasks)
{
    QString text;
    for (const EditTask& t : tasks) {
        text.append(quoted(t.CodeText.isEmpty() ? QString::number(t.TaskCode) : t.CodeText));
        text.append(QLatin1Char(','));
        text.append(quoted(t.TaskName));
        for (const QString& p : t.Params) {
            text.append(QLatin1Char(','));
            text.append(quoted(p));
        }
        text.append(QLatin1String("\r\n"));
    }
    // Windows-1252 wherever every character fits, as programs reading the system's code page
    // expect; UTF-8 otherwise. Windows-1252 bytes that happen to read as UTF-8 ("Ã©") would come
    // back as other text, so such a file is written in UTF-8 too.
    const std::optional<QByteArray> ansi = encodeWindows1252(text);
    if (ansi && (!validUtf8(*ansi) || std::all_of(ansi->begin(), ansi->end(), [](char c) { return uchar(c) < 0x80; })))
        return *ansi;
    return text.toUtf8();
}

std::optional<std::vector<EditTask>> parseTaskBasket(const QByteArray& bytes, QString* why)
{
    QString reason;
    if (!why) why = &reason;
    if (bytes.size() > kMaxTaskBasketBytes) {
        *why = QStringLiteral("the file is too large for a task basket");
        return std::nullopt;
    }
    std::vector<QByteArray> fields;
    if (!splitFields(bytes, fields, why)) return std::nullopt;
    if (fields.empty()) {
        *why = QStringLiteral("the file holds no task");
        return std::nullopt;
    }
    if (fields.size() % kTaskBasketFields != 0) {
        *why = QStringLiteral("the last task is cut short");
        return std::nullopt;
    }
    // One encoding for the whole file: a file that is not UTF-8 throughout came from Windows.
    const bool utf8 = validUtf8(bytes);
    auto text = [utf8](const QByteArray& b) { return utf8 ? QString::fromUtf8(b) : decodeWindows1252(b); };

    std::vector<EditTask> tasks;
    tasks.reserve(fields.size() / kTaskBasketFields);
    for (size_t first = 0; first < fields.size(); first += kTaskBasketFields) {
        const size_t number = first / kTaskBasketFields + 1;
        // The code is read as the replay reads it, a number rounded to a whole one ("4.0" is 4);
        // a row whose code is no task that can be recorded (0, 16) does nothing and is passed over.
        const QString codeText = text(fields[first]);
        const std::optional<int16_t> code = taskparam::toInteger(codeText);
        if (!code) {
            *why = QStringLiteral("task %1 has no valid task code").arg(number);
            return std::nullopt;
        }
        if (*code < taskFlip || *code > taskShadow) continue;
        EditTask task = makeEditTask(static_cast<TaskCode>(*code));
        // The key only names the icon; one that belongs to another task is not trusted.
        const QString key = text(fields[first + 1]).trimmed();
        if (taskCodeFromKey(key) == *code) task.TaskName = key.toLower();
        for (int p = 0; p < kTaskParamCount; ++p) task.setP(p + 1, text(fields[first + 2 + size_t(p)]));
        // Taken as it stands: the file is written back with the code as it was.
        if (codeText != QString::number(*code)) task.CodeText = codeText;
        tasks.push_back(std::move(task));
    }
    return tasks;
}

QString taskBasketFileName(const QString& fileName)
{
    if (fileName.right(4).toLower() == QLatin1String(".tbf")) return fileName;
    return fileName + QStringLiteral(".tbf");
}

bool fncSaveTaskBasket(QString& fileName, const std::vector<EditTask>& tasks, QString* why)
{
    if (tasks.empty()) {
        if (why) *why = QStringLiteral("the task list is empty");
        return false;
    }
    fileName = taskBasketFileName(fileName);
    SafeFile out(fileName);
    // A file that cannot be made at all ends the save with the command's message alone.
    if (!out.open(why)) return false;
    QString failure;
    if (out.write(formatTaskBasket(tasks), &failure) && out.commit(&failure)) return true;
    // Cut short while written (a full or failing disk): the cause is reported first, and the
    // file it was to replace stays as it was.
    if (why) *why = failure;
    const FileError error = fileWriteError(failure);
    subReportException(error, error.number(), QStringLiteral("modSaveOpenImageList.fncSaveTaskBasket"));
    return false;
}

std::optional<std::vector<EditTask>> fncOpenTaskBasket(const QString& fileName, QString* why)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why) *why = file.errorString();
        return std::nullopt;
    }
    // Checked before reading, so that a huge file is never taken into memory.
    if (file.size() > kMaxTaskBasketBytes) {
        if (why) *why = QStringLiteral("the file is too large for a task basket");
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxTaskBasketBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        if (why) *why = file.errorString();
        return std::nullopt;
    }
    return parseTaskBasket(bytes, why);
}

bool subClearEditList(EditListModel& list)
{
    if (list.rowCount() == 0) return false;
    list.clear();
    return true;
}

bool subDeleteEditTask(EditListModel& list, int row)
{
    if (list.rowCount() == 0) return false;
    return list.removeTask(row);
}

bool subOpenTaskBasket(EditListModel& list, QWidget* owner)
{
    typCommonDialog dialog;
    dialog.hwndOwner = owner;
    dialog.strDialogTitle = QStringLiteral("Open task basket");
    dialog.strFilter = kFilter;
    dialog.lngFilterIndex = 1;
    dialog.lngFlags = 5;
    const QString name = fncShowOpen(dialog).strFileName;
    if (name.isEmpty()) return false;
    auto tasks = fncOpenTaskBasket(name);
    if (!tasks) {
        MsgBox(QStringLiteral("Error opening task basket!\r\nPlease select a valid task basket file."), vbInformation);
        return false;
    }
    list.setRows(*tasks);
    return true;
}

void subSaveTaskBasket(const EditListModel& list, QWidget* owner)
{
    if (list.rowCount() == 0) return;
    typCommonDialog dialog;
    dialog.hwndOwner = owner;
    dialog.strDialogTitle = QStringLiteral("Save task basket");
    dialog.strFilter = kFilter;
    dialog.lngFilterIndex = 1;
    dialog.lngFlags = 5;
    // The dialog adds the suffix itself, so its question before replacing a file sees the real name.
    dialog.strDefaultExt = QStringLiteral("tbf");
    dialog.blnConfirmOverwrite = true;
    QString name = fncShowSave(dialog).strFileName;
    if (name.isEmpty()) return;
    if (!fncSaveTaskBasket(name, list.rows()))
        MsgBox(QStringLiteral("Error saving task basket!\r\nPlease try again!"), vbInformation);
}

} // namespace tf
