#pragma once
// One editing task as a row of the task basket file holds it: the task code, the task chart key and
// seventeen parameter strings, plus the text codecs of those strings. The edit list keeps records
// (TaskRecords.h) and writes them as such rows.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace tf {

enum TaskCode : int32_t {
    taskNothing = 0,
    taskFlip = 1,
    taskRotate = 2,
    taskResize = 3,
    taskBlur = 4,
    taskContrast = 5,
    taskBrightness = 6,
    taskSharpen = 7,
    taskCrop = 8,
    taskWatermark = 9,
    taskText = 10,
    taskInvert = 11,
    taskCanvas = 12,
    taskFrame = 13,
    taskMask = 14,
    taskShadow = 15,
    taskRedEye = 16,
};

inline constexpr int kTaskParamCount = 17;

// typEditTask. TaskName is always the lower-case chart key ("watermark").
struct EditTask {
    int32_t TaskCode = taskNothing;
    QString TaskName;
    std::array<QString, kTaskParamCount> Params; // p1 .. p17 at index 0 .. 16
    // The code as a task basket file wrote it, when that is not its plain number ("4.0"): written
    // back as it was read. Empty otherwise.
    QString CodeText;

    // p(1) .. p(17); out-of-range numbers read as empty and write nowhere.
    const QString& p(int n) const;
    void setP(int n, const QString& value);
    bool paramsEmpty() const;
    bool operator==(const EditTask&) const = default;
};

// A row of the task table.
struct TaskInfo {
    TaskCode code;
    const char* itemKey;      // the task chart item key ("RedEye")
    const char* listName;     // what the edit lists show ("" for Nothing and RedEye)
    const char* groupCaption; // caption of the option group while the task is chosen
    const char* panel;        // objectName of the task's option panel
};

// The row of a code 0..16; nullptr for any other value.
const TaskInfo* taskInfo(int32_t code);
// The code of a chart key, compared without regard to case; nullopt when unknown.
std::optional<TaskCode> taskCodeFromKey(const QString& key);
// The list name of codes 1..15; "" for 0, 16 and anything else.
QString fncGetTaskName(int32_t code);
// A record for a task chosen in the chart: code, lower-case key, empty parameters.
EditTask makeEditTask(TaskCode code);

// ---- parameter text, written with the C locale so files travel between machines
namespace taskparam {
QString fromBool(bool value);          // "True" / "False"
QString fromCheck(bool ticked);        // "1" / "0"
QString fromLong(int32_t value);       // plain decimal; colours pass as signed values
QString fromSingle(float value);       // shortest text that reads back as the same single ("-90", "10.5")

// Readers fail (nullopt) on text that does not convert. Numbers accept a decimal comma (files
// written under a German locale) and are rounded half to even into the target width; a value
// outside that width does not convert either.
std::optional<bool> toBool(const QString& text);       // "True"/"False" any case, or a number: 0 is False
std::optional<double> toDouble(const QString& text);
std::optional<int32_t> toLong(const QString& text);
std::optional<int16_t> toInteger(const QString& text);
std::optional<uint8_t> toByte(const QString& text);
} // namespace taskparam

} // namespace tf
