#include "editing/tasks/TaskKind.h"

#include "editing/OptionControls.h"
#include "platform/imagebox/imagebox_error.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QImage>

namespace tf::task {

using namespace taskparam;

namespace {
template <typename T>
T need(const EditTask& row, int n, std::optional<T> v)
{
    if (!v)
        throw ImageBoxError(imagebox_error::kInvalidArgument,
                            QStringLiteral("parameter %1 (\"%2\") is not a valid value").arg(n).arg(row.p(n)));
    return *v;
}
} // namespace

bool ParamReader::boolean(int n) const { return need(m_row, n, toBool(m_row.p(n))); }
int32_t ParamReader::longValue(int n) const { return need(m_row, n, toLong(m_row.p(n))); }
int16_t ParamReader::integer(int n) const { return need(m_row, n, toInteger(m_row.p(n))); }
uint8_t ParamReader::byte(int n) const { return need(m_row, n, toByte(m_row.p(n))); }
double ParamReader::number(int n) const { return need(m_row, n, toDouble(m_row.p(n))); }
bool ParamReader::optionalBool(int n, bool fallback) const { return toBool(m_row.p(n)).value_or(fallback); }
int32_t ParamReader::optionalLong(int n, int32_t fallback) const { return toLong(m_row.p(n)).value_or(fallback); }

std::optional<int> PanelCheck::number(const QString& text, int lo, int hi, const QString& what)
{
    const auto v = boxNumber(text, lo, hi);
    if (!v && m_why.isEmpty()) m_why = QStringLiteral("Please enter a whole number from %1 to %2 for %3.").arg(lo).arg(hi).arg(what);
    return v;
}

void PanelShared::setBackColor(int32_t code, OleColor color)
{
    if (code >= 0 && code < int32_t(backColors.size())) backColors[size_t(code)] = color;
    picCropBackColor->setColor(color);
}

int clampIndex(int value, int count) { return value >= 0 && value < count ? value : 0; }

void selectOption(QButtonGroup* g, int index)
{
    const int i = clampIndex(index, int(g->buttons().size()));
    if (QAbstractButton* b = g->button(i)) b->setChecked(true);
}

int chosen(const QButtonGroup* g) { return g->checkedId() < 0 ? 0 : g->checkedId(); }
void tick(QAbstractButton* b, int value) { b->setChecked(value != 0); }
bool ticked(const QAbstractButton* b) { return b->isChecked(); }
uint8_t checkValue(const QAbstractButton* b) { return uint8_t(b->isChecked() ? 1 : 0); }
QString boxText(int value, int lo, int hi) { return QString::number(std::clamp(value, lo, hi)); }

void keepNumber(int16_t& field, const QString& text)
{
    if (const auto v = toInteger(text)) field = *v;
}

editops::Bounds grownBounds(const QImage& image, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    const int64_t v[4] = {-left, -top, image.width() + right, image.height() + bottom};
    for (int64_t x : v)
        if (x < INT32_MIN || x > INT32_MAX)
            throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("the margins make the picture too large"));
    return editops::Bounds{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
}

} // namespace tf::task
