#include "editing/TaskRecords.h"

#include "platform/imagebox/imagebox_error.h"

namespace tf::task {

// forKind finds a kind by its code: no two kinds may share one.
static_assert([]<size_t... I>(std::index_sequence<I...>) {
    const TaskCode codes[] = {std::variant_alternative_t<I, Record>::code...};
    for (size_t a = 0; a < sizeof...(I); ++a)
        for (size_t b = a + 1; b < sizeof...(I); ++b)
            if (codes[a] == codes[b]) return false;
    return true;
}(std::make_index_sequence<std::variant_size_v<Record>>{}));

namespace {
template <class K>
constexpr bool withoutParameters()
{
    if constexpr (requires { K::withoutParameters; }) return K::withoutParameters;
    else return false;
}
} // namespace

TaskCode codeOf(const Record& record)
{
    return std::visit([](const auto& t) { return std::decay_t<decltype(t)>::code; }, record);
}

LocationPoint locationPoint(int32_t code)
{
    LocationPoint point = LocationPoint::None;
    forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { K::location; }) point = K::location;
    });
    return point;
}

bool previewEndsMouseTools(int32_t code)
{
    bool ends = false;
    forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { K::previewEndsMouseTools; }) ends = K::previewEndsMouseTools;
    });
    return ends;
}

const char* noOptionsText(int32_t code)
{
    const char* text = nullptr;
    forKind(code, [&]<class K>(std::type_identity<K>) {
        if constexpr (requires { K::noOptions; }) text = K::noOptions;
    });
    return text;
}

std::optional<Record> fromTask(const EditTask& row)
{
    std::optional<Record> record;
    const ParamReader reader(row);
    forKind(row.TaskCode, [&]<class K>(std::type_identity<K>) {
        // A row that lost its parameters (a damaged task basket) stands for nothing, unless its kind has none.
        if (row.paramsEmpty() && !withoutParameters<K>()) return;
        record = K::read(reader);
    });
    return record;
}

EditTask toTask(const Record& record)
{
    EditTask task = makeEditTask(codeOf(record));
    ParamWriter writer(task);
    std::visit([&](const auto& t) { t.write(writer); }, record);
    return task;
}

Entry Entry::fromRow(EditTask row)
{
    row.TaskName = row.TaskName.toLower();
    Entry entry;
    try {
        entry.m_record = fromTask(row);
    } catch (const ImageBoxError& e) {
        entry.m_fault = e.description();
    }
    if (!entry.m_record || toTask(*entry.m_record) != row) entry.m_asRead = row;
    return entry;
}

int32_t Entry::code() const { return m_asRead ? m_asRead->TaskCode : codeOf(*m_record); }

QString Entry::key() const
{
    if (m_asRead) return m_asRead->TaskName;
    return QString::fromLatin1(taskInfo(code())->itemKey).toLower();
}

EditTask Entry::row() const { return m_asRead ? *m_asRead : toTask(*m_record); }

} // namespace tf::task
