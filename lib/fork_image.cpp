// Code moved to anonymous memory; see fork_image.h.
#include "fork_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct FileMapping {
    unsigned long start = 0, end = 0, offset = 0, inode = 0;
    unsigned long room = 0;  // end of the free space after the mapping
    int prot = 0;
    std::string path;
};

std::string read_maps()
{
    std::string text;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char block[8192];
    for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;) text.append(block, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

// The private read-only mappings of files, from lines such as
// "7f25...-7f25... r-xp 00026000 fe:00 332835   /usr/lib/.../libc.so.6".
std::vector<FileMapping> read_only_file_mappings()
{
    std::vector<FileMapping> found;
    const std::string text = read_maps();
    for (std::size_t at = 0, eol; at < text.size(); at = eol + 1) {
        eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        const std::string line = text.substr(at, eol - at);
        unsigned long next = 0;
        if (!found.empty() && found.back().room == 0 && std::sscanf(line.c_str(), "%lx", &next) == 1)
            found.back().room = next;
        FileMapping m;
        char perms[5] = {};
        int path_at = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx %4s %lx %*s %lu %n", &m.start, &m.end, perms, &m.offset,
                        &m.inode, &path_at) < 5 || m.inode == 0 || line.c_str()[path_at] != '/')
            continue;
        if (std::strcmp(perms, "r-xp") != 0 && std::strcmp(perms, "r--p") != 0) continue;
        m.prot = PROT_READ | (perms[2] == 'x' ? PROT_EXEC : 0);
        m.path = line.substr(static_cast<std::size_t>(path_at));
        found.push_back(std::move(m));
    }
    return found;
}

// Whether every page of m lies within its file: a page past the end
// cannot be read (SIGBUS). A file replaced since it was mapped is skipped.
bool within_file(const FileMapping &m)
{
    struct stat st {};
    if (::stat(m.path.c_str(), &st) != 0 || st.st_ino != m.inode) return false;
    const unsigned long page = static_cast<unsigned long>(::sysconf(_SC_PAGESIZE));
    const unsigned long file_pages = (static_cast<unsigned long>(st.st_size) + page - 1) / page * page;
    return m.offset + (m.end - m.start) <= file_pages;
}

constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;

std::uintptr_t huge_ceil(std::uintptr_t n) { return (n + kHuge - 1) / kHuge * kHuge; }

// Anonymous memory of size bytes whose start is aligned to a huge page,
// built of huge pages where the kernel has them; what lies beyond size is
// returned to the system.
char *huge_backed(std::size_t size)
{
    const std::size_t mapped = huge_ceil(size) + kHuge;
    void *raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = huge_ceil(base);
    if (aligned > base) ::munmap(raw, aligned - base);
    if (base + mapped > aligned + size) ::munmap(reinterpret_cast<void *>(aligned + size), base + mapped - aligned - size);
    void *at = reinterpret_cast<void *>(aligned);
    ::madvise(at, size, MADV_HUGEPAGE);
    return static_cast<char *>(at);
}

// Copies the bytes of mapped pages as they are. The kernel copies them:
// they are pages, not objects, and a checking build would take the
// padding between two constants for an overflow.
bool copy_pages(void *to, const void *from, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        iovec local{static_cast<char *>(to) + done, size - done};
        iovec remote{const_cast<char *>(static_cast<const char *>(from)) + done, size - done};
        const ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The copy gets the mapping's protection before it takes the mapping's
// place in one step: code running from the mapping (this function's own
// callees among it) finds the same bytes there before and after. A
// mapping that starts on a huge page boundary grows into the free space
// after it up to the next boundary, so that its last huge page is whole: a
// fork then shares each huge page in one step rather than page by page.
bool move(const FileMapping &m)
{
    std::size_t size = m.end - m.start;
    if (m.start % kHuge == 0 && huge_ceil(m.end) <= m.room) size = huge_ceil(m.end) - m.start;
    void *const at = reinterpret_cast<void *>(m.start);
    char *copy = huge_backed(size);
    if (copy == nullptr) return false;
    if (!copy_pages(copy, at, m.end - m.start)) {
        ::munmap(copy, size);
        return false;
    }
    const bool moved = ::mprotect(copy, size, m.prot) == 0 &&
                       ::mremap(copy, size, size, MREMAP_MAYMOVE | MREMAP_FIXED, at) != MAP_FAILED;
    if (!moved) ::munmap(copy, size);
    return moved;
}

// Whether the kernel gives huge pages to memory that asks for them. Without
// them the move costs a fork more (an entry to copy per page) than it saves.
bool huge_pages_available()
{
    const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[128] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 && std::strstr(text, "[never]") == nullptr;
}

}  // namespace

long move_code_to_anonymous_memory()
{
    if (!huge_pages_available()) return 0;
    long moved = 0;
    for (const FileMapping &m : read_only_file_mappings())
        if (within_file(m) && move(m)) moved += static_cast<long>(m.end - m.start);
    return moved;
}
