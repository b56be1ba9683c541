// Instruction-set choice of the pipeline kernels. The baseline is
// x86-64-v2 (SSE4.2); kernels with a 256-bit variant use it when the
// processor has AVX2, unless a test or benchmark asks for the baseline.
#pragma once

namespace sl {

bool CpuHasAvx2();

// 1: use 256-bit kernels where the processor has them (the default);
// 0: the 128-bit baseline. Returns the previous choice.
int PipelineWideVectors(int want);
bool PipelineUsesWideVectors();

}  // namespace sl
