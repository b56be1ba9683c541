// Start and stop of the job's worker threads: transmit, receive and the
// status heartbeat.
#pragma once

#include <cstdint>

#include "shared/status.h"
#include "transport/job_link.h"

namespace sl {

// Starts the transmit, receive and heartbeat threads; Failed (with none left
// running) when the transmit or receive thread cannot be started.
[[nodiscard]] Status StartLinkThreads(JobLink *link);
// Ends the threads cooperatively: raises PrintEndFlag and shuts the socket
// down (which wakes a blocked receive), then joins them.
void StopLinkThreads(JobLink *link);

// How a job's link ended, as the host is told at the job's close.
enum class JobOutcome : uint8_t {
    Printed,       // every swath the host handed over reached the board
    HostAborted,   // the host aborted the job itself
    BoardStopped,  // the board stopped or cancelled the job
    NotDelivered,  // swaths the host handed over never reached the board
};

// Closes the job on the link: unless the board stopped it, sends the held-back
// swath, waits for the queue to drain and ends the job on the board; then
// stops the threads and closes the connection, and tells how the job ended.
JobOutcome CloseJobLink(JobLink *link);

}  // namespace sl
