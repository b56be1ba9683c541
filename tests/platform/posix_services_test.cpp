// The posix stand-ins for services the library was designed around:
// locale identifiers, scaled waits, file attributes and sockets.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const std::string dir = sl_test::MakeTempPrnlog();
    EXPECT_EQ(sl::plat_prnlog_dir(), dir);
    const std::string file = sl::plat_prnlog_file("printcfg.cfg");
    uint32_t attrs = 0;
    EXPECT_FALSE(sl::plat_get_attrs(file, &attrs));
    std::ofstream(file) << "x";
    ASSERT_TRUE(sl::plat_get_attrs(file, &attrs));
    EXPECT_FALSE(attrs & sl::kAttrReadOnly);
    chmod(file.c_str(), 0444);
    ASSERT_TRUE(sl::plat_get_attrs(file, &attrs));
    EXPECT_TRUE(attrs & sl::kAttrReadOnly);
    EXPECT_TRUE(sl::plat_set_attrs(file, sl::kAttrArchive));
    ASSERT_TRUE(sl::plat_get_attrs(file, &attrs));
    EXPECT_FALSE(attrs & sl::kAttrReadOnly);
    ASSERT_TRUE(sl::plat_get_attrs(dir, &attrs));
    EXPECT_TRUE(attrs & sl::kAttrDirectory);
    EXPECT_TRUE(sl::plat_delete_file(file));
}

}  // namespace

namespace {

// The drain before a close must not wait on bytes another thread took.
TEST(PlatformSockets, PendingReceiveNeverBlocks) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    uint8_t buf[16];
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), -1);  // nothing there: at once
    ASSERT_EQ(write(pair[1], "abc", 3), 3);
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), 3);
    close(pair[1]);
    EXPECT_EQ(sl::plat_recv_pending(pair[0], buf, sizeof buf), 0);  // closed
    close(pair[0]);
}

}  // namespace
