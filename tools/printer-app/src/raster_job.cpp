#include "raster_job.h"

#include <vector>

#include "app.h"
#include "colour.h"
#include "drivers.h"

namespace printerapp {

namespace {

constexpr double kDropPl[3] = {4.0, 8.0, 12.0};  // drop volume of dot levels 1..3

// The job's pages and the row buffer, between the callbacks.
struct RasterState {
    std::unique_ptr<JobPages> pages;
    std::vector<uint16_t> samples;
    frontend::PixelModel model = frontend::PixelModel::kRgb;
    bool inverted = false;  // black_8: 255 is black, widened to grey's coding
    uint32_t width = 0;
};

RasterState *StateOf(pappl_job_t *job) { return static_cast<RasterState *>(papplJobGetData(job)); }

bool BlackOnly(pappl_job_t *job) { return IsBlackOnly(papplJobGetPrinter(job)); }

// Whether a page of `height` lines at `ydpi` is longer than the roll's
// longest page (the reason in *why).
bool LongerThanTheRoll(uint64_t height, uint32_t ydpi, std::string *why) {
    const uint64_t mm = ydpi ? height * 254 / (uint64_t(ydpi) * 10) : 0;
    if (mm <= uint64_t(RollMaxLengthMm())) return false;
    *why = "the page is " + std::to_string(mm) + " mm long; this printer prints at most " +
           std::to_string(RollMaxLengthMm()) + " mm in one job";
    return true;
}

bool StartJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    auto state = std::make_unique<RasterState>();
    state->pages = OpenJobPages(job, BlackOnly(job));
    if (!state->pages) return false;
    papplJobSetData(job, state.release());
    return true;
}

bool StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned) {
    RasterState *s = StateOf(job);
    if (!s) return false;
    const cups_page_header2_t &h = options->header;
    std::string error;
    PageFormat format;
    if (!PixelModelOf(options, &format.model, &s->inverted, &error)) {
        papplJobSetMessage(job, "%s", error.c_str());
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
        return false;
    }
    format.width = h.cupsWidth;
    format.height = h.cupsHeight;
    format.xdpi = h.HWResolution[0];
    format.ydpi = h.HWResolution[1];
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "page %ux%u dots at %ux%u dpi, colour space %d", format.width,
                format.height, format.xdpi, format.ydpi, int(h.cupsColorSpace));
    s->model = format.model;
    s->width = h.cupsWidth;
    s->samples.assign(size_t(h.cupsWidth) * frontend::ChannelsOf(format.model), 0);
    return s->pages->StartPage(format);
}

bool WriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned,
               const unsigned char *line) {
    RasterState *s = StateOf(job);
    if (!s) return false;
    // 8-bit samples widened to 16 (x 257 maps 255 to 65535 exactly).
    for (size_t i = 0; i < s->samples.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>(line[i] * 257u);
        s->samples[i] = s->inverted ? static_cast<uint16_t>(65535u - v) : v;
    }
    // A cancelled job is left to PAPPL to end; the rest of its lines are skipped.
    return s->pages->Row(s->samples.data()) || s->pages->Cancelled();
}

bool EndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned) {
    RasterState *s = StateOf(job);
    return s && (s->pages->EndPage() || s->pages->Cancelled());
}

bool EndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    std::unique_ptr<RasterState> s(StateOf(job));
    papplJobSetData(job, nullptr);
    if (!s) return false;
    // A cancelled image job skips its last rendpage.
    const bool ok = s->pages->EndPage();
    return (ok && !s->pages->Failed()) || s->pages->Cancelled();
}

// Ink of `dots` in millilitres.
double InkMl(const std::array<uint64_t, 4> &dots) {
    double pl = 0;
    for (int l = 1; l <= 3; ++l) pl += dots[l] * kDropPl[l - 1];
    return pl * 1e-9;
}

}  // namespace

void SetRasterCallbacks(pappl_pr_driver_data_t *data, bool) {
    data->rstartjob_cb = StartJob;
    data->rstartpage_cb = StartPage;
    data->rwriteline_cb = WriteLine;
    data->rendpage_cb = EndPage;
    data->rendjob_cb = EndJob;
}

bool PixelModelOf(const pappl_pr_options_t *options, frontend::PixelModel *model, bool *inverted,
                  std::string *error) {
    const cups_page_header2_t &h = options->header;
    *inverted = false;
    if (h.cupsBitsPerColor != 8) {
        *error = "raster of " + std::to_string(h.cupsBitsPerColor) + " bits a colour; this printer takes 8";
        return false;
    }
    switch (h.cupsColorSpace) {
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW: *model = frontend::PixelModel::kGrey; return true;
    case CUPS_CSPACE_K:
        *model = frontend::PixelModel::kGrey;
        *inverted = true;
        return true;
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB:
    case CUPS_CSPACE_ADOBERGB: *model = frontend::PixelModel::kRgb; return true;
    case CUPS_CSPACE_CMYK: *model = frontend::PixelModel::kCmyk; return true;
    default: break;
    }
    *error = "raster colour space " + std::to_string(int(h.cupsColorSpace)) +
             " is not taken (grey, sRGB, RGB or CMYK)";
    return false;
}

std::unique_ptr<JobPages> OpenJobPages(pappl_job_t *job, bool black_only) {
    std::string error;
    Station *station = TheApp().StationOf(papplJobGetPrinter(job), &error);
    if (!station) {
        papplJobSetMessage(job, "%s", error.c_str());
        papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
        return nullptr;
    }
    return std::make_unique<JobPages>(job, station, black_only);
}

JobPages::JobPages(pappl_job_t *job, Station *station, bool black_only)
    : job_(job), station_(station), black_only_(black_only) {}

JobPages::~JobPages() { EndPage(); }

bool JobPages::Cancelled() const { return papplJobIsCanceled(job_); }

bool JobPages::StartPage(const PageFormat &format) {
    EndPage();
    if (std::string why; LongerThanTheRoll(format.height, format.ydpi, &why)) {
        Refuse(why);
        return false;
    }
    pappl_job_t *job = job_;
    page_ = std::make_unique<PagePrinter>(station_, black_only_, frontend::ColourOptions{},
                                          [job] { return papplJobIsCanceled(job); });
    if (page_->Start(format)) {
        papplPrinterSetReasons(papplJobGetPrinter(job_), PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
        return true;
    }
    Report(*page_);
    page_.reset();
    return false;
}

bool JobPages::Row(const uint16_t *samples) { return page_ && page_->Row(samples); }

bool JobPages::EndPage() {
    if (!page_) return true;
    page_->Finish();
    Report(*page_);
    const bool printed = page_->End() == PageEnd::kPrinted;
    page_.reset();
    return printed;
}

void JobPages::Refuse(const std::string &why) {
    failed_ = true;
    papplJobSetMessage(job_, "%s", why.c_str());
    papplJobSetReasons(job_, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
}

void JobPages::Report(const PagePrinter &page) {
    pappl_printer_t *printer = papplJobGetPrinter(job_);
    JobOutcome o;
    o.job_id = papplJobGetID(job_);
    o.name = papplJobGetName(job_) ? papplJobGetName(job_) : "";
    o.lines = page.Lines();
    o.dots = page.Dots();
    o.swaths = page.Swaths();
    o.width = page.Format().width;
    o.height = page.Format().height;
    o.xdpi = page.Format().xdpi;
    o.ydpi = page.Format().ydpi;
    if (page.Started()) o.sheet_png = station_->LastSheet();
    const PageEnd end = page.End();
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);  // no pause outlives its page
    if (end == PageEnd::kNoBoard)
        papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    else if (page.Started())
        papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
    switch (end) {
    case PageEnd::kPrinted: o.result = "completed"; break;
    case PageEnd::kCancelled: o.result = "cancelled: " + page.Reason(); break;
    case PageEnd::kUnprintable:
        papplJobSetReasons(job_, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
        break;
    case PageEnd::kNoBoard:
    case PageEnd::kNotDelivered:
        papplJobSetReasons(job_, PAPPL_JREASON_ABORTED_BY_SYSTEM | PAPPL_JREASON_ERRORS_DETECTED,
                           PAPPL_JREASON_NONE);
        break;
    case PageEnd::kBoardStopped:
        papplJobSetReasons(job_, PAPPL_JREASON_JOB_CANCELED_AT_DEVICE, PAPPL_JREASON_NONE);
        break;
    }
    if (end != PageEnd::kPrinted) {
        failed_ = failed_ || end != PageEnd::kCancelled;
        if (o.result.empty()) o.result = "aborted: " + page.Reason();
        papplJobSetMessage(job_, "%s", page.Reason().c_str());
        papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", page.Reason().c_str());
    }
    double ml[frontend::kPlanes];
    for (int p = 0; p < frontend::kPlanes; ++p) ml[p] = InkMl(o.dots[p]);
    papplLogJob(job_, PAPPL_LOGLEVEL_INFO,
                "page %s: %llu lines, %llu swaths; ink Y %.4f M %.4f C %.4f K %.4f ml", o.result.c_str(),
                static_cast<unsigned long long>(o.lines), static_cast<unsigned long long>(o.swaths), ml[0],
                ml[1], ml[2], ml[3]);
    station_->SetOutcome(o);
}

}  // namespace printerapp
