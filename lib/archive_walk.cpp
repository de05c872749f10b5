// Compressed files and nested tar archives read with libarchive; see
// archive_walk.h.
//
// Every reader accepts tar archives and, failing that, any other data as
// one "raw" entry, behind any of the built-in decompressors. A member is
// read by a reader of its own that pulls its data from the parent reader,
// so the format of the member (a tar archive, compressed data, a plain
// file) is told the same way as that of a file.
#include "archive_walk.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 64 * 1024;  // bytes per read from a file or a parent
constexpr std::size_t kMaxLevels = 8;      // archives within archives, the file included
constexpr char kFitsMagic[] = "SIMPLE";
constexpr std::size_t kMagicLength = sizeof kFitsMagic - 1;

using Reader = std::unique_ptr<archive, int (*)(archive *)>;

archive *new_reader()
{
    archive *a = archive_read_new();
    if (a == nullptr) return nullptr;
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_filter_lz4(a);
    archive_read_support_filter_compress(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_raw(a);
    return a;
}

std::string error_text(archive *a)
{
    const char *text = a ? archive_error_string(a) : nullptr;
    return text ? text : "cannot be read";
}

bool is_tar(archive *a)
{
    return (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_TAR;
}

bool is_compressed(archive *a)
{
    return archive_filter_count(a) > 1;  // the last filter is the plain byte source
}

// Reads up to n bytes of the current entry; fewer only at its end; -1 on
// failure.
long read_some(archive *a, char *buf, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        const la_ssize_t r = archive_read_data(a, buf + got, n - got);
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

// Appends the rest of the current entry to bytes, up to limit bytes in all.
bool read_rest(archive *a, std::size_t limit, std::string &bytes, std::string &problem)
{
    std::vector<char> block(kBlock);
    for (;;) {
        const la_ssize_t r = archive_read_data(a, block.data(), block.size());
        if (r < 0) {
            problem = error_text(a);
            return false;
        }
        if (r == 0) return true;
        if (bytes.size() + static_cast<std::size_t>(r) > limit) {
            problem = "larger than " + std::to_string(limit) + " bytes";
            return false;
        }
        bytes.append(block.data(), static_cast<std::size_t>(r));
    }
}

bool begins_with_magic(const char *data, long n)
{
    return n >= static_cast<long>(kMagicLength) && std::memcmp(data, kFitsMagic, kMagicLength) == 0;
}

}  // namespace

FileKind file_kind(const std::string &path)
{
    char magic[kMagicLength];
    std::FILE *fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr) return {ContentKind::unreadable, std::strerror(errno)};
    const std::size_t got = std::fread(magic, 1, kMagicLength, fp);
    std::fclose(fp);
    if (begins_with_magic(magic, static_cast<long>(got))) return {ContentKind::fits, ""};

    Reader reader(new_reader(), ::archive_read_free);
    archive *a = reader.get();
    archive_entry *entry = nullptr;
    if (a == nullptr || archive_read_open_filename(a, path.c_str(), kBlock) != ARCHIVE_OK)
        return {ContentKind::other, ""};
    const int status = archive_read_next_header(a, &entry);
    if (status == ARCHIVE_EOF && is_tar(a)) return {ContentKind::archive, ""};
    if (status < ARCHIVE_WARN) return {ContentKind::other, ""};
    if (is_tar(a)) return {ContentKind::archive, ""};
    if (!is_compressed(a)) return {ContentKind::other, ""};
    const long n = read_some(a, magic, kMagicLength);
    if (n < 0) return {ContentKind::unreadable, error_text(a)};
    return {begins_with_magic(magic, n) ? ContentKind::compressed_fits : ContentKind::other, ""};
}

// ------------------------------------------------------------------ walk

struct ArchiveWalk::Level {
    archive *a = nullptr;
    archive *parent = nullptr;        // nested: the reader whose current member this one reads
    std::vector<char> buffer;         // nested: the block last read from the parent
    std::string name;                 // path of the file, or member path of a nested archive
    std::string prefix;               // "" for the file, else the member path and '/'
    archive_entry *pending = nullptr; // a first header, read to learn the format

    Level() = default;
    Level(const Level &) = delete;
    Level &operator=(const Level &) = delete;
    ~Level()
    {
        if (a) archive_read_free(a);
    }
};

namespace {

// Read callback of a nested reader: the next block of the parent's member.
la_ssize_t read_parent(archive *a, void *data, const void **buf)
{
    auto *level = static_cast<ArchiveWalk::Level *>(data);
    const la_ssize_t n = archive_read_data(level->parent, level->buffer.data(), level->buffer.size());
    if (n < 0) {
        archive_set_error(a, EIO, "%s", error_text(level->parent).c_str());
        return -1;
    }
    *buf = level->buffer.data();
    return n;
}

}  // namespace

ArchiveWalk::ArchiveWalk(const std::string &path)
{
    auto top = std::make_unique<Level>();
    top->name = path;
    top->a = new_reader();
    if (top->a == nullptr || archive_read_open_filename(top->a, path.c_str(), kBlock) != ARCHIVE_OK) {
        error_ = path + ": " + error_text(top->a);
        return;
    }
    levels_.push_back(std::move(top));
}

ArchiveWalk::~ArchiveWalk()
{
    while (!levels_.empty()) pop();  // nested readers go before their parents
}

void ArchiveWalk::pop()
{
    levels_.pop_back();
}

bool ArchiveWalk::next(Leaf &leaf)
{
    if (leaf_open_) {
        pop();
        leaf_open_ = false;
        peek_.clear();
    }
    while (!levels_.empty()) {
        Level &top = *levels_.back();
        archive_entry *entry = top.pending;
        top.pending = nullptr;
        const int status = entry ? ARCHIVE_OK : archive_read_next_header(top.a, &entry);
        if (status == ARCHIVE_EOF) {
            pop();
            continue;
        }
        if (status < ARCHIVE_WARN) {
            error_ = top.name + ": " + error_text(top.a);
            while (!levels_.empty()) pop();
            return false;
        }
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry)) continue;
        const char *path = archive_entry_pathname(entry);
        const std::string member = top.prefix + (path ? path : "");
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) == 0) {
            leaf = Leaf{member, top.name, leaves_++, ContentKind::other, ""};
            return true;
        }
        if (descend(member, leaf)) return true;
    }
    return false;
}

// Opens a reader on the data of the member just read. A tar archive becomes
// the new innermost level (false: its members follow); anything else is
// the next leaf (true), read through that reader.
bool ArchiveWalk::descend(const std::string &member, Leaf &leaf)
{
    leaf = Leaf{member, levels_.back()->name, 0, ContentKind::other, ""};
    auto level = std::make_unique<Level>();
    level->parent = levels_.back()->a;
    level->buffer.resize(kBlock);
    level->name = member;
    level->prefix = member + "/";
    level->a = new_reader();
    archive_entry *entry = nullptr;
    int status = ARCHIVE_FATAL;
    if (level->a && archive_read_open(level->a, level.get(), nullptr, read_parent, nullptr) == ARCHIVE_OK)
        status = archive_read_next_header(level->a, &entry);
    if (status != ARCHIVE_EOF && status < ARCHIVE_WARN) {
        leaf.kind = ContentKind::unreadable;
        leaf.problem = error_text(level->a);
    } else if (is_tar(level->a)) {
        if (levels_.size() < kMaxLevels) {
            level->pending = status == ARCHIVE_EOF ? nullptr : entry;
            if (status == ARCHIVE_EOF) return false;  // an empty archive
            levels_.push_back(std::move(level));
            return false;
        }
        leaf.kind = ContentKind::unreadable;
        leaf.problem = "archives nested more than " + std::to_string(kMaxLevels) + " deep";
    } else {
        char magic[kMagicLength];
        const long n = read_some(level->a, magic, kMagicLength);
        if (n < 0) {
            leaf.kind = ContentKind::unreadable;
            leaf.problem = error_text(level->a);
        } else if (begins_with_magic(magic, n)) {
            leaf.kind = is_compressed(level->a) ? ContentKind::compressed_fits : ContentKind::fits;
        }
        peek_.assign(magic, static_cast<std::size_t>(std::max(n, 0L)));
        levels_.push_back(std::move(level));
        leaf_open_ = true;
    }
    leaf.index = leaves_++;
    return true;
}

bool ArchiveWalk::read(std::size_t limit, std::string &bytes, std::string &problem)
{
    if (!leaf_open_) {
        problem = "not readable";
        return false;
    }
    bytes = peek_;
    return read_rest(levels_.back()->a, limit, bytes, problem);
}
