#pragma once
// The program-wide globals, put back as a fresh start has them before every test (test_main
// installs the reset), so that no test sees what the one before it left.
namespace tf::test {

void resetProgramState();

// A test program linking an area that keeps globals of its own adds that area's reset once:
//     inline const bool registered = tf::test::addStateReset([] { ... });
using StateReset = void (*)();
bool addStateReset(StateReset reset);

} // namespace tf::test
