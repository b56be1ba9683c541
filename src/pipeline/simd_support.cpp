#include "pipeline/simd_support.h"

namespace sl {

namespace {
bool gWideVectors = CpuHasAvx2();
}  // namespace

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

int PipelineWideVectors(int want) {
    int previous = gWideVectors ? 1 : 0;
    gWideVectors = want && CpuHasAvx2();
    return previous;
}

bool PipelineUsesWideVectors() { return gWideVectors; }

}  // namespace sl
