#pragma once
// Decoding pictures in guarded processes. FreeImage, DevIL and the image readers under Qt crash,
// hang or ask for gigabytes on damaged files; every decode of a user's picture runs in a decoder
// program of ours instead, with a time limit per file and a memory limit. A decoder that crashes,
// hangs or runs out of memory costs that one file and is started again for the next.
//
//   DecoderPool::shared().decode(request)   one picture, waiting for it (the image control, the loader)
//   DecodeBatch batch; batch.submit(...)     many, as they finish (thumbnails, pages read ahead)
//
// Everything here is thread-safe and needs no event loop. The calls that wait (decode, and the
// batch's waits with a time to wait) belong on worker threads: see platform/sys/blockingcalls.h;
// the window takes answers through DecodeFeed.
#include "platform/decode/decode_types.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace tf::decode {

// The decoder program's file name, found beside the running executable.
inline constexpr const char* kDecoderProgramName = "tavrel-folio-decoder";

// Where decoders are started from when settings name no program: a program set here (tests, whose
// executables live elsewhere), else kDecoderProgramName beside the running executable.
void setDecoderProgram(const QString& path);
QString decoderProgram();

// A memory limit worked out from the machine: see decoderMemoryLimit().
inline constexpr int64_t kMachineMemoryLimit = -1;
// The least address space a decoder gets however small the machine: the program itself takes
// about 100 MB, and below this it would refuse an ordinary page scanned at 600 dpi.
inline constexpr int64_t kMinimumMemoryLimit = int64_t(512) << 20;

// The address space each of `processes` decoders may take so that all of them together stay
// within half of `physicalMemory`: at most 2 GiB, at least kMinimumMemoryLimit.
int64_t decoderMemoryLimit(int processes, int64_t physicalMemory);
// This machine's memory in bytes (0 when it cannot be told).
int64_t physicalMemory();

struct DecoderSettings {
    QString program;                                 // empty: decoderProgram()
    std::chrono::milliseconds timeLimit{10000};      // per file, from sending the request to the last pixel
    // Address space of each decoder; 0 for none. kMachineMemoryLimit: decoderMemoryLimit() for
    // the pool's size (a decoder on its own counts as a pool of one per core).
    int64_t memoryLimit = kMachineMemoryLimit;
    int processes = 0;                               // pool size; 0: one per core
};

// One decoder process, started when first needed and again after it failed. Not thread-safe
// except for abort(); a pool gives each of its threads one.
class DecoderProcess {
public:
    explicit DecoderProcess(DecoderSettings settings = {});
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // Sends the request and waits for the answer within the time limit. Anything but
    // DecodeStatus::Done leaves a null image, the message kUnableToRead, and no decoder running.
    DecodeResult decode(const DecodeRequest& request);
    // Kills the running decoder from any thread; the decode in progress ends as Crashed. The next
    // decode reaps the killed decoder and starts another, whether or not it has died yet.
    void abort();
    // As abort(), and no decoder is started again: later requests end as NoDecoder.
    void close();
    // Starts a decoder now unless one is running, so that the next decode does not wait for it
    // to start; false when none could be started.
    bool prepare();
    // The running decoder's process id, 0 when none runs.
    pid_t pid() const;
    // Decoders this one has started, restarts included. Thread-safe.
    int starts() const;

private:
    bool start(QString& why);
    bool ensureRunning(QString& why);
    void stop(bool kill);

    DecoderSettings m_settings;
    int m_socket = -1;
    struct State;
    std::unique_ptr<State> m_state;
};

class DecoderPool;

// Requests whose answers come back as they finish. Destroying the batch cancels what is left.
class DecodeBatch {
public:
    explicit DecodeBatch(DecoderPool& pool);
    DecodeBatch(); // on DecoderPool::shared()
    ~DecodeBatch();
    DecodeBatch(const DecodeBatch&) = delete;
    DecodeBatch& operator=(const DecodeBatch&) = delete;

    // Queues a request behind those already waiting; gives its index, counting from 0 in the
    // order of submission. Requests start in that order.
    int submit(const DecodeRequest& request);

    struct Finished {
        int index = -1;
        DecodeResult result;
    };
    // The next answer to arrive, waiting up to `timeout` for it; nothing when none came in time
    // or none is pending. The program only looks (a timeout of 0, when notifyFd() is readable) or
    // waits in waitInOrder; a time to wait is for tests and benchmarks, which must not hang.
    std::optional<Finished> next(std::chrono::milliseconds timeout);
    // The answer to the earliest request not yet handed out, waiting up to `timeout` for it while
    // later ones may finish: for page writers, which read ahead but write in order. Submit a few
    // pages ahead rather than all, since finished pictures wait here in memory. Use either next()
    // or nextInOrder()/waitInOrder() on one batch, not both.
    std::optional<Finished> nextInOrder(std::chrono::milliseconds timeout);
    // As nextInOrder, waiting as long as the answer takes (each decode ends within the decoders'
    // time limit). When `interruptible`, the wait ends with nothing as soon as interrupt() is
    // called, and every later interruptible wait ends at once.
    std::optional<Finished> waitInOrder(bool interruptible);
    // From any thread: wakes the interruptible waits, for good (a job's Cancel).
    void interrupt();
    // Submitted and not yet handed out.
    int pending() const;
    // Drops the waiting requests and the answers of those running, and stops the decoders running
    // them (each starts again for its next request); pending() is 0 after it. The batch can take
    // new requests afterwards.
    void cancel();
    // Readable while an answer waits for next(): for a QSocketNotifier in a window's event loop.
    int notifyFd() const;

    struct State;

private:
    DecoderPool& m_pool;
    std::shared_ptr<State> m_state;
};

// Up to one decoder per core, each driven by a thread of the pool. None starts with the pool: a
// decoder starts when a request finds no free one, so a program whose work passes without decoding
// starts none, and the pool grows to its size as work comes. A decoder once started stays for
// later requests, and one that failed is started again as soon as it is reaped, so after the first
// requests none waits for a decoder to start.
class DecoderPool {
public:
    explicit DecoderPool(DecoderSettings settings = {});
    // Drops the waiting requests, kills the running decoders and waits for its threads.
    ~DecoderPool();
    DecoderPool(const DecoderPool&) = delete;
    DecoderPool& operator=(const DecoderPool&) = delete;

    // The program's pool, made on first use with the default settings and never destroyed: the
    // decoders end when the program does (their socket closes).
    static DecoderPool& shared();
    // Settings for the program's pool (shorter limits in tests, say); only before its first use,
    // false after.
    static bool configureShared(const DecoderSettings& settings);

    // One picture, waiting for it; it goes ahead of every queued batch request.
    DecodeResult decode(const DecodeRequest& request);
    // The most decoders the pool runs at once (its size).
    int processCount() const;
    // Decoders the pool has started so far and keeps; grows up to processCount().
    int decoderCount() const;
    // Decoder processes started in all, those started again after a failure included.
    int decodersStarted() const;
    // Requests handed to a decoder so far, whatever became of them.
    int64_t requestsTaken() const;
    // Decoders working on a request at this moment.
    int busy() const;
    // As given, with the pool's size and memory limit worked out.
    const DecoderSettings& settings() const;

    struct Impl;

private:
    friend class DecodeBatch;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tf::decode
