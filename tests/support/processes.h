#pragma once
// Helper programs seen from the tests: which ones a process started, and waiting for one to end,
// whoever its parent is by then.
#include <QString>

#include <chrono>
#include <vector>

#include <sys/types.h>

namespace tf::test {

// The live children of `parent` whose executable is `program`.
std::vector<pid_t> childrenRunning(pid_t parent, const QString& program);

// One process, held by a pidfd from the making of this on, so that a number reused after its end
// is never mistaken for it.
class WatchedProcess {
public:
    explicit WatchedProcess(pid_t pid);
    ~WatchedProcess();
    WatchedProcess(const WatchedProcess&) = delete;
    WatchedProcess& operator=(const WatchedProcess&) = delete;

    bool valid() const { return m_fd >= 0; }
    // Waits for the process to end, at most `bound` (an upper limit, not a pace); true once it
    // has ended.
    bool waitEnded(std::chrono::milliseconds bound);
    // SIGKILL.
    void kill();

private:
    int m_fd = -1;
};

} // namespace tf::test
