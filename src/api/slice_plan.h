// The per-job bound on one swath: its width in slices and its largest size.
#pragma once

#include "api/memory_plan.h"
#include "shared/records.h"

namespace sl {

// Sets `plan`. True when one swath of the job fits the swath buffer's
// MAX_SLICE_NUMBER slices, false when it does not (the values are set
// anyway; the caller refuses the job).
[[nodiscard]] bool PlanSlices(SlicePlan *plan, const JobProp *job, const UISetupPara *ui);

}  // namespace sl
