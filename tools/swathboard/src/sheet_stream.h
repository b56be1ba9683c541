// The board's streamed sheet: see StreamSheet in swathboard.h.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "job_geometry.h"
#include "sheet_dots.h"
#include "sheet_png.h"
#include "swathboard.h"

namespace swathboard {

struct Board;

// One streamed sheet, from StreamSheet to FinishStreamedSheet.
struct StreamedSheet {
    std::uint32_t preview_scale = 1;
    ImageFrameRequest frame;
    std::unique_ptr<SheetPng> png;
    Sheet totals;                   // size, resolution and summary; no planes
    std::vector<std::uint8_t> job;  // the job's packet: its create, then its print start
    bool printing = false;          // a swath of the job has printed
    bool later_job = false;         // another job opened since: its swaths are not on this sheet
    JobGeometry geometry;
    Feed feed;
    std::int64_t band_top = 0;                   // image row of rows.front()
    std::deque<std::vector<std::uint8_t>> rows;  // packed pixels (sheet_png.h) of the rows still open
    std::string failure;                         // the first write error: the sheet is lost then
};

struct SheetStream {
    std::mutex mutex;
    std::unique_ptr<StreamedSheet> sheet;  // null: the sheet is printed at the end
};

// Called by the board's session as it answers: an accepted job create or
// print start names the job, an accepted swath prints at once.
void StreamJobPacket(Board *board, const PacketRecord &record);
// True when the swath went onto the streamed sheet: the board keeps no data
// of it then.
// Takes the data from *data.
bool StreamSwath(Board *board, const PacketRecord &record, std::vector<std::uint8_t> *data);

}  // namespace swathboard
