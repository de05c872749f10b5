// Reading of files that may be compressed or tar archives, with libarchive
// and without unpacking anything to disk. A tar archive, plain or
// compressed, may hold further archives at any depth; a walk reads the
// nested ones as streams from their parent's data and yields every regular
// file at every depth (a "leaf") in archive order.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

enum class ContentKind {
    fits,             // begins with "SIMPLE"
    compressed_fits,  // compressed, and its content begins with "SIMPLE"
    archive,          // a tar archive, plain or compressed
    other,            // anything else (not a FITS file)
    unreadable,       // could not be read; the reason goes with it
};

struct FileKind {
    ContentKind kind = ContentKind::other;
    std::string problem;  // reason when unreadable
};

// Kind of the file at path, from its first bytes.
FileKind file_kind(const std::string &path);

struct Leaf {
    std::string member;     // path inside the outermost archive; nested parts joined by '/'
    std::string innermost;  // the archive holding it: the file's path, or a member path
    std::size_t index = 0;  // position among the leaves of the walk, from 0
    ContentKind kind = ContentKind::other;  // fits, compressed_fits, other or unreadable
    std::string problem;    // reason when unreadable
};

class ArchiveWalk {
public:
    // Opens the tar archive at path; error() tells when that failed.
    explicit ArchiveWalk(const std::string &path);
    ~ArchiveWalk();
    ArchiveWalk(const ArchiveWalk &) = delete;
    ArchiveWalk &operator=(const ArchiveWalk &) = delete;

    // The next leaf; false at the end of the archive or when it cannot be
    // read further (error() then says why).
    bool next(Leaf &leaf);

    // Content of the leaf next() returned last, decompressed. False, with
    // the reason in problem, when it cannot be read or exceeds limit bytes.
    bool read(std::size_t limit, std::string &bytes, std::string &problem);

    const std::string &error() const { return error_; }

    struct Level;

private:
    bool descend(const std::string &member, Leaf &leaf);
    void pop();

    std::vector<std::unique_ptr<Level>> levels_;  // outermost first
    bool leaf_open_ = false;  // the last level reads the current leaf
    std::string peek_;        // first bytes of the current leaf, already read
    std::size_t leaves_ = 0;
    std::string error_;
};
