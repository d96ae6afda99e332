// The decoder program: decodes one picture per request in a process of its own, so that a library
// that crashes, loops or runs out of memory on a damaged file costs that file and nothing else.
// Each request follows the routing of the caller that sent it, exactly as that caller decodes in
// process.
#include "platform/decode/decoder_server.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_limits.h"
#include "platform/sys/coverage.h"
#include "services/modLoadPic.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using tf::decode::DecodeKind;
using tf::decode::DecodeRequest;
using tf::decode::DecodeResult;

DecodeResult decodePage(const DecodeRequest& request)
{
    DecodeResult r;
    r.image = tf::imagebox::decodeImageFile(request.path, request.page, &r.message);
    r.sourceWidth = r.image.width();
    r.sourceHeight = r.image.height();
    return r;
}

DecodeResult decodePicture(const DecodeRequest& request)
{
    DecodeResult r;
    tf::PicRoute route = tf::PicRoute::None;
    tf::LoadPicOptions options;
    options.route = &route;
    // The program reports (or not) as its caller asked; here the report is only collected.
    options.reporter = [&r](const QString& description, int32_t number, int16_t, const QString&) {
        r.errorNumber = number;
        r.message = description;
    };
    r.image = LoadPic(request.path, request.sizeMode, request.width, request.height, request.backColor, r.sourceWidth,
                      r.sourceHeight, options);
    r.route = static_cast<int32_t>(route);
    if ((request.flags & tf::kLoadPicCountPages) && !r.image.isNull()) r.pageCount = tf::imagebox::imageFilePageCount(request.path);
    return r;
}

DecodeResult countPages(const DecodeRequest& request)
{
    DecodeResult r;
    r.pageCount = tf::imagebox::imageFilePageCount(request.path);
    return r;
}

// A page of a batch conversion, read and written here whole: its pixels (a photo page is tens of
// megabytes) never cross the socket, and the program only names and places the file.
DecodeResult writeTiffPage(const DecodeRequest& request)
{
    using tf::decode::TiffPageOutcome;
    // Pages come one after another, each a picture of tens of megabytes: the memory of one is
    // kept for the next rather than given back and faulted in again, which costs the system
    // more than the page's decode. Until the decoder is idle (see runDecoder).
    static const bool kept = [] {
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        return true;
    }();
    (void)kept;
    DecodeResult r;
    tf::ImageDocument doc;
    if (!tf::loadPageFile(doc, request.path)) {
        r.outcome = static_cast<int32_t>(TiffPageOutcome::Unreadable);
        return r;
    }
    r.sourceWidth = doc.ImageWidth();
    r.sourceHeight = doc.ImageHeight();
    // In the page writers' order: colour format, then compression (which may narrow the format).
    doc.setColorFormat(static_cast<int16_t>(request.sizeMode));
    doc.setTiffCompression(static_cast<int16_t>(request.flags));
    QString error;
    bool written = false;
    try {
        // A slow disk is no hung decoder: each piece written starts the time limit again.
        written = doc.WriteTiffPageInto(request.target, &error, tf::decode::stillWorking);
    } catch (const std::exception& e) {
        error = tf::errorText(e); // a picture that cannot be converted to the colour format
    }
    if (!written) {
        r.outcome = static_cast<int32_t>(TiffPageOutcome::NotWritten);
        r.message = error.isEmpty() ? QStringLiteral("The page could not be written") : error;
    }
    return r;
}

DecodeResult handle(const DecodeRequest& request)
{
    switch (static_cast<DecodeKind>(request.kind)) {
    case DecodeKind::Page: return decodePage(request);
    case DecodeKind::Picture: return decodePicture(request);
    case DecodeKind::PageCount: return countPages(request);
    case DecodeKind::Routed: return tf::serveRoutedRequest(request);
    case DecodeKind::WriteTiffPage: return writeTiffPage(request);
    }
    DecodeResult r;
    r.message = QStringLiteral("unknown request kind %1").arg(request.kind);
    return r;
}

// What the first thumbnail would otherwise pay for: FreeImage's plugins, and Qt's JPEG reader
// with the library under it. Only while the decoder would wait for its first request anyway: a
// request already there (a save that started the decoders) is served at once, and each library
// sets itself up when first used.
void warmUp()
{
    pollfd in{0, POLLIN, 0};
    if (::poll(&in, 1, 0) != 0) return;
    tf::ensureFreeImage();
    QImage tiny(16, 16, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QImageWriter(&buffer, "jpeg").write(tiny);
    buffer.seek(0);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(QSize(2, 2));
    reader.read();
}

} // namespace

int main(int argc, char** argv)
{
    // One decoder runs per core: at the window's own priority they can keep its thread waiting
    // for a processor long enough to miss a window manager's ping. A little lower, they still take
    // every idle cycle.
    errno = 0;
    const int priority = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0) ::setpriority(PRIO_PROCESS, 0, std::min(priority + 4, 19));
    // Qt's SVG reader draws text, and fonts need a GUI application; the decoder has no screen, so
    // it never asks for the window's platform (an X server that went away would end it).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nor a desktop's platform theme, which the window's environment may name: loading one (and
    // the toolkit and icons under it) would cost every decoder's start more than a thumbnail.
    qunsetenv("QT_QPA_PLATFORMTHEME");
    // Image format plugins are found through the application's library paths.
    QGuiApplication app(argc, argv);
    int64_t memoryLimit = 0;
    // A malformed option is runDecoder's to report.
    if (tf::decode::memoryLimitOption(argc, argv, memoryLimit)) {
        tf::setPictureMemoryLimit(memoryLimit);
        warmUp();
    }
    const int status = tf::decode::runDecoder(argc, argv, handle);
    // Nothing of the decoder outlives it: taking the application and the libraries down (which
    // loads the font configuration only to drop it) would cost each ending decoder a core for a
    // while.
    std::fflush(nullptr);
    tf::writeCoverageCounts();
    ::_exit(status);
}
