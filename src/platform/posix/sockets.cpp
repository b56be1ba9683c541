// TCP sockets. Differences from the Windows design that matter here:
// - the send buffer keeps the system's default size (zero would cripple it);
// - a refused non-blocking connect makes the socket writable with an error
//   pending, so SO_ERROR decides whether the connect succeeded;
// - closing a socket does not wake a receive blocked on it in another
//   thread; plat_socket_shutdown does.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "platform/ipv4_text.h"
#include "platform/platform.h"

namespace sl {

namespace {
thread_local int g_sock_error = 0;

int fd_of(PlatSocket s) { return static_cast<int>(s); }

int fail() {
    g_sock_error = errno;
    return -1;
}

bool set_nonblocking(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

int poll_one(int fd, short events, uint32_t timeout_ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, static_cast<int>(timeout_ms));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) g_sock_error = errno;
        return r;
    }
}
}  // namespace

void plat_net_startup() {}
void plat_net_cleanup() {}

PlatSocket plat_tcp_socket() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        g_sock_error = errno;
        return kInvalidSocket;
    }
    return fd;
}

void plat_set_send_options(PlatSocket s, uint32_t send_timeout_ms) {
    timeval tv{static_cast<time_t>(send_timeout_ms / 1000),
               static_cast<suseconds_t>((send_timeout_ms % 1000) * 1000)};
    setsockopt(fd_of(s), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    setsockopt(fd_of(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#ifdef SO_NOSIGPIPE
    setsockopt(fd_of(s), SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
}

int plat_connect(PlatSocket s, uint32_t ipv4, uint16_t port, uint32_t timeout_ms) {
    int fd = fd_of(s);
    if (!set_nonblocking(fd, true)) return fail(), 0;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS)
        return fail(), 0;
    if (poll_one(fd, POLLOUT, timeout_ms) <= 0) return 0;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        g_sock_error = err ? err : errno;
        return 0;
    }
    return set_nonblocking(fd, false) ? 1 : (fail(), 0);
}

int plat_send_all(PlatSocket s, const void *buf, int len) {
    auto *p = static_cast<const char *>(buf);
    int sent = 0;
    while (sent < len) {
        ssize_t n = send(fd_of(s), p + sent, static_cast<size_t>(len - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail();
        sent += static_cast<int>(n);
    }
    return sent;
}

int plat_recv(PlatSocket s, void *buf, int cap) {
    for (;;) {
        ssize_t n = recv(fd_of(s), buf, static_cast<size_t>(cap), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail();
        return static_cast<int>(n);
    }
}

int plat_recv_pending(PlatSocket s, void *buf, int cap) {
    ssize_t n = recv(fd_of(s), buf, static_cast<size_t>(cap), MSG_DONTWAIT);
    return n < 0 ? fail() : static_cast<int>(n);
}

int plat_wait_readable(PlatSocket s, uint32_t timeout_ms) {
    return poll_one(fd_of(s), POLLIN, timeout_ms) > 0 ? 1 : 0;
}

void plat_socket_shutdown(PlatSocket s) {
    if (s != kInvalidSocket) shutdown(fd_of(s), SHUT_RDWR);
}

int plat_socket_close(PlatSocket s) {
    if (s == kInvalidSocket) return 0;
    return close(fd_of(s)) == 0 ? 0 : fail();
}

int plat_socket_error() { return g_sock_error; }

int plat_parse_ipv4(const char *text, uint32_t *value) {
    in_addr parsed{};
    if (text && ::inet_pton(AF_INET, text, &parsed) == 1) {
        *value = ntohl(parsed.s_addr);
        return 0;
    }
    return ParseLegacyIPv4(text, value);
}

}  // namespace sl
