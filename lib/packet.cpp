// Packets of fields with descriptors; see packet.h.
#include "packet.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kMaxPacket = 256 * 1024;
constexpr std::size_t kMaxFds = 4;

}  // namespace

std::string encode_fields(const std::vector<std::string> &fields)
{
    std::string out;
    for (const std::string &field : fields) out += std::to_string(field.size()) + ':' + field;
    return out;
}

bool decode_fields(const std::string &text, std::vector<std::string> &fields)
{
    fields.clear();
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = 0, digits = 0;
        const auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
        for (; digits < 9 && digit(at + digits); ++digits)
            n = n * 10 + static_cast<std::size_t>(text[at + digits] - '0');
        at += digits;
        if (digits == 0 || at >= text.size() || text[at] != ':' || n > text.size() - at - 1) return false;
        fields.push_back(text.substr(at + 1, n));
        at += 1 + n;
    }
    return true;
}

bool send_packet(int socket, const std::vector<std::string> &fields, const std::vector<int> &fds, bool wait)
{
    std::string text = encode_fields(fields);
    iovec iov{text.data(), text.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)] = {};
    if (!fds.empty()) {
        if (fds.size() > kMaxFds) {
            errno = EINVAL;
            return false;
        }
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    ssize_t n;
    do n = ::sendmsg(socket, &msg, MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(text.size());
}

PacketResult receive_packet(int socket, std::vector<std::string> &fields, std::vector<int> &fds, bool wait)
{
    // One process reads one packet at a time. The buffer is left
    // uninitialized: only the pages that packets fill are ever touched (a
    // forking process copies the entry of every page it has touched).
    static const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kMaxPacket);
    iovec iov{buffer.get(), kMaxPacket};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)];
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do n = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT));
    while (n < 0 && errno == EINTR);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? PacketResult::none : PacketResult::error;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            fds.push_back(fd);
        }
    }
    if (n == 0) return PacketResult::end;
    const bool whole = (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0;
    const std::string text(buffer.get(), static_cast<std::size_t>(n));
    return whole && decode_fields(text, fields) ? PacketResult::received : PacketResult::error;
}
