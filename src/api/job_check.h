#pragma once

#include "swathlink/swathlink.h"

namespace sl {

// The domain of job properties the library can print. Returns nullptr when
// the record is printable, else a short reason for the trace.
const char *JobPropProblem(const JobProp *p);

// Whether the head places dots at this resolution pair: an XDPI with a row in
// the head's position table and a YDPI the pass plan interlaces from whole
// 360-dpi passes and the board has a code for. Any other pair would print a
// blank or misplaced sheet.
bool PlacesResolution(uint32_t xdpi, uint32_t ydpi);

}  // namespace sl
