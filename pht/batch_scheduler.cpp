// Worker host and scheduler of a batch run; see batch_scheduler.h.
#include "batch_scheduler.h"

#include <sched.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "packet.h"
#include "listings.h"
#include "text_format.h"

namespace {

constexpr int kPollMs = 100;
constexpr auto kStopGrace = std::chrono::seconds(5);  // then stopped workers are killed
constexpr std::size_t kMaxMessages = 8192;            // kept of a product's messages

// The time as file systems stamp files (coarse, never ahead of a stamp made
// later).
long long file_clock_ns()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Removes path when the worker wrote it, after it started.
void discard_written(const std::string &path, long long started_ns)
{
    const FileStamp s = stamp(path);
    if (s.exists && s.mtime_ns >= started_ns) ::unlink(path.c_str());
}

// Removes what the worker of task wrote: its listing, when the worker
// replaced or created it, and the table, picture and images it wrote.
void discard_outputs(const Task &task)
{
    if (stamp(task.listing) != task.before) ::unlink(task.listing.c_str());
    if (!task.table.empty()) discard_written(task.table, task.started_ns);
    if (!task.picture.empty()) discard_written(task.picture, task.started_ns);
    if (task.image_base.empty()) return;
    for (std::size_t k = 0;; ++k) {
        const std::string image = pls_image_name(task.image_base, k);
        const FileStamp s = stamp(image);
        if (!s.exists) break;
        if (s.mtime_ns >= task.started_ns) ::unlink(image.c_str());
    }
}

// Up to limit bytes from the start of the file, read without moving its
// offset (the worker's streams share it).
std::string read_start(int fd, std::size_t limit)
{
    std::string text;
    char block[4096];
    while (text.size() < limit) {
        const ssize_t n = ::pread(fd, block, std::min(sizeof block, limit - text.size()),
                                  static_cast<off_t>(text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(block, static_cast<std::size_t>(n));
    }
    return text;
}

// The messages a worker wrote, cut to kMaxMessages, without the final
// line break.
std::string captured_messages(int fd)
{
    std::string text = read_start(fd, kMaxMessages + 1);
    if (text.size() > kMaxMessages) text = text.substr(0, kMaxMessages) + "\n[...]";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Empties a capture file for the next worker; false when it cannot be.
bool empty_capture(int fd, bool written)
{
    return !written || (::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0);
}

// A memory file holding bytes, or -1.
UniqueFd memory_file(const char *name, const std::string &bytes)
{
    UniqueFd fd(::memfd_create(name, MFD_CLOEXEC));
    std::size_t done = 0;
    while (fd.get() >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) fd.reset();
        else done += static_cast<std::size_t>(n);
    }
    return fd;
}

}  // namespace

bool WorkerHost::start(std::size_t max_workers)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(ends[0]);
        run_worker_host(ends[1], max_workers);
    }
    ::close(ends[1]);
    socket_ = UniqueFd(ends[0]);
    return pid_ > 0;
}

void WorkerHost::finish()
{
    socket_.reset();
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Scheduler::Scheduler(const BatchOptions &opt, Plan &plan, ProgressLine &progress, int signal_fd, int host)
    : opt_(opt), plan_(plan), progress_(progress), signal_fd_(signal_fd), host_(host),
      jobs_(static_cast<std::size_t>(opt.jobs))
{
    for (const auto &row : plan_.rows) {
        if (!row) continue;
        ++done_;
        failed_ += (*row)[Inv::status] == kStatusFailed;
    }
}

ProgressCounts Scheduler::counts() const
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    return {done_, plan_.selected, failed_, elapsed.count()};
}

void Scheduler::run()
{
    std::vector<Task> &tasks = plan_.tasks;
    for (std::size_t i = 0; i < tasks.size() && !stopping_;) {
        // The tasks of one source are adjacent: a file, or the members of an archive.
        const BatchEntry &first = plan_.entries[tasks[i].entry];
        std::size_t j = i + 1;
        while (j < tasks.size() && plan_.entries[tasks[j].entry].source == first.source) ++j;
        if (first.member.empty()) {
            if (wait_for_slot()) launch(tasks[i], job_for(tasks[i], WorkerJob::Source::file));
        } else {
            std::vector<Task *> members;
            for (std::size_t k = i; k < j; ++k) members.push_back(&tasks[k]);
            run_archive(std::move(members));
        }
        i = j;
    }
    drain();
}

WorkerJob Scheduler::job_for(const Task &task, WorkerJob::Source source) const
{
    WorkerJob job;
    job.source = source;
    job.input = entry_name(plan_.entries[task.entry]);
    job.listing = task.listing;
    job.image_base = task.image_base;
    job.table = task.table;
    job.picture = task.picture;
    job.verbose = opt_.verbose;
    return job;
}

// Reads the archive once, in its own order, and hands each member to be
// listed to a worker as it comes.
void Scheduler::run_archive(std::vector<Task *> tasks)
{
    const auto leaf_of = [&](const Task *t) { return plan_.entries[t->entry].leaf; };
    std::sort(tasks.begin(), tasks.end(), [&](Task *a, Task *b) { return leaf_of(a) < leaf_of(b); });
    ArchiveWalk walk(plan_.entries[tasks.front()->entry].source);
    Leaf leaf;
    std::size_t k = 0;
    while (k < tasks.size() && walk.next(leaf)) {
        Task &task = *tasks[k];
        if (leaf.index < leaf_of(&task)) continue;
        ++k;
        if (leaf.index != leaf_of(&task) || leaf.member != plan_.entries[task.entry].member) {
            fail(task, "the archive changed while it was read");
            continue;
        }
        if (!wait_for_slot()) return;
        WorkerJob job = job_for(task, WorkerJob::Source::memory);
        std::string problem;
        if (walk.read(kMaxProductBytes, job.bytes, problem)) launch(task, std::move(job));
        else fail(task, problem);
    }
    if (stopping_) return;
    for (; k < tasks.size(); ++k)
        fail(*tasks[k], walk.error().empty() ? "no longer in the archive" : walk.error());
}

// The host runs jobs_ workers and holds as many jobs more, so that the
// next one starts the moment a worker ends.
bool Scheduler::wait_for_slot()
{
    handle_events(0);
    while (!stopping_ && !host_gone_ && running_.size() >= 2 * jobs_) handle_events(kPollMs);
    return !stopping_;
}

void Scheduler::launch(Task &task, WorkerJob job)
{
    task.before = stamp(task.listing);
    task.started_ns = file_clock_ns();
    UniqueFd capture = spare_captures_.empty() ? memory_file("qrpht-batch-messages", "")
                                               : std::move(spare_captures_.back());
    if (!spare_captures_.empty()) spare_captures_.pop_back();
    UniqueFd product;
    if (job.source == WorkerJob::Source::memory) product = memory_file("qrpht-batch-product", job.bytes);
    if (capture.get() < 0 || (job.source == WorkerJob::Source::memory && product.get() < 0)) {
        fail(task, std::string("cannot make a memory file: ") + std::strerror(errno));
        return;
    }
    job.id = next_id_++;
    if (host_gone_ || !send_job(host_, job, capture.get(), product.get())) {
        host_lost();
        fail(task, "the worker host has ended");
        return;
    }
    running_.emplace(job.id, Running{&task, std::move(capture), false, {}});
}

void Scheduler::handle_events(int timeout_ms)
{
    pollfd p[2] = {{signal_fd_, POLLIN, 0}, {host_gone_ ? -1 : host_, POLLIN, 0}};
    ::poll(p, 2, timeout_ms);
    if (p[0].revents != 0) read_signals();
    if (p[1].revents != 0 && !host_gone_) read_host();
    progress_.update(counts());
}

void Scheduler::read_signals()
{
    signalfd_siginfo info{};
    while (::read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        if (info.ssi_signo != SIGCHLD) stop(static_cast<int>(info.ssi_signo));
}

void Scheduler::read_host()
{
    for (;;) {
        std::vector<std::string> fields;
        std::vector<int> fds;
        const PacketResult r = receive_packet(host_, fields, fds, false);
        for (int fd : fds) ::close(fd);
        if (r == PacketResult::none) return;
        if (r != PacketResult::received) {
            host_lost();
            return;
        }
        HostMessage m;
        if (!read_host_message(fields, m)) continue;
        auto it = running_.find(m.id);
        if (it == running_.end()) continue;
        if (m.kind == HostMessage::Kind::ended) {
            finish(m.id, m.wait_status);
        } else {
            it->second.row = std::move(m.row);
            it->second.reported = true;
        }
    }
}

// Without its host, the products being listed cannot finish.
void Scheduler::host_lost()
{
    if (host_gone_) return;
    host_gone_ = true;
    while (!running_.empty()) finish(running_.begin()->first, W_EXITCODE(0, SIGKILL));
}

void Scheduler::finish(std::size_t id, int wstatus)
{
    auto it = running_.find(id);
    if (it == running_.end()) return;
    Running r = std::move(it->second);
    running_.erase(it);
    InventoryRow row = std::move(r.row);
    const bool exited = WIFEXITED(wstatus);
    const bool clean = exited && WEXITSTATUS(wstatus) == 0 && r.reported;
    std::string messages = captured_messages(r.capture.get());
    // A worker the host reaped has closed the file: it serves the next one.
    if (!host_gone_ && empty_capture(r.capture.get(), !messages.empty()))
        spare_captures_.push_back(std::move(r.capture));
    // A worker stopped before it finished has no row. What a stopped or
    // failed worker wrote goes, so that no later run takes a listing cut
    // short for up to date.
    const bool interrupted = stopping_ && !clean;
    std::string why;
    if (!interrupted && !exited)
        why = text_format("listing ended by signal %d (%s)", WTERMSIG(wstatus), strsignal(WTERMSIG(wstatus)));
    else if (!interrupted && !r.reported)
        why = text_format("listing ended with status %d and no report", WEXITSTATUS(wstatus));
    if (!why.empty()) messages.append(messages.empty() ? "" : "\n").append(why);
    if (!exited || !r.reported) row[Inv::status] = kStatusFailed;
    if (interrupted || row[Inv::status] == kStatusFailed) discard_outputs(*r.task);
    if (interrupted) return;
    row[Inv::messages] = messages;
    const bool listed = row[Inv::status] == kStatusListed;
    row[Inv::listing] = listed ? r.task->listing : "";
    row[Inv::table] = listed ? r.task->table : "";
    row[Inv::picture] = listed ? r.task->picture : "";
    record(*r.task, std::move(row));
}

void Scheduler::record(const Task &task, InventoryRow row)
{
    const BatchEntry &e = plan_.entries[task.entry];
    row[Inv::source] = e.source;
    row[Inv::member] = e.member;
    failed_ += row[Inv::status] == kStatusFailed;
    ++done_;
    plan_.rows[task.entry] = std::move(row);
}

void Scheduler::fail(const Task &task, const std::string &why)
{
    record(task, entry_row(plan_.entries[task.entry], "", kStatusFailed, why));
}

// The first stop signal stops every worker (SIGTERM); a second one kills
// them.
void Scheduler::stop(int sig)
{
    if (!stopping_) {
        stopping_ = true;
        stop_signal_ = sig;
        stop_time_ = std::chrono::steady_clock::now();
    }
    if (!host_gone_ && stops_sent_ < 2 && send_stop(host_)) ++stops_sent_;
}

void Scheduler::drain()
{
    while (!running_.empty() && !host_gone_) {
        if (stopping_ && stops_sent_ < 2 && std::chrono::steady_clock::now() - stop_time_ > kStopGrace)
            stop(stop_signal_);
        handle_events(kPollMs);
    }
}
