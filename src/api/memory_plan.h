// The job's working memory: one block holding every large buffer, the
// one-line blank buffer, and the slice plan that bounds one swath.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/records.h"

namespace sl {

constexpr uint32_t kSoftenTableBytes = 1474560;
constexpr uint32_t kQueueDataSlots = 4;  // three in use, room for a fourth

struct MemoryPlan {
    uint32_t stripPlane;  // each of 6
    uint32_t passBuffer;  // each of 6
    uint32_t queueData;   // each of 3 (room for 4)
    uint64_t total;       // the block
    bool fits;            // false: a size does not fit 32 bits; nothing may be allocated
};

struct JobBuffers {
    uint8_t *block;
    size_t blockSize;
    uint8_t *soften;
    uint8_t *strip[6];
    uint8_t *pass[6];
    uint8_t *swath;
    uint8_t *queueData[kQueueDataSlots];
    MemoryPlan plan;
};

// The bound on one swath of the job.
struct SlicePlan {
    uint32_t printSliceNum;  // slices of one swath
    uint32_t maxSwathSize;   // bytes of the largest swath
};

uint64_t RoundUp64K(uint64_t n);  // next multiple of 64 KiB strictly above n
// The allocation width: the widened Width plus four inches; saturates
// instead of wrapping.
uint32_t AllocWidthFor(uint32_t widenedWidth, uint32_t xdpi);
MemoryPlan PlanMemory(uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth);
// False when the plan does not fit or an allocation fails (then nothing is
// held).
[[nodiscard]] bool AllocJobBuffers(JobBuffers *buffers, uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth);
void ReleaseJobBuffers(JobBuffers *buffers);  // harmless when nothing is held

uint32_t SliceNumFor(uint32_t workingWidth, uint32_t largestForwardOffset);
uint32_t MaxSwathSizeFor(uint32_t printSliceNum);
// Clears the first BytesPerLine x YDPI bytes of each strip plane (never more
// than a plane holds).
void InitStrips(const JobBuffers *buffers, const JobProp *job);

}  // namespace sl
