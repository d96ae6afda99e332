#include "platform/decode/decoder_server.h"

#include "platform/decode/decode_wire.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/time.h>

namespace tf::decode {

namespace {

std::atomic<bool> g_decoderProcess{false};

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

    constexpr int fd = 0;
    for (;;) {
        DecodeRequest request;
        uint32_t timeLimitMs = 0;
        const wire::Io in = wire::readRequest(fd, request, timeLimitMs);
        if (in == wire::Io::Closed) return 0;
        if (in != wire::Io::Ok) return 2;

        DecodeResult result;
        armBackstop(timeLimitMs);
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
        armBackstop(0);

        try {
            if (wire::writeReply(fd, result) != wire::Io::Ok) return 0; // the program is gone
        } catch (const std::bad_alloc&) {
            return 3; // the program sees the decoder die and counts the file as unreadable
        }
    }
}

} // namespace tf::decode
