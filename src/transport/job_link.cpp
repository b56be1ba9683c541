#include "transport/job_link.h"

#include <cstring>

#include "link/tcp_link.h"
#include "transport/link_threads.h"

namespace sl {

JobLink::JobLink(PrintJob *j, StatusFile *file, LinkAddresses *where, uint8_t **heartbeatBlock,
                 const uint8_t *carriedCommand)
    : job(j), statusFile(file), heartbeat{heartbeatBlock, this} {
    if (carriedCommand) std::memcpy(command.packet, carriedCommand, sizeof command.packet);
    requests = j->requests;
    addresses = where;
    answered = plat_signal_new();
    changed = plat_signal_new();
    queue.space = plat_signal_new();
    queue.ready = plat_signal_new();
    command.packet[4] = NET_DEBUG_SYNCY;  // the debug sub-code a job's record starts with
    command.packet[5] = 0;
}

JobLink::~JobLink() {
    // A job closes its link before it goes; a job dropped on a failure path
    // must still not leave a thread running on this record.
    if (TxThread || RxThread || HeartThread) StopLinkThreads(this);
    CloseConnection(this, socket.load());
    plat_signal_free(answered);
    plat_signal_free(changed);
    plat_signal_free(queue.space);
    plat_signal_free(queue.ready);
}

bool JobLink::Usable() const { return answered && changed && queue.space && queue.ready; }

}  // namespace sl
