// The loader, decoding in this process as the decoder program does: a picture that breaks an image
// library must break it here, where the fuzzer sees it, not in a decoder child it cannot watch.
#include "fuzz/driver.h"
#include "platform/decode/decoder_server.h"

[[maybe_unused]] static const bool kDecodeHere = (tf::decode::decodeInThisProcess(), true);

TF_FUZZ_TARGET(tf::fuzz::loader)
