// The loader, decoding in this process as the decoder program does: a picture that breaks an image
// library must break it here, where the fuzzer sees it, not in a decoder child it cannot watch.
#include "fuzz/driver.h"
#include "platform/decode/decoder_server.h"

// The fuzzer drives the readers in its own process, as a decoder runs them: a crash or a hang of
// a library is the finding, and libFuzzer needs it in process to keep the input. The regression
// replay in the test suite goes through the decoder program, as the window does.
[[maybe_unused]] static const bool g_inProcess = (tf::decode::decodeInThisProcess(), true);

TF_FUZZ_TARGET(tf::fuzz::loader)
