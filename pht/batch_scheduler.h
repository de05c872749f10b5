// The workers of a batch run: the worker host (forked once, it forks a
// worker process per product) and the scheduler, which hands the plan's
// products to workers up to N at a time, reads their reports, keeps the
// progress line, and stops them on a stop signal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "batch_options.h"
#include "batch_plan.h"
#include "batch_worker.h"
#include "progress.h"
#include "unique_fd.h"

// The worker host and the batch's end of the socket to it.
class WorkerHost {
public:
    WorkerHost() = default;
    WorkerHost(const WorkerHost &) = delete;
    WorkerHost &operator=(const WorkerHost &) = delete;
    ~WorkerHost() { finish(); }

    // Forks the host, to run max_workers workers at a time; false (errno
    // tells why) when it cannot be started.
    bool start(std::size_t max_workers);
    // Closes the socket, which ends the host, and waits for it.
    void finish();
    int socket() const { return socket_.get(); }

private:
    UniqueFd socket_;
    pid_t pid_ = -1;
};

class Scheduler {
public:
    // signal_fd reads the stop signals; host is the socket to the worker host.
    Scheduler(const BatchOptions &opt, Plan &plan, ProgressLine &progress, int signal_fd, int host);

    // Lists the plan's tasks, filling their rows, until done or stopped.
    void run();
    // The stop signal that ended the run, 0 when none did.
    int stop_signal() const { return stop_signal_; }
    ProgressCounts counts() const;

private:
    struct Running {
        Task *task = nullptr;
        UniqueFd capture;       // the worker's output streams
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
    std::vector<UniqueFd> spare_captures_;     // emptied capture files of ended workers
    std::size_t next_id_ = 0;
    std::size_t done_ = 0, failed_ = 0;
    bool host_gone_ = false;
    bool stopping_ = false;
    int stop_signal_ = 0;
    int stops_sent_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), stop_time_{};
};
