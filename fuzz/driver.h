#pragma once
// The part every fuzz target shares: a Qt application on the offscreen platform, message boxes
// and error reports answered without a window, and an input whose entry reports a fault ends
// the run the way a crash does, so that libFuzzer keeps it.
#include "fuzz/entries.h"

#include <cstddef>
#include <cstdint>

namespace tf::fuzz {
int runEntry(QString (*entry)(const QByteArray&), const uint8_t* data, std::size_t size);
}

#define TF_FUZZ_TARGET(entry)                                                                                \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)                             \
    {                                                                                                        \
        return tf::fuzz::runEntry(&(entry), data, size);                                                     \
    }
