#pragma once
// What travels between the program and its decoder processes: one request for one picture, and
// the answer. The decoder program hands each request to a handler of the caller's kind and sends
// back what the handler gave; the client adds the ways a decoder can fail on its own (a crash, a
// hang, memory running out, a garbled answer).
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

namespace tf::decode {

// Whose routing a request follows. The decoder program passes the number through to its handler,
// so each caller's routing stays as it is in process; only where it runs changes.
enum class DecodeKind : uint32_t {
    Page = 1,      // the image control: page `page` (1 = first) at the picture's own size
    Picture = 2,   // the picture loader: its routing, sized by sizeMode / width / height / backColor
    PageCount = 3, // the pages in a file, in pageCount
    // The shared routing of picture_decode.h: the caller (a tf::DecodeCaller) in `flags`, the page,
    // and sizeMode with width x height as the box. The answer's outcome is the routing's status
    // (a tf::DecodeStatus), sourceWidth x sourceHeight the picture's own size, the message why
    // there is none.
    Routed = 4,
    // A page written as a one-page TIFF into `target` (an empty file the program made): read as
    // the page writers read pages, then coded in the colour format `sizeMode` (a ColorFormatIndex)
    // and the compression `flags` (a TiffCompressionIndex). The pixels never leave the decoder.
    // The outcome is a TiffPageOutcome; the message says why it is not Written.
    WriteTiffPage = 5,
};

enum class TiffPageOutcome : int32_t {
    Written = 0,
    Unreadable = 1, // no reader gave a picture: nothing was written
    NotWritten = 2, // read, but the file could not be written (the message has the system's reason)
};

struct DecodeRequest {
    uint32_t kind = 0; // a DecodeKind, or a handler's own number
    QString path;
    int32_t page = 1;
    int32_t sizeMode = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t backColor = 0x00FFFFFF; // 0x00BBGGRR
    uint32_t flags = 0;              // handler-defined options
    QString target = {};             // a file the request writes (WriteTiffPage)
};

enum class DecodeStatus : uint32_t {
    Done = 0,          // the handler answered: the picture, or a null one with its error number / message
    TimedOut = 1,      // past the time limit; the decoder was killed
    Crashed = 2,       // the decoder died while decoding
    OutOfMemory = 3,   // the decoder ran into its memory limit
    ProtocolError = 4, // the decoder's answer made no sense; it was killed
    NoDecoder = 5,     // the decoder program could not be started
    Cancelled = 6,     // the request was dropped before it ran
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Done;
    QImage image; // with its resolution (dots per metre) and colour table; null when nothing was decoded
    // The decoded picture's own size before any sizing (the loader's image width and height).
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;
    int32_t pageCount = 0;
    int32_t errorNumber = 0; // the handler's error number (the loader's 481, 7), 0 for none
    int32_t route = 0;       // handler-defined: which reader gave the picture
    int32_t outcome = 0;     // handler-defined: how the handler's own routing ended
    QString message;         // why nothing was decoded

    // Whether the handler itself answered; every other status means the file could not be read.
    bool answered() const { return status == DecodeStatus::Done; }
};

// The text for a file a decoder could not get through (crash, hang, memory, garbled answer).
inline constexpr const char* kUnableToRead = "Unable to read";

// Runs inside the decoder program for each request.
using DecodeHandler = std::function<DecodeResult(const DecodeRequest&)>;

} // namespace tf::decode
