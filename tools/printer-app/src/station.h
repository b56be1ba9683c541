// One printer of the application: its board, its status folder and the
// library session that prints to it. Every PAPPL printer owns one; several
// print at the same time.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "api/printer.h"
#include "screen.h"

namespace printerapp {

// The outcome of the last job, for the printer's own web page.
struct JobOutcome {
    int job_id = 0;
    std::string name;
    std::string result;  // "completed", "cancelled", "aborted: <reason>"
    uint32_t width = 0, height = 0, xdpi = 0, ydpi = 0;
    uint64_t lines = 0;          // lines the library took
    uint64_t swaths = 0;         // swaths the board acknowledged (0 when unknown)
    frontend::DotCounts dots{};  // dots per plane (Y, M, C, K) and level
    std::string sheet_png;       // the emulator's sheet of the job, when there is one
};

class Station {
public:
    // `folder`: the printer's own status folder; `board`: the board's IPv4 address.
    Station(std::string folder, std::string board);

    // Writes the status file naming the PC's address towards the board and
    // the board's, then opens the library's session. False with a reason.
    bool Open(std::string *error);

    swathlink::Printer &Printer() { return printer_; }
    const std::string &Board() const { return board_; }
    const std::string &Folder() const { return folder_; }

    void SetOutcome(const JobOutcome &outcome);
    JobOutcome Outcome() const;

    // One job at a time per printer: PAPPL runs one, the lock keeps a second
    // path (a document filter) from starting another meanwhile.
    std::mutex job_mutex;

private:
    std::string folder_, board_;
    swathlink::Printer printer_;
    mutable std::mutex outcome_mutex_;
    JobOutcome outcome_;
};

// "swathlink://192.0.2.7" (a trailing slash allowed) → "192.0.2.7"; false
// for anything but a dotted quad.
bool BoardOfUri(const std::string &uri, std::string *board);

}  // namespace printerapp
