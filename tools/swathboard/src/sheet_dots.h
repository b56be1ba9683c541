// Where the dots of each printed swath land: shared by the sheet printed at
// the end of a job and the sheet streamed while it prints.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "job_geometry.h"
#include "swathboard.h"

namespace swathboard {

struct PrintedSwath {
    std::uint32_t step = 0;
    std::uint32_t pstart = 0;
    bool right_to_left = false;
    std::vector<std::uint8_t> data;
};

struct Dot {
    std::uint32_t channel;
    std::uint32_t level;
    std::int64_t row, column;
};

struct Feed {
    std::uint64_t paper = 0;             // paper advanced, 1/kPaperUnitsPerInch
    std::uint32_t drift_millilines = 0;  // largest distance from a whole line
};

using DotSink = std::function<void(const Dot &)>;

struct Board;

// An answer the host was sent (now or late) that accepted its packet.
bool AnswerTaken(const PacketRecord &r);
// A swath's placement fields (no data).
PrintedSwath SwathOf(const PacketRecord &r);
// `job`: the job's NET_CMD_PRINT_START or NET_CMD_JOB_CREATE packet.
JobGeometry GeometryForJob(const Board *board, const std::uint8_t *job, const ImageFrameRequest &frame);

// Fires every slice of one swath at the paper where `feed` stands, then
// advances the paper by its step.
void PrintSwath(const PrintedSwath &swath, const JobGeometry &g, Feed *feed, const DotSink &sink);

// The first image row a later swath can still reach: rows above it have
// passed the head for good.
std::int64_t FirstOpenRow(const Feed &feed, const JobGeometry &g);

// Counts a dot into `summary` and says where it lands: false for a dot not
// drawn (level 0, a channel without ink, or outside the `width` x `height`
// frame, which it counts).
bool CountDot(const Dot &d, const JobGeometry &g, std::uint32_t width, std::uint32_t height,
              SheetSummary *summary);

std::uint64_t PaperMicrometres(const Feed &feed);

}  // namespace swathboard
