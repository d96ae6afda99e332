// The scanner program: talks to SANE for the main program, one question or scan per process, so
// that a backend stuck in a call can be ended without ending the program.
#include "acquire/ScannerProgram.h"
#include "platform/sys/coverage.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    const int status = tf::runScannerProgram(argc, argv);
    // A backend's own clean-up could hang as its calls did: nothing is left to do.
    std::fflush(nullptr);
    tf::writeCoverageCounts();
    ::_exit(status);
}
