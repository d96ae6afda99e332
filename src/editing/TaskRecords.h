#pragma once
// The recordable task kinds, one home each under tasks/, and the one place that dispatches to them:
// from a task code (forKind) or from a record (std::visit on Record). A row of the edit list and of
// a task basket file is a kind's record written as seventeen parameter strings; the edit list keeps
// records (Entry), with a row's texts as they were read where writing the record would differ, so a
// file from elsewhere is saved again byte for byte.
#include "editing/EditTask.h"
#include "editing/tasks/Blur.h"
#include "editing/tasks/Brightness.h"
#include "editing/tasks/Canvas.h"
#include "editing/tasks/Contrast.h"
#include "editing/tasks/Crop.h"
#include "editing/tasks/Flip.h"
#include "editing/tasks/Frame.h"
#include "editing/tasks/Invert.h"
#include "editing/tasks/Mask.h"
#include "editing/tasks/Resize.h"
#include "editing/tasks/Rotate.h"
#include "editing/tasks/Shadow.h"
#include "editing/tasks/Sharpen.h"
#include "editing/tasks/Text.h"
#include "editing/tasks/Watermark.h"

#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

namespace tf::task {

using Record = std::variant<Flip, Rotate, Resize, Blur, Contrast, Brightness, Sharpen, Crop, Watermark, Text, Invert,
                            Canvas, Frame, Mask, Shadow>;

// Every kind's option panel controls, one of each.
template <class V>
struct ControlsOf;
template <class... K>
struct ControlsOf<std::variant<K...>> {
    using type = std::tuple<typename K::Controls...>;
};
using PanelControls = ControlsOf<Record>::type;

// Calls f(std::type_identity<K>{}) for the kind K of `code`; false (f not called) when no kind has
// that code (Nothing, Red-eye, anything unknown).
template <class F>
bool forKind(int32_t code, F&& f)
{
    return [&]<size_t... I>(std::index_sequence<I...>) {
        return ((std::variant_alternative_t<I, Record>::code == code
                     ? (f(std::type_identity<std::variant_alternative_t<I, Record>>{}), true)
                     : false) ||
                ...);
    }(std::make_index_sequence<std::variant_size_v<Record>>{});
}

// The task code of a record's kind.
TaskCode codeOf(const Record& record);

// What the kind of `code` says of itself; a code of no kind (Nothing, Red-eye) says None, false, nullptr.
LocationPoint locationPoint(int32_t code);
bool previewEndsMouseTools(int32_t code);
const char* noOptionsText(int32_t code);

// The record a row describes, reading only the parameters the row's kind and choices use, as the
// replay always has (a file written elsewhere may leave the others empty). nullopt for codes that
// record nothing (0, 16, unknown) and for a row whose parameters are all empty (Invert aside).
// Raises ImageBoxError naming the parameter when one that is used does not convert.
std::optional<Record> fromTask(const EditTask& row);

// The row a record is written as: code, lower-case key and the parameter texts.
EditTask toTask(const Record& record);

// One row of the edit list: the record, and the texts of the row it was read from when writing
// the record would give other texts (a file from elsewhere: "true", "10,5", parameters the kind
// does not read). A row whose parameters do not convert keeps the reason; its replay fails with it.
class Entry {
public:
    // A task set up on a panel: written as the record writes it.
    Entry(Record record) : m_record(std::move(record)) {}
    // A row as a task basket file holds it; the key is taken in lower case.
    static Entry fromRow(EditTask row);

    int32_t code() const;
    // The lower-case chart key (the icon's).
    QString key() const;
    // nullopt for a row that stands for nothing or does not convert (then fault() says why).
    const std::optional<Record>& record() const { return m_record; }
    const QString& fault() const { return m_fault; }
    // The row's texts, as a task basket file gets them.
    EditTask row() const;

private:
    Entry() = default;
    std::optional<Record> m_record;
    std::optional<EditTask> m_asRead;
    QString m_fault;
};

} // namespace tf::task
