#include "platform/decode/decoder_server.h"

#include "platform/decode/decode_wire.h"
#include "platform/sys/freeheap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <poll.h>
#include <sys/resource.h>
#include <sys/time.h>

namespace tf::decode {

namespace {

std::atomic<bool> g_decoderProcess{false};

// The request being handled, for stillWorking.
constexpr int kSocket = 0;
bool g_handling = false;
uint32_t g_timeLimitMs = 0;
std::chrono::steady_clock::time_point g_lastWord;

} // namespace

bool memoryLimitOption(int argc, char** argv, int64_t& limit)
{
    limit = kDefaultMemoryLimit;
    const std::string_view prefix = kMemoryLimitOption;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, prefix.size()) != prefix) return false;
        char* end = nullptr;
        const std::string value(arg.substr(prefix.size()));
        const long long bytes = std::strtoll(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || bytes < 0) return false;
        limit = bytes;
    }
    return true;
}

namespace {

// A backstop should the program be gone while a library loops: the default action of SIGALRM
// ends the process. The program kills a decoder at the time limit itself.
void armBackstop(uint32_t timeLimitMs)
{
    itimerval timer{};
    if (timeLimitMs > 0) {
        const uint64_t ms = uint64_t(timeLimitMs) * 2 + 1000;
        timer.it_value.tv_sec = static_cast<time_t>(ms / 1000);
        timer.it_value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    }
    setitimer(ITIMER_REAL, &timer, nullptr);
}

} // namespace

void stillWorking()
{
    if (!g_handling) return;
    const auto now = std::chrono::steady_clock::now();
    // Often enough that the program hears it well within its limit, seldom enough to cost nothing.
    const auto every = std::chrono::milliseconds(std::min<uint32_t>(500, g_timeLimitMs / 4));
    if (now - g_lastWord < every) return;
    g_lastWord = now;
    armBackstop(g_timeLimitMs);
    // A program gone meanwhile is seen when the reply is written.
    wire::writeStillWorking(kSocket);
}

bool isDecoderProcess() { return g_decoderProcess.load(); }

void decodeInThisProcess() { g_decoderProcess = true; }

int runDecoder(int argc, char** argv, const DecodeHandler& handler)
{
    g_decoderProcess = true;
    int64_t limit = 0;
    if (!memoryLimitOption(argc, argv, limit)) {
        std::fprintf(stderr, "usage: %s [%sBYTES]  (requests on standard input, a socket)\n", argv[0], kMemoryLimitOption);
        return 2;
    }
    if (limit > 0 && kAddressSpaceLimitUsable) {
        const rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        if (setrlimit(RLIMIT_AS, &r) != 0) std::perror("setrlimit");
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGALRM, SIG_DFL);

    constexpr int fd = kSocket;
    for (;;) {
        // A decoder idle for a while gives back what its last requests left free: the window's
        // decoders wait for thumbnails most of their lives.
        pollfd next{fd, POLLIN, 0};
        if (::poll(&next, 1, 1000) == 0) releaseFreeHeap();
        DecodeRequest request;
        uint32_t timeLimitMs = 0;
        const wire::Io in = wire::readRequest(fd, request, timeLimitMs);
        if (in == wire::Io::Closed) return 0;
        if (in != wire::Io::Ok) return 2;

        DecodeResult result;
        armBackstop(timeLimitMs);
        g_handling = true;
        g_timeLimitMs = timeLimitMs;
        g_lastWord = std::chrono::steady_clock::now();
        try {
            result = handler(request);
        } catch (const std::bad_alloc&) {
            result = DecodeResult{};
            result.status = DecodeStatus::OutOfMemory;
            result.message = QString::fromLatin1(kUnableToRead);
        } catch (...) {
            result = DecodeResult{};
            result.message = QString::fromLatin1(kUnableToRead);
        }
        g_handling = false;
        armBackstop(0);

        try {
            if (wire::writeReply(fd, result) != wire::Io::Ok) return 0; // the program is gone
        } catch (const std::bad_alloc&) {
            return 3; // the program sees the decoder die and counts the file as unreadable
        }
    }
}

} // namespace tf::decode
