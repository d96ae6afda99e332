// Loaded into a test's child run (LD_PRELOAD) to end it with SIGKILL at a chosen call that can
// change a file: the Nth write, sync, truncation or rename on a regular file, counted from the
// start, is not carried out (or, with TF_KILL_HALF set, a write puts only its first half).
// TF_CALL_LOG names a file that receives one letter per call counted, when the run ends by itself:
// w write, s fsync or fdatasync, f sync_file_range, t ftruncate, r rename.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

static long g_killAt = -1;
static int g_half = 0;
static long g_calls = 0;
static char g_log[1 << 16];
static long g_logged = 0;

__attribute__((constructor)) static void kill_at_call_init(void)
{
    const char* at = getenv("TF_KILL_AT");
    if (at && *at) g_killAt = atol(at);
    g_half = getenv("TF_KILL_HALF") != NULL;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

__attribute__((destructor)) static void kill_at_call_done(void)
{
    const char* path = getenv("TF_CALL_LOG");
    if (!path || !*path) return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ssize_t (*realWrite)(int, const void*, size_t) = REAL(write);
    realWrite(fd, g_log, (size_t)g_logged);
    close(fd);
}

static int regular(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

static void die(void)
{
    kill(getpid(), SIGKILL);
    _exit(137);
}

// Counts one call; true when the run ends at it.
static int counted(char kind)
{
    const long n = __atomic_add_fetch(&g_calls, 1, __ATOMIC_SEQ_CST);
    if (n <= (long)sizeof g_log) g_log[n - 1] = kind, g_logged = n;
    return n == g_killAt;
}

ssize_t write(int fd, const void* buf, size_t n)
{
    ssize_t (*real)(int, const void*, size_t) = REAL(write);
    if (regular(fd) && counted('w')) {
        if (g_half && n > 1) real(fd, buf, n / 2);
        die();
    }
    return real(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at)
{
    ssize_t (*real)(int, const void*, size_t, off_t) = REAL(pwrite);
    if (regular(fd) && counted('w')) {
        if (g_half && n > 1) real(fd, buf, n / 2, at);
        die();
    }
    return real(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at)
{
    ssize_t (*real)(int, const void*, size_t, off_t) = REAL(pwrite64);
    if (regular(fd) && counted('w')) {
        if (g_half && n > 1) real(fd, buf, n / 2, at);
        die();
    }
    return real(fd, buf, n, at);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    ssize_t (*real)(int, const struct iovec*, int) = REAL(writev);
    if (regular(fd) && counted('w')) die();
    return real(fd, iov, count);
}

ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t at)
{
    ssize_t (*real)(int, const struct iovec*, int, off_t) = REAL(pwritev);
    if (regular(fd) && counted('w')) die();
    return real(fd, iov, count, at);
}

int fsync(int fd)
{
    int (*real)(int) = REAL(fsync);
    if (regular(fd) && counted('s')) die();
    return real(fd);
}

int fdatasync(int fd)
{
    int (*real)(int) = REAL(fdatasync);
    if (regular(fd) && counted('s')) die();
    return real(fd);
}

int sync_file_range(int fd, off_t at, off_t n, unsigned int flags)
{
    int (*real)(int, off_t, off_t, unsigned int) = REAL(sync_file_range);
    if (regular(fd) && counted('f')) die();
    return real(fd, at, n, flags);
}

int ftruncate(int fd, off_t length)
{
    int (*real)(int, off_t) = REAL(ftruncate);
    if (regular(fd) && counted('t')) die();
    return real(fd, length);
}

int ftruncate64(int fd, off_t length)
{
    int (*real)(int, off_t) = REAL(ftruncate64);
    if (regular(fd) && counted('t')) die();
    return real(fd, length);
}

int rename(const char* from, const char* to)
{
    int (*real)(const char*, const char*) = REAL(rename);
    if (counted('r')) die();
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    int (*real)(int, const char*, int, const char*) = REAL(renameat);
    if (counted('r')) die();
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    int (*real)(int, const char*, int, const char*, unsigned int) = REAL(renameat2);
    if (counted('r')) die();
    return real(fromDir, from, toDir, to, flags);
}
