#pragma once

#include "swathlink/swathlink.h"

namespace sl {

// Largest YDPI the strip ring's line order can hold (32 passes).
constexpr uint32_t kMaxYdpi = 11520;

// The domain of job properties the library can print. Returns nullptr when
// the record is printable, else a short reason for the trace.
const char *JobPropProblem(const JobProp *p);

}  // namespace sl
