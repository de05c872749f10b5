// Command line of qrpht-batch.
#pragma once

#include <string>
#include <vector>

struct BatchOptions {
    enum class Action { run, help, version };
    Action action = Action::run;
    std::string output_dir;      // -d, required
    std::string inventory;       // --inventory; empty: the default
    bool verbose = false;        // -v
    bool images = false;         // -i
    bool tables = false;         // --tables
    bool pictures = false;       // --pictures
    bool html = false;           // --html
    int jobs = 0;                // -j; 0: one per core available
    bool force = false;          // --force
    int shard = 1, shards = 1;   // --shard K/N
    bool quiet = false;          // -q
    bool progress = false;       // --progress
    std::vector<std::string> inputs;
};

// Reads the command line. False, with the reason in error, when it is
// unusable.
bool parse_batch_options(int argc, char **argv, BatchOptions &opt, std::string &error);

// The help text (--help).
std::string batch_usage(const char *program);
