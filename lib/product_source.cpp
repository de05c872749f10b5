// Streams behind table units: products from files, compressed files,
// standard input, pipes and memory; outputs to files or standard output.
// See product_source.h.
//
// A product that the unit cannot read from its file directly is read whole
// into a shared, immutable copy, and the unit reads that copy through a
// memory stream. The copy lives as long as a stream reads it; a weak index
// by path lets a second open of the same path (the banner's) find it.
#include "product_source.h"

#include <archive.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "fits_table.h"

namespace {

using Bytes = std::shared_ptr<const std::string>;

// Products read whole, by the path they were opened under, while read.
std::map<std::string, std::weak_ptr<const std::string>> copies;
// Products handed over in memory with product_hold, by display name.
std::map<std::string, Bytes> held;
ProductFailure failure;

constexpr char kFitsMagic[] = "SIMPLE";
constexpr std::size_t kFitsMagicLength = sizeof kFitsMagic - 1;
constexpr std::size_t kReadChunk = 128 * 1024;

// ---------------------------------------------------------------- memory streams

// The state of one memory stream: the copy it reads and its position.
struct MemoryReader {
    Bytes bytes;
    std::size_t pos = 0;
};

ssize_t memory_read(void *cookie, char *buf, std::size_t size)
{
    auto *m = static_cast<MemoryReader *>(cookie);
    const std::size_t left = m->pos < m->bytes->size() ? m->bytes->size() - m->pos : 0;
    const std::size_t n = std::min(size, left);
    std::memcpy(buf, m->bytes->data() + m->pos, n);
    m->pos += n;
    return static_cast<ssize_t>(n);
}

// Like a file: any position from 0 on, past the end too (reads there find
// the end).
int memory_seek(void *cookie, off64_t *offset, int whence)
{
    auto *m = static_cast<MemoryReader *>(cookie);
    const off64_t size = static_cast<off64_t>(m->bytes->size());
    const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<off64_t>(m->pos) : size;
    if (*offset < -base || *offset > INT64_MAX - base) {
        errno = EINVAL;
        return -1;
    }
    m->pos = static_cast<std::size_t>(base + *offset);
    *offset = static_cast<off64_t>(m->pos);
    return 0;
}

int memory_close(void *cookie)
{
    std::unique_ptr<MemoryReader> owned(static_cast<MemoryReader *>(cookie));
    return 0;
}

// A read-only stream over bytes; it shares them until it is closed.
std::FILE *memory_stream(Bytes bytes)
{
    auto reader = std::make_unique<MemoryReader>();
    reader->bytes = std::move(bytes);
    static const cookie_io_functions_t kFunctions = {memory_read, nullptr, memory_seek, memory_close};
    std::FILE *fp = fopencookie(reader.get(), "rb", kFunctions);
    if (fp) reader.release();  // memory_close owns it now
    return fp;
}

// ---------------------------------------------------------------- decompression

// Where the raw bytes come from: a descriptor, or bytes in memory.
struct RawSource {
    int fd = -1;
    const std::string *memory = nullptr;
    bool memory_given = false;
    std::vector<char> buffer;
    std::uint64_t total = 0;  // raw bytes handed to libarchive
    bool too_large = false;
};

la_ssize_t raw_read(archive *a, void *client, const void **out)
{
    auto *src = static_cast<RawSource *>(client);
    if (src->memory) {
        *out = src->memory->data();
        const std::size_t n = src->memory_given ? 0 : src->memory->size();
        src->memory_given = true;
        src->total += n;
        return static_cast<la_ssize_t>(n);
    }
    ssize_t n;
    do {
        n = ::read(src->fd, src->buffer.data(), src->buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        archive_set_error(a, errno, "%s", std::strerror(errno));
        return ARCHIVE_FATAL;
    }
    src->total += static_cast<std::uint64_t>(n);
    if (src->total > kMaxProductBytes) {
        src->too_large = true;
        archive_set_error(a, EFBIG, "product larger than 1 GiB");
        return ARCHIVE_FATAL;
    }
    *out = src->buffer.data();
    return n;
}

// One product read through libarchive: the raw format over every filter it
// has, so compressed input is decompressed and anything else passes as is.
class Decompressor {
public:
    explicit Decompressor(int fd) { src_.fd = fd; }
    explicit Decompressor(const std::string &bytes) { src_.memory = &bytes; }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    // Recognises the form. False for an input that is empty, or decompresses
    // to nothing (empty() tells), or a damaged one (fail() has said why).
    bool start();
    bool empty() const { return empty_; }
    bool compressed() const { return archive_filter_code(a_.get(), 0) != ARCHIVE_FILTER_NONE; }
    // The whole product, decompressed; false after fail().
    bool read_all(std::string &out);

private:
    bool fail();

    RawSource src_;
    bool empty_ = false;
    std::unique_ptr<archive, int (*)(archive *)> a_{archive_read_new(), archive_read_free};
};

using FilterSupport = int (*)(archive *);
constexpr FilterSupport kFilters[] = {
    archive_read_support_filter_gzip,  archive_read_support_filter_compress,
    archive_read_support_filter_bzip2, archive_read_support_filter_xz,
    archive_read_support_filter_lzma,  archive_read_support_filter_zstd,
    archive_read_support_filter_lz4,
};

bool Decompressor::start()
{
    archive *a = a_.get();
    if (!a) throw std::bad_alloc();
    if (!src_.memory) src_.buffer.resize(kReadChunk);
    // Only the compressions linked in. Enabling every filter would also
    // let libarchive start external programs (lrzip, lzop, grzip) on magic
    // bytes found in a product, which a reader of untrusted files must not.
    for (auto add : kFilters) add(a);
    archive_read_support_format_raw(a);
    archive_read_support_format_empty(a);
    archive_entry *entry = nullptr;
    if (archive_read_open(a, &src_, nullptr, raw_read, nullptr) != ARCHIVE_OK) return fail();
    const int header = archive_read_next_header(a, &entry);
    empty_ = header == ARCHIVE_EOF;
    return header == ARCHIVE_OK || (!empty_ && fail());
}

// The copy grows by doubling up to the limit itself; whether more follows
// is then asked with one byte, so that a product over the limit never makes
// the copy grow past it.
bool Decompressor::read_all(std::string &out)
{
    constexpr auto kLimit = static_cast<std::size_t>(kMaxProductBytes);
    out.clear();
    while (out.size() < kLimit) {
        const std::size_t have = out.size();
        out.resize(have + std::min(kReadChunk, kLimit - have));
        const la_ssize_t n = archive_read_data(a_.get(), out.data() + have, out.size() - have);
        out.resize(have + static_cast<std::size_t>(std::max<la_ssize_t>(n, 0)));
        if (n <= 0) return n == 0 || fail();
    }
    char probe = 0;
    const la_ssize_t n = archive_read_data(a_.get(), &probe, 1);
    if (n > 0) src_.too_large = true;
    return n == 0 || fail();
}

bool Decompressor::fail()
{
    if (src_.too_large) {
        failure.summary = compressed() ? "decompressed product larger than 1 GiB"
                                       : "product larger than 1 GiB";
        return false;
    }
    const char *reason = archive_error_string(a_.get());
    failure.detail = reason ? reason : "damaged compressed data";
    return false;
}

// ---------------------------------------------------------------- opening

// A descriptor closed when it goes out of scope, unless released.
struct Descriptor {
    int fd;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

// The stream of a regular file read as it is.
std::FILE *file_stream(Descriptor &file)
{
    if (::lseek(file.fd, 0, SEEK_SET) != 0) return nullptr;
    std::FILE *fp = ::fdopen(file.fd, "rb");
    if (fp) file.release();
    return fp;
}

bool begins_fits(const char *data, std::size_t size)
{
    return size >= kFitsMagicLength && std::memcmp(data, kFitsMagic, kFitsMagicLength) == 0;
}

// Reads what d delivers whole into a copy known under path, and opens it.
std::FILE *copy_stream(const std::string &path, Decompressor &d)
{
    auto copy = std::make_shared<std::string>();
    if (!d.empty() && !d.read_all(*copy)) return nullptr;
    copies[path] = copy;
    return memory_stream(std::move(copy));
}

// A product given as a path on the file system, or "-".
std::FILE *open_path(const std::string &path)
{
    const bool standard_input = path == "-";
    const int fd = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    Descriptor file(standard_input ? -1 : fd);  // standard input is read, never closed
    struct stat st {};
    if (::fstat(fd, &st) != 0) return nullptr;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    const bool regular = S_ISREG(st.st_mode) && !standard_input;
    if (regular) {
        char magic[kFitsMagicLength];
        const ssize_t got = ::pread(fd, magic, sizeof magic, 0);
        if (got <= 0 || begins_fits(magic, static_cast<std::size_t>(got))) return file_stream(file);
    }
    Decompressor d(fd);
    if (!d.start() && !d.empty()) return nullptr;
    if (regular && !d.compressed()) return file_stream(file);
    return copy_stream(path, d);
}

// A product handed over in memory: read where it is unless compressed.
std::FILE *open_held(const std::string &path, const Bytes &bytes)
{
    if (begins_fits(bytes->data(), bytes->size())) return memory_stream(bytes);
    Decompressor d(*bytes);
    if (!d.start() && !d.empty()) return nullptr;
    if (!d.compressed()) return memory_stream(bytes);
    return copy_stream(path, d);
}

std::FILE *open_product(const std::string &path)
{
    std::erase_if(copies, [](const auto &entry) { return entry.second.expired(); });
    auto copy = copies.find(path);
    if (copy != copies.end()) return memory_stream(copy->second.lock());
    auto hold = held.find(path);
    if (hold != held.end()) return open_held(path, hold->second);
    return open_path(path);
}

}  // namespace

std::FILE *product_open(const char *path, std::string &why)
{
    failure = {};
    why.clear();
    std::FILE *fp = nullptr;
    try {
        fp = open_product(path);
    } catch (const std::bad_alloc &) {
        failure.summary = "out of memory";
    }
    if (!fp) why = !failure.summary.empty() ? failure.summary : failure.detail;
    return fp;
}

const ProductFailure &product_failure() { return failure; }

void topen_memory(int unit, const char *display_name, std::string bytes, int *nparms)
{
    product_hold(display_name, std::move(bytes));
    topenr(unit, display_name, nparms);
    // From here the unit's stream (and any copy under the name) keeps the
    // bytes; the name stays known while a unit reads them.
    auto hold = held.find(display_name);
    if (hold != held.end()) {
        copies.try_emplace(display_name, hold->second);  // unless decompressed into a copy
        held.erase(hold);
    }
}

void product_hold(const char *display_name, std::string bytes)
{
    held[display_name] = std::make_shared<const std::string>(std::move(bytes));
    copies.erase(display_name);  // a copy read earlier under the name is not these bytes
}

void product_release(const char *display_name) { held.erase(display_name); }
