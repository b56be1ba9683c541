#include "api/slice_plan.h"

#include "api/memory_plan.h"
#include "pipeline/alignment.h"
#include "platform/platform.h"

namespace sl {

bool PlanSlices(SlicePlan *plan, const JobProp *job, const UISetupPara *ui) {
    plan->printSliceNum = SliceNumFor(job->Width, LargestForwardOffset(job->XDPI, ui));
    plan->maxSwathSize = MaxSwathSizeFor(plan->printSliceNum);
    sl_trace("SliceNum:%u MaxSwathSize:%u\n", plan->printSliceNum, plan->maxSwathSize);
    return plan->printSliceNum <= MAX_SLICE_NUMBER;
}

}  // namespace sl
