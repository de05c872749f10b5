// The worker side of a batch run. A worker host, forked from the batch
// process before the batch grows, forks one worker process per product it
// is sent; the worker lists the product exactly as qrpht does with the same
// options and reports its inventory columns. Batch, host and workers talk
// in packets over one SOCK_SEQPACKET socket pair:
//   batch -> host:   job (with the descriptors of the memory file that takes
//                    the worker's output streams and, for a product held in
//                    memory, of a memory file holding it); stop (jobs still
//                    waiting end at once; a first stop ends the workers with
//                    SIGTERM, a later one with SIGKILL)
//   worker -> batch: report (the product columns and status of its row)
//   host -> batch:   ended (the wait status of a worker)
// A worker's report always arrives before its ended packet.
//
// What a worker costs is mostly the fork, its page faults and its exit. The
// host moves the program's code and constant data into huge pages before
// its first fork (the program is linked statically, its segments aligned
// to them): each fork shares them in one step and no worker faults code in.
// Every page the host writes after a fork is copied while the worker lives,
// so the host keeps its bookkeeping in few, fixed places.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "inventory.h"
#include "product_source.h"

struct WorkerJob {
    // A file (plain or compressed: qrpht reads either), or bytes held in
    // memory (an archive member).
    enum class Source { file, memory };
    std::size_t id = 0;
    Source source = Source::file;
    std::string input;       // the product's path, or the name it goes by in memory
    std::string bytes;       // Source::memory: the product
    std::string listing;     // listing path
    std::string image_base;  // -i base name; empty without images
    std::string table;       // -e table; empty without
    std::string picture;     // -p picture; empty without
    bool verbose = false;
};

// Lists the product at path in this process through qrpht's own entry,
// with the command line qrpht would get (-o listing, -i image_base,
// -e table, -p picture; the empty ones left out); returns its exit status.
int list_product(const std::string &path, const WorkerJob &outputs);

// The same for a product held in memory (product_hold) that goes by
// display_name (a tar member: "<archive path>/<member path>"); the listing
// shows that name.
int list_member(std::string bytes, const std::string &display_name, const WorkerJob &outputs);

// Body of the worker host on its end of the socket pair: runs at most
// max_workers workers at a time, the jobs beyond waiting in turn. Ends the
// process once the batch has closed its end and every worker has ended.
[[noreturn]] void run_worker_host(int socket, std::size_t max_workers);

// Batch side. send_job passes capture_fd, and bytes_fd unless it is -1.
bool send_job(int socket, const WorkerJob &job, int capture_fd, int bytes_fd);
bool send_stop(int socket);

struct HostMessage {
    enum class Kind { report, ended };
    Kind kind = Kind::ended;
    std::size_t id = 0;
    InventoryRow row;     // report
    int wait_status = 0;  // ended
};

// A report or ended packet; false for anything else.
bool read_host_message(const std::vector<std::string> &fields, HostMessage &message);
