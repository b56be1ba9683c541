// Carrying out a companion request on the transmit thread.
#pragma once

#include "swathlink/records.h"

namespace sl {

void PrintCfgDispatch(const PrintCfgRecord *rec, LinkContext *link);

}  // namespace sl
