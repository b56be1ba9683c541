// Where the job goes: a private hidden folder whose status file names the
// PC and the board, and, unless --board is given, the built-in emulator.
#pragma once

#include <string>

#include "job_plan.h"
#include "options.h"
#include "summary.h"
#include "swathboard.h"

namespace swathprint {

struct Session {
    std::string root;                    // private temporary folder, removed at the end
    swathboard::Board *board = nullptr;  // the built-in emulator, or none
    size_t job_first_packet = 0;         // the emulator's first packet record of the current job
};

// Makes the folder, points SWATHLINK_PRNLOG at it, writes the address
// record and starts the emulator when no --board is given.
Exit OpenSession(const Options &options, Session *session, std::string *error);
void CloseSession(Session *session);

// Why the emulator stopped the job, when it did: a cancel at the printer
// (kExitCancelled) or a refused swath (kExitBoardStopped); kExitOk when it
// did not, or without the emulator.
Exit BoardStopOf(const Session &session);

// Swaths the emulator has accepted so far; -1 without the emulator.
int64_t SwathsAccepted(const Session &session);
BoardStats BoardStatsOf(const Session &session);

// Names the emulator's sheet frame (the job's raster) and marks where the
// job's packets start, so a run of several jobs counts each on its own.
void FrameSheet(Session *session, const JobPlan &plan);
// Writes the sheet the emulator printed as a PNG at `png_path` (whole or not
// at all) and its summary beside it as JSON (the .png replaced by .json).
bool WriteSheet(const Session &session, const std::string &png_path, std::string *error);

// The sheet streamed while the job prints (rows the paper has passed are
// written and dropped), for jobs of any length: started after FrameSheet,
// finished with its JSON summary after the job. `preview_scale` N writes a
// picture N times smaller each way.
bool StartSheet(const Session &session, const std::string &png_path, uint32_t preview_scale,
                std::string *error);
bool FinishSheet(const Session &session, const std::string &png_path, std::string *error);

}  // namespace swathprint
