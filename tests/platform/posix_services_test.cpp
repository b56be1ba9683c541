// The posix stand-ins for services the library was designed around:
// locale identifiers, scaled waits, file attributes and sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_prnlog.h"

namespace {

struct LocaleCase {
    const char *lcAll, *lang;
    uint32_t id;
};

TEST(PlatformLocale, ChineseLocalesSelect2052) {
    const LocaleCase cases[] = {
        // clang-format off
        {"", "zh_CN.UTF-8", 2052}, {"", "zh_TW", 2052},  {"", "en_US.UTF-8", 1033},
        {"", "", 1033},            {"C", "zh_CN", 1033}, {"zh_CN.GB2312", "en_GB", 2052},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.lcAll) + "/" + c.lang);
        setenv("LC_ALL", c.lcAll, 1);
        unsetenv("LC_MESSAGES");
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(sl::plat_default_locale(), c.id);
    }
    unsetenv("LC_ALL");
}

TEST(PlatformTime, WaitsAreScaledButNeverVanish) {
    sl::plat_set_time_scale(0.01);
    EXPECT_EQ(sl::plat_scaled_ms(15000), 150u);
    EXPECT_EQ(sl::plat_scaled_ms(50), 1u);  // a poll never becomes a spin
    EXPECT_EQ(sl::plat_scaled_ms(0), 0u);
    sl::plat_set_time_scale(1);
    EXPECT_EQ(sl::plat_scaled_ms(15000), 15000u);
    sl::plat_set_time_scale(0.01);
}

TEST(PlatformFiles, ReadOnlyMeansNoWritePermission) {
    const sl_test::TempPrnlog prnlog;
    const std::string dir = prnlog.Path();
    EXPECT_EQ(sl::plat_prnlog_dir(), dir);
    const std::string file = sl::plat_prnlog_file("printcfg.cfg");
    uint32_t attrs = 0;
    EXPECT_EQ(sl::plat_get_attrs(file, &attrs), -ENOENT);
    std::ofstream(file) << "x";
    ASSERT_EQ(sl::plat_get_attrs(file, &attrs), 0);
    EXPECT_FALSE(attrs & sl::kAttrReadOnly);
    chmod(file.c_str(), 0444);
    ASSERT_EQ(sl::plat_get_attrs(file, &attrs), 0);
    EXPECT_TRUE(attrs & sl::kAttrReadOnly);
    EXPECT_EQ(sl::plat_set_attrs(file, sl::kAttrArchive), 0);
    ASSERT_EQ(sl::plat_get_attrs(file, &attrs), 0);
    EXPECT_FALSE(attrs & sl::kAttrReadOnly);
    ASSERT_EQ(sl::plat_get_attrs(dir, &attrs), 0);
    EXPECT_TRUE(attrs & sl::kAttrDirectory);
    EXPECT_EQ(sl::plat_delete_file(file), 0);
    EXPECT_EQ(sl::plat_delete_file(file), -ENOENT);
}

}  // namespace

namespace {

// The drain before a close must not wait on bytes another thread took.
TEST(PlatformSockets, PendingReceiveNeverBlocks) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    uint8_t buf[16];
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), sl::kPlatWouldBlock);  // at once
    EXPECT_EQ(sl::plat_wait_readable(pair[0], 1), sl::kPlatTimedOut);
    ASSERT_EQ(write(pair[1], "abc", 3), 3);
    EXPECT_EQ(sl::plat_wait_readable(pair[0], 1000), 0);
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), 3);
    close(pair[1]);
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), 0);  // closed
    close(pair[0]);
}

// The link's socket: Nagle off (it held each swath's last segment until the
// board's delayed acknowledgement) and the system's send buffer.
TEST(PlatformSockets, SendOptionsTurnNagleOffAndKeepTheSendBuffer) {
    sl::PlatSocket s = sl::kInvalidSocket;
    ASSERT_EQ(sl::plat_tcp_socket(&s), 0);
    const int fd = static_cast<int>(s);
    int before = 0;
    socklen_t len = sizeof before;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &before, &len), 0);
    sl::plat_set_send_options(s, 5000);
    int noDelay = 0, buffer = 0;
    len = sizeof noDelay;
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &len), 0);
    len = sizeof buffer;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, &len), 0);
    EXPECT_NE(noDelay, 0);
    EXPECT_EQ(buffer, before);
    timeval timeout{};
    len = sizeof timeout;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, &len), 0);
    EXPECT_EQ(timeout.tv_sec, 5);
    EXPECT_EQ(sl::plat_socket_close(s), 0);
}

// A failed call gives the system's error, negated, in its result: a connect
// nobody takes, and a send and a receive on a socket the board closed.
TEST(PlatformSockets, FailuresGiveTheSystemsError) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&at), &len), 0);
    const uint16_t port = ntohs(at.sin_port);  // bound, not listening: refused
    sl::PlatSocket s = sl::kInvalidSocket;
    ASSERT_EQ(sl::plat_tcp_socket(&s), 0);
    EXPECT_EQ(sl::plat_connect(s, INADDR_LOOPBACK, port, 2000), -ECONNREFUSED);
    EXPECT_EQ(sl::plat_socket_close(s), 0);

    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(sl::plat_tcp_socket(&s), 0);
    ASSERT_EQ(sl::plat_connect(s, INADDR_LOOPBACK, port, 2000), 0);
    close(accept(listener, nullptr, nullptr));
    uint8_t buf[4096] = {};
    EXPECT_EQ(sl::plat_recv(s, buf, sizeof buf), 0);  // closed
    int sent = 0;
    for (int i = 0; i < 100 && sent >= 0; ++i) sent = sl::plat_send_all(s, buf, sizeof buf);
    EXPECT_TRUE(sent == -EPIPE || sent == -ECONNRESET) << sent;
    EXPECT_EQ(sl::plat_socket_close(s), 0);
    close(listener);
}

}  // namespace
