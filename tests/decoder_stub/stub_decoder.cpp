// A decoder program for tests: the real protocol and limits, with requests that misbehave on purpose.
#include "decoder_stub/stub_requests.h"
#include "platform/decode/decoder_server.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tf::decode;
namespace stub = tf::test::stub;

int main(int argc, char** argv)
{
    return runDecoder(argc, argv, [](const DecodeRequest& request) {
        DecodeResult r;
        switch (request.kind) {
        case stub::Picture:
            r.image = stub::picture(static_cast<QImage::Format>(request.flags), request.width, request.height);
            r.message = request.path + request.target;
            r.sourceWidth = request.width * 2;
            r.sourceHeight = request.height * 2;
            r.pageCount = request.page;
            r.errorNumber = request.sizeMode;
            r.route = static_cast<int32_t>(request.backColor);
            break;
        case stub::Crash: std::abort();
        case stub::Hang:
            for (;;) pause();
        case stub::Allocate: {
            std::vector<char> block(size_t(request.width) << 20);
            r.pageCount = block[0];
            break;
        }
        case stub::Garbage: {
            const char junk[] = "this is not an answer at all, nothing like one; not even close to one";
            [[maybe_unused]] const ssize_t n = write(0, junk, sizeof junk);
            break;
        }
        case stub::Quit: _exit(0);
        case stub::Gate: {
            if (!request.target.isEmpty()) close(open(request.target.toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0600));
            const int fd = open(request.path.toLocal8Bit().constData(), O_RDONLY);
            char byte = 0;
            while (fd >= 0 && read(fd, &byte, 1) > 0) {
            }
            if (fd >= 0) close(fd);
            r.image = QImage(1, 1, QImage::Format_RGB32);
            break;
        }
        case stub::Touch: {
            const int fd = open(request.path.toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0600);
            if (fd >= 0) close(fd);
            r.image = QImage(1, 1, QImage::Format_RGB32);
            break;
        }
        case stub::Working:
        case stub::Sleep:
            for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(request.width);
                 std::chrono::steady_clock::now() < end;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (request.kind == stub::Working) stillWorking();
            }
            r.image = QImage(1, 1, QImage::Format_RGB32);
            r.image.fill(Qt::red);
            break;
        }
        return r;
    });
}
