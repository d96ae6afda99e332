#pragma once
// The decoder program's side: the main() of a decoder program registers its handler and hands
// over here.
#include "platform/decode/decode_types.h"

#include <cstdint>

namespace tf::decode {

// The address space a decoder may take unless told otherwise: enough for the largest picture the
// program takes on (1 GiB of pixels) with its copy, far below what would push the machine into
// swapping.
inline constexpr int64_t kDefaultMemoryLimit = int64_t(2) << 30;

// Under AddressSanitizer the shadow memory alone is terabytes of address space, so a limit on it
// would stop the decoder before it starts: a sanitized decoder runs without one, and the sanitizer
// reports oversized allocations itself.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSpaceLimitUsable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSpaceLimitUsable = false;
#else
inline constexpr bool kAddressSpaceLimitUsable = true;
#endif
#else
inline constexpr bool kAddressSpaceLimitUsable = true;
#endif

// The option the client passes; a decoder started by hand takes it too.
inline constexpr const char* kMemoryLimitOption = "--memory-limit=";

// The memory limit named by --memory-limit=BYTES in a decoder's arguments (0: none), else
// kDefaultMemoryLimit; false for any other argument or a malformed value.
bool memoryLimitOption(int argc, char** argv, int64_t& limit);

// Serves requests from the socket on standard input until it closes: one handler call per request,
// its result written back. Applies the memory limit named by --memory-limit=BYTES (0: none;
// default kDefaultMemoryLimit) first. Returns the process's exit code: 0 when the program closed
// the socket, 2 for a malformed request or a bad option.
int runDecoder(int argc, char** argv, const DecodeHandler& handler);

// Inside a handler: the request is making progress (a page being written to a slow disk), so its
// time limit starts again, in the program and in the decoder's own backstop. Cheap to call often:
// it tells the program at most four times within the time limit, and twice a second at most. Does nothing outside a decoder's request.
void stillWorking();

// True inside a decoder program once runDecoder has started. A caller routed through the guarded
// client decodes in process when this is true, and the client starts no decoder from a decoder.
bool isDecoderProcess();
// Makes this process decode as a decoder program does, without serving requests: for the loader's
// fuzz target, whose faults must happen where the fuzzer sees them.
void decodeInThisProcess();

} // namespace tf::decode
