#pragma once
// The decoder's wire format and the blocking reads and writes both ends share. Both ends are the
// same build on the same machine, so fields go in the machine's own byte order; the magic numbers
// and the version catch a stale decoder program left beside a newer executable.
//
// A request is a RequestHeader, the path and the target in UTF-16 code units (so any QString
// arrives exactly).
// A reply is a ReplyHeader, the message in UTF-16, the colour table, then the pixel rows at
// QImage's own stride. Pixels go through the socket rather than shared memory: a thumbnail is a few
// kilobytes, and even an A4 page at 300 dpi (35 MB) copies in a few milliseconds, against a decode
// ten times as long; one stream keeps the time limit and the death of a decoder in one place, and
// a decoder killed halfway leaves nothing behind to clean up.
#include "platform/decode/decode_types.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tf::decode::wire {

inline constexpr uint32_t kRequestMagic = 0x51444654; // "TFDQ"
inline constexpr uint32_t kReplyMagic = 0x52444654;   // "TFDR"
inline constexpr uint32_t kVersion = 3;

inline constexpr uint32_t kMaxPathUnits = 1 << 16;
inline constexpr uint32_t kMaxMessageUnits = 1 << 16;
inline constexpr uint32_t kMaxColors = 256;
// Twice the largest picture the image control takes (1 GiB of pixels at its depth), for the
// 32-bit form of a picture held at a lower depth.
inline constexpr uint64_t kMaxPixelBytes = uint64_t(2) << 30;

struct RequestHeader {
    uint32_t magic;
    uint32_t version;
    uint32_t kind;
    int32_t page;
    int32_t sizeMode;
    int32_t width;
    int32_t height;
    uint32_t backColor;
    uint32_t flags;
    uint32_t timeLimitMs; // the decoder's own backstop, should the program be gone
    uint32_t pathUnits;
    uint32_t targetUnits;
};

struct ReplyHeader {
    uint32_t magic;
    uint32_t status;
    int32_t sourceWidth;
    int32_t sourceHeight;
    int32_t pageCount;
    int32_t errorNumber;
    int32_t route;
    uint32_t messageUnits;
    uint32_t format; // QImage::Format
    int32_t width;
    int32_t height;
    uint32_t bytesPerLine;
    int32_t dotsPerMeterX;
    int32_t dotsPerMeterY;
    uint32_t colorCount;
    int32_t outcome;
    uint64_t pixelBytes;
};

// A reply header with this status, and nothing after it, comes before the reply of a request
// that is making progress (a page being written to a slow disk): its time limit starts again.
inline constexpr uint32_t kStillWorking = 0x4B524F57; // "WORK"

enum class Io { Ok, Closed, TimedOut, Failed };

using Clock = std::chrono::steady_clock;
// No deadline: block until done (the decoder's side).
using Deadline = std::optional<Clock::time_point>;

Io readExact(int fd, void* data, size_t size, Deadline deadline);
Io writeExact(int fd, const void* data, size_t size, Deadline deadline);

// The decoder's side. A request that breaks the format gives Io::Failed.
Io readRequest(int fd, DecodeRequest& request, uint32_t& timeLimitMs);
Io writeReply(int fd, const DecodeResult& result);
Io writeStillWorking(int fd);

// The program's side. A reply that breaks the format gives Io::Failed.
Io writeRequest(int fd, const DecodeRequest& request, uint32_t timeLimitMs, Deadline deadline);
// Each word that the decoder is still working moves the deadline to `renewal` from then.
Io readReply(int fd, DecodeResult& result, Deadline deadline, std::chrono::milliseconds renewal = {});

} // namespace tf::decode::wire
