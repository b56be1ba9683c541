// swathlink::Printer: the library's operations on one printer, for a program
// linked to the static core (swathlink_core). Each Printer is a session with
// its own board and status folder; several may print at the same time. The
// eleven exported entry points act on one process-wide default Printer.
//
//     swathlink::Printer printer("/srv/printers/left");   // status folder
//     printer.Init();                      // reads the board's address
//     if (!printer.StartPrint(job).ok()) ...
//     for (each line) printer.PrintLines(line, bytes);
//     printer.EndPrint();
//     printer.Close();
//
// Abort, Pause and Continue may come from any thread at any time; the other
// operations are the host's and run one at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shared/status.h"
#include "swathlink/swathlink.h"

namespace sl {
struct PrinterState;
}

namespace swathlink {

using sl::Status;
using sl::StatusCode;

class Printer {
public:
    // `statusFolder` holds the status file (the board's and the PC's
    // addresses, the companion's requests) and the parameter files. Empty:
    // the system's hidden folder, looked up at every Init.
    explicit Printer(std::string statusFolder = {});
    // Closes a running job first.
    ~Printer();
    Printer(const Printer &) = delete;
    Printer &operator=(const Printer &) = delete;

    // Opens the session: prepares the folder and the status file, reads the
    // addresses, clears the requests. Ignored while a job runs.
    Status Init();
    // Ok also when a job is already running (the call is then ignored).
    Status StartPrint(const JobProp &job);
    // Whole lines of the job (planes back to back); Ok when no job runs.
    Status PrintLines(const uint8_t *data, uint32_t size);
    // Completes the last swaths with empty lines.
    Status EndPrint();
    void Abort();
    void Pause();
    void Continue();
    // Sends the last swaths, ends the job on the board and destroys it.
    Status Close();

    bool JobRunning() const;
    // The operator's language (2052: the alternative start-up wordings).
    uint32_t LanguageId() const;
    // The record behind this printer, for the library's own tests.
    sl::PrinterState *State() { return state_.get(); }

private:
    std::unique_ptr<sl::PrinterState> state_;
};

}  // namespace swathlink
