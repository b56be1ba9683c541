#include <gtest/gtest.h>

#include <sys/resource.h>

#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "platform/platform.h"

namespace sl {
namespace {

// The buffers the cases take, as a job holds them.
JobBuffers gBuffers;

// XDPI 360, YDPI 720, host width 10,000: widened to 10,576, W = 12,016.
constexpr uint32_t kExampleW = 12016;

TEST(MemoryPlan, RoundUpIsStrictlyAbove) {
    const struct {
        uint64_t n, expected;
    } cases[] = {{0, 65536}, {65535, 65536}, {65536, 131072}, {2162880, 2228224}};
    for (const auto &c : cases) EXPECT_EQ(RoundUp64K(c.n), c.expected) << c.n;
}

TEST(MemoryPlan, SizesOfTheTenThousandPixelJob) {
    JobProp j{};
    j.XDPI = 360;
    j.YDPI = 720;
    j.Width = 10000;
    WidenLine(&j);
    ASSERT_EQ(j.Width, 10576u);
    const uint32_t w = AllocWidthFor(j.Width, j.XDPI);
    ASSERT_EQ(w, kExampleW);

    const MemoryPlan p = PlanMemory(360, 720, w);
    EXPECT_TRUE(p.fits);
    EXPECT_EQ(p.stripPlane, 4456448u);  // 2 x R(2,162,880)
    EXPECT_EQ(p.passBuffer, 2228224u);  // 2 x R(1,081,440)
    EXPECT_EQ(p.queueData, 12976128u);  // 2 x (R(4,325,760) + 2 MiB)
    EXPECT_EQ(p.total, 1474560u + 6ull * 4456448 + 6ull * 2228224 + 83980800u + 4ull * 12976128);
}

TEST(MemoryPlan, SizesThatPass32BitsDoNotFit) {
    const struct {
        uint32_t ydpi, w;
        bool fits;
    } cases[] = {
        // clang-format off
        {1440, 1491308, true},    // 1440 x W x 2 just below 2^32
        {1440, 1491309, false},   // just above: the 32-bit product would wrap
        {360, 0xFFFFFFFFu, false},
        {0xFFFFFFFFu, 0xFFFFFFFFu, false},
        // clang-format on
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PlanMemory(360, c.ydpi, c.w).fits, c.fits) << c.ydpi << " " << c.w;
    }
    EXPECT_EQ(AllocWidthFor(0xFFFFFFF0u, 2880), 0xFFFFFFFFu);
    EXPECT_FALSE(AllocJobBuffers(&gBuffers, 360, 1440, 1491309));
    EXPECT_EQ(gBuffers.block, nullptr);
}

TEST(MemoryPlan, BuffersLieInTableOrder) {
    ASSERT_TRUE(AllocJobBuffers(&gBuffers, 360, 720, kExampleW));
    const JobBuffers &b = gBuffers;
    const MemoryPlan &p = b.plan;
    ASSERT_NE(b.block, nullptr);
    EXPECT_EQ(b.blockSize, p.total);
    uint8_t *at = b.block;
    EXPECT_EQ(b.soften, at);
    at += kSoftenTableBytes;
    for (uint8_t *s : b.strip) {
        EXPECT_EQ(s, at);
        at += p.stripPlane;
    }
    for (uint8_t *s : b.pass) {
        EXPECT_EQ(s, at);
        at += p.passBuffer;
    }
    EXPECT_EQ(b.swath, at);
    at += kSwathBufferBytes;
    for (uint8_t *q : b.queueData) {
        EXPECT_EQ(q, at);
        at += p.queueData;
    }
    EXPECT_EQ(at, b.block + b.blockSize);
    b.block[b.blockSize - 1] = 1;  // the last byte is ours

    ReleaseJobBuffers(&gBuffers);
    EXPECT_EQ(gBuffers.block, nullptr);
    EXPECT_EQ(gBuffers.strip[0], nullptr);
    ReleaseJobBuffers(&gBuffers);  // twice is harmless
    EXPECT_EQ(gBuffers.block, nullptr);
}

TEST(MemoryPlan, ReleaseWithoutAllocateIsHarmless) {
    ReleaseJobBuffers(&gBuffers);
    ReleaseJobBuffers(&gBuffers);
    EXPECT_EQ(gBuffers.block, nullptr);
}

TEST(MemoryPlan, InitStripsClearsTheRingRowsOnly) {
    ASSERT_TRUE(AllocJobBuffers(&gBuffers, 360, 720, kExampleW));
    const uint32_t plane = gBuffers.plan.stripPlane;
    for (uint8_t *s : gBuffers.strip) std::memset(s, 0x5A, plane);

    JobProp j{};
    j.BytesPerLine = 2648;
    j.YDPI = 720;
    InitStrips(&gBuffers, &j);
    const uint32_t cleared = 2648 * 720;
    for (uint8_t *s : gBuffers.strip) {
        EXPECT_EQ(s[0], 0);
        EXPECT_EQ(s[cleared - 1], 0);
        EXPECT_EQ(s[cleared], 0x5A);
    }

    // A stride beyond the plan is cut to the plane instead of running past it.
    j.BytesPerLine = 0x10000000;
    InitStrips(&gBuffers, &j);
    for (uint8_t *s : gBuffers.strip) EXPECT_EQ(s[plane - 1], 0);
    ReleaseJobBuffers(&gBuffers);
    InitStrips(&gBuffers, &j);  // nothing held: nothing to clear
}

TEST(SlicePlan, SliceNumberAndSwathSize) {
    // Width 10,576 with a largest forward offset of 1,450: 12,122 -> 12,128.
    EXPECT_EQ(SliceNumFor(10576, 1450), 12128u);
    EXPECT_EQ(SliceNumFor(0, 0), 96u);
    EXPECT_EQ(SliceNumFor(1, 0), 128u);
    EXPECT_EQ(SliceNumFor(0xFFFFFFFFu, 20000), 0xFFFFFFE0u);  // saturates, never wraps

    const struct {
        uint32_t slices, size;
    } cases[] = {
        // clang-format off
        {12128, 12256u * 360},
        {116512, 41990400},        // exactly MAX_SLICE_NUMBER slices
        {116600, 41990400},        // capped
        {0xFFFFFFFFu, 41990400},   // no wrap of slices + 128
        // clang-format on
    };
    for (const auto &c : cases) EXPECT_EQ(MaxSwathSizeFor(c.slices), c.size) << c.slices;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

uint64_t AddressSpaceInUse() {
    unsigned long pages = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
    return uint64_t{pages} * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Runs `fn` with the address space limited to what is in use plus `room`.
template <typename Fn>
bool WithAddressRoom(uint64_t room, Fn fn) {
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit tight = old;
    tight.rlim_cur = AddressSpaceInUse() + room;
    setrlimit(RLIMIT_AS, &tight);
    const bool r = fn();
    setrlimit(RLIMIT_AS, &old);
    return r;
}

TEST(MemoryPlan, FailedAllocationsHoldNothing) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer reserves address space of its own";
    const MemoryPlan p = PlanMemory(360, 720, kExampleW);
    ASSERT_GT(AddressSpaceInUse(), 0u);

    // The block itself cannot be had.
    EXPECT_FALSE(
        WithAddressRoom(p.total / 2, [] { return AllocJobBuffers(&gBuffers, 360, 720, kExampleW); }));
    EXPECT_EQ(gBuffers.block, nullptr);
}

}  // namespace
}  // namespace sl
