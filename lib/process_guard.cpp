// Standard descriptors, write-error signals and removal of temporary files
// on termination; see process_guard.h.
#include "process_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

constexpr int kTerminating[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kWriteErrors[] = {SIGPIPE, SIGXFSZ};

// One registered temporary file. The handler reads `used` and `path` only;
// both are written inside a TerminationBlock.
struct Slot {
    volatile sig_atomic_t used;
    char path[PATH_MAX];
};

// Outputs open at the same time: the listing, an image, and room for more.
constexpr int kSlots = 8;
std::array<Slot, kSlots> slots;  // zero-initialised before main

// Open TerminationBlocks, and the first terminating signal that arrived
// while one was open (0 when none). Blocking the signals with the signal
// mask would cost two system calls per block; a file of every image is
// created and renamed inside one.
volatile sig_atomic_t blocks = 0;
volatile sig_atomic_t deferred = 0;

// Removes every registered temporary file, then ends the process by sig
// with its default action, as a shell expects. Only async-signal-safe
// calls: this runs in the signal handler.
void remove_temporaries_and_end(int sig)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    for (Slot &s : slots)
        if (s.used) unlink(s.path);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);  // not reached: the default action of sig ends the process
}

extern "C" void on_terminating_signal(int sig)
{
    if (blocks > 0) {
        if (deferred == 0) deferred = sig;
        return;
    }
    remove_temporaries_and_end(sig);
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
// control, keeps ignoring what its starter chose to ignore). The handler
// runs with all three terminating signals blocked.
void install(int sig, void (*handler)(int))
{
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    for (int s : kTerminating) sigaddset(&sa.sa_mask, s);
    sigaction(sig, &sa, nullptr);
}

}  // namespace

void guard_process()
{
    open_standard_descriptors();
    for (int sig : kWriteErrors) install(sig, SIG_IGN);
    for (int sig : kTerminating) install(sig, on_terminating_signal);
}

TerminationBlock::TerminationBlock() { blocks = blocks + 1; }

TerminationBlock::~TerminationBlock()
{
    blocks = blocks - 1;
    if (blocks == 0 && deferred != 0) remove_temporaries_and_end(deferred);
}

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
