#include "pipeline/simd_support.h"

namespace sl {

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

KernelWidth ProcessorKernelWidth() { return CpuHasAvx2() ? KernelWidth::Wide : KernelWidth::Baseline; }

KernelWidth UsableKernelWidth(KernelWidth want) {
    return want == KernelWidth::Wide ? ProcessorKernelWidth() : KernelWidth::Baseline;
}

}  // namespace sl
