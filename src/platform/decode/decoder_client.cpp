#include "platform/decode/decoder_client.h"
#include "platform/sys/blockingcalls.h"

#include "platform/decode/decode_wire.h"
#include "platform/decode/decoder_server.h"
#include "platform/sys/spawnchild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tf::decode {

namespace {

std::mutex& programMutex()
{
    static std::mutex m;
    return m;
}
QString& programOverride()
{
    static QString path;
    return path;
}

int coreCount() { return std::max(1, QThread::idealThreadCount()); }

DecoderSettings withMachineLimits(DecoderSettings settings, int processes)
{
    if (settings.memoryLimit < 0) settings.memoryLimit = decoderMemoryLimit(processes, physicalMemory());
    return settings;
}

DecodeResult failed(DecodeStatus status)
{
    DecodeResult r;
    r.status = status;
    r.message = QString::fromLatin1(kUnableToRead);
    return r;
}

} // namespace

int64_t decoderMemoryLimit(int processes, int64_t physicalMemory)
{
    if (physicalMemory <= 0) return kDefaultMemoryLimit;
    const int64_t share = physicalMemory / 2 / std::max(processes, 1);
    return std::clamp(share, kMinimumMemoryLimit, kDefaultMemoryLimit);
}

int64_t physicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : 0;
}

void setDecoderProgram(const QString& path)
{
    std::lock_guard lock(programMutex());
    programOverride() = path;
}

QString decoderProgram()
{
    std::lock_guard lock(programMutex());
    if (!programOverride().isEmpty()) return programOverride();
    // Worked out once, under the lock: the pool's threads ask for it concurrently.
    static const QString beside = [] {
        const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                         : QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
        return QDir(dir).filePath(QString::fromLatin1(kDecoderProgramName));
    }();
    return beside;
}

// ---------------------------------------------------------------- one decoder

struct DecoderProcess::State {
    std::mutex mutex; // between abort() on any thread and the owner starting and reaping
    pid_t pid = 0;
    int exitStatus = 0; // waitpid's status of the decoder last reaped
    bool closed = false;
    int starts = 0; // decoders started, restarts included
    // abort() killed the running decoder. SIGKILL takes effect some time after kill() returns, so
    // until it is reaped its socket may still look idle and take the next request, which would then
    // fail as a crash; decode() reaps it before writing anything.
    bool killed = false;
};

DecoderProcess::DecoderProcess(DecoderSettings settings)
    : m_settings(withMachineLimits(std::move(settings), coreCount())), m_state(std::make_unique<State>())
{
}

DecoderProcess::~DecoderProcess() { stop(true); }

pid_t DecoderProcess::pid() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->pid;
}

int DecoderProcess::starts() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->starts;
}

void DecoderProcess::abort()
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->pid > 0) {
        ::kill(m_state->pid, SIGKILL);
        m_state->killed = true;
    }
}

void DecoderProcess::close()
{
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    if (m_state->pid > 0) ::kill(m_state->pid, SIGKILL);
}

bool DecoderProcess::start(QString& why)
{
    if (isDecoderProcess()) {
        // A routing that reached the guarded client from inside a decoder would start decoders
        // without end.
        why = QStringLiteral("a decoder starts no decoders");
        return false;
    }
    const QString program = m_settings.program.isEmpty() ? decoderProgram() : m_settings.program;
    const QByteArray path = QFile::encodeName(program);
    const QByteArray limit = QByteArray(kMemoryLimitOption) + QByteArray::number(qint64(std::max<int64_t>(m_settings.memoryLimit, 0)));
    char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>(limit.constData()), nullptr};
    pid_t pid = 0;
    const int rc = spawnOnSocket(argv, &m_socket, &pid, [&](const std::function<int()>& start) {
        std::lock_guard lock(m_state->mutex);
        const int started = m_state->closed ? ECANCELED : start();
        if (started == 0) {
            m_state->pid = pid;
            m_state->killed = false;
            ++m_state->starts;
        }
        return started;
    });
    if (rc != 0) {
        why = QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(std::strerror(rc)));
        return false;
    }
    return true;
}

void DecoderProcess::stop(bool kill)
{
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    std::lock_guard lock(m_state->mutex);
    if (m_state->pid <= 0) return;
    // A decoder that lost its socket ends by itself; one stuck in a library does not, and no reply
    // is worth waiting for once we give up on it.
    if (kill) ::kill(m_state->pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_state->pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_state->exitStatus = status;
    m_state->pid = 0;
    m_state->killed = false;
}

bool DecoderProcess::ensureRunning(QString& why)
{
    bool killed = false;
    {
        std::lock_guard lock(m_state->mutex);
        killed = m_state->killed;
    }
    if (killed) stop(true);
    if (m_socket >= 0) {
        // An idle decoder has nothing to say; one that does, or hung up, died since its last answer
        // and must not cost the next file.
        pollfd p{m_socket, POLLIN, 0};
        if (::poll(&p, 1, 0) != 0) stop(true);
    }
    return m_socket >= 0 || start(why);
}

bool DecoderProcess::prepare()
{
    QString why;
    return ensureRunning(why);
}

DecodeResult DecoderProcess::decode(const DecodeRequest& request)
{
    checkBlockingCall("DecoderProcess::decode");
    using namespace std::chrono;
    QString why;
    if (!ensureRunning(why)) {
        DecodeResult r = failed(DecodeStatus::NoDecoder);
        r.message += QStringLiteral(" (the decoder program did not start: %1)").arg(why);
        return r;
    }

    const auto limitMs = std::max<milliseconds::rep>(m_settings.timeLimit.count(), 1);
    const wire::Deadline deadline = wire::Clock::now() + milliseconds(limitMs);
    DecodeResult result;
    wire::Io io = wire::writeRequest(m_socket, request, static_cast<uint32_t>(std::min<milliseconds::rep>(limitMs, UINT32_MAX / 4)),
                                     deadline);
    // The limit is on a decoder that makes no progress: one that says it is still working (a page
    // written to a slow disk) has it again from then.
    if (io == wire::Io::Ok) io = wire::readReply(m_socket, result, deadline, milliseconds(limitMs));

    if (io == wire::Io::Ok) {
        if (result.status == DecodeStatus::Done) return result;
        // The decoder reported trouble of its own (memory ran out): what the libraries left
        // behind is not to be trusted with the next file.
        stop(true);
        return failed(result.status);
    }
    const bool ourMemory = io == wire::Io::Failed && result.status == DecodeStatus::OutOfMemory;
    stop(true);
    switch (io) {
    case wire::Io::TimedOut: return failed(DecodeStatus::TimedOut);
    case wire::Io::Closed: {
        const int status = m_state->exitStatus;
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return failed(DecodeStatus::TimedOut);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return failed(DecodeStatus::OutOfMemory);
        return failed(DecodeStatus::Crashed);
    }
    default: return failed(ourMemory ? DecodeStatus::OutOfMemory : DecodeStatus::ProtocolError);
    }
}

// ---------------------------------------------------------------- batches and the pool

struct DecodeBatch::State {
    State() : eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE)) {}
    ~State()
    {
        if (eventFd >= 0) ::close(eventFd);
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Finished> done;
    int pending = 0;
    int submitted = 0;
    int inOrder = 0;         // the index nextInOrder() hands out next
    uint64_t generation = 0; // a cancel starts a new one; answers of older ones are dropped
    bool interrupted = false; // interrupt() was called: interruptible waits end at once
    const int eventFd;
};

namespace {

struct Job {
    std::shared_ptr<DecodeBatch::State> batch;
    uint64_t generation = 0;
    int index = 0;
    DecodeRequest request;
};

bool isCurrent(const Job& job)
{
    std::lock_guard lock(job.batch->mutex);
    return job.generation == job.batch->generation;
}

void deliver(const Job& job, DecodeResult result)
{
    DecodeBatch::State& s = *job.batch;
    std::lock_guard lock(s.mutex);
    if (job.generation != s.generation) return;
    s.done.push_back({job.index, std::move(result)});
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(s.eventFd, &one, sizeof one);
    s.arrived.notify_all();
}

// Waits for an answer: any (inOrder false) or that of the earliest request not yet handed out.
std::optional<DecodeBatch::Finished> waitNext(DecodeBatch::State& s, std::optional<std::chrono::milliseconds> timeout,
                                              bool inOrder = false, bool interruptible = false)
{
    std::unique_lock lock(s.mutex);
    std::deque<DecodeBatch::Finished>::iterator found;
    const auto ready = [&] {
        found = inOrder ? std::find_if(s.done.begin(), s.done.end(), [&](const auto& f) { return f.index == s.inOrder; })
                        : s.done.begin();
        return found != s.done.end() || s.pending <= 0 || (interruptible && s.interrupted);
    };
    if (!timeout) {
        s.arrived.wait(lock, ready);
    } else if (timeout->count() <= 0) {
        if (!ready()) return std::nullopt; // a look, no wait
    } else if (!s.arrived.wait_for(lock, *timeout, ready)) {
        return std::nullopt;
    }
    if (found == s.done.end()) return std::nullopt;
    DecodeBatch::Finished f = std::move(*found);
    s.done.erase(found);
    --s.pending;
    if (inOrder) ++s.inOrder;
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(s.eventFd, &value, sizeof value);
    return f;
}

} // namespace

struct DecoderPool::Impl {
    DecoderSettings settings;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> urgent;
    std::deque<Job> queue;
    bool stopping = false;
    // Grown under mutex as work comes, never shrunk: a decoder once started stays for the next
    // request, so the pool stays warm.
    std::vector<std::unique_ptr<DecoderProcess>> processes;
    std::vector<const DecodeBatch::State*> running; // per process, under mutex: whose request it decodes
    std::vector<std::thread> threads;
    int free = 0; // under mutex: threads that take the next job without waiting for a decode to end
    int64_t taken = 0; // under mutex

    // Under mutex, after a job was queued: a decoder more for each job no free thread will take,
    // up to the pool's size. A program that never needs a decoder (a PDF of JPEG files) starts none.
    void growForWork()
    {
        const size_t waiting = urgent.size() + queue.size();
        while (!stopping && waiting > size_t(free) && processes.size() < size_t(settings.processes)) {
            processes.push_back(std::make_unique<DecoderProcess>(settings));
            running.push_back(nullptr);
            ++free;
            const size_t index = processes.size() - 1;
            threads.emplace_back([this, process = processes.back().get(), index] { run(*process, index); });
        }
    }

    void enqueue(Job job, bool first)
    {
        {
            std::lock_guard lock(mutex);
            (first ? urgent : queue).push_back(std::move(job));
            growForWork();
        }
        wake.notify_one();
    }

    // Drops the batch's waiting requests, and ends the decodes of its running ones: a folder of
    // files that hang a decoder must not hold the decoders up for the listing that replaced it.
    // A decoder ended here is started again for its next request.
    void dropQueued(const DecodeBatch::State* batch)
    {
        std::lock_guard lock(mutex);
        std::erase_if(queue, [&](const Job& j) { return j.batch.get() == batch; });
        for (size_t i = 0; i < running.size(); ++i)
            if (running[i] == batch) processes[i]->abort();
    }

    void run(DecoderProcess& process, size_t index)
    {
        for (;;) {
            // Started for a job that waits, and started again at once after a failure: the next
            // request finds its decoder running.
            process.prepare();
            Job job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stopping || !urgent.empty() || !queue.empty(); });
                if (stopping) return;
                std::deque<Job>& from = urgent.empty() ? queue : urgent;
                job = std::move(from.front());
                from.pop_front();
                // Decided under the pool's lock: a cancel either came first and the job is skipped,
                // or comes later and finds it running. A skipped job leaves no trace in `running`,
                // so no cancel kills this decoder for it.
                if (!isCurrent(job)) continue;
                running[index] = job.batch.get();
                --free;
                ++taken;
            }
            DecodeResult result = process.decode(job.request);
            {
                std::lock_guard lock(mutex);
                running[index] = nullptr;
                ++free;
            }
            if (isCurrent(job)) deliver(job, std::move(result));
        }
    }
};

DecoderPool::DecoderPool(DecoderSettings settings) : m_impl(std::make_unique<Impl>())
{
    if (settings.processes <= 0) settings.processes = coreCount();
    const int processes = settings.processes;
    m_impl->settings = withMachineLimits(std::move(settings), processes);
}

DecoderPool::~DecoderPool()
{
    std::deque<Job> dropped;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
        dropped = std::move(m_impl->urgent);
        dropped.insert(dropped.end(), m_impl->queue.begin(), m_impl->queue.end());
        m_impl->urgent.clear();
        m_impl->queue.clear();
        threads = std::move(m_impl->threads);
    }
    m_impl->wake.notify_all();
    // Whoever still waits for one of these gets its answer.
    for (const Job& job : dropped) deliver(job, failed(DecodeStatus::Cancelled));
    // No thread is added once stopping is set, so these are all of them.
    for (auto& process : m_impl->processes) process->close();
    for (std::thread& t : threads) t.join();
}

namespace {
struct SharedPool {
    std::mutex mutex;
    DecoderSettings settings;
    DecoderPool* pool = nullptr;
};
SharedPool& sharedPool()
{
    static SharedPool s;
    return s;
}
} // namespace

DecoderPool& DecoderPool::shared()
{
    SharedPool& s = sharedPool();
    std::lock_guard lock(s.mutex);
    if (!s.pool) s.pool = new DecoderPool(s.settings);
    return *s.pool;
}

bool DecoderPool::configureShared(const DecoderSettings& settings)
{
    SharedPool& s = sharedPool();
    std::lock_guard lock(s.mutex);
    if (s.pool) return false;
    s.settings = settings;
    return true;
}

int DecoderPool::processCount() const { return m_impl->settings.processes; }

int DecoderPool::decoderCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return int(m_impl->processes.size());
}

int64_t DecoderPool::requestsTaken() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->taken;
}

int DecoderPool::decodersStarted() const
{
    std::lock_guard lock(m_impl->mutex);
    int started = 0;
    for (const auto& process : m_impl->processes) started += process->starts();
    return started;
}

int DecoderPool::busy() const
{
    std::lock_guard lock(m_impl->mutex);
    return int(std::count_if(m_impl->running.begin(), m_impl->running.end(), [](const auto* b) { return b != nullptr; }));
}

const DecoderSettings& DecoderPool::settings() const { return m_impl->settings; }

DecodeResult DecoderPool::decode(const DecodeRequest& request)
{
    checkBlockingCall("DecoderPool::decode");
    auto state = std::make_shared<DecodeBatch::State>();
    state->pending = 1;
    m_impl->enqueue(Job{state, 0, 0, request}, true);
    std::optional<DecodeBatch::Finished> f = waitNext(*state, std::nullopt);
    return f ? std::move(f->result) : failed(DecodeStatus::Cancelled);
}

DecodeBatch::DecodeBatch(DecoderPool& pool) : m_pool(pool), m_state(std::make_shared<State>()) {}
DecodeBatch::DecodeBatch() : DecodeBatch(DecoderPool::shared()) {}
DecodeBatch::~DecodeBatch() { cancel(); }

int DecodeBatch::submit(const DecodeRequest& request)
{
    Job job;
    {
        std::lock_guard lock(m_state->mutex);
        job = Job{m_state, m_state->generation, m_state->submitted++, request};
        ++m_state->pending;
    }
    const int index = job.index;
    m_pool.m_impl->enqueue(std::move(job), false);
    return index;
}

std::optional<DecodeBatch::Finished> DecodeBatch::next(std::chrono::milliseconds timeout)
{
    if (timeout.count() > 0) checkBlockingCall("DecodeBatch::next");
    return waitNext(*m_state, timeout);
}

std::optional<DecodeBatch::Finished> DecodeBatch::nextInOrder(std::chrono::milliseconds timeout)
{
    if (timeout.count() > 0) checkBlockingCall("DecodeBatch::nextInOrder");
    return waitNext(*m_state, timeout, true);
}

std::optional<DecodeBatch::Finished> DecodeBatch::waitInOrder(bool interruptible)
{
    checkBlockingCall("DecodeBatch::waitInOrder");
    return waitNext(*m_state, std::nullopt, true, interruptible);
}

void DecodeBatch::interrupt()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->interrupted = true;
    }
    m_state->arrived.notify_all();
}

int DecodeBatch::pending() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->pending;
}

void DecodeBatch::cancel()
{
    {
        std::lock_guard lock(m_state->mutex);
        ++m_state->generation;
        m_state->pending = 0;
        m_state->inOrder = m_state->submitted;
        m_state->done.clear();
        uint64_t value = 0;
        while (::read(m_state->eventFd, &value, sizeof value) > 0) {
        }
    }
    m_state->arrived.notify_all();
    m_pool.m_impl->dropQueued(m_state.get());
}

int DecodeBatch::notifyFd() const { return m_state->eventFd; }

} // namespace tf::decode
