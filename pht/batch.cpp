// qrpht-batch: lists many products at once. The inputs are expanded into
// single files and archive members, sorted, cut to the shard, and every
// product whose listing is not up to date is listed in a worker process of
// its own, up to N at a time. The workers are forked by a worker host, a
// small process forked from this one at start (no program start per
// product, and a fork that costs the same however large the run). Each
// worker's output streams go to a memory file, and its inventory columns
// come back in a packet. Stop signals are read from a signalfd, so that
// the run stops between two events: the workers are stopped, their
// unfinished listings removed, and the inventory of what finished written,
// before the process ends by the same signal.
#include "batch.h"

#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>

#include "atomic_file.h"
#include "batch_inputs.h"
#include "batch_options.h"
#include "batch_worker.h"
#include "packet.h"
#include "inventory.h"
#include "listing.h"
#include "pls_records.h"
#include "progress.h"
#include "text_format.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kName = "qrpht-batch";
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kPollMs = 100;
constexpr auto kStopGrace = std::chrono::seconds(5);  // then stopped workers are killed
constexpr std::size_t kMaxMessages = 8192;            // kept of a product's messages
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd &&o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd &operator=(Fd &&o) noexcept
    {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// What a file was before a worker ran, to tell whether the worker wrote it.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    bool operator==(const FileStamp &) const = default;
};

FileStamp stamp(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size,
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

struct Task {
    std::size_t entry = 0;   // index into the plan's entries
    std::string listing;     // listing path
    std::string image_base;  // -i base; empty without images
    FileStamp before;        // the listing before its worker started
    long long started_ns = 0;  // when its worker started, on the clock of file times
};

// Everything decided before the first worker starts.
struct Plan {
    std::vector<BatchEntry> entries;                // sorted
    std::vector<std::optional<InventoryRow>> rows;  // per entry, once its outcome is known
    std::vector<Task> tasks;                        // products to list, in entry order
    std::size_t selected = 0;                       // entries of this shard
};

using PreviousRows = std::map<std::pair<std::string, std::string>, InventoryRow>;

InventoryRow make_row(const BatchEntry &e, const std::string &listing, const char *status,
                      const std::string &messages)
{
    InventoryRow row;
    row[Inv::source] = e.source;
    row[Inv::member] = e.member;
    row[Inv::listing] = listing;
    row[Inv::status] = status;
    row[Inv::messages] = messages;
    return row;
}

// An up-to-date listing keeps the product columns of the earlier inventory.
InventoryRow skipped_row(const BatchEntry &e, const std::string &listing, const PreviousRows &previous)
{
    auto it = previous.find({e.source, e.member});
    InventoryRow row = it != previous.end() ? it->second : InventoryRow{};
    const InventoryRow fresh = make_row(e, listing, kStatusSkipped, "");
    for (Inv::Column c : {Inv::source, Inv::member, Inv::listing, Inv::status, Inv::messages})
        row[c] = fresh[c];
    return row;
}

// A listing is up to date when it is newer than the product's file (for a
// member, the archive).
bool up_to_date(const std::string &listing, const std::string &source)
{
    const FileStamp out = stamp(listing), in = stamp(source);
    return out.exists && in.exists && out.mtime_ns > in.mtime_ns;
}

bool is_product(const BatchEntry &e)
{
    return e.kind == ContentKind::fits || e.kind == ContentKind::compressed_fits;
}

void plan_entry(const BatchOptions &opt, std::size_t i, const std::map<std::string, std::size_t> &owner,
                const PreviousRows &previous, Plan &plan)
{
    const BatchEntry &e = plan.entries[i];
    const std::string listing = opt.output_dir + "/" + e.stem + ".lst";
    std::optional<InventoryRow> &row = plan.rows[i];
    if (e.kind == ContentKind::other) {
        row = make_row(e, "", kStatusNotProduct, "not a FITS file");
    } else if (e.kind == ContentKind::unreadable) {
        row = make_row(e, "", kStatusFailed, e.problem);
    } else if (std::size_t first = owner.at(e.stem); first != i) {
        row = make_row(e, "", kStatusFailed,
                       "its listing " + listing + " is the listing of " + entry_name(plan.entries[first]));
    } else if (!opt.force && up_to_date(listing, e.source)) {
        row = skipped_row(e, listing, previous);
    } else {
        const std::string images = opt.images ? opt.output_dir + "/" + e.stem + "_" : "";
        plan.tasks.push_back({i, listing, images, {}});
        if (!e.member.empty()) {
            std::error_code ec;  // a folder that cannot be made fails the listing, with its reason
            fs::create_directories(fs::path(listing).parent_path(), ec);
        }
    }
}

Plan make_plan(const BatchOptions &opt, std::vector<BatchEntry> entries, const PreviousRows &previous)
{
    Plan plan;
    plan.entries = std::move(entries);
    plan.rows.resize(plan.entries.size());
    // Two products with one listing name: the first in sorted order keeps
    // it, on every shard alike.
    std::map<std::string, std::size_t> owner;
    for (std::size_t i = 0; i < plan.entries.size(); ++i)
        if (is_product(plan.entries[i])) owner.emplace(plan.entries[i].stem, i);
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        if (i % static_cast<std::size_t>(opt.shards) != static_cast<std::size_t>(opt.shard - 1)) continue;
        ++plan.selected;
        plan_entry(opt, i, owner, previous, plan);
    }
    return plan;
}

// The time as file systems stamp files (coarse, never ahead of a stamp made
// later).
long long file_clock_ns()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Removes what the worker of task wrote: its listing, when the worker
// replaced or created it, and the images it wrote.
void discard_outputs(const Task &task)
{
    if (stamp(task.listing) != task.before) ::unlink(task.listing.c_str());
    if (task.image_base.empty()) return;
    for (std::size_t k = 0;; ++k) {
        const std::string image = pls_image_name(task.image_base, k);
        const FileStamp s = stamp(image);
        if (!s.exists) break;
        if (s.mtime_ns >= task.started_ns) ::unlink(image.c_str());
    }
}

std::string read_fd(int fd, std::size_t limit)
{
    std::string text;
    char block[4096];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd, block, std::min(sizeof block, limit - text.size()));
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
    ::lseek(fd, 0, SEEK_SET);
    std::string text = read_fd(fd, kMaxMessages + 1);
    if (text.size() > kMaxMessages) text = text.substr(0, kMaxMessages) + "\n[...]";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

int default_jobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
}

// A memory file holding bytes, or -1.
Fd memory_file(const char *name, const std::string &bytes)
{
    Fd fd(::memfd_create(name, MFD_CLOEXEC));
    std::size_t done = 0;
    while (fd.get() >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) fd.reset();
        else done += static_cast<std::size_t>(n);
    }
    return fd;
}

// The worker host and the batch's end of the socket to it.
class WorkerHost {
public:
    // Forks the host; false (errno tells why) when it cannot be started.
    bool start()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ends[0]);
            run_worker_host(ends[1]);
        }
        ::close(ends[1]);
        socket_ = Fd(ends[0]);
        return pid_ > 0;
    }
    // Closes the socket, which ends the host, and waits for it.
    void finish()
    {
        socket_.reset();
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    WorkerHost() = default;
    WorkerHost(const WorkerHost &) = delete;
    WorkerHost &operator=(const WorkerHost &) = delete;
    ~WorkerHost() { finish(); }
    int socket() const { return socket_.get(); }

private:
    Fd socket_;
    pid_t pid_ = -1;
};

class Scheduler {
public:
    Scheduler(const BatchOptions &opt, Plan &plan, ProgressLine &progress, int signal_fd, int host)
        : opt_(opt), plan_(plan), progress_(progress), signal_fd_(signal_fd), host_(host),
          jobs_(static_cast<std::size_t>(opt.jobs > 0 ? opt.jobs : default_jobs()))
    {
        for (const auto &row : plan_.rows) {
            if (!row) continue;
            ++done_;
            failed_ += (*row)[Inv::status] == kStatusFailed;
        }
    }

    void run();
    int stop_signal() const { return stop_signal_; }
    ProgressCounts counts() const
    {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        return {done_, plan_.selected, failed_, elapsed.count()};
    }

private:
    struct Running {
        Task *task = nullptr;
        Fd capture;             // the worker's output streams
        bool reported = false;  // its report arrived
        InventoryRow row;
    };

    void run_archive(std::vector<Task *> tasks);
    bool wait_for_slot();
    void launch(Task &task, WorkerJob job);
    void handle_events(int timeout_ms);
    void read_signals();
    void read_host();
    void finish(std::size_t id, int wstatus);
    void stop(int sig);
    void drain();
    void host_lost();
    void record(const Task &task, InventoryRow row);
    void fail(const Task &task, const std::string &why);
    WorkerJob job_for(const Task &task, WorkerJob::Source source) const;

    const BatchOptions &opt_;
    Plan &plan_;
    ProgressLine &progress_;
    int signal_fd_, host_;
    std::size_t jobs_;
    std::map<std::size_t, Running> running_;  // by job id
    std::size_t next_id_ = 0;
    std::size_t done_ = 0, failed_ = 0;
    bool host_gone_ = false;
    bool stopping_ = false;
    int stop_signal_ = 0;
    int stops_sent_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), stop_time_{};
};

void Scheduler::run()
{
    std::vector<Task> &tasks = plan_.tasks;
    for (std::size_t i = 0; i < tasks.size() && !stopping_;) {
        // The tasks of one source are adjacent: a file, or the members of an archive.
        const BatchEntry &first = plan_.entries[tasks[i].entry];
        std::size_t j = i + 1;
        while (j < tasks.size() && plan_.entries[tasks[j].entry].source == first.source) ++j;
        if (first.member.empty()) {
            const auto source = first.kind == ContentKind::compressed_fits ? WorkerJob::Source::compressed_file
                                                                           : WorkerJob::Source::file;
            if (wait_for_slot()) launch(tasks[i], job_for(tasks[i], source));
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

bool Scheduler::wait_for_slot()
{
    handle_events(0);
    while (!stopping_ && !host_gone_ && running_.size() >= jobs_) handle_events(kPollMs);
    return !stopping_;
}

void Scheduler::launch(Task &task, WorkerJob job)
{
    task.before = stamp(task.listing);
    task.started_ns = file_clock_ns();
    Fd capture = memory_file("qrpht-batch-messages", "");
    Fd product;
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
    read_signals();
    if (!host_gone_) read_host();
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
    // A worker stopped before it finished has no row. What a stopped or
    // failed worker wrote goes, so that no later run takes a listing cut
    // short for up to date.
    const bool interrupted = stopping_ && !clean;
    if (!interrupted && !exited)
        messages += (messages.empty() ? "" : "\n") +
                    text_format("listing ended by signal %d (%s)", WTERMSIG(wstatus), strsignal(WTERMSIG(wstatus)));
    else if (!interrupted && !r.reported)
        messages += (messages.empty() ? "" : "\n") +
                    text_format("listing ended with status %d and no report", WEXITSTATUS(wstatus));
    if (!exited || !r.reported) row[Inv::status] = kStatusFailed;
    if (interrupted || row[Inv::status] == kStatusFailed) discard_outputs(*r.task);
    if (interrupted) return;
    row[Inv::messages] = messages;
    row[Inv::listing] = row[Inv::status] == kStatusListed ? r.task->listing : "";
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
    record(task, make_row(plan_.entries[task.entry], "", kStatusFailed, why));
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

// Descriptors 0 to 2 that are closed are opened on /dev/null, so that no
// file the run opens takes their place.
void ensure_standard_fds()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) < 0) return;
}

// Stop signals and SIGCHLD are blocked and read from the returned
// descriptor.
Fd signal_descriptor()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals) sigaddset(&set, sig);
    sigaddset(&set, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    return Fd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

// Ends the process by sig with its default action, as if it had not been
// caught, so that the caller (a shell) sees the interruption.
[[noreturn]] void end_by_signal(int sig)
{
    std::fflush(nullptr);
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::raise(sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::_exit(128 + sig);
}

std::string inventory_path(const BatchOptions &opt)
{
    if (!opt.inventory.empty()) return opt.inventory;
    // Shards may share one output folder; each keeps an inventory of its own.
    if (opt.shards > 1) return text_format("%s/inventory-%d-of-%d.csv", opt.output_dir.c_str(), opt.shard, opt.shards);
    return opt.output_dir + "/inventory.csv";
}

struct Tally {
    std::size_t listed = 0, failed = 0, skipped = 0, not_product = 0, rows = 0;
};

// Writes the rows of every product whose outcome is known.
bool write_inventory(const std::string &path, const Plan &plan, Tally &tally)
{
    std::vector<InventoryRow> rows;
    for (const auto &row : plan.rows) {
        if (!row) continue;
        rows.push_back(*row);
        const std::string &status = (*row)[Inv::status];
        tally.listed += status == kStatusListed;
        tally.failed += status == kStatusFailed;
        tally.skipped += status == kStatusSkipped;
        tally.not_product += status == kStatusNotProduct;
    }
    tally.rows = rows.size();
    std::string problem;
    if (write_file_atomically(path, inventory_text(rows), problem)) return true;
    std::fprintf(stderr, "%s: cannot write the inventory %s: %s\n", kName, path.c_str(), problem.c_str());
    return false;
}

int run_plan(const BatchOptions &opt, Plan &plan, const std::string &inventory, WorkerHost &host)
{
    Fd signals = signal_descriptor();
    if (signals.get() < 0) {
        std::fprintf(stderr, "%s: cannot watch for signals: %s\n", kName, std::strerror(errno));
        return kExitFailed;
    }
    ProgressLine progress(2, opt.progress || (!opt.quiet && ::isatty(2)));
    Scheduler scheduler(opt, plan, progress, signals.get(), host.socket());
    scheduler.run();
    host.finish();
    progress.finish(scheduler.counts());
    Tally tally;
    const bool written = write_inventory(inventory, plan, tally);
    if (scheduler.stop_signal() != 0) {
        std::fprintf(stderr, "%s: stopped by %s; the inventory %s holds the %zu finished products\n", kName,
                     strsignal(scheduler.stop_signal()), inventory.c_str(), tally.rows);
        end_by_signal(scheduler.stop_signal());
    }
    if (!opt.quiet)
        std::fprintf(stderr, "%s: %zu listed, %zu failed, %zu up to date, %zu not products; inventory %s\n",
                     kName, tally.listed, tally.failed, tally.skipped, tally.not_product, inventory.c_str());
    return tally.failed > 0 || !written ? kExitFailed : 0;
}

int usage_error(const std::string &error)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kName, error.c_str(), kName);
    return kExitUsage;
}

}  // namespace

int batch_main(int argc, char **argv)
{
    // Freed small blocks are not kept in fast bins: the first large
    // allocation of every worker would sort the bins inherited from the
    // host, writing into (and so copying) pages all over its heap.
    ::mallopt(M_MXFAST, 0);
    // Every listing's banner tells the run date in local time: the time zone
    // is read once here rather than once per worker.
    ::tzset();
    ensure_standard_fds();
    std::signal(SIGPIPE, SIG_IGN);
    BatchOptions opt;
    std::string error;
    if (!parse_batch_options(argc, argv, opt, error)) return usage_error(error);
    if (opt.action == BatchOptions::Action::help) {
        const std::string text = batch_usage(kName);
        return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : kExitFailed;
    }
    if (opt.action == BatchOptions::Action::version)
        return std::printf("%s %s\n", kName, kProgramVersion) > 0 && std::fflush(stdout) == 0 ? 0 : kExitFailed;

    // The host is forked before the run grows: its workers inherit nothing
    // of the product list, and forking it stays cheap.
    WorkerHost host;
    if (!host.start()) {
        std::fprintf(stderr, "%s: cannot start the worker host: %s\n", kName, std::strerror(errno));
        return kExitFailed;
    }
    std::error_code ec;
    fs::create_directories(opt.output_dir, ec);
    if (!fs::is_directory(opt.output_dir, ec))
        return usage_error("cannot make the output folder " + opt.output_dir +
                           (ec ? ": " + ec.message() : ""));
    std::vector<BatchEntry> entries;
    if (!collect_entries(opt.inputs, opt.output_dir, entries, error)) return usage_error(error);
    sort_entries(entries);
    const std::string inventory = inventory_path(opt);
    Plan plan = make_plan(opt, std::move(entries), read_inventory(inventory));
    return run_plan(opt, plan, inventory, host);
}
