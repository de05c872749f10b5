// Output files that are never left half-written, and the check that no
// output is one of the program's other files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <sys/types.h>
#include <string>
#include <vector>

// One output file being written. A regular file, or a path where no file
// exists yet, is written under a temporary name in the same folder and
// renamed into place by commit(): until then the final name keeps what it
// held, and a failed or interrupted output leaves no trace (the temporary
// file is registered for removal on SIGINT, SIGTERM and SIGHUP, see
// process_guard.h). Outputs that are not regular files (a device, a pipe,
// a FIFO), final paths that are symbolic links, and regular files that may
// not be written (the open then fails as it always did) are opened in
// place. A replaced file's permission bits carry over to its successor.
//
// Every write is checked; the first failure is kept (error()) and later
// writes are skipped, so commit() can tell whether the file is whole.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // discards an output that was not committed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens path for writing. False (error() set) when it cannot be opened.
    bool open(const std::string &path);
    bool is_open() const { return fp_ != nullptr; }
    // The stream, for positioning and buffering; write through write().
    std::FILE *stream() const { return fp_; }

    // Writes n bytes; false once any write has failed.
    bool write(const void *data, std::size_t n);
    bool write(const std::string &text) { return write(text.data(), text.size()); }
    // Records a failure found by the caller on the stream (a seek, say).
    void fail(int err);

    // Flushes, closes and renames into place. False (error() set) when any
    // write, the flush, the close or the rename failed; the temporary file
    // is then removed and the final name keeps what it held.
    bool commit();
    // Closes without keeping anything written under a temporary name.
    void discard();

    // The system error number of the first failure; 0 when none.
    int error() const { return error_; }

private:
    bool open_temporary(const std::string &path, mode_t mode);
    void remove_temporary();

    std::FILE *fp_ = nullptr;
    std::string final_;
    std::string temporary_;  // empty when written in place
    int slot_ = -1;          // registry slot of the temporary file
    int error_ = 0;
};

// An output path and what the program calls it in messages ("listing").
struct NamedPath {
    std::string path;
    std::string role;
};

// Two paths that name the same file: writing `output` would destroy `other`.
struct PathClash {
    std::string output;
    NamedPath other;
};

// The first output that is the same file (device and inode, links
// followed) as the input, or as an earlier output; none when every output
// is a file of its own. Outputs that do not exist yet are told apart by
// their folder and name. Only the file system's metadata is read: nothing
// is opened, so a FIFO input still waits for its writer.
std::optional<PathClash> find_output_clash(const NamedPath &input,
                                           const std::vector<NamedPath> &outputs);
