// Standard descriptors, write-error signals and removal of temporary files
// on termination; see process_guard.h.
#include "process_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

constexpr int kTerminating[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kWriteErrors[] = {SIGPIPE, SIGXFSZ};

// One registered temporary file. The handler reads `used` and `path` only;
// both are written with the three signals blocked.
struct Slot {
    volatile sig_atomic_t used;
    char path[PATH_MAX];
};

// Outputs open at the same time: the listing, an image, and room for more.
constexpr int kSlots = 8;
std::array<Slot, kSlots> slots;  // zero-initialised before main

sigset_t terminating_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kTerminating) sigaddset(&set, sig);
    return set;
}

// Removes every registered temporary file, then ends the process by the
// signal it received: the disposition was reset to the default on entry
// (SA_RESETHAND) and the signal is blocked while the handler runs, so the
// raised signal ends the process as soon as the handler returns. Only
// async-signal-safe calls.
extern "C" void remove_temporaries_and_die(int sig)
{
    for (Slot &s : slots)
        if (s.used) unlink(s.path);
    raise(sig);
}

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is fd itself: those below it are valid.
        int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

// Installs handler for sig unless the process was started with sig ignored
// (a job started with nohup, or in the background of a shell without job
// control, keeps ignoring what its starter chose to ignore).
void install(int sig, void (*handler)(int), int flags)
{
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = handler;
    sa.sa_flags = flags;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
}

}  // namespace

void guard_process()
{
    open_standard_descriptors();
    for (int sig : kWriteErrors) install(sig, SIG_IGN, 0);
    for (int sig : kTerminating) install(sig, remove_temporaries_and_die, SA_RESETHAND);
}

TerminationBlock::TerminationBlock()
{
    const sigset_t set = terminating_set();
    sigprocmask(SIG_BLOCK, &set, &saved_);
}

TerminationBlock::~TerminationBlock() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

int register_temporary(const char *path)
{
    const std::size_t len = std::strlen(path);
    if (len >= sizeof(Slot::path)) return -1;
    for (int i = 0; i < kSlots; ++i) {
        Slot &s = slots[static_cast<std::size_t>(i)];
        if (s.used) continue;
        std::memcpy(s.path, path, len + 1);
        s.used = 1;
        return i;
    }
    return -1;
}

void release_temporary(int slot)
{
    if (slot < 0 || slot >= kSlots) return;
    slots[static_cast<std::size_t>(slot)].used = 0;
}

void remove_temporaries()
{
    TerminationBlock block;
    for (Slot &s : slots) {
        if (s.used) unlink(s.path);
        s.used = 0;
    }
}
