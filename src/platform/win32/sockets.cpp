// Windows Sockets 2. Started once for the library's lifetime: a per-attempt
// start and clean-up pairing would tear the stack down under a thread that
// is still using another socket. Cleaning up is left to process exit.
//
// A receive blocked in another thread returns on Windows only when its
// socket is closed (a shutdown leaves it waiting for the peer), so waking it
// closes the socket; the owner's close that follows then only forgets it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/ipv4_text.h"
#include "platform/platform.h"

namespace sl {

namespace {
std::once_flag g_started;

SOCKET sock_of(PlatSocket s) { return static_cast<SOCKET>(s); }

// Sockets closed to wake a receive whose owner has not closed them yet.
std::mutex g_woken_lock;
std::vector<SOCKET> g_woken;

bool forget_woken(SOCKET s) {
    auto at = std::find(g_woken.begin(), g_woken.end(), s);
    if (at == g_woken.end()) return false;
    g_woken.erase(at);
    return true;
}

// A Windows Sockets error as a result, with the codes callers act on under
// the names they have on every system.
int error_of(int code) {
    if (code == WSAEWOULDBLOCK) return kPlatWouldBlock;
    if (code == WSAETIMEDOUT) return kPlatTimedOut;
    return -code;
}

int last_error() { return error_of(WSAGetLastError()); }

int set_nonblocking(SOCKET s, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(s, FIONBIO, &mode) == 0 ? 0 : last_error();
}

timeval timeval_of(uint32_t ms) {
    return timeval{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
}
}  // namespace

void plat_net_startup() {
    std::call_once(g_started, [] {
        WSADATA data;
        if (int rc = WSAStartup(MAKEWORD(2, 2), &data); rc != 0) sl_trace("WSAStartup failed %d\n", rc);
    });
}

void plat_net_cleanup() {}

int plat_tcp_socket(PlatSocket *ps) {
    plat_net_startup();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    *ps = s == INVALID_SOCKET ? kInvalidSocket : static_cast<PlatSocket>(s);
    return s == INVALID_SOCKET ? last_error() : 0;
}

// The send buffer keeps the system's size and Nagle's algorithm is off, as
// on posix. A buffer of 0 with Nagle on held the last segment of every swath
// until the board's delayed acknowledgement came; the send time-out still
// bounds a send that the board does not take.
void plat_set_send_options(PlatSocket s, uint32_t send_timeout_ms) {
    DWORD timeout = send_timeout_ms;
    setsockopt(sock_of(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&timeout), sizeof timeout);
    BOOL noDelay = TRUE;
    setsockopt(sock_of(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
               sizeof noDelay);
}

int plat_connect(PlatSocket ps, uint32_t ipv4, uint16_t port, uint32_t timeout_ms) {
    SOCKET s = sock_of(ps);
    if (int rc = set_nonblocking(s, true); rc != 0) return rc;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    if (connect(s, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return last_error();

    // Windows reports a refused connect in the error set, never as writable:
    // watching it ends the wait at once instead of at the time-out.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv = timeval_of(timeout_ms);
    int r = select(0, nullptr, &writable, &failed, &tv);
    if (r == SOCKET_ERROR) return last_error();
    if (r == 0) return kPlatTimedOut;
    int err = 0;
    int len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) != 0) return last_error();
    if (err != 0 || !FD_ISSET(s, &writable)) return error_of(err ? err : WSAECONNREFUSED);
    return set_nonblocking(s, false);
}

int plat_send_all(PlatSocket s, const void *buf, int len) {
    auto *p = static_cast<const char *>(buf);
    int sent = 0;
    while (sent < len) {
        int n = send(sock_of(s), p + sent, len - sent, 0);
        if (n == SOCKET_ERROR) return last_error();
        if (n == 0) return error_of(WSAECONNRESET);  // taken nothing: the peer is gone
        sent += n;
    }
    return sent;
}

int plat_recv(PlatSocket s, void *buf, int cap) {
    int n = recv(sock_of(s), static_cast<char *>(buf), cap, 0);
    return n == SOCKET_ERROR ? last_error() : n;
}

int plat_recv_pending(PlatSocket s, void *buf, int cap) {
    // Windows has no per-call flag: the socket turns non-blocking, which is
    // harmless for the drain before a close that uses it.
    if (int rc = set_nonblocking(sock_of(s), true); rc != 0) return rc;
    int n = recv(sock_of(s), static_cast<char *>(buf), cap, 0);
    return n == SOCKET_ERROR ? last_error() : n;
}

int plat_wait_readable(PlatSocket s, uint32_t timeout_ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock_of(s), &readable);
    timeval tv = timeval_of(timeout_ms);
    int r = select(0, &readable, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR) return last_error();
    return r > 0 ? 0 : kPlatTimedOut;
}

void plat_socket_shutdown(PlatSocket s) {
    if (s == kInvalidSocket) return;
    std::lock_guard<std::mutex> hold(g_woken_lock);
    if (std::find(g_woken.begin(), g_woken.end(), sock_of(s)) != g_woken.end()) return;
    shutdown(sock_of(s), SD_BOTH);
    closesocket(sock_of(s));
    g_woken.push_back(sock_of(s));
}

int plat_socket_close(PlatSocket s) {
    if (s == kInvalidSocket) return 0;
    {
        std::lock_guard<std::mutex> hold(g_woken_lock);
        if (forget_woken(sock_of(s))) return 0;
    }
    return closesocket(sock_of(s)) == 0 ? 0 : last_error();
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
