// One page of a job through the front end and the printer's library
// session: each row of samples is converted to ink (LittleCMS, ink limit),
// screened and handed to PrintLines as it arrives, so a page of any length
// needs a few rows of memory. A page is one library job: StartPrint at its
// first row, EndPrint and Close after its last.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "colour.h"
#include "pages.h"
#include "screen.h"
#include "station.h"

namespace printerapp {

// The page as it arrives: its size in dots at the print resolution.
struct PageFormat {
    uint32_t width = 0, height = 0, xdpi = 0, ydpi = 0;
    frontend::PixelModel model = frontend::PixelModel::kRgb;
    std::vector<uint8_t> icc;  // the document's profile, if any
};

// Why a page did not print completely.
enum class PageEnd {
    kPrinted,
    kUnprintable,   // the document cannot print on this printer (size, resolution, colours)
    kNoBoard,       // the board could not be reached or did not open the job
    kCancelled,     // cancelled by the user (the stop went to the board)
    kBoardStopped,  // the board stopped the job (cancelled at the printer, a refused swath)
    kNotDelivered,  // not every swath reached the board
};

class PagePrinter {
public:
    // `cancelled` is polled from a thread of the page's own while it
    // prints, so a cancel reaches the board even while a line waits for it.
    PagePrinter(Station *station, bool black_only, const frontend::ColourOptions &colour,
                std::function<bool()> cancelled);
    ~PagePrinter();
    PagePrinter(const PagePrinter &) = delete;
    PagePrinter &operator=(const PagePrinter &) = delete;

    // Opens the library's job for the page. False with the end and its
    // reason in End() and Reason().
    bool Start(const PageFormat &format);
    // One row of `format.width` pixels, samples widened to 16 bits (grey and
    // RGB: 65535 is white; CMYK: 65535 is full ink). False once the page
    // cannot go on (cancelled, stopped by the board).
    bool Row(const uint16_t *samples);
    // Ends the page: the rest of the lines blank when it ended early
    // without a stop, then EndPrint and Close. Returns End().
    PageEnd Finish();

    PageEnd End() const { return end_; }
    const std::string &Reason() const { return reason_; }
    uint64_t Lines() const { return lines_; }
    const frontend::DotCounts &Dots() const { return dots_; }
    bool Started() const { return started_; }
    const PageFormat &Format() const { return format_; }
    // Swaths the library sent to the board for the page (after Finish).
    uint64_t Swaths() const { return swaths_; }

private:
    void Fail(PageEnd end, std::string reason);
    bool Print(const uint8_t *line);
    // Aborts the library's job once the job is cancelled; true from then on.
    bool CheckCancel();
    void WatchCancel();

    Station *station_;
    bool black_only_;
    frontend::ColourOptions colour_;
    std::function<bool()> cancelled_;

    PageFormat format_;
    uint32_t row_width_ = 0;
    std::unique_ptr<frontend::ColourConverter> converter_;
    std::unique_ptr<frontend::Screener> screener_;
    std::vector<float> coverage_;
    std::vector<uint8_t> line_;
    uint64_t lines_ = 0;
    uint64_t swaths_ = 0;
    frontend::DotCounts dots_{};
    bool started_ = false, finished_ = false;
    PageEnd end_ = PageEnd::kPrinted;
    std::string reason_;

    std::atomic<bool> stop_watch_{false}, aborted_{false};
    std::thread watch_;
};

}  // namespace printerapp
