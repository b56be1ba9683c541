// One printer of the application: its board, its status folder and the
// library session that prints to it. Every PAPPL printer owns one; several
// print at the same time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "api/printer.h"
#include "emulated_board.h"
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

// Where a printer's pages go, from its device URI: "swathlink://192.0.2.7"
// (the board at that address) or "swathboard://127.0.0.9" (the board
// emulator, run inside the application at that loopback address).
struct BoardAddress {
    std::string ip;
    bool emulated = false;
    bool operator==(const BoardAddress &) const = default;
};

class Station {
public:
    // `folder`: the printer's own status folder.
    Station(std::string folder, BoardAddress board);

    // Starts the emulator when the printer has one, writes the status file
    // naming the PC's address towards the board and the board's, then opens
    // the library's session. False with a reason.
    bool Open(std::string *error);

    swathlink::Printer &Printer() { return printer_; }
    const BoardAddress &Address() const { return address_; }
    const std::string &Board() const { return address_.ip; }
    const std::string &Folder() const { return folder_; }

    // The emulator's sheet of a page: framed by its raster before the job
    // starts, put in place after it closed (`keep`), or dropped for a job
    // that never started. Nothing for a real board.
    bool BeginSheet(uint32_t width, uint32_t height, uint32_t xdpi, std::string *error);
    void EndSheet(bool keep);
    // The PNG of the last page the emulator printed; empty when there is none.
    std::string LastSheet() const;

    // Pause and resume of the job printing now (the printer's web page):
    // the library tells the board, which stops between swaths. False when
    // no job runs. A new job starts unpaused.
    bool PauseJob();
    bool ResumeJob();
    bool JobPrinting() const { return printing_; }
    bool JobPaused() const { return paused_; }
    // Told by the page being printed: its library job started, or closed.
    void JobStarted() { printing_ = true; }
    void JobEnded() {
        printing_ = false;
        paused_ = false;
    }

    void SetOutcome(const JobOutcome &outcome);
    JobOutcome Outcome() const;

    // One job at a time per printer: PAPPL runs one, the lock keeps a second
    // path (a document filter) from starting another meanwhile.
    std::mutex job_mutex;

private:
    std::string folder_;
    BoardAddress address_;
    // Before the session: a job still open at the end closes while its
    // emulator still answers.
    std::unique_ptr<EmulatedBoard> emulator_;
    swathlink::Printer printer_;
    bool sheet_kept_ = false;
    std::atomic<bool> printing_{false}, paused_{false};
    mutable std::mutex outcome_mutex_;
    JobOutcome outcome_;
};

// The board of a device URI (a trailing slash allowed); false for another
// scheme, anything but a dotted quad, or an emulator outside 127.0.0.0/8.
bool BoardOfUri(const std::string &uri, BoardAddress *board);

}  // namespace printerapp
