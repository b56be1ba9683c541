// Where the job goes: a private hidden folder whose status file names the
// PC and the board, and, unless --board is given, the built-in emulator.
#pragma once

#include <cstdint>
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
    std::string trace;                   // the driver's trace file (empty: none to read)
    uintmax_t job_first_trace = 0;       // where the current job's trace lines start
};

// Makes the folder, points SWATHLINK_PRNLOG at it, writes the address
// record and starts the emulator when no --board is given.
Exit OpenSession(const Options &options, Session *session, std::string *error);
void CloseSession(Session *session);

// Why the emulator stopped the job, when it did: a cancel at the printer
// (kExitCancelled) or a refused swath (kExitBoardStopped); kExitOk when it
// did not, or without the emulator.
Exit BoardStopOf(const Session &session);

// What the driver's trace tells of the current job (since MarkJobStart),
// with the emulator or a board: how often the link dropped and came back,
// and whether the board reported a cancel at the printer (print status 1).
// The trace goes to a file of the private folder unless SWATHLINK_TRACE
// names one already; traced to stderr, nothing is known.
struct LinkEvents {
    uint32_t drops = 0, recoveries = 0;
    bool printer_cancel = false;
};
void MarkJobStart(Session *session);
LinkEvents LinkEventsOf(const Session &session);
// "link: dropped ..." for a job whose link dropped; empty when it did not.
std::string LinkLine(const LinkEvents &events);

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
// The same, giving the totals of what the board printed in *printed.
bool FinishSheet(const Session &session, const std::string &png_path, swathboard::SheetSummary *printed,
                 std::string *error);

}  // namespace swathprint
