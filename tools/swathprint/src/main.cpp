// swathprint: prints a document through the swathlink driver and shows the
// sheet the printer would print.
#include <cstdio>
#include <filesystem>
#include <string>

#include "driver.h"
#include "interrupt.h"
#include "job_plan.h"
#include "layout.h"
#include "options.h"
#include "output_path.h"
#include "pages.h"
#include "print_run.h"
#include "raster.h"
#include "session.h"
#include "summary.h"
#include "swathlink_version.h"

namespace swathprint {

namespace {

int Fail(Exit code, const std::string &message) {
    std::fprintf(stderr, "swathprint: %s\n", message.c_str());
    return code;
}

frontend::DocumentOptions DocumentOptionsOf(const Options &o, uint32_t page) {
    frontend::DocumentOptions d;
    d.page = page;
    // Rendered pages come at the print grid: with the page turned, the grid's
    // axes swap.
    const bool across = o.rotate == 90 || o.rotate == 270;
    d.render_xdpi = across ? o.ydpi : o.xdpi;
    d.render_ydpi = across ? o.xdpi : o.ydpi;
    return d;
}

// The built-in emulator knows why it stopped a job, and the driver's trace
// tells a board's cancel at the printer (print status 1); the driver's
// results alone cannot tell a cancel from another stop.
Exit Refined(Exit run, const Session &session, const RunStats &stats, const LinkEvents &events,
             std::string *error) {
    Exit stop = BoardStopOf(session);
    if (stop == kExitOk && events.printer_cancel) stop = kExitCancelled;
    if (stop == kExitCancelled)
        *error = "cancelled at the printer after " + std::to_string(stats.lines) + " lines";
    else if (stop == kExitBoardStopped)
        *error = "stopped by the board after " + std::to_string(stats.lines) + " lines";
    return stop == kExitOk ? run : stop;
}

// A page read from a document of its own (a copy read again), which lives
// as long as the page.
class ReopenedPage : public frontend::PageReader {
public:
    ReopenedPage(std::unique_ptr<frontend::Document> doc, std::unique_ptr<frontend::PageReader> page)
        : doc_(std::move(doc)), page_(std::move(page)) {
        info_ = page_->Info();
    }
    bool ReadRow(uint16_t *samples, std::string *error) override { return page_->ReadRow(samples, error); }

private:
    std::unique_ptr<frontend::Document> doc_;
    std::unique_ptr<frontend::PageReader> page_;
};

// One page of the run, turned as asked: the reader already open for the
// first pass, then the page opened again for every further copy.
struct PageSource {
    const Options *options = nullptr;
    uint32_t page = 0;  // 1-based number in the document
    std::unique_ptr<frontend::PageReader> first;

    frontend::OpenPage Opener() {
        return [this](std::string *error) -> std::unique_ptr<frontend::PageReader> {
            if (first) return std::move(first);
            auto doc = frontend::OpenDocument(options->input, DocumentOptionsOf(*options, page), error);
            auto again = doc ? doc->NextPage(error) : nullptr;
            if (!again) return nullptr;
            return frontend::Orient(std::make_unique<ReopenedPage>(std::move(doc), std::move(again)),
                                    options->rotate, options->mirror);
        };
    }
};

struct RunState {
    const Options *options = nullptr;
    const Driver *driver = nullptr;
    Session *session = nullptr;
    std::string base_output;
    bool several_pages = false;
    uint32_t page_count = 0;  // 0: unknown
    int jobs = 0;
};

// Prints one job (a page, one copy or all of them) and writes its sheet.
int PrintJob(RunState *run, PageSource *source, const frontend::PageInfo &info, uint32_t copy) {
    const Options &o = *run->options;
    const bool separate_copies = o.copies > 1 && o.gap_mm < 0;
    JobPlan plan;
    std::string error;
    if (Exit e = PlanJob(o, info, separate_copies ? 1 : o.copies, &plan, &error); e != kExitOk)
        return Fail(e, error);
    const std::string output =
        JobOutput(run->base_output, run->several_pages ? source->page : 0, separate_copies ? copy : 0);
    if (const std::string problem = OutputProblem(output, o.input); !problem.empty())
        return Fail(kExitSetup, problem);
    FrameSheet(run->session, plan);
    if (run->session->board && !StartSheet(*run->session, output, o.preview_scale, &error))
        return Fail(kExitSetup, error);
    Exit code = kExitOk;
    frontend::ConvertRow convert = ConversionFor(info, o.colour, &code, &error);
    if (!convert) return Fail(code, code == kExitInput ? o.input + ": " + error : error);
    RunStats stats;
    Session *session = run->session;
    MarkJobStart(session);
    Exit result = RunJob(
        *run->driver, plan, source->Opener(), convert, o, [session] { return SwathsAccepted(*session); },
        &stats, &error);
    const LinkEvents events = LinkEventsOf(*session);
    if (result == kExitBoardStopped || result == kExitNotDelivered)
        result = Refined(result, *session, stats, events, &error);
    ++run->jobs;
    const std::string link = LinkLine(events);
    if (!link.empty()) std::printf("%s\n", link.c_str());
    if (result != kExitOk && result != kExitAborted) {
        std::fflush(stdout);
        return Fail(result, result == kExitInput ? o.input + ": " + error : error);
    }
    std::string sheet_error;
    Printed printed;
    printed.complete = result == kExitOk;
    swathboard::SheetSummary sheet;
    if (session->board && !FinishSheet(*session, output, &sheet, &sheet_error))
        return Fail(kExitSetup, sheet_error);
    if (session->board) {
        printed.known = true;
        for (size_t ch = 0; ch < printed.channel_dots.size(); ++ch) printed.channel_dots[ch] = sheet.dots[ch];
    }
    std::string prefix;
    if (run->several_pages)
        prefix += "page " + std::to_string(source->page) +
                  (run->page_count ? " of " + std::to_string(run->page_count) : "");
    if (separate_copies)
        prefix += (prefix.empty() ? "" : ", ") + std::string("copy ") + std::to_string(copy) + " of " +
                  std::to_string(o.copies);
    if (!separate_copies && o.copies > 1)
        prefix += (prefix.empty() ? "" : ", ") + std::to_string(o.copies) + " copies in one job";
    std::printf("%s%s\n", prefix.empty() ? "" : (prefix + ": ").c_str(),
                SummaryLine(plan, o, stats, BoardStatsOf(*session), printed).c_str());
    if (session->board) std::printf("sheet: %s\n", output.c_str());
    std::fflush(stdout);
    return result == kExitOk ? kExitOk : Fail(result, error);
}

// Every page asked for, each its own job (and each copy, unless --gap-mm
// puts them in one).
int PrintDocument(RunState *run, frontend::Document *doc) {
    const Options &o = *run->options;
    run->page_count = doc->PageCount();
    run->several_pages = o.page == 0 && run->page_count != 1;
    for (uint32_t index = 1;; ++index) {
        std::string error;
        std::unique_ptr<frontend::PageReader> page = doc->NextPage(&error);
        if (!page) {
            if (!error.empty()) return Fail(kExitInput, o.input + ": " + error);
            break;
        }
        PageSource source;
        source.options = &o;
        source.page = o.page ? o.page : index;
        source.first = frontend::Orient(std::move(page), o.rotate, o.mirror);
        const frontend::PageInfo info = source.first->Info();
        const uint32_t jobs = o.copies > 1 && o.gap_mm < 0 ? o.copies : 1;
        for (uint32_t copy = 1; copy <= jobs; ++copy)
            if (const int code = PrintJob(run, &source, info, copy); code != kExitOk) return code;
    }
    const uint32_t pages = run->jobs / (o.copies > 1 && o.gap_mm < 0 ? o.copies : 1);
    if (pages > 1) std::printf("%u pages printed, each its own job\n", static_cast<unsigned>(pages));
    return kExitOk;
}

// What an interrupted run leaves: the private folder and the sheets being written.
void RemovePartials(const Session *session, const std::string *base_output) {
    std::error_code ec;
    if (!session->root.empty()) std::filesystem::remove_all(session->root, ec);
    const std::filesystem::path folder = std::filesystem::path(*base_output).parent_path();
    const std::string stem = std::filesystem::path(*base_output).stem().string();
    for (const auto &entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(stem, 0) == 0 && name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
            std::filesystem::remove(entry.path(), ec);
    }
}

int Run(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) return Fail(kExitUsage, error + " (see --help)");
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("swathprint %s\n", SWATHLINK_VERSION);
        return kExitOk;
    }
    RunState run;
    run.options = &options;
    run.base_output = options.output.empty() ? DefaultOutput(options.input) : options.output;
    // The document is opened first: a missing file is a worse problem than
    // an output that cannot be written.
    auto doc = frontend::OpenDocument(options.input, DocumentOptionsOf(options, options.page), &error);
    if (!doc) return Fail(kExitInput, options.input + ": " + error);
    if (const std::string problem = OutputProblem(run.base_output, options.input); !problem.empty())
        return Fail(kExitSetup, problem);
    Driver driver;
    if (!LoadDriver(options.library, &driver, &error)) return Fail(kExitSetup, error);
    Session session;
    WatchInterrupts(
        [&driver, &doc] {
            driver.AbortPrint();
            StopMakingLines();
            doc->Cancel();
        },
        [&session, &run] { RemovePartials(&session, &run.base_output); });
    run.driver = &driver;
    run.session = &session;
    const Exit opened = OpenSession(options, &session, &error);
    const int code = opened == kExitOk ? PrintDocument(&run, doc.get()) : Fail(opened, error);
    CloseSession(&session);
    StopWatchingInterrupts();
    doc.reset();
    return code;
}

}  // namespace

}  // namespace swathprint

int main(int argc, char **argv) { return swathprint::Run(argc, argv); }
