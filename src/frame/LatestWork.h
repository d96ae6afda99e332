#pragma once
// Work that must not hold up the window (a picture operation, a task-list replay, a metadata read)
// runs on a worker thread and its result comes back on the thread that owns this object, as a
// queued event. Only the newest request counts: starting another one (or cancel()) drops the
// result of the one before when it arrives, and raises that one's flag so a replay can stop
// between rows. While any work is still running the pointer shows busy.
//
// The work gets copies (QImage shares its pixels until written, so a copy is cheap) and never
// anything the window edits; whatever it needs must be captured by value.
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace tf {

class LatestWork : public QObject {
    Q_OBJECT
public:
    using Flag = std::atomic_bool;
    // Called by work that says how far it is: `done` of `total`, from the worker.
    using Progress = std::function<void(int done, int total)>;

    explicit LatestWork(QObject* parent = nullptr);
    // Drops every pending result and gives the pointer back; work still running finishes unseen.
    ~LatestWork() override;

    // Runs work(flag) on a worker thread. deliver(result) is called later on this object's
    // thread unless start() or cancel() was called in between. A Result must be default
    // constructible: work superseded before it began is skipped and gives one. Work must not
    // throw (an escaping exception would end the program).
    // Work may also take a Progress as its second argument; onProgress(done, total) then hears it
    // on this object's thread while the request is still the one wanted (steps close together
    // may be heard as one: the last of them).
    template <typename Work, typename Deliver>
    void start(Work work, Deliver deliver, std::function<void(int done, int total)> onProgress = {});

    // The pending result, if any, will be dropped; its work is told to stop.
    void cancel();
    // A result asked for and not yet delivered.
    bool pending() const { return m_pending; }
    // Work still running on a worker, superseded or not.
    int running() const { return m_running; }

signals:
    // No work is running any more (the last one delivered or dropped).
    void idle();

private:
    void workStarted();
    void workEnded();
    // Whether the result of request `id` is the one still wanted; marks it delivered when it is.
    bool takeIfLatest(uint64_t id);

    uint64_t m_latest = 0;
    bool m_pending = false;
    int m_running = 0;
    std::shared_ptr<Flag> m_flag;
};

namespace detail {
template <typename Work, bool withProgress = std::is_invocable_v<Work&, const LatestWork::Flag&, const LatestWork::Progress&>>
struct WorkResult {
    using type = std::invoke_result_t<Work&, const LatestWork::Flag&, const LatestWork::Progress&>;
};
template <typename Work>
struct WorkResult<Work, false> {
    using type = std::invoke_result_t<Work&, const LatestWork::Flag&>;
};
} // namespace detail

template <typename Work, typename Deliver>
void LatestWork::start(Work work, Deliver deliver, std::function<void(int done, int total)> onProgress)
{
    constexpr bool withProgress = std::is_invocable_v<Work&, const Flag&, const Progress&>;
    using Result = typename detail::WorkResult<Work>::type;
    static_assert(std::is_default_constructible_v<Result>, "a skipped request gives a default result");
    cancel();
    const uint64_t id = ++m_latest;
    auto flag = std::make_shared<Flag>(false);
    m_flag = flag;
    m_pending = true;
    auto promise = std::make_shared<QPromise<Result>>();
    // The watcher is this object's child: once this object is gone, nothing is delivered and the
    // worker finishes on its own, holding only its copies.
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, id, deliver = std::move(deliver)]() mutable {
        watcher->deleteLater();
        const bool wanted = takeIfLatest(id);
        Result result = wanted && watcher->future().resultCount() > 0 ? watcher->future().takeResult() : Result{};
        // The pointer is back before the answer is handled: that may ask the user something.
        workEnded();
        if (wanted) deliver(std::move(result));
    });
    if (onProgress) {
        // The future carries the steps across threads: the watcher hears them on this thread.
        connect(watcher, &QFutureWatcherBase::progressValueChanged, this,
                [this, watcher, id, onProgress = std::move(onProgress)](int done) {
                    if (id == m_latest && m_pending) onProgress(done, watcher->progressMaximum());
                });
    }
    watcher->setFuture(promise->future());
    workStarted();
    QThreadPool::globalInstance()->start([promise, flag, work = std::move(work)]() mutable {
        promise->start();
        if (*flag) {
            promise->addResult(Result{});
        } else if constexpr (withProgress) {
            const Progress progress = [promise](int done, int total) {
                promise->setProgressRange(0, total);
                promise->setProgressValue(done);
            };
            promise->addResult(work(std::as_const(*flag), progress));
        } else {
            promise->addResult(work(std::as_const(*flag)));
        }
        promise->finish();
    });
}

} // namespace tf
