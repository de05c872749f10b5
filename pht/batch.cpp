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
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "batch_index.h"
#include "batch_inputs.h"
#include "batch_options.h"
#include "batch_plan.h"
#include "batch_scheduler.h"
#include "help.h"
#include "inventory.h"
#include "output_file.h"
#include "listings.h"
#include "progress.h"
#include "text_format.h"
#include "unique_fd.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kName = "qrpht-batch";
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int default_jobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
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
UniqueFd signal_descriptor()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals) sigaddset(&set, sig);
    sigaddset(&set, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    return UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
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
    if (opt.shards > 1)
        return text_format("%s/inventory-%d-of-%d.csv", opt.output_dir.c_str(), opt.shard, opt.shards);
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
    OutputFile out;  // written whole under a temporary name, then renamed
    if (out.open(path) && out.write(inventory_text(rows)) && out.commit()) return true;
    std::fprintf(stderr, "%s: cannot write the inventory %s: %s\n", kName, path.c_str(),
                 std::strerror(out.error()));
    return false;
}

// The index page's name in the output folder: shards sharing the folder
// write one each, like their inventories.
std::string index_name(const BatchOptions &opt)
{
    if (opt.shards > 1) return text_format("index-%d-of-%d.html", opt.shard, opt.shards);
    return "index.html";
}

// The index row of an inventory row; the images are those its count
// tells, named after the entry's stem.
BatchIndexRow index_row(const BatchOptions &opt, const BatchEntry &e, const InventoryRow &row)
{
    BatchIndexRow r{row[Inv::source], row[Inv::member], row[Inv::product_type], row[Inv::filename],
                    row[Inv::object],  row[Inv::aot],    row[Inv::obs_start_utc], row[Inv::status],
                    row[Inv::listing], row[Inv::table],  row[Inv::picture],       {}};
    const std::size_t images = std::strtoul(row[Inv::images].c_str(), nullptr, 10);
    for (std::size_t k = 0; k < std::min(images, static_cast<std::size_t>(kMaxRecords)); ++k)
        r.images.push_back(pls_image_name(opt.output_dir + "/" + e.stem + "_", k));
    return r;
}

// Writes the index page of the rows whose outcome is known, with --html.
bool write_index(const BatchOptions &opt, const Plan &plan)
{
    if (!opt.html) return true;
    std::vector<BatchIndexRow> rows;
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (plan.rows[i]) rows.push_back(index_row(opt, plan.entries[i], *plan.rows[i]));
    std::string error;
    if (write_batch_index(opt.output_dir, rows, error, index_name(opt))) return true;
    std::fprintf(stderr, "%s: cannot write the index page %s/%s: %s\n", kName, opt.output_dir.c_str(),
                 index_name(opt).c_str(), error.c_str());
    return false;
}

int run_plan(const BatchOptions &opt, Plan &plan, const std::string &inventory, WorkerHost &host)
{
    UniqueFd signals = signal_descriptor();
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
    bool written = write_inventory(inventory, plan, tally);
    written = write_index(opt, plan) && written;
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
    if (opt.action == BatchOptions::Action::help) return print_info(batch_usage(kName), kName);
    if (opt.action == BatchOptions::Action::version) return print_info(version_text(kName), kName);

    // The host is forked before the run grows: its workers inherit nothing
    // of the product list, and forking it stays cheap.
    if (opt.jobs == 0) opt.jobs = default_jobs();
    WorkerHost host;
    if (!host.start(static_cast<std::size_t>(opt.jobs))) {
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
