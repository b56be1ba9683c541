// Layouts of the 64-byte command packets.
#pragma once

#include <cstdint>

#include "shared/print_job.h"
#include "transport/job_link.h"

namespace sl {

// Each writes only the bytes its command defines: the
// record is reused and the board may rely on bytes a command leaves alone.
void FillJobCreate(uint8_t packet[64], const PrintJob *job, uint16_t jobId);
void FillPrintStart(uint8_t packet[64], const PrintJob *job, uint16_t jobId);
void FillPrintEnd(uint8_t packet[64], const PrintJob *job, uint16_t jobId);
void FillDebug(uint8_t packet[64], uint16_t subCode, uint16_t jobId);
// Fills a NET_CMD_SWATH_CREATE packet from a queue entry; takes the next SwathSN.
void BuildSwathPacket(uint8_t packet[64], const SwathEntry *e, JobLink *link);

}  // namespace sl
