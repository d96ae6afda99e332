#include "editing/EditTask.h"

#include "platform/sys/numbers.h"

#include <charconv>
#include <cmath>

namespace tf {

namespace {
constexpr std::array<TaskInfo, 17> kTasks = {{
    {taskNothing, "Nothing", "", "Options", "picNothing"},
    {taskFlip, "Flip", "Orientation", "Task Option - Flip", "picFlip"},
    {taskRotate, "Rotate", "Rotate", "Task Option - Rotate", "picRotate"},
    {taskResize, "Resize", "Resize", "Task Option - Resize", "picResize"},
    {taskBlur, "Blur", "Blur", "Task Option - Blur", "picBlur"},
    {taskContrast, "Contrast", "Contrast", "Task Option - Contrast", "picContrast"},
    {taskBrightness, "Brightness", "Brightness", "Task Option - Brightness", "picBrightness"},
    {taskSharpen, "Sharpen", "Sharpen", "Task Option - Sharpen", "picSharpen"},
    {taskCrop, "Crop", "Crop", "Task Option - Crop", "picCrop"},
    {taskWatermark, "Watermark", "Watermark", "Task Option - Watermark/merge", "picWatermark"},
    {taskText, "Text", "Text", "Task Option - Add Text", "picText"},
    {taskInvert, "Invert", "Negative", "Task Option - Invert", "picNothing"},
    {taskCanvas, "Canvas", "Canvas", "Task Option - Canvas", "picCanvas"},
    {taskFrame, "Frame", "Frame", "Task Option - Frame", "picFrame"},
    {taskMask, "Mask", "Mask", "Task Option - Mask", "picMask"},
    {taskShadow, "Shadow", "Shadow", "Task Option - Shadow", "picShadow"},
    {taskRedEye, "RedEye", "", "Red-Eye Correction", "picRedEye"},
}};

const QString& emptyText()
{
    static const QString empty;
    return empty;
}
} // namespace

const QString& EditTask::p(int n) const
{
    if (n < 1 || n > kTaskParamCount) return emptyText();
    return Params[static_cast<size_t>(n - 1)];
}

void EditTask::setP(int n, const QString& value)
{
    if (n < 1 || n > kTaskParamCount) return;
    Params[static_cast<size_t>(n - 1)] = value;
}

bool EditTask::paramsEmpty() const
{
    for (const QString& s : Params)
        if (!s.isEmpty()) return false;
    return true;
}

const TaskInfo* taskInfo(int32_t code)
{
    if (code < 0 || code >= static_cast<int32_t>(kTasks.size())) return nullptr;
    return &kTasks[static_cast<size_t>(code)];
}

std::optional<TaskCode> taskCodeFromKey(const QString& key)
{
    for (const TaskInfo& t : kTasks)
        if (key.compare(QLatin1String(t.itemKey), Qt::CaseInsensitive) == 0) return t.code;
    return std::nullopt;
}

QString fncGetTaskName(int32_t code)
{
    if (code < taskFlip || code > taskShadow) return {};
    return QString::fromLatin1(kTasks[static_cast<size_t>(code)].listName);
}

EditTask makeEditTask(TaskCode code)
{
    EditTask task;
    task.TaskCode = code;
    if (const TaskInfo* info = taskInfo(code)) task.TaskName = QString::fromLatin1(info->itemKey).toLower();
    return task;
}

namespace taskparam {

QString fromBool(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
QString fromCheck(bool ticked) { return ticked ? QStringLiteral("1") : QStringLiteral("0"); }
QString fromLong(int32_t value) { return QString::number(value); }

QString fromSingle(float value)
{
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

std::optional<double> toDouble(const QString& text)
{
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    // One decimal comma is a decimal point written under another locale; grouping is not accepted.
    if (t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.'))) t.replace(QLatin1Char(','), QLatin1Char('.'));
    const QByteArray bytes = t.toLatin1();
    double value = 0;
    const char* begin = bytes.constData();
    if (*begin == '+') ++begin;
    const auto res = std::from_chars(begin, bytes.constData() + bytes.size(), value);
    if (res.ec != std::errc() || res.ptr != bytes.constData() + bytes.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {
template <typename T>
std::optional<T> toWhole(const QString& text, double lo, double hi)
{
    const auto d = toDouble(text);
    if (!d) return std::nullopt;
    const double r = roundHalfEven(*d);
    if (r < lo || r > hi) return std::nullopt;
    return static_cast<T>(r);
}
} // namespace

std::optional<int32_t> toLong(const QString& text) { return toWhole<int32_t>(text, -2147483648.0, 2147483647.0); }
std::optional<int16_t> toInteger(const QString& text) { return toWhole<int16_t>(text, -32768.0, 32767.0); }
std::optional<uint8_t> toByte(const QString& text) { return toWhole<uint8_t>(text, 0.0, 255.0); }

std::optional<bool> toBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    const auto d = toDouble(t);
    if (!d) return std::nullopt;
    return *d != 0.0;
}

} // namespace taskparam
} // namespace tf
