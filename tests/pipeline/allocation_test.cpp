// Nothing is allocated while lines flow: every allocation of this test
// program is counted while a job's lines and its end run through the
// pipeline.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "support/pipeline_harness.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gAllocations{0};

void *Counted(size_t n) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    void *p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void *CountedAligned(size_t n, std::align_val_t a) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    size_t al = static_cast<size_t>(a);
    void *p = std::aligned_alloc(al, (n + al - 1) / al * al);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void *operator new(size_t n) { return Counted(n); }
void *operator new[](size_t n) { return Counted(n); }
void *operator new(size_t n, const std::nothrow_t &) noexcept {
    try {
        return Counted(n);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](size_t n, const std::nothrow_t &) noexcept {
    try {
        return Counted(n);
    } catch (...) {
        return nullptr;
    }
}
void *operator new(size_t n, std::align_val_t a) { return CountedAligned(n, a); }
void *operator new[](size_t n, std::align_val_t a) { return CountedAligned(n, a); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }
void operator delete[](void *p, size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, size_t, std::align_val_t) noexcept { std::free(p); }

// The C allocator too, where the C library lets a program wrap it.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *malloc(size_t n) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t s) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, s);
}
void *realloc(void *p, size_t n) {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
}
#endif

namespace sl::test {
namespace {

uint32_t gSwathsSeen;
Status CountSwath(const uint8_t *, uint8_t, uint32_t, uint32_t endPx, uint32_t, uint32_t, int) {
    gSwathsSeen += endPx ? 1 : 0;
    return Status::Good();
}

TEST(Allocations, NoneWhileLinesFlow) {
    for (bool oneBit : {false, true}) {
        ProofJob job;
        job.xdpi = 720;
        job.ydpi = 1440;
        job.width = 1440;
        job.height = 3000;
        job.oneBit = oneBit;
        job.bidirectional = true;
        job.stripeMode = 3;
        job.stripeSize = 0x12;
        ASSERT_TRUE(SetUpPipelineJob(job, ProofBoardSettings(job)));
        // The image is made before counting starts.
        std::vector<std::vector<uint8_t>> lines(job.height);
        for (uint32_t i = 0; i < job.height; ++i) MakeHostLine(job, i, lines[i]);
        gSwathsSeen = 0;
        gAllocations = 0;
        gCounting = true;
        for (uint32_t i = 0; i < job.height; ++i) FeedHostLine(job, lines[i].data(), &CountSwath);
        FinishJob(job, &CountSwath);
        gCounting = false;
        TearDownPipelineJob();
        EXPECT_GT(gSwathsSeen, 10u);
        EXPECT_EQ(gAllocations.load(), 0u) << (oneBit ? "1-bit job" : "2-bit job");
    }
}

// The counter itself works.
TEST(Allocations, CounterSeesAnAllocation) {
    gAllocations = 0;
    gCounting = true;
    auto *v = new std::vector<int>(100);
    gCounting = false;
    delete v;
    EXPECT_GE(gAllocations.load(), 1u);
}

}  // namespace
}  // namespace sl::test
