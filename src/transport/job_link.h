// The job's link as the transport runs it: the link context the link layer
// works on, the one reusable command record, the transmit state, the swath
// queue with its assembly state, and the receive thread's reply buffer. One
// per job, made when the job opens and destroyed when it closes; the
// transmit, receive and heartbeat threads get a pointer to it.
#pragma once

#include <atomic>
#include <cstdint>

#include "files/files_common.h"
#include "files/shared_status.h"
#include "shared/print_job.h"
#include "shared/records.h"
#include "transport/net_codes.h"

namespace sl {

constexpr uint8_t kQueueSlots = 3;
constexpr int kReceiveBufferBytes = 1500;

// Swath assembly, host thread only: the swath held back until the next one
// says where the head goes, and the blank swaths and feed not yet sent.
struct SwathAssembly {
    SwathEntry *held = nullptr;
    uint32_t swathCount = 0;
    uint32_t blankSwaths = 0;
    uint32_t blankFeed = 0;
};

// The queue slots' data buffers from the job's memory, and the pass counter
// each slot was published with.
struct SlotBuffers {
    uint8_t *data[kQueueSlots] = {};
    uint32_t bytes = 0;  // of one slot
    uint32_t passSeq[kQueueSlots] = {};
};

// Replies gathered across receives: TCP may split one reply or join two.
struct ReplyReader {
    uint8_t buffer[kReceiveBufferBytes];
    uint8_t pending[2 * kReceiveBufferBytes];
    int have = 0;
};

struct JobLink : LinkContext {
    // `carriedCommand`: the command record's bytes as the printer's last job
    // left them (nullptr: none yet). The record is reused from job to job,
    // and the board may rely on bytes a command leaves alone.
    JobLink(PrintJob *job, StatusFile *statusFile, LinkAddresses *addresses, uint8_t **heartbeatBlock,
            const uint8_t *carriedCommand = nullptr);
    ~JobLink();
    JobLink(const JobLink &) = delete;
    JobLink &operator=(const JobLink &) = delete;
    // False when a signal could not be made: the job cannot run.
    bool Usable() const;

    NetCommand command;
    std::atomic<uint8_t> txState{TX_RUNNING};
    SwathQueue queue;
    SlotBuffers slots;
    SwathAssembly assembly;
    ReplyReader reader;
    PrintJob *job;           // the settings the packets and the companion's requests read
    StatusFile *statusFile;  // the printer's, for the companion's requests and posts
    Heartbeat heartbeat;
};

}  // namespace sl
