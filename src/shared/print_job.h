// What every layer of a running job reads: the library's working copy of the
// job, the mode the board is told, the settings the board sent for this job
// and the pass geometry. Part of the job record (api/job_record.h); the
// pipeline and the transport take it as a parameter.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

struct PrintJob {
    JobProp prop{};  // the library's adjusted working copy of the host's record
    BoardMode mode{};
    // The board's settings, received with the NET_CMD_JOB_CREATE answer;
    // aligned for the words the companion updates while the job prints.
    alignas(8) UISetupPara board{};
    PassInfo pass{};                  // pass geometry and sequence number of the job
    JobRequests *requests = nullptr;  // the printer's abort and pause
};

}  // namespace sl
