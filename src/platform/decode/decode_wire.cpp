#include "platform/decode/decode_wire.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tf::decode::wire {

namespace {

// Waits until fd is ready for `events`; the time left decides how long.
Io waitReady(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return Io::TimedOut;
            timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n > 0) return Io::Ok; // errors and hang-ups show in the read or write that follows
        if (n == 0) continue;     // the loop head decides whether time is up
        if (errno != EINTR) return Io::Failed;
    }
}

uint32_t standardBytesPerLine(const QImage& image)
{
    return static_cast<uint32_t>(((qsizetype(image.width()) * image.depth() + 31) >> 5) << 2);
}

} // namespace

Io readExact(int fd, void* data, size_t size, Deadline deadline)
{
    auto* at = static_cast<char*>(data);
    while (size > 0) {
        if (deadline) {
            const Io ready = waitReady(fd, POLLIN, deadline);
            if (ready != Io::Ok) return ready;
        }
        const ssize_t n = ::read(fd, at, size);
        if (n > 0) {
            at += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0) {
            return Io::Closed;
        } else if (errno == ECONNRESET || errno == EPIPE) {
            return Io::Closed;
        } else if (errno != EINTR && errno != EAGAIN) {
            return Io::Failed;
        }
    }
    return Io::Ok;
}

Io writeExact(int fd, const void* data, size_t size, Deadline deadline)
{
    const auto* at = static_cast<const char*>(data);
    while (size > 0) {
        if (deadline) {
            const Io ready = waitReady(fd, POLLOUT, deadline);
            if (ready != Io::Ok) return ready;
        }
        // A socket says a closed far end with EPIPE rather than a signal that would end us.
        ssize_t n = ::send(fd, at, size, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, at, size);
        if (n > 0) {
            at += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            return Io::Closed;
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return Io::Failed;
        }
    }
    return Io::Ok;
}

Io readRequest(int fd, DecodeRequest& request, uint32_t& timeLimitMs)
{
    RequestHeader h{};
    const Io io = readExact(fd, &h, sizeof h, std::nullopt);
    if (io != Io::Ok) return io;
    if (h.magic != kRequestMagic || h.version != kVersion || h.pathUnits > kMaxPathUnits || h.targetUnits > kMaxPathUnits)
        return Io::Failed;
    std::vector<char16_t> text(size_t(h.pathUnits) + h.targetUnits);
    if (!text.empty()) {
        const Io textIo = readExact(fd, text.data(), text.size() * sizeof(char16_t), std::nullopt);
        if (textIo != Io::Ok) return textIo == Io::Closed ? Io::Failed : textIo;
    }
    request = DecodeRequest{};
    request.kind = h.kind;
    request.path = QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(h.pathUnits));
    request.target = QString(reinterpret_cast<const QChar*>(text.data() + h.pathUnits), static_cast<qsizetype>(h.targetUnits));
    request.page = h.page;
    request.sizeMode = h.sizeMode;
    request.width = h.width;
    request.height = h.height;
    request.backColor = h.backColor;
    request.flags = h.flags;
    timeLimitMs = h.timeLimitMs;
    return Io::Ok;
}

Io writeReply(int fd, const DecodeResult& result)
{
    const QImage& image = result.image;
    const QString message = result.message.left(kMaxMessageUnits);
    const QList<QRgb> colors = image.isNull() ? QList<QRgb>() : image.colorTable().mid(0, kMaxColors);
    const uint32_t stride = image.isNull() ? 0 : standardBytesPerLine(image);

    ReplyHeader h{};
    h.magic = kReplyMagic;
    h.status = static_cast<uint32_t>(result.status);
    h.sourceWidth = result.sourceWidth;
    h.sourceHeight = result.sourceHeight;
    h.pageCount = result.pageCount;
    h.errorNumber = result.errorNumber;
    h.route = result.route;
    h.outcome = result.outcome;
    h.messageUnits = static_cast<uint32_t>(message.size());
    h.format = image.isNull() ? uint32_t(QImage::Format_Invalid) : uint32_t(image.format());
    h.width = image.width();
    h.height = image.height();
    h.bytesPerLine = stride;
    h.dotsPerMeterX = image.dotsPerMeterX();
    h.dotsPerMeterY = image.dotsPerMeterY();
    h.colorCount = static_cast<uint32_t>(colors.size());
    h.pixelBytes = uint64_t(stride) * uint64_t(std::max(image.height(), 0));

    Io io = writeExact(fd, &h, sizeof h, std::nullopt);
    if (io == Io::Ok && !message.isEmpty()) io = writeExact(fd, message.utf16(), message.size() * sizeof(char16_t), std::nullopt);
    if (io == Io::Ok && !colors.isEmpty()) io = writeExact(fd, colors.constData(), colors.size() * sizeof(QRgb), std::nullopt);
    if (io != Io::Ok || image.isNull()) return io;
    if (qsizetype(stride) == image.bytesPerLine()) return writeExact(fd, image.constBits(), h.pixelBytes, std::nullopt);
    // A picture wrapped around someone else's rows may have a stride of its own.
    std::vector<uchar> row(stride, 0);
    const size_t used = std::min<size_t>(stride, static_cast<size_t>(image.bytesPerLine()));
    for (int y = 0; y < image.height() && io == Io::Ok; ++y) {
        std::memcpy(row.data(), image.constScanLine(y), used);
        io = writeExact(fd, row.data(), row.size(), std::nullopt);
    }
    return io;
}

Io writeRequest(int fd, const DecodeRequest& request, uint32_t timeLimitMs, Deadline deadline)
{
    if (static_cast<uint64_t>(request.path.size()) > kMaxPathUnits ||
        static_cast<uint64_t>(request.target.size()) > kMaxPathUnits)
        return Io::Failed;
    RequestHeader h{};
    h.magic = kRequestMagic;
    h.version = kVersion;
    h.kind = request.kind;
    h.page = request.page;
    h.sizeMode = request.sizeMode;
    h.width = request.width;
    h.height = request.height;
    h.backColor = request.backColor;
    h.flags = request.flags;
    h.timeLimitMs = timeLimitMs;
    h.pathUnits = static_cast<uint32_t>(request.path.size());
    h.targetUnits = static_cast<uint32_t>(request.target.size());
    // One write, so that a small request never waits on the socket's coalescing.
    const size_t pathBytes = request.path.size() * sizeof(char16_t);
    std::vector<char> frame(sizeof h + pathBytes + request.target.size() * sizeof(char16_t));
    std::memcpy(frame.data(), &h, sizeof h);
    if (!request.path.isEmpty()) std::memcpy(frame.data() + sizeof h, request.path.utf16(), pathBytes);
    if (!request.target.isEmpty())
        std::memcpy(frame.data() + sizeof h + pathBytes, request.target.utf16(), request.target.size() * sizeof(char16_t));
    return writeExact(fd, frame.data(), frame.size(), deadline);
}

Io writeStillWorking(int fd)
{
    ReplyHeader h{};
    h.magic = kReplyMagic;
    h.status = kStillWorking;
    return writeExact(fd, &h, sizeof h, std::nullopt);
}

Io readReply(int fd, DecodeResult& result, Deadline deadline, std::chrono::milliseconds renewal)
{
    ReplyHeader h{};
    Io io = readExact(fd, &h, sizeof h, deadline);
    while (io == Io::Ok && h.magic == kReplyMagic && h.status == kStillWorking) {
        if (deadline && renewal.count() > 0) deadline = Clock::now() + renewal;
        io = readExact(fd, &h, sizeof h, deadline);
    }
    if (io != Io::Ok) return io;
    if (h.magic != kReplyMagic || h.status > uint32_t(DecodeStatus::Cancelled) || h.messageUnits > kMaxMessageUnits ||
        h.colorCount > kMaxColors || h.pixelBytes > kMaxPixelBytes || h.format >= uint32_t(QImage::NImageFormats))
        return Io::Failed;

    result = DecodeResult{};
    result.status = static_cast<DecodeStatus>(h.status);
    result.sourceWidth = h.sourceWidth;
    result.sourceHeight = h.sourceHeight;
    result.pageCount = h.pageCount;
    result.errorNumber = h.errorNumber;
    result.route = h.route;
    result.outcome = h.outcome;
    if (h.messageUnits > 0) {
        std::vector<char16_t> text(h.messageUnits);
        io = readExact(fd, text.data(), text.size() * sizeof(char16_t), deadline);
        if (io != Io::Ok) return io;
        result.message = QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
    }
    QList<QRgb> colors(h.colorCount);
    if (h.colorCount > 0) {
        io = readExact(fd, colors.data(), colors.size() * sizeof(QRgb), deadline);
        if (io != Io::Ok) return io;
    }

    const auto format = static_cast<QImage::Format>(h.format);
    if (format == QImage::Format_Invalid) return h.width == 0 && h.height == 0 && h.pixelBytes == 0 && h.colorCount == 0 ? Io::Ok : Io::Failed;
    if (h.width <= 0 || h.height <= 0) return Io::Failed;
    QImage image(h.width, h.height, format);
    if (image.isNull()) {
        // Our own allocation failed: the pixels are not taken, and the stream is unusable.
        result.status = DecodeStatus::OutOfMemory;
        return Io::Failed;
    }
    if (uint64_t(image.bytesPerLine()) != h.bytesPerLine || uint64_t(image.sizeInBytes()) != h.pixelBytes) return Io::Failed;
    io = readExact(fd, image.bits(), static_cast<size_t>(h.pixelBytes), deadline);
    if (io != Io::Ok) return io;
    if (h.colorCount > 0) image.setColorTable(colors);
    if (h.dotsPerMeterX > 0) image.setDotsPerMeterX(h.dotsPerMeterX);
    if (h.dotsPerMeterY > 0) image.setDotsPerMeterY(h.dotsPerMeterY);
    result.image = std::move(image);
    return Io::Ok;
}

} // namespace tf::decode::wire
