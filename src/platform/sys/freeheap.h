#pragma once
// Hands the heap's free pages back to the system. A sanitizer build keeps its own heap beside
// glibc's: trimming there walks arenas the sanitizer never filled and has crashed inside glibc, and
// there is nothing of ours to give back anyway.
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TF_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TF_SANITIZER_HEAP 1
#endif
#endif

namespace tf {

inline void releaseFreeHeap()
{
#ifndef TF_SANITIZER_HEAP
    ::malloc_trim(0);
#endif
}

} // namespace tf
