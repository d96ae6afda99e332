#include "acquire/SaneDevice.h"

#include <QColor>

#include <cmath>
#include <cstring>
#include <mutex>

namespace tf {

namespace {

// Once per process: SANE reads its configuration (SANE_CONFIG_DIR) and loads its backends here.
void initSane()
{
    static std::once_flag once;
    std::call_once(once, [] {
        SANE_Int version = 0;
        sane_init(&version, nullptr);
        std::atexit([] { sane_exit(); });
    });
}

QString statusText(SANE_Status status) { return QString::fromLocal8Bit(sane_strstatus(status)); }

// Sample `index` of a row as 0..65535: 1-bit samples are 0 or full, 16-bit ones in host order.
quint16 sampleOf(const uchar* row, int index, int depth)
{
    switch (depth) {
    case 1: return (row[index / 8] >> (7 - index % 8)) & 1 ? 0xFFFF : 0;
    case 8: return quint16(row[index] * 257);
    default: {
        quint16 v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    }
}

bool validFrame(const SANE_Parameters& p, int channels)
{
    if (p.depth != 1 && p.depth != 8 && p.depth != 16) return false;
    if (p.pixels_per_line <= 0 || p.bytes_per_line <= 0) return false;
    return qint64(p.bytes_per_line) * 8 >= qint64(p.pixels_per_line) * channels * p.depth;
}

// Rows a frame holds: as announced, or as many whole rows as came when the height was unknown.
int rowsOf(const SaneFrame& f)
{
    const int whole = int(f.data.size() / f.params.bytes_per_line);
    return f.params.lines >= 0 ? qMin(f.params.lines, whole) : whole;
}

QImage grayImage(const SaneFrame& f)
{
    const SANE_Parameters& p = f.params;
    const int w = p.pixels_per_line, h = rowsOf(f);
    const QImage::Format format = p.depth == 1   ? QImage::Format_Mono
                                  : p.depth == 8 ? QImage::Format_Grayscale8
                                                 : QImage::Format_Grayscale16;
    QImage image(w, h, format);
    if (image.isNull()) return image;
    // For line art a set bit is black.
    if (p.depth == 1) image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const int bytes = (w * p.depth + 7) / 8;
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), f.data.constData() + qint64(y) * p.bytes_per_line, size_t(bytes));
    return image;
}

// Colour from one interleaved frame (planes empty) or from three frames, red, green and blue.
QImage colourImage(const SaneFrame* interleaved, const SaneFrame* planes[3])
{
    const SaneFrame& first = interleaved ? *interleaved : *planes[0];
    const int depth = first.params.depth, w = first.params.pixels_per_line;
    int h = rowsOf(first);
    if (!interleaved)
        for (int c = 1; c < 3; ++c) {
            if (planes[c]->params.depth != depth || planes[c]->params.pixels_per_line != w) return {};
            h = qMin(h, rowsOf(*planes[c]));
        }
    QImage image(w, h, depth == 16 ? QImage::Format_RGBX64 : QImage::Format_RGB888);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) {
        const auto rowOf = [&](const SaneFrame& f) {
            return reinterpret_cast<const uchar*>(f.data.constData()) + qint64(y) * f.params.bytes_per_line;
        };
        uchar* out = image.scanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const quint16 v = interleaved ? sampleOf(rowOf(*interleaved), x * 3 + c, depth)
                                              : sampleOf(rowOf(*planes[c]), x, depth);
                if (depth == 16)
                    reinterpret_cast<quint16*>(out)[x * 4 + c] = v;
                else
                    out[x * 3 + c] = uchar(v >> 8);
            }
        if (depth == 16)
            for (int x = 0; x < w; ++x) reinterpret_cast<quint16*>(out)[x * 4 + 3] = 0xFFFF;
    }
    return image;
}

} // namespace

QImage assembleSaneImage(const std::vector<SaneFrame>& frames)
{
    if (frames.size() == 1) {
        const SaneFrame& f = frames.front();
        if (f.params.format == SANE_FRAME_GRAY && validFrame(f.params, 1)) return grayImage(f);
        if (f.params.format == SANE_FRAME_RGB && validFrame(f.params, 3)) return colourImage(&f, nullptr);
        return {};
    }
    const SaneFrame* planes[3] = {nullptr, nullptr, nullptr};
    for (const SaneFrame& f : frames) {
        const int c = f.params.format == SANE_FRAME_RED     ? 0
                      : f.params.format == SANE_FRAME_GREEN ? 1
                      : f.params.format == SANE_FRAME_BLUE  ? 2
                                                            : -1;
        if (c < 0 || planes[c] || !validFrame(f.params, 1)) return {};
        planes[c] = &f;
    }
    if (!planes[0] || !planes[1] || !planes[2]) return {};
    return colourImage(nullptr, planes);
}

SaneDevice::~SaneDevice() { close(); }

QStringList SaneDevice::devices(QStringList* labels)
{
    initSane();
    const SANE_Device** list = nullptr;
    QStringList names;
    if (sane_get_devices(&list, SANE_TRUE) != SANE_STATUS_GOOD || !list) return names;
    for (int i = 0; list[i]; ++i) {
        names << QString::fromLocal8Bit(list[i]->name);
        if (labels)
            *labels << (QString::fromLocal8Bit(list[i]->vendor) + QLatin1Char(' ') + QString::fromLocal8Bit(list[i]->model))
                           .trimmed();
    }
    return names;
}

bool SaneDevice::open(const QString& name, QString* error)
{
    close();
    QString device = name;
    if (device.isEmpty()) {
        const QStringList all = devices();
        if (all.isEmpty()) {
            if (error) *error = QStringLiteral("No scanner found");
            return false;
        }
        device = all.front();
    }
    initSane();
    const SANE_Status status = sane_open(device.toLocal8Bit().constData(), &m_handle);
    if (status != SANE_STATUS_GOOD) {
        m_handle = nullptr;
        if (error) *error = QStringLiteral("The scanner %1 could not be opened: %2").arg(device, statusText(status));
        return false;
    }
    m_cancel.store(false);
    return true;
}

void SaneDevice::close()
{
    if (!m_handle) return;
    sane_cancel(m_handle);
    sane_close(m_handle);
    m_handle = nullptr;
}

int SaneDevice::optionIndex(const QString& name) const
{
    if (!m_handle) return -1;
    const QByteArray wanted = name.toLatin1();
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(m_handle, i);
        if (!d) return -1;
        if (d->name && wanted == d->name) return i;
    }
}

bool SaneDevice::setOption(const QString& name, const QString& value, QString* error)
{
    const int index = optionIndex(name);
    const SANE_Option_Descriptor* d = index > 0 ? sane_get_option_descriptor(m_handle, index) : nullptr;
    const auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("The scanner option %1 cannot be set to %2: %3").arg(name, value, why);
        return false;
    };
    if (!d) return fail(QStringLiteral("the scanner has no such option"));
    if (!SANE_OPTION_IS_SETTABLE(d->cap) || !SANE_OPTION_IS_ACTIVE(d->cap)) return fail(QStringLiteral("not settable"));
    QByteArray buffer(qMax<int>(d->size, int(sizeof(SANE_Word))) + 1, '\0');
    bool ok = true;
    switch (d->type) {
    case SANE_TYPE_BOOL: {
        const QString v = value.trimmed().toLower();
        const SANE_Word w = (v == QLatin1String("true") || v == QLatin1String("yes") || v == QLatin1String("1")) ? SANE_TRUE : SANE_FALSE;
        std::memcpy(buffer.data(), &w, sizeof w);
        break;
    }
    case SANE_TYPE_INT: {
        const SANE_Word w = value.trimmed().toInt(&ok);
        std::memcpy(buffer.data(), &w, sizeof w);
        break;
    }
    case SANE_TYPE_FIXED: {
        const SANE_Word w = SANE_FIX(value.trimmed().toDouble(&ok));
        std::memcpy(buffer.data(), &w, sizeof w);
        break;
    }
    case SANE_TYPE_STRING: {
        const QByteArray text = value.toLocal8Bit();
        if (text.size() >= d->size) return fail(QStringLiteral("too long"));
        std::memcpy(buffer.data(), text.constData(), size_t(text.size()));
        break;
    }
    default: return fail(QStringLiteral("not a value"));
    }
    if (!ok) return fail(QStringLiteral("not a number"));
    const SANE_Status status = sane_control_option(m_handle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
    if (status != SANE_STATUS_GOOD) return fail(statusText(status));
    return true;
}

QString SaneDevice::optionText(const QString& name) const
{
    const int index = optionIndex(name);
    const SANE_Option_Descriptor* d = index > 0 ? sane_get_option_descriptor(m_handle, index) : nullptr;
    if (!d || !SANE_OPTION_IS_ACTIVE(d->cap)) return {};
    QByteArray buffer(qMax<int>(d->size, int(sizeof(SANE_Word))) + 1, '\0');
    if (sane_control_option(m_handle, index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD) return {};
    SANE_Word w = 0;
    std::memcpy(&w, buffer.constData(), sizeof w);
    switch (d->type) {
    case SANE_TYPE_STRING: return QString::fromLocal8Bit(buffer.constData());
    case SANE_TYPE_BOOL: return w ? QStringLiteral("true") : QStringLiteral("false");
    case SANE_TYPE_INT: return QString::number(w);
    case SANE_TYPE_FIXED: return QString::number(SANE_UNFIX(w));
    default: return {};
    }
}

QStringList SaneDevice::optionValues(const QString& name) const
{
    const int index = optionIndex(name);
    const SANE_Option_Descriptor* d = index > 0 ? sane_get_option_descriptor(m_handle, index) : nullptr;
    if (!d || !SANE_OPTION_IS_ACTIVE(d->cap)) return {};
    const auto word = [d](SANE_Word w) {
        return d->type == SANE_TYPE_FIXED ? QString::number(SANE_UNFIX(w)) : QString::number(w);
    };
    QStringList values;
    switch (d->constraint_type) {
    case SANE_CONSTRAINT_STRING_LIST:
        for (int i = 0; d->constraint.string_list[i]; ++i) values << QString::fromLocal8Bit(d->constraint.string_list[i]);
        break;
    case SANE_CONSTRAINT_WORD_LIST:
        for (int i = 1; i <= d->constraint.word_list[0]; ++i) values << word(d->constraint.word_list[i]);
        break;
    case SANE_CONSTRAINT_RANGE: {
        const SANE_Range& r = *d->constraint.range;
        const bool fixed = d->type == SANE_TYPE_FIXED;
        const double low = fixed ? SANE_UNFIX(r.min) : r.min, high = fixed ? SANE_UNFIX(r.max) : r.max;
        const double step = fixed ? SANE_UNFIX(r.quant) : r.quant;
        for (const double v : {50.0, 75.0, 100.0, 150.0, 200.0, 300.0, 400.0, 600.0, 1200.0, 2400.0, 4800.0}) {
            if (v < low || v > high) continue;
            if (step > 0 && std::fmod(v - low, step) > 1e-6) continue;
            values << QString::number(v);
        }
        if (values.isEmpty()) values << QString::number(low) << QString::number(high);
        break;
    }
    case SANE_CONSTRAINT_NONE:
        if (const QString v = optionText(name); !v.isEmpty()) values << v;
        break;
    }
    values.removeDuplicates();
    return values;
}

bool SaneDevice::isFeeder() const
{
    const QString source = optionText(QStringLiteral("source"));
    return source.contains(QLatin1String("ADF"), Qt::CaseInsensitive) ||
           source.contains(QLatin1String("feeder"), Qt::CaseInsensitive);
}

double SaneDevice::resolution() const { return optionText(QStringLiteral("resolution")).toDouble(); }

void SaneDevice::cancel()
{
    m_cancel.store(true);
    if (m_handle) sane_cancel(m_handle);
}

SaneDevice::Read SaneDevice::readImage(QImage& image, QString* error)
{
    image = QImage();
    const auto failed = [&](SANE_Status status) {
        if (status == SANE_STATUS_CANCELLED || m_cancel.load()) return Read::Cancelled;
        if (error) *error = statusText(status);
        return Read::Failed;
    };
    if (!m_handle) return failed(SANE_STATUS_INVAL);
    std::vector<SaneFrame> frames;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        if (m_cancel.load()) return Read::Cancelled;
        SANE_Status status = sane_start(m_handle);
        if (m_progress) m_progress();
        if (status == SANE_STATUS_NO_DOCS && frames.empty()) return Read::NoDocuments;
        if (status != SANE_STATUS_GOOD) return failed(status);
        SaneFrame frame;
        status = sane_get_parameters(m_handle, &frame.params);
        if (status != SANE_STATUS_GOOD) return failed(status);
        if (frame.params.lines > 0 && frame.params.bytes_per_line > 0)
            frame.data.reserve(qint64(frame.params.lines) * frame.params.bytes_per_line);
        for (;;) {
            SANE_Int length = 0;
            status = sane_read(m_handle, reinterpret_cast<SANE_Byte*>(chunk.data()), SANE_Int(chunk.size()), &length);
            if (m_progress) m_progress();
            if (status == SANE_STATUS_EOF) break;
            if (status != SANE_STATUS_GOOD) return failed(status);
            // A Cancel that came as the scan was starting may have reached a backend that had
            // nothing to stop yet: it is passed on again here rather than read to the page's end.
            if (m_cancel.load()) {
                sane_cancel(m_handle);
                return Read::Cancelled;
            }
            frame.data.append(chunk.constData(), length);
        }
        const bool last = frame.params.last_frame;
        frames.push_back(std::move(frame));
        if (last) break;
        if (frames.size() > 3) return failed(SANE_STATUS_INVAL);
    }
    image = assembleSaneImage(frames);
    if (image.isNull()) {
        if (error) *error = QStringLiteral("The scanner sent an image of a kind that cannot be read");
        return Read::Failed;
    }
    if (const double dpi = resolution(); dpi > 0) {
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return Read::Image;
}

} // namespace tf
