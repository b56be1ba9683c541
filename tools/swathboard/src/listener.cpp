#include "listener.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "protocol.h"
#include "swathboard.h"

namespace swathboard {

namespace {

constexpr int kBacklog = 4;
constexpr std::uint32_t kLoopbackNet = 0x7F000000u;  // 127.0.0.0/8
constexpr std::uint32_t kLoopbackMask = 0xFF000000u;

int Fail(int fd, const char *what, std::string *error) {
    if (error != nullptr) *error = std::string(what) + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return -1;
}

}  // namespace

bool ParseBoardAddress(const std::string &ip, bool any, in_addr *address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, ip.c_str(), &parsed) != 1) return false;
    if (!any && (ntohl(parsed.s_addr) & kLoopbackMask) != kLoopbackNet) return false;
    *address = parsed;
    return true;
}

bool IsLoopbackAddress(std::string_view ip) {
    in_addr unused{};
    return ParseBoardAddress(std::string(ip), false, &unused);
}

int OpenListener(const in_addr &address, std::string *error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(fd, "socket", error);
    // The host reconnects quickly; old links in TIME_WAIT must not block a
    // restarted board from listening again.
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return Fail(fd, "SO_REUSEADDR", error);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(kBoardPort);
    where.sin_addr = address;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0)
        return Fail(fd, "bind", error);
    if (::listen(fd, kBacklog) != 0) return Fail(fd, "listen", error);
    return fd;
}

}  // namespace swathboard
