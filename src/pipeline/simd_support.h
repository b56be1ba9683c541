// Instruction-set choice of the pipeline kernels. The baseline is
// x86-64-v2 (SSE4.2); kernels with a 256-bit variant use it when the
// processor has AVX2. The choice is made when a job starts and held in its
// pipeline, so nothing about it is process state: a test or benchmark asks
// for the baseline by passing it.
#pragma once

#include <cstdint>

// Compiles one function for AVX2 (GCC and clang both take the attribute; a
// file-wide pragma is GCC's alone). Everything the 256-bit kernels define
// carries it, so the baseline files need no AVX2 flag; such a function runs
// only after CpuHasAvx2() said yes.
#define SL_TARGET_AVX2 __attribute__((target("avx2")))

namespace sl {

bool CpuHasAvx2();

enum class KernelWidth : uint8_t {
    Baseline,  // 128-bit kernels, on every supported processor
    Wide,      // 256-bit kernels: only where CpuHasAvx2()
};

// The widest kernels this processor runs.
KernelWidth ProcessorKernelWidth();
// `want`, unless the processor cannot run it: then the baseline.
KernelWidth UsableKernelWidth(KernelWidth want);

}  // namespace sl
