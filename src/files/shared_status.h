#pragma once

namespace sl {

// Heartbeat thread entry: publishes a changing number in "ShareFile" while
// the job's link is active. The argument is the link context.
int HeartbeatThread(void *link);

}  // namespace sl
