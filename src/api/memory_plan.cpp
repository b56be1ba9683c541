#include "api/memory_plan.h"

#include <cstring>

#include "platform/platform.h"

namespace sl {

namespace {

constexpr uint64_t kQueueSlack = 2097152;  // per queue buffer, above one swath of the allocation width
constexpr uint32_t kSliceMargin = 96;      // slices beyond the widest channel offset
constexpr uint32_t kSliceAlign = 32;
constexpr uint32_t kSwathExtraSlices = 128;

// The sizes are 32-bit quantities; a job whose product passes 32 bits would
// wrap to a small buffer, so the plan marks it as not fitting instead.
struct SizeCheck {
    bool fits = true;
    uint64_t operator()(uint64_t v) {
        if (v > UINT32_MAX) fits = false;
        return v;
    }
};

}  // namespace

uint64_t RoundUp64K(uint64_t n) { return ((n >> 16) + 1) << 16; }

uint32_t AllocWidthFor(uint32_t widenedWidth, uint32_t xdpi) {
    const uint64_t w = uint64_t{widenedWidth} + 4 * uint64_t{xdpi};
    return w > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(w);
}

MemoryPlan PlanMemory(uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth) {
    (void)xdpi;  // the width already carries it
    const uint64_t w = allocWidth;
    SizeCheck c;
    MemoryPlan p{};
    // 2 bits per pixel: the divisions by 8 are shifts, done before rounding.
    p.stripPlane = static_cast<uint32_t>(c(2 * c(RoundUp64K(c(c(ydpi * w) * 2) >> 3))));
    p.passBuffer = static_cast<uint32_t>(c(2 * c(RoundUp64K(c(w * kNozzleLines * 2) >> 3))));
    p.queueData = static_cast<uint32_t>(c(2 * (c(RoundUp64K(c(w * kNozzleLines))) + kQueueSlack)));
    p.fits = c.fits;
    p.total = kSoftenTableBytes + 6 * uint64_t{p.stripPlane} + 6 * uint64_t{p.passBuffer} +
              kSwathBufferBytes + kQueueDataSlots * uint64_t{p.queueData};
    if (p.total > SIZE_MAX) p.fits = false;
    return p;
}

void ReleaseJobBuffers(JobBuffers *buffers) {
    plat_free_block(buffers->block, buffers->blockSize);
    // Clear every pointer so that nothing can reach the freed memory.
    *buffers = JobBuffers{};
}

bool AllocJobBuffers(JobBuffers *buffers, uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth) {
    ReleaseJobBuffers(buffers);  // a block still held is not leaked
    const MemoryPlan plan = PlanMemory(xdpi, ydpi, allocWidth);
    sl_trace("Memory W:%u strip:%u pass:%u queue:%u total:%llu\n", allocWidth, plan.stripPlane,
             plan.passBuffer, plan.queueData, static_cast<unsigned long long>(plan.total));
    uint8_t *block = plan.fits ? static_cast<uint8_t *>(plat_alloc_block(plan.total)) : nullptr;
    if (!block) {
        sl_trace("Fail !!!\n");
        return false;
    }
    JobBuffers b{};
    b.block = block;
    b.blockSize = plan.total;
    b.plan = plan;
    uint8_t *next = block;
    auto take = [&next](uint64_t bytes) {
        uint8_t *p = next;
        next += bytes;
        return p;
    };
    b.soften = take(kSoftenTableBytes);
    for (uint8_t *&p : b.strip) p = take(plan.stripPlane);
    for (uint8_t *&p : b.pass) p = take(plan.passBuffer);
    b.swath = take(kSwathBufferBytes);
    for (uint8_t *&p : b.queueData) p = take(plan.queueData);
    *buffers = b;
    return true;
}

uint32_t SliceNumFor(uint32_t workingWidth, uint32_t largestForwardOffset) {
    const uint64_t n = uint64_t{workingWidth} + largestForwardOffset + kSliceMargin;
    const uint64_t rounded = (n + kSliceAlign - 1) & ~uint64_t{kSliceAlign - 1};
    // Saturates (at the largest multiple of 32) rather than wrapping to a narrow swath.
    return rounded > UINT32_MAX ? (UINT32_MAX & ~(kSliceAlign - 1)) : static_cast<uint32_t>(rounded);
}

uint32_t MaxSwathSizeFor(uint32_t printSliceNum) {
    const uint64_t slices = uint64_t{printSliceNum} + kSwathExtraSlices;
    return static_cast<uint32_t>((slices < MAX_SLICE_NUMBER ? slices : MAX_SLICE_NUMBER) * kSliceBytes);
}

void InitStrips(const JobBuffers *buffers, const JobProp *job) {
    if (!buffers->block) return;
    const uint64_t want = uint64_t{job->BytesPerLine} * job->YDPI;
    const size_t n = static_cast<size_t>(want < buffers->plan.stripPlane ? want : buffers->plan.stripPlane);
    for (uint8_t *plane : buffers->strip) std::memset(plane, 0, n);
}

}  // namespace sl
