#pragma once
// A program that ends with _exit skips the exit handlers, and with them a coverage build's
// writing of its counts (gcov writes them at exit): such a program writes them first. Nothing
// outside a coverage build (TF_COVERAGE).
#ifdef TF_COVERAGE
extern "C" void __gcov_dump(void);
#endif

namespace tf {

inline void writeCoverageCounts()
{
#ifdef TF_COVERAGE
    __gcov_dump();
#endif
}

} // namespace tf
