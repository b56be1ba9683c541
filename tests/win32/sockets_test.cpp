// The link's socket options, and waking a receive blocked in another
// thread, as the job's close does.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"

namespace {

// A listener on its own loopback address, port chosen by the system.
struct Listener {
    SOCKET s = INVALID_SOCKET;
    uint16_t port = 0;
    explicit Listener(const char *ip) {
        sl::plat_net_startup();
        s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr(ip);
        bind(s, reinterpret_cast<sockaddr *>(&at), sizeof at);
        listen(s, 4);
        int len = sizeof at;
        getsockname(s, reinterpret_cast<sockaddr *>(&at), &len);
        port = ntohs(at.sin_port);
    }
    ~Listener() { closesocket(s); }
};

struct Receiver {
    sl::PlatSocket s;
    std::atomic<int> result{1};
    std::atomic<bool> done{false};
};

int ReceiveOnce(void *arg) {
    auto *r = static_cast<Receiver *>(arg);
    char buf[64];
    r->result = sl::plat_recv(r->s, buf, sizeof buf);
    r->done = true;
    return 0;
}

bool WaitFor(const std::atomic<bool> &flag, DWORD ms) {
    for (DWORD waited = 0; !flag && waited < ms; waited += 10) Sleep(10);
    return flag;
}

TEST(SocketWake, BlockedReceiveReturnsAndTheCloseAfterLeavesNewSocketsAlone) {
    Listener board("127.0.0.190");
    const uint32_t ip = 0x7F0000BE;
    Receiver r;
    ASSERT_EQ(sl::plat_tcp_socket(&r.s), 0);
    ASSERT_EQ(sl::plat_connect(r.s, ip, board.port, 5000), 0);
    SOCKET accepted = accept(board.s, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);

    sl::PlatThread *t = sl::plat_thread_start(ReceiveOnce, &r);
    ASSERT_NE(t, nullptr);
    Sleep(100);  // let it block; the board sends nothing
    EXPECT_FALSE(r.done);
    sl::plat_socket_shutdown(r.s);
    ASSERT_TRUE(WaitFor(r.done, 10000)) << "receive still blocked";
    sl::plat_thread_join(t);
    EXPECT_LE(r.result.load(), 0);
    sl::plat_socket_shutdown(r.s);  // a second wake does nothing

    // A socket made now may reuse the number; the owner's close of the old
    // one must not take it.
    sl::PlatSocket next = sl::kInvalidSocket;
    ASSERT_EQ(sl::plat_tcp_socket(&next), 0);
    EXPECT_EQ(sl::plat_socket_close(r.s), 0);
    EXPECT_EQ(sl::plat_connect(next, ip, board.port, 5000), 0);
    EXPECT_EQ(sl::plat_socket_close(next), 0);
    closesocket(accepted);
}

// As on posix: Nagle off (with a board that delays its acknowledgements it
// held each swath's last segment until the acknowledgement came) and the
// system's send buffer instead of none.
TEST(SocketOptions, NagleOffAndTheSystemsSendBuffer) {
    sl::PlatSocket ps = sl::kInvalidSocket;
    ASSERT_EQ(sl::plat_tcp_socket(&ps), 0);
    const SOCKET s = static_cast<SOCKET>(ps);
    int before = 0;
    int len = sizeof before;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char *>(&before), &len), 0);
    sl::plat_set_send_options(ps, 5000);
    BOOL noDelay = FALSE;
    len = sizeof noDelay;
    ASSERT_EQ(getsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&noDelay), &len), 0);
    EXPECT_TRUE(noDelay);
    int buffer = 0;
    len = sizeof buffer;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char *>(&buffer), &len), 0);
    EXPECT_GT(buffer, 0);
    EXPECT_EQ(buffer, before);
    DWORD timeout = 0;
    len = sizeof timeout;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char *>(&timeout), &len), 0);
    EXPECT_EQ(timeout, 5000u);
    EXPECT_EQ(sl::plat_socket_close(ps), 0);
}

}  // namespace
