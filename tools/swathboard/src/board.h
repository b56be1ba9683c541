// The parts of a running board, shared by the server loop and the API.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include <netinet/in.h>

#include "faults.h"
#include "job_geometry.h"
#include "packet_log.h"
#include "sheet_stream.h"
#include "swath_store.h"
#include "swathboard.h"

namespace swathboard {

struct Board {
    BoardConfig config;
    in_addr address{};
    std::chrono::steady_clock::time_point started;

    FaultState faults;
    PacketLog log;
    SwathStore store;

    mutable std::mutex frame_mutex;
    ImageFrameRequest frame;   // set by SetImageSize
    SheetStream sheet_stream;  // set by StreamSheet

    // Owned by the server thread once it runs.
    int listen_fd = -1;
    std::uint32_t job_create_answers = 0;
    std::chrono::steady_clock::time_point listen_again_at;
    // BoardConfig::unsolicited, until it is sent.
    std::optional<std::chrono::steady_clock::time_point> unsolicited_at;

    int wake_fd = -1;  // eventfd: setters poke it so the loop notices at once
    std::atomic<bool> stopping{false};
    std::thread thread;
};

void WakeServer(Board *board);
// Arms the faults listed in board->config.
void ArmConfiguredFaults(Board *board);

}  // namespace swathboard
