// Worker host and workers of a batch run; see batch_worker.h.
#include "batch_worker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <utility>
#include <vector>

#include "archive_walk.h"
#include "packet.h"
#include "driver.h"
#include "fork_image.h"
#include "pht.h"
#include "product_summary.h"

namespace {

// Report fields are card values and counts; each is cut to this length.
constexpr std::size_t kReportField = 200;

const char *const kSources[] = {"file", "memory"};

// A whole decimal number that is not negative.
bool read_count(const std::string &text, std::size_t &value)
{
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0) return false;
    value = static_cast<std::size_t>(v);
    return true;
}

// Status of the row: an image file, or FITS data of no product type the
// driver knows, is not a product; a product opened and listed is listed.
const char *outcome(int exit_status)
{
    const DispatchedProduct &d = dispatched_product();
    if (!d.opened) return kStatusFailed;
    if (d.load.error == LoadError::unknown_type) return kStatusNotProduct;
    if (d.load.error != LoadError::none) return kStatusFailed;
    if (d.load.product.family() == Family::image) return kStatusNotProduct;
    return exit_status == 0 ? kStatusListed : kStatusFailed;
}

// Lists the job's product.
int list_job(WorkerJob &job)
{
    if (job.source == WorkerJob::Source::memory)
        return list_member(std::move(job.bytes), job.input, job);
    return list_product(job.input, job);
}

// Lists the job's product and reports its row; ends the process with
// qrpht's exit status.
[[noreturn]] void run_worker(WorkerJob &job, int socket)
{
    const int status = list_job(job);
    std::fflush(stdout);
    std::fflush(stderr);
    InventoryRow row;
    row[Inv::status] = outcome(status);
    const DispatchedProduct &d = dispatched_product();
    if (d.opened && d.load.error == LoadError::none) summarize_product(d.load.product, job.image_base, row);
    std::vector<std::string> fields = {"report", std::to_string(job.id)};
    for (const std::string &field : row) fields.push_back(field.substr(0, kReportField));
    send_packet(socket, fields);  // without a report the batch counts the product failed
    ::_exit(status);
}

bool read_all(int fd, std::string &bytes)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) > kMaxProductBytes) return false;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool decode_job(const std::vector<std::string> &f, WorkerJob &job)
{
    if (f.size() != 9 || f[0] != "job" || !read_count(f[1], job.id)) return false;
    const auto source = std::find(std::begin(kSources), std::end(kSources), f[2]);
    if (source == std::end(kSources)) return false;
    job.source = static_cast<WorkerJob::Source>(source - std::begin(kSources));
    job.input = f[3];
    job.listing = f[4];
    job.image_base = f[5];
    job.table = f[6];
    job.picture = f[7];
    job.verbose = f[8] == "1";
    return true;
}

class Host {
public:
    Host(int socket, int signal_fd, std::size_t max_workers)
        : socket_(socket), signal_fd_(signal_fd), max_workers_(max_workers)
    {
        workers_.reserve(max_workers);
    }
    [[noreturn]] void run();

private:
    struct Queued {
        WorkerJob job;
        std::vector<int> fds;  // owned
    };

    void receive();
    void queue(std::vector<std::string> &fields, std::vector<int> &fds);
    void start_queued();
    [[noreturn]] void enter_worker(WorkerJob &job, std::vector<int> &fds);
    void reap();
    void stop(int sig);
    void ended(std::size_t id, int wait_status);
    void flush();

    int socket_, signal_fd_;
    std::size_t max_workers_;
    bool open_ = true;                      // the batch's end is open
    int stops_ = 0;
    // Running workers: pid and job id. Kept in one block that is never
    // reallocated: every page the host writes after a fork is copied (the
    // worker still shares it), and a tree would write a node or two more.
    std::vector<std::pair<pid_t, std::size_t>> workers_;
    std::deque<Queued> queue_;              // jobs waiting for a worker
    std::deque<std::vector<std::string>> out_;  // ended packets the socket had no room for
};

void Host::run()
{
    while (open_ || !workers_.empty()) {
        pollfd p[2] = {{open_ ? socket_ : -1, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0},
                       {signal_fd_, POLLIN, 0}};
        ::poll(p, 2, -1);
        if (p[0].revents & POLLOUT) flush();
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) receive();
        if (p[1].revents & POLLIN) reap();
    }
    ::_exit(0);
}

void Host::receive()
{
    for (;;) {
        std::vector<std::string> fields;
        std::vector<int> fds;
        const PacketResult r = receive_packet(socket_, fields, fds, false);
        if (r == PacketResult::none) break;
        const std::string kind = r == PacketResult::received && !fields.empty() ? fields[0] : "";
        if (kind == "job") queue(fields, fds);
        else if (kind == "stop") stop(stops_++ ? SIGKILL : SIGTERM);
        for (int fd : fds) ::close(fd);
        if (r == PacketResult::end || r == PacketResult::error) {
            stop(SIGTERM);  // the batch is gone: its workers are of no use
            open_ = false;
            return;
        }
    }
    start_queued();
}

// Takes the job and its descriptors (fds is left empty).
void Host::queue(std::vector<std::string> &fields, std::vector<int> &fds)
{
    Queued q;
    if (!decode_job(fields, q.job) || fds.empty()) return;
    q.fds = std::move(fds);
    fds.clear();
    queue_.push_back(std::move(q));
}

// Jobs wait here rather than in the batch, so that a worker starts the
// moment another ends.
void Host::start_queued()
{
    while (workers_.size() < max_workers_ && !queue_.empty()) {
        Queued q = std::move(queue_.front());
        queue_.pop_front();
        const pid_t pid = ::fork();
        if (pid == 0) enter_worker(q.job, q.fds);
        for (int fd : q.fds) ::close(fd);
        if (pid > 0) workers_.emplace_back(pid, q.job.id);
        else ended(q.job.id, W_EXITCODE(127, 0));  // could not start: no report
    }
    flush();
}

void Host::ended(std::size_t id, int wait_status)
{
    if (open_) out_.push_back({"ended", std::to_string(id), std::to_string(wait_status)});
}

// In a new worker: default signal handling, output streams into the
// capture file, the product's bytes read from their memory file.
void Host::enter_worker(WorkerJob &job, std::vector<int> &fds)
{
    for (int sig : {SIGCHLD, SIGPIPE}) std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::close(signal_fd_);
    ::dup2(fds[0], 1);
    ::dup2(fds[0], 2);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // keeps the order of both streams' lines
    if (fds.size() > 1 && !read_all(fds[1], job.bytes)) {
        std::fprintf(stderr, "%s: cannot be read from memory\n", job.input.c_str());
        std::fflush(stderr);
        ::_exit(1);
    }
    for (int fd : fds) ::close(fd);
    run_worker(job, socket_);
}

void Host::reap()
{
    signalfd_siginfo info;
    while (::read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {}
    int status = 0;
    for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
        auto it = std::find_if(workers_.begin(), workers_.end(), [pid](const auto &w) { return w.first == pid; });
        if (it == workers_.end()) continue;
        ended(it->second, status);
        *it = workers_.back();
        workers_.pop_back();
    }
    start_queued();
}

// Queued jobs end at once, as if stopped; running workers get sig.
void Host::stop(int sig)
{
    for (Queued &q : queue_) {
        for (int fd : q.fds) ::close(fd);
        ended(q.job.id, W_EXITCODE(0, SIGTERM));
    }
    queue_.clear();
    for (const auto &w : workers_) ::kill(w.first, sig);
    flush();
}

void Host::flush()
{
    while (open_ && !out_.empty() && send_packet(socket_, out_.front(), {}, false)) out_.pop_front();
}

}  // namespace

int list_product(const std::string &path, const WorkerJob &outputs)
{
    std::vector<std::string> words = {"qrpht"};
    if (outputs.verbose) words.push_back("-v");
    words.insert(words.end(), {"-o", outputs.listing});
    if (!outputs.image_base.empty()) words.insert(words.end(), {"-i", outputs.image_base});
    if (!outputs.table.empty()) words.insert(words.end(), {"-e", outputs.table});
    if (!outputs.picture.empty()) words.insert(words.end(), {"-p", outputs.picture});
    words.push_back(path);
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    return qrpht_main(static_cast<int>(words.size()), argv.data());
}

int list_member(std::string bytes, const std::string &display_name, const WorkerJob &outputs)
{
    product_hold(display_name.c_str(), std::move(bytes));
    const int status = list_product(display_name, outputs);
    product_release(display_name.c_str());
    return status;
}

void run_worker_host(int socket, std::size_t max_workers)
{
    // Its own process group: a Ctrl-C reaches the batch alone, which stops
    // the workers through the host.
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null > 0) {
        ::dup2(null, 0);
        ::close(null);
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    ::sigprocmask(SIG_SETMASK, &set, nullptr);
    const int signal_fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signal_fd < 0) ::_exit(1);
    // Every worker runs the same code: its pages are mapped once here
    // rather than faulted in again by each worker.
    move_code_to_anonymous_memory();
    Host(socket, signal_fd, max_workers).run();
}

bool send_job(int socket, const WorkerJob &job, int capture_fd, int bytes_fd)
{
    const std::vector<std::string> fields = {
        "job", std::to_string(job.id), kSources[static_cast<int>(job.source)], job.input,
        job.listing, job.image_base, job.table, job.picture, job.verbose ? "1" : "0"};
    std::vector<int> fds = {capture_fd};
    if (bytes_fd >= 0) fds.push_back(bytes_fd);
    return send_packet(socket, fields, fds);
}

bool send_stop(int socket)
{
    return send_packet(socket, {"stop"});
}

bool read_host_message(const std::vector<std::string> &f, HostMessage &m)
{
    std::size_t status = 0;
    if (f.size() < 2 || !read_count(f[1], m.id)) return false;
    if (f[0] == "ended" && f.size() == 3 && read_count(f[2], status)) {
        m.kind = HostMessage::Kind::ended;
        m.wait_status = static_cast<int>(status);
        return true;
    }
    if (f[0] != "report" || f.size() != 2 + Inv::count) return false;
    m.kind = HostMessage::Kind::report;
    for (std::size_t c = 0; c < Inv::count; ++c) m.row[c] = f[2 + c];
    return true;
}
