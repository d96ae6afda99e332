#include "platform/sys/spawnchild.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

extern char** environ;

namespace tf {

int spawnOnSocket(char* const argv[], int* socket, pid_t* pid,
                  const std::function<int(const std::function<int()>& start)>& around)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return errno;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors other code opened without close-on-exec stay out of the child too.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::function<int()> start = [&] { return ::posix_spawn(pid, argv[0], &actions, &attr, argv, environ); };
    const int rc = around ? around(start) : start();
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        return rc;
    }
    *socket = pair[0];
    return 0;
}

} // namespace tf
