#pragma once
// Calls that wait for a decoder, a parser or a worker (a decode, a metadata read, the read-ahead's
// wait) belong on worker threads: on the application's thread they would hold the window for as
// long as the slowest file takes. Each such call checks where it runs; one made on the
// application's thread is reported, so that the old shape cannot come back unseen.
//
// The check is on in builds without NDEBUG, and wherever setBlockingCallsChecked(true) turned it
// on (the test programs do). A test or benchmark that runs such work on the main thread on
// purpose says so with a BlockingCallsAllowed for the time it does; the window never does.

namespace tf {

// Whether blocking calls on the application's thread are reported.
bool blockingCallsChecked();
void setBlockingCallsChecked(bool on);

// What a reported call does: by default the program stops with a message naming the call (an
// assertion); a test program records a failure of the running test instead.
using BlockingCallHandler = void (*)(const char* what);
void setBlockingCallHandler(BlockingCallHandler handler);

// Called first by every blocking call; `what` names it ("DecoderPool::decode").
void checkBlockingCall(const char* what);

// While one exists, blocking calls on the application's thread are not reported.
class BlockingCallsAllowed {
public:
    BlockingCallsAllowed();
    ~BlockingCallsAllowed();
    BlockingCallsAllowed(const BlockingCallsAllowed&) = delete;
    BlockingCallsAllowed& operator=(const BlockingCallsAllowed&) = delete;
};

} // namespace tf
