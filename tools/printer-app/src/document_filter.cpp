#include "document_filter.h"

#include <memory>
#include <string>
#include <vector>

#include "drivers.h"
#include "pages.h"
#include "raster_job.h"

namespace printerapp {

namespace {

constexpr const char *kRasterType = "image/pwg-raster";

void FailJob(pappl_job_t *job, const std::string &why) {
    papplJobSetMessage(job, "%s", why.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
}

// Every row of one page; false when the page did not print completely.
bool PrintPage(JobPages *pages, frontend::PageReader *page, uint32_t xdpi, uint32_t ydpi, pappl_job_t *job) {
    const frontend::PageInfo &info = page->Info();
    PageFormat format;
    format.width = info.width;
    format.height = info.height;
    format.xdpi = xdpi;
    format.ydpi = ydpi;
    format.model = info.model;
    format.icc = info.icc;
    if (!pages->StartPage(format)) return false;
    std::vector<uint16_t> row(size_t(info.width) * info.Channels());
    std::string error;
    for (uint32_t y = 0; y < info.height; ++y) {
        if (!page->ReadRow(row.data(), &error)) {
            FailJob(job, "the document could not be read: " + error);
            pages->EndPage();
            return false;
        }
        if (!pages->Row(row.data())) break;
    }
    return pages->EndPage();
}

bool FilterDocument(pappl_job_t *job, pappl_device_t *, void *) {
    const bool black = IsBlackOnly(papplJobGetPrinter(job));
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 0, !black);
    frontend::DocumentOptions d;
    d.render_xdpi = static_cast<uint32_t>(options->printer_resolution[0]);
    d.render_ydpi = static_cast<uint32_t>(options->printer_resolution[1]);
    // A black-only printer, or a job that asks for grey, gets the page
    // rendered in grey: black ink only.
    d.render_grey =
        black || (options->print_color_mode & (PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL)) != 0;
    papplJobDeletePrintOptions(options);
    std::string error;
    std::unique_ptr<frontend::Document> doc = frontend::OpenDocument(papplJobGetFilename(job), d, &error);
    if (!doc) {
        FailJob(job, "the document could not be opened: " + error);
        return false;
    }
    std::unique_ptr<JobPages> pages = OpenJobPages(job, black);
    if (!pages) return false;
    bool ok = true;
    for (unsigned n = 0; ok && !pages->Cancelled(); ++n) {
        std::unique_ptr<frontend::PageReader> page = doc->NextPage(&error);
        if (!page) {
            if (!error.empty()) {
                FailJob(job, doc->Kind() + ": " + error);
                ok = false;
            }
            break;
        }
        ok = PrintPage(pages.get(), page.get(), d.render_xdpi, d.render_ydpi, job);
        if (ok) papplJobSetImpressionsCompleted(job, 1);
    }
    if (pages->Cancelled()) doc->Cancel();
    return ok || pages->Cancelled();
}

}  // namespace

void AddDocumentFilters(pappl_system_t *system) {
    papplSystemAddMIMEFilter(system, "application/pdf", kRasterType, FilterDocument, nullptr);
    papplSystemAddMIMEFilter(system, "application/postscript", kRasterType, FilterDocument, nullptr);
}

}  // namespace printerapp
