// One product listed by a worker process of a batch run, exactly as qrpht
// lists it with the same options, and the report the worker hands back.
#pragma once

#include <cstddef>
#include <string>

#include "inventory.h"

// Largest product read into memory (an archive member, a decompressed file).
inline constexpr std::size_t kMaxProductBytes = std::size_t{1} << 30;

struct WorkerJob {
    enum class Source { file, compressed_file, memory };
    Source source = Source::file;
    std::string input;       // the product's path, or the name it goes by in memory
    std::string bytes;       // Source::memory: the product
    std::string listing;     // listing path
    std::string image_base;  // -i base name; empty without images
    bool verbose = false;
};

// Lists the product at path in this process through qrpht's own entry,
// with the command line qrpht would get; returns its exit status.
int list_product(const std::string &path, const std::string &listing, const std::string &image_base,
                 bool verbose);

// The same for a product held in memory that goes by display_name (a tar
// member: "<archive path>/<member path>"); the listing shows that name.
int list_member(std::string bytes, const std::string &display_name, const std::string &listing,
                const std::string &image_base, bool verbose);

// Body of a worker process: lists the job's product, writes the product
// columns (read from the card store the listing filled) and the status of
// its inventory row on report_fd, and ends the
// process with qrpht's exit status. The caller has pointed the standard
// output and error where the product's messages are to be kept.
[[noreturn]] void run_worker(WorkerJob &job, int report_fd);

// The row a worker reported; false when the report is incomplete.
bool decode_report(const std::string &report, InventoryRow &row);
