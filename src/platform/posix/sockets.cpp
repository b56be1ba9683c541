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
int fd_of(PlatSocket s) { return static_cast<int>(s); }

// The error of the call that just failed, with the codes callers act on
// under their own names.
int last_error() {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kPlatWouldBlock;
    if (errno == ETIMEDOUT) return kPlatTimedOut;
    return -errno;
}

int set_nonblocking(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return last_error();
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0 ? 0 : last_error();
}

// 0 when the event came, kPlatTimedOut, or an error.
int poll_one(int fd, short events, uint32_t timeout_ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, static_cast<int>(timeout_ms));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return last_error();
        return r > 0 ? 0 : kPlatTimedOut;
    }
}
}  // namespace

void plat_net_startup() {}
void plat_net_cleanup() {}

int plat_tcp_socket(PlatSocket *s) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    *s = fd < 0 ? kInvalidSocket : fd;
    return fd < 0 ? last_error() : 0;
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
    if (int rc = set_nonblocking(fd, true); rc != 0) return rc;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS)
        return last_error();
    if (int rc = poll_one(fd, POLLOUT, timeout_ms); rc != 0) return rc;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return last_error();
    if (err != 0) {
        errno = err;  // the connect's own error, named as any other
        return last_error();
    }
    return set_nonblocking(fd, false);
}

int plat_send_all(PlatSocket s, const void *buf, int len) {
    auto *p = static_cast<const char *>(buf);
    int sent = 0;
    while (sent < len) {
        ssize_t n = send(fd_of(s), p + sent, static_cast<size_t>(len - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return last_error();
        if (n == 0) return -EPIPE;  // taken nothing: the peer is gone
        sent += static_cast<int>(n);
    }
    return sent;
}

int plat_recv(PlatSocket s, void *buf, int cap) {
    for (;;) {
        ssize_t n = recv(fd_of(s), buf, static_cast<size_t>(cap), 0);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? last_error() : static_cast<int>(n);
    }
}

int plat_recv_pending(PlatSocket s, void *buf, int cap) {
    ssize_t n = recv(fd_of(s), buf, static_cast<size_t>(cap), MSG_DONTWAIT);
    return n < 0 ? last_error() : static_cast<int>(n);
}

int plat_wait_readable(PlatSocket s, uint32_t timeout_ms) { return poll_one(fd_of(s), POLLIN, timeout_ms); }

void plat_socket_shutdown(PlatSocket s) {
    if (s != kInvalidSocket) shutdown(fd_of(s), SHUT_RDWR);
}

int plat_socket_close(PlatSocket s) {
    if (s == kInvalidSocket) return 0;
    return close(fd_of(s)) == 0 ? 0 : last_error();
}

int plat_parse_ipv4(const char *text, uint32_t *value) {
    in_addr parsed{};
    if (text && ::inet_pton(AF_INET, text, &parsed) == 1) {
        *value = ntohl(parsed.s_addr);
        return 0;
    }
    return ParseLegacyIPv4(text, value);
}

}  // namespace sl
