// Output files written whole or not at all, and the same-file check; see
// output_file.h.
#include "output_file.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <tuple>

#include "process_guard.h"

namespace {

// Characters of a temporary name's random part.
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kRandomChars = 6;
// The final name is kept in the temporary one (so a file left by a killed
// run says what it was), cut so that the whole stays within a name's limit.
constexpr std::size_t kKeptNameChars = 200;
constexpr int kNameAttempts = 100;

// Six characters that differ between processes and between calls.
std::string random_part()
{
    static unsigned long long counter = 0;
    static const unsigned long long pid = static_cast<unsigned long long>(getpid());
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long x = static_cast<unsigned long long>(ts.tv_nsec) ^
                           (static_cast<unsigned long long>(ts.tv_sec) << 20) ^
                           (pid << 40) ^ (++counter * 0x9E3779B97F4A7C15ULL);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDULL;
    x ^= x >> 33;
    std::string s;
    for (std::size_t i = 0; i < kRandomChars; ++i, x /= sizeof kNameChars - 1)
        s += kNameChars[x % (sizeof kNameChars - 1)];
    return s;
}

// "dir/.name.XXXXXX" beside "dir/name".
std::string temporary_name(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name_at) + "." + path.substr(name_at, kKeptNameChars) + "." + random_part();
}

// Failures to create a temporary file after which the output is written in
// place, as it always was: a folder that may not be written although the
// file may, a name too long to extend. Others (a full disk, say) are
// reported, since writing in place would first empty the old file.
bool in_place_will_do(int err) { return err == EACCES || err == EPERM || err == ENAMETOOLONG; }

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string &path)
{
    discard();
    final_ = path;
    error_ = 0;
    struct stat st {};
    bool in_place = false;
    mode_t mode = 0;  // 0: a new file, made with the usual permissions
    if (path == "-") {
        // Standard output: a stream of its own on a copy of descriptor 1,
        // so that closing it leaves descriptor 1 open.
        const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        fp_ = fd < 0 ? nullptr : fdopen(fd, "wb");
        if (fp_ == nullptr) {
            error_ = errno;
            if (fd >= 0) close(fd);
        }
        return fp_ != nullptr;
    }
    if (path.empty() || path.back() == '/') {
        in_place = true;  // no file name: the open fails as it always did
    } else if (lstat(path.c_str(), &st) == 0) {
        in_place = !S_ISREG(st.st_mode) || access(path.c_str(), W_OK) != 0;
        mode = st.st_mode & 0777;
    } else {
        in_place = errno != ENOENT;
    }
    if (!in_place) {
        if (open_temporary(path, mode)) return true;
        if (!in_place_will_do(error_)) return false;
        error_ = 0;
    }
    fp_ = std::fopen(path.c_str(), "wb");
    if (fp_ == nullptr) error_ = errno;
    return fp_ != nullptr;
}

bool OutputFile::open_temporary(const std::string &path, mode_t mode)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = temporary_name(path);
        TerminationBlock block;
        const int slot = register_temporary(name.c_str());
        if (slot < 0) {
            error_ = ENAMETOOLONG;
            return false;
        }
        // Created, never opened: "x" is O_EXCL, "e" is O_CLOEXEC.
        fp_ = std::fopen(name.c_str(), "wbxe");
        if (fp_ == nullptr) {
            error_ = errno;
            release_temporary(slot);
            if (error_ == EEXIST) continue;
            return false;
        }
        if (mode != 0) fchmod(fileno(fp_), mode);  // best effort, as for a copy
        temporary_ = name;
        slot_ = slot;
        return true;
    }
    return false;
}

bool OutputFile::write(const void *data, std::size_t n)
{
    if (error_ != 0 || fp_ == nullptr) return false;
    if (n == 0 || std::fwrite(data, 1, n, fp_) == n) return true;
    error_ = errno != 0 ? errno : EIO;
    return false;
}

void OutputFile::fail(int err)
{
    if (error_ == 0) error_ = err != 0 ? err : EIO;
}

bool OutputFile::commit()
{
    if (fp_ == nullptr) {
        fail(EBADF);
        return false;
    }
    if (error_ == 0 && std::fflush(fp_) != 0) fail(errno);
    if (std::fclose(fp_) != 0) fail(errno);
    fp_ = nullptr;
    if (!temporary_.empty()) {
        TerminationBlock block;
        if (error_ == 0 && std::rename(temporary_.c_str(), final_.c_str()) != 0) fail(errno);
        if (error_ != 0) unlink(temporary_.c_str());
        release_temporary(slot_);
        slot_ = -1;
        temporary_.clear();
    }
    return error_ == 0;
}

void OutputFile::discard()
{
    if (fp_ != nullptr) std::fclose(fp_);
    fp_ = nullptr;
    remove_temporary();
}

void OutputFile::remove_temporary()
{
    if (temporary_.empty()) return;
    TerminationBlock block;
    unlink(temporary_.c_str());
    release_temporary(slot_);
    slot_ = -1;
    temporary_.clear();
}

// ------------------------------------------------------------ same file

namespace {

// What a path names: an existing file by device and inode, or a name not
// yet taken by its folder's device and inode and the name itself.
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;  // empty for an existing file
    bool operator<(const Identity &o) const
    {
        return std::tie(dev, ino, name) < std::tie(o.dev, o.ino, o.name);
    }
};

// Folders already looked at, by spelling: outputs such as a series of
// images share their folder.
using FolderCache = std::map<std::string, std::optional<Identity>>;

std::optional<Identity> identity(const std::string &path, FolderCache &folders)
{
    struct stat st {};
    if (path == "-") return std::nullopt;  // a standard stream, never a named file
    if (stat(path.c_str(), &st) == 0) return Identity{st.st_dev, st.st_ino, {}};
    if (errno != ENOENT) return std::nullopt;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return std::nullopt;
    auto [at, fresh] = folders.try_emplace(folder);
    if (fresh && stat(folder.c_str(), &st) == 0) at->second = Identity{st.st_dev, st.st_ino, {}};
    if (!at->second) return std::nullopt;
    return Identity{at->second->dev, at->second->ino, name};
}

}  // namespace

std::optional<PathClash> find_output_clash(const NamedPath &input,
                                           const std::vector<NamedPath> &outputs)
{
    FolderCache folders;
    std::optional<Identity> in = identity(input.path, folders);
    struct stat st {};
    if (input.path == "-" && fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode))
        in = Identity{st.st_dev, st.st_ino, {}};  // a product redirected from a file
    std::vector<std::optional<Identity>> ids;
    ids.reserve(outputs.size());
    for (const NamedPath &out : outputs) {
        ids.push_back(identity(out.path, folders));
        // Only an existing input can be destroyed.
        if (in && in->name.empty() && ids.back() && !(*ids.back() < *in) && !(*in < *ids.back()))
            return PathClash{out.path, input};
    }
    std::map<Identity, std::size_t> earlier;
    for (std::size_t j = 0; j < outputs.size(); ++j) {
        if (!ids[j]) continue;
        auto [at, fresh] = earlier.emplace(*ids[j], j);
        if (!fresh) return PathClash{outputs[j].path, outputs[at->second]};
    }
    return std::nullopt;
}
