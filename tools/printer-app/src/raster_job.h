// The driver's raster callbacks: PAPPL hands over a job's pages line by line
// (PWG and Apple raster from clients, PNG and JPEG it decodes itself); each
// page goes through a PagePrinter to the printer's board.
#pragma once

#include <memory>
#include <string>

#include <pappl/pappl.h>

#include "page_printer.h"
#include "station.h"

namespace printerapp {

void SetRasterCallbacks(pappl_pr_driver_data_t *data, bool black_only);

// A job's pages, whoever feeds them (the raster callbacks or the document
// filter): what each page ended with reaches the job, the printer's state
// and the printer's own web page.
class JobPages {
public:
    JobPages(pappl_job_t *job, Station *station, bool black_only);
    ~JobPages();

    // Opens a page; false when it cannot print (the reason is on the job).
    bool StartPage(const PageFormat &format);
    // One row; false once the page cannot go on.
    bool Row(const uint16_t *samples);
    // Ends the page opened last (nothing when none is open); false when it
    // did not print completely.
    bool EndPage();
    bool Cancelled() const;
    bool Failed() const { return failed_; }
    // Ends the job unprinted: the document cannot print on this printer.
    void Refuse(const std::string &why);

private:
    void Report(const PagePrinter &page);

    pappl_job_t *job_;
    Station *station_;
    bool black_only_;
    std::unique_ptr<PagePrinter> page_;
    bool failed_ = false;
};

// Opens the pages of `job` on its printer's Station; null when the printer's
// device URI names no board (the reason is on the job).
std::unique_ptr<JobPages> OpenJobPages(pappl_job_t *job, bool black_only);

// The pixel model of a raster page, from its colour space; false for one the
// printer does not take (the reason in *error).
bool PixelModelOf(const pappl_pr_options_t *options, frontend::PixelModel *model, bool *inverted,
                  std::string *error);

}  // namespace printerapp
