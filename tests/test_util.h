// Helpers for the end-to-end tests: run the built qrpht binary, read files,
// mask the run date of a listing banner, and compare with expected listings.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RunResult {
    int status = -1;        // exit status, or -1 when the process did not exit normally
    int signal = 0;         // the signal that ended the process, 0 when it exited
    bool timed_out = false; // killed for outliving its time limit
    std::string out;        // standard output
    std::string err;        // standard error
};

// Runs the qrpht binary with the given arguments (no shell involved); the
// working directory is cwd when not empty. A process that outlives a
// non-zero time limit is killed. With input, the standard input is a pipe
// that delivers input and then ends.
RunResult run_qrpht(const std::vector<std::string> &args, const std::string &cwd = "",
                    std::chrono::seconds limit = std::chrono::seconds(0),
                    const std::optional<std::string> &input = std::nullopt);
// The same for any program.
RunResult run_program(const std::string &program, const std::vector<std::string> &args,
                      const std::string &cwd = "", std::chrono::seconds limit = std::chrono::seconds(0),
                      const std::optional<std::string> &input = std::nullopt);

// Standard output of a shell command, and whether it exited with status 0.
std::pair<std::string, bool> run_command(const std::string &command);

std::string read_file(const std::filesystem::path &path);
void write_file(const std::filesystem::path &path, const std::string &data);

// Path of a committed fixture under tests/fixtures.
std::string fixture(const std::string &name);

// A fresh empty directory for one test, removed by the destructor.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir();
    ~ScratchDir();
    std::string operator/(const std::string &name) const { return (path / name).string(); }
};

// Replaces the run date at the end of the banner's first line
// ("... version 5.0 on 23 Apr 1996") with "<DATE>", so that listings made
// on different days compare equal.
std::string mask_run_date(const std::string &listing);
