#include "api/slice_plan.h"

#include "api/memory_plan.h"
#include "pipeline/alignment.h"
#include "platform/platform.h"
#include "transport/swath_queue.h"

namespace sl {

bool PlanSlices(const JobProp *job, const UISetupPara *ui) {
    gSlicePlan.printSliceNum = SliceNumFor(job->Width, LargestForwardOffset(job->XDPI, ui));
    gSlicePlan.maxSwathSize = MaxSwathSizeFor(gSlicePlan.printSliceNum);
    ResetAssembly();
    sl_trace("SliceNum:%u MaxSwathSize:%u\n", gSlicePlan.printSliceNum, gSlicePlan.maxSwathSize);
    return gSlicePlan.printSliceNum <= MAX_SLICE_NUMBER;
}

}  // namespace sl
