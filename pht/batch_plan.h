// What a batch run is to do, decided before the first worker starts: the
// sorted entries, the entries of this shard, the rows already known (not a
// product, unreadable, listing name taken, up to date) and the products to
// list.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "batch_inputs.h"
#include "batch_options.h"
#include "inventory.h"

// What a file was before a worker ran, to tell whether the worker wrote it.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    bool operator==(const FileStamp &) const = default;
};

// The stamp of the file at path; exists is false when there is none.
FileStamp stamp(const std::string &path);

struct Task {
    std::size_t entry = 0;   // index into the plan's entries
    std::string listing;     // listing path
    std::string image_base;  // -i base; empty without images
    std::string table;       // -e table; empty without tables
    std::string picture;     // -p picture; empty without pictures
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

// A row of the entry's own columns (the product columns empty).
InventoryRow entry_row(const BatchEntry &e, const std::string &listing, const char *status,
                       const std::string &messages);

// The plan for the sorted entries; previous holds the rows of the earlier
// inventory, which up-to-date products keep. Makes the folders the
// listings of archive members go into.
Plan make_plan(const BatchOptions &opt, std::vector<BatchEntry> entries, const PreviousRows &previous);
