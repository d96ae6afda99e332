#include "editing/TaskRecords.h"

#include "platform/imagebox/imagebox_error.h"

namespace tf::task {

using namespace taskparam;

namespace {

template <class... Ts>
struct overloaded : Ts... {
    using Ts::operator()...;
};
// Clang before 17 does not deduce an aggregate's template arguments from its initialisers.
template <class... Ts>
overloaded(Ts...) -> overloaded<Ts...>;

// Reads a row's parameters, naming the one that does not convert.
class Reader {
public:
    explicit Reader(const EditTask& row) : m_row(row) {}
    bool boolean(int n) const { return need(n, toBool(m_row.p(n))); }
    int32_t longValue(int n) const { return need(n, toLong(m_row.p(n))); }
    int16_t integer(int n) const { return need(n, toInteger(m_row.p(n))); }
    uint8_t byte(int n) const { return need(n, toByte(m_row.p(n))); }
    double number(int n) const { return need(n, toDouble(m_row.p(n))); }
    const QString& text(int n) const { return m_row.p(n); }
    // A parameter the replay never reads: its value when it converts, else `fallback`.
    bool optionalBool(int n, bool fallback) const { return toBool(m_row.p(n)).value_or(fallback); }
    int32_t optionalLong(int n, int32_t fallback) const { return toLong(m_row.p(n)).value_or(fallback); }

private:
    template <typename T>
    T need(int n, std::optional<T> v) const
    {
        if (!v)
            throw ImageBoxError(imagebox_error::kInvalidArgument,
                                QStringLiteral("parameter %1 (\"%2\") is not a valid value").arg(n).arg(m_row.p(n)));
        return *v;
    }
    const EditTask& m_row;
};

QString number(qint64 v) { return QString::number(v); }

} // namespace

TaskCode codeOf(const Record& record)
{
    static constexpr TaskCode codes[] = {taskFlip,  taskRotate,    taskResize, taskBlur,   taskContrast,
                                         taskBrightness, taskSharpen, taskCrop, taskWatermark, taskText,
                                         taskInvert, taskCanvas, taskFrame, taskMask, taskShadow};
    return codes[record.index()];
}

std::optional<Record> fromTask(const EditTask& row)
{
    if (row.TaskCode < taskFlip || row.TaskCode > taskShadow) return std::nullopt;
    // A row that lost its parameters (a damaged task basket) stands for nothing; Invert has none.
    if (row.TaskCode == taskInvert) return Invert{};
    if (row.paramsEmpty()) return std::nullopt;
    const Reader r(row);
    switch (row.TaskCode) {
    case taskFlip: return Flip{row.p(1) == QLatin1String("0") ? 0 : 1};
    case taskRotate: {
        Rotate t;
        t.background = r.longValue(3);
        t.resample = r.boolean(1);
        t.degrees = r.integer(2);
        return t;
    }
    case taskResize: {
        Resize t;
        t.bySize = r.boolean(1);
        if (t.bySize) {
            t.width = r.longValue(2);
            t.height = r.longValue(3);
        } else {
            t.percent = r.integer(2);
        }
        return t;
    }
    case taskBlur: return Blur{r.longValue(1)};
    case taskSharpen: return Sharpen{r.longValue(1)};
    case taskContrast: return Contrast{r.longValue(1), {r.boolean(2), r.boolean(3), r.boolean(4)}};
    case taskBrightness: return Brightness{r.longValue(1), {r.boolean(2), r.boolean(3), r.boolean(4)}};
    case taskCrop: {
        Crop t;
        t.byValues = r.boolean(1);
        if (t.byValues) {
            t.shape = r.integer(2);
            if (t.shape != 0) t.background = r.longValue(7);
            t.bounds = {r.longValue(3), r.longValue(4), r.longValue(5), r.longValue(6)};
        } else {
            t.bounds = {r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)};
            if (!row.p(6).isEmpty() && !row.p(7).isEmpty()) t.box = QSize(r.longValue(6), r.longValue(7));
        }
        return t;
    }
    case taskWatermark: {
        Watermark t;
        t.transparent = r.boolean(1);
        t.transparency = r.integer(2);
        t.style = r.integer(3);
        t.file = r.text(4);
        if (t.style == editops::mergeAtPoint) {
            t.y = r.longValue(6);
            t.x = r.longValue(7);
        } else {
            t.y = r.optionalLong(6, 0);
            t.x = r.optionalLong(7, 0);
        }
        t.transparentColor = t.transparent ? r.longValue(5) : r.optionalLong(5, 0);
        t.fitToWindow = r.optionalBool(8, false);
        return t;
    }
    case taskText: {
        Text t;
        editops::TextParams& p = t.params;
        p.antiAlias = r.boolean(1);
        t.fitToWindow = r.optionalBool(2, false);
        p.transparent = r.boolean(3);
        p.angle = float(r.integer(4));
        p.alignment = r.integer(5);
        p.fontName = r.text(6);
        // The size keeps its fraction: the preview drew a 10.5-point text at 10.5 points.
        p.fontSize = r.number(7);
        p.bold = r.boolean(8);
        p.italic = r.boolean(9);
        p.underline = r.boolean(10);
        p.color = r.longValue(11);
        p.backColor = r.longValue(12);
        t.orientation = r.byte(13);
        t.position = r.integer(14);
        t.text = r.text(15);
        if (t.position == 9) {
            t.x = r.longValue(16);
            t.y = r.longValue(17);
        } else {
            t.x = r.optionalLong(16, 0);
            t.y = r.optionalLong(17, 0);
        }
        return t;
    }
    case taskCanvas: return Canvas{r.longValue(1), r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)};
    case taskFrame: {
        Frame t;
        t.color = r.longValue(1);
        t.plain = r.byte(2) != 0;
        if (t.plain) {
            t.width = r.longValue(3);
        } else {
            t.picture = r.integer(3);
            t.resizeCanvas = r.byte(4);
        }
        return t;
    }
    case taskMask: return Mask{r.boolean(1), r.integer(2), r.integer(3)};
    case taskShadow: return Shadow{r.integer(1)};
    default: return std::nullopt;
    }
}

EditTask toTask(const Record& record)
{
    EditTask task = makeEditTask(codeOf(record));
    auto set = [&task](int n, const QString& v) { task.setP(n, v); };
    std::visit(overloaded{
                   [&](const Flip& t) { set(1, t.direction == 0 ? QStringLiteral("0") : QStringLiteral("1")); },
                   [&](const Rotate& t) {
                       set(1, fromBool(t.resample));
                       set(2, number(t.degrees));
                       set(3, fromLong(t.background));
                   },
                   [&](const Resize& t) {
                       set(1, fromBool(t.bySize));
                       if (t.bySize) {
                           set(2, number(t.width));
                           set(3, number(t.height));
                       } else {
                           set(2, number(t.percent));
                       }
                   },
                   [&](const Blur& t) { set(1, fromLong(t.level)); },
                   [&](const Sharpen& t) { set(1, fromLong(t.level)); },
                   [&](const Contrast& t) {
                       set(1, fromLong(t.level));
                       set(2, fromCheck(t.channels.red));
                       set(3, fromCheck(t.channels.green));
                       set(4, fromCheck(t.channels.blue));
                   },
                   [&](const Brightness& t) {
                       set(1, fromLong(t.level));
                       set(2, fromCheck(t.channels.red));
                       set(3, fromCheck(t.channels.green));
                       set(4, fromCheck(t.channels.blue));
                   },
                   [&](const Crop& t) {
                       set(1, fromBool(t.byValues));
                       const int first = t.byValues ? 3 : 2;
                       if (t.byValues) set(2, number(t.shape));
                       set(first, fromLong(t.bounds.left));
                       set(first + 1, fromLong(t.bounds.top));
                       set(first + 2, fromLong(t.bounds.right));
                       set(first + 3, fromLong(t.bounds.bottom));
                       if (t.ellipse()) set(7, fromLong(t.background));
                       if (!t.byValues && t.box) {
                           set(6, fromLong(t.box->width()));
                           set(7, fromLong(t.box->height()));
                       }
                   },
                   [&](const Watermark& t) {
                       set(1, fromBool(t.transparent));
                       set(2, fromLong(t.transparency));
                       set(3, fromLong(t.style));
                       set(4, t.file);
                       set(5, fromLong(t.transparentColor));
                       set(6, fromLong(t.y));
                       set(7, fromLong(t.x));
                       set(8, fromBool(t.fitToWindow));
                   },
                   [&](const Text& t) {
                       const editops::TextParams& p = t.params;
                       set(1, fromBool(p.antiAlias));
                       set(2, fromBool(t.fitToWindow));
                       set(3, fromBool(p.transparent));
                       set(4, fromSingle(p.angle));
                       set(5, fromLong(p.alignment));
                       set(6, p.fontName);
                       set(7, QString::number(p.fontSize));
                       set(8, fromBool(p.bold));
                       set(9, fromBool(p.italic));
                       set(10, fromBool(p.underline));
                       set(11, fromLong(p.color));
                       set(12, fromLong(p.backColor));
                       set(13, number(t.orientation));
                       set(14, number(t.position));
                       set(15, t.text);
                       set(16, fromLong(t.x));
                       set(17, fromLong(t.y));
                   },
                   [&](const Invert&) {},
                   [&](const Canvas& t) {
                       set(1, fromLong(t.color));
                       set(2, number(t.left));
                       set(3, number(t.top));
                       set(4, number(t.right));
                       set(5, number(t.bottom));
                   },
                   [&](const Frame& t) {
                       set(1, fromLong(t.color));
                       set(2, t.plain ? QStringLiteral("1") : QStringLiteral("0"));
                       if (t.plain) {
                           set(3, number(t.width));
                       } else {
                           set(3, number(t.picture));
                           set(4, fromCheck(t.resizeCanvas != 0));
                       }
                   },
                   [&](const Mask& t) {
                       set(1, fromBool(t.transparent));
                       set(2, fromLong(t.level));
                       set(3, number(t.index));
                   },
                   [&](const Shadow& t) { set(1, number(t.index)); },
               },
               record);
    return task;
}

} // namespace tf::task
