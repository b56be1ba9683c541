// Start and stop of the job's worker threads: transmit, receive and the
// status heartbeat.
#pragma once

#include <cstdint>

#include "transport/job_link.h"

namespace sl {

// Starts the transmit, receive and heartbeat threads; false (with none left
// running) when the transmit or receive thread cannot be started.
[[nodiscard]] bool StartLinkThreads(JobLink *link);
// Ends the threads cooperatively: raises PrintEndFlag and shuts the socket
// down (which wakes a blocked receive), then joins them.
void StopLinkThreads(JobLink *link);

// Closes the job on the link: unless the board stopped it, sends the held-back
// swath, waits for the queue to drain and ends the job on the board; then
// stops the threads and closes the connection.
void CloseJobLink(JobLink *link);

}  // namespace sl
