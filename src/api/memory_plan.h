// The job's working memory: one block holding every large buffer, the
// one-line blank buffer, and the slice plan that bounds one swath.
#pragma once

#include <cstddef>
#include <cstdint>

#include "swathlink/records.h"

namespace sl {

constexpr uint32_t kSoftenTableBytes = 1474560;
constexpr uint32_t kSwathBufferBytes = 2 * MAX_SLICE_NUMBER * kSliceBytes;

struct MemoryPlan {
    uint32_t stripPlane;  // each of 6
    uint32_t passBuffer;  // each of 6
    uint32_t queueData;   // each of 3 (room for 4)
    uint32_t onePassOut;
    uint64_t total;       // the block
};

struct JobBuffers {
    uint8_t *block;
    size_t blockSize;
    uint8_t *soften;
    uint8_t *strip[6];
    uint8_t *pass[6];
    uint8_t *swath;
    uint8_t *queueData[4];
    uint8_t *OnePassOutBuf;
    MemoryPlan plan;
};

extern JobBuffers gBuffers;
extern uint32_t gPrintSliceNum;
extern uint32_t gMaxSwathSize;

uint32_t RoundUp64K(uint32_t n);  // next multiple of 64 KiB strictly above n
MemoryPlan PlanMemory(uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth);
int AllocJobBuffers(uint32_t xdpi, uint32_t ydpi, uint32_t allocWidth);
int ReleaseJobBuffers();  // harmless when nothing is held

uint32_t SliceNumFor(uint32_t workingWidth, uint32_t largestForwardOffset);
uint32_t MaxSwathSizeFor(uint32_t printSliceNum);
// Sets gPrintSliceNum and gMaxSwathSize and clears the assembly state.
void PlanSlices(const JobProp *job, const UISetupPara *ui);
// Clears the first BytesPerLine x YDPI bytes of each strip plane.
void InitStrips(const JobProp *job);

}  // namespace sl
