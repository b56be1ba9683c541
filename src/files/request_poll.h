// Taking a request that the companion application wrote into the status file.
#pragma once

#include "swathlink/records.h"

namespace sl {

// 1 when a new request of the running job was taken into `rec`, else 0.
int PrintCfgPollRequest(PrintCfgRecord *rec, LinkContext *link);

}  // namespace sl
