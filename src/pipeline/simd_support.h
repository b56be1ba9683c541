// Instruction-set choice of the pipeline kernels. The baseline is
// x86-64-v2 (SSE4.2); kernels with a 256-bit variant use it when the
// processor has AVX2, unless a test or benchmark asks for the baseline.
#pragma once

// Compiles one function for AVX2 (GCC and clang both take the attribute; a
// file-wide pragma is GCC's alone). Everything the 256-bit kernels define
// carries it, so the baseline files need no AVX2 flag; such a function runs
// only after CpuHasAvx2() said yes.
#define SL_TARGET_AVX2 __attribute__((target("avx2")))

namespace sl {

bool CpuHasAvx2();

// 1: use 256-bit kernels where the processor has them (the default);
// 0: the 128-bit baseline. Returns the previous choice.
int PipelineWideVectors(int want);
bool PipelineUsesWideVectors();

}  // namespace sl
