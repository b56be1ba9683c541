#include "printer_page.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app.h"

namespace printerapp {

namespace {

constexpr double kDropPl[3] = {4.0, 8.0, 12.0};  // drop volume of dot levels 1..3
const char *const kPlaneNames[4] = {"Y", "M", "C", "K"};

void Escaped(pappl_client_t *client, const std::string &text) {
    papplClientHTMLEscape(client, text.c_str(), text.size());
}

void ShowOutcome(pappl_client_t *client, const JobOutcome &o, const std::string &sheet_url) {
    if (o.job_id == 0) {
        papplClientHTMLPuts(client, "<p id=\"last-job\">No job has printed since the server started.</p>\n");
        return;
    }
    papplClientHTMLPrintf(client,
                          "<h2>Last job</h2>\n<table id=\"last-job\" class=\"form\">\n"
                          "<tr><th>Job</th><td>%d: ",
                          o.job_id);
    Escaped(client, o.name);
    papplClientHTMLPuts(client, "</td></tr>\n<tr><th>Outcome</th><td id=\"outcome\">");
    Escaped(client, o.result);
    papplClientHTMLPrintf(
        client,
        "</td></tr>\n<tr><th>Raster</th><td>%u x %u dots at %u x %u dpi, %llu lines printed</td></tr>\n"
        "<tr><th>Swaths</th><td id=\"swaths\">%llu</td></tr>\n",
        o.width, o.height, o.xdpi, o.ydpi, static_cast<unsigned long long>(o.lines),
        static_cast<unsigned long long>(o.swaths));
    for (int p = 0; p < 4; ++p) {
        uint64_t dots = 0;
        double pl = 0;
        for (int l = 1; l <= 3; ++l) {
            dots += o.dots[p][l];
            pl += o.dots[p][l] * kDropPl[l - 1];
        }
        papplClientHTMLPrintf(client, "<tr><th>Ink %s</th><td>%llu dots, %.4f ml</td></tr>\n", kPlaneNames[p],
                              static_cast<unsigned long long>(dots), pl * 1e-9);
    }
    papplClientHTMLPuts(client, "</table>\n");
    if (!o.sheet_png.empty() && std::filesystem::exists(o.sheet_png))
        papplClientHTMLPrintf(
            client,
            "<h2>Printed sheet</h2>\n<p><img id=\"sheet\" src=\"%s\" alt=\"the printed sheet\" "
            "style=\"max-width:100%%;border:1px solid #888\"></p>\n",
            sheet_url.c_str());
}

struct PageContext {
    pappl_printer_t *printer;
    std::string path, sheet_url;
};

// The pause and resume buttons of the job printing now.
void ShowJobControl(pappl_client_t *client, const PageContext &c, Station *station) {
    const bool printing = station && station->JobPrinting();
    const bool paused = printing && station->JobPaused();
    papplClientHTMLPrintf(client, "<h2>Job on the board</h2>\n<p id=\"job-state\">%s</p>\n",
                          !printing ? "none"
                          : paused  ? "paused"
                                    : "printing");
    if (!printing) return;
    papplClientHTMLStartForm(client, c.path.c_str(), false);
    papplClientHTMLPrintf(client,
                          "<input type=\"hidden\" name=\"action\" value=\"%s\">"
                          "<input type=\"submit\" value=\"%s\"></form>\n",
                          paused ? "resume" : "pause", paused ? "Resume printing" : "Pause printing");
}

void SetJobMessage(pappl_job_t *job, void *data) {
    if (papplJobGetState(job) == IPP_JSTATE_PROCESSING)
        papplJobSetMessage(job, "%s", static_cast<const char *>(data));
}

// A form sent from the page: pause or resume the job printing now.
void TakeJobControl(pappl_client_t *client, pappl_printer_t *printer, Station *station) {
    cups_option_t *form = nullptr;
    const int count = papplClientGetForm(client, &form);
    const char *action = cupsGetOption("action", count, form);
    if (station && action && papplClientIsValidForm(client, count, form)) {
        const bool pause = std::strcmp(action, "pause") == 0;
        if (pause ? station->PauseJob() : std::strcmp(action, "resume") == 0 && station->ResumeJob()) {
            // PAPPL's own states know no pause inside a job: 'other', and
            // the job's message says which.
            papplPrinterSetReasons(printer, pause ? PAPPL_PREASON_OTHER : PAPPL_PREASON_NONE,
                                   pause ? PAPPL_PREASON_NONE : PAPPL_PREASON_OTHER);
            papplPrinterIterateActiveJobs(
                printer, SetJobMessage,
                const_cast<char *>(pause ? "paused from the printer's page" : "printing"), 1, 0);
            papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "job %s from the printer's page",
                            pause ? "paused" : "resumed");
        }
    }
    cupsFreeOptions(count, form);
}

bool ShowPage(pappl_client_t *client, void *data) {
    const PageContext *c = static_cast<const PageContext *>(data);
    pappl_printer_t *printer = c->printer;
    Station *station = TheApp().ExistingStation(papplPrinterGetID(printer));
    if (papplClientGetMethod(client) == HTTP_STATE_POST) {
        if (!papplClientHTMLAuthorize(client)) return true;  // answered already
        TakeJobControl(client, printer, station);
        return papplClientRespondRedirect(client, HTTP_STATUS_SEE_OTHER, c->path.c_str());
    }
    // The header sends the answer's own head (the status, chunked HTML),
    // the printer's name in its menu bar and the page's one title.
    papplClientHTMLPrinterHeader(client, printer, "Board", 0, nullptr, nullptr);
    papplClientHTMLPuts(client, "<table class=\"form\">\n<tr><th>Board address</th><td id=\"board\">");
    BoardAddress board;
    const char *uri = papplPrinterGetDeviceURI(printer);
    Escaped(client, !uri || !BoardOfUri(uri, &board) ? std::string("(none)")
                    : board.emulated                 ? board.ip + " (the built-in emulator)"
                                                     : board.ip);
    papplClientHTMLPuts(client, "</td></tr>\n<tr><th>Status folder</th><td>");
    Escaped(client, station ? station->Folder() : std::string("(made at the first job)"));
    papplClientHTMLPuts(client, "</td></tr>\n</table>\n");
    ShowJobControl(client, *c, station);
    ShowOutcome(client, station ? station->Outcome() : JobOutcome{}, c->sheet_url);
    papplClientHTMLPrinterFooter(client);
    return true;
}

bool SendSheet(pappl_client_t *client, void *data) {
    const PageContext *c = static_cast<const PageContext *>(data);
    Station *station = TheApp().ExistingStation(papplPrinterGetID(c->printer));
    const std::string path = station ? station->Outcome().sheet_png : std::string();
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, bytes.size())) return false;
    return httpWrite2(papplClientGetHTTP(client), bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

void AddPageOf(pappl_printer_t *printer, void *data) {
    static std::mutex mutex;
    // Each printer's page context, added once: PAPPL keeps the pointers as
    // long as the server.
    static std::map<int, std::unique_ptr<PageContext>> contexts;
    std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<PageContext> &slot = contexts[papplPrinterGetID(printer)];
    if (slot) return;
    pappl_system_t *system = static_cast<pappl_system_t *>(data);
    char path[256], sheet[256];
    papplPrinterGetPath(printer, "board", path, sizeof path);
    papplPrinterGetPath(printer, "sheet.png", sheet, sizeof sheet);
    slot = std::make_unique<PageContext>(PageContext{printer, path, sheet});
    PageContext *context = slot.get();
    papplSystemAddResourceCallback(system, path, "text/html", ShowPage, context);
    papplSystemAddResourceCallback(system, sheet, "image/png", SendSheet, context);
    papplPrinterAddLink(printer, "Board", path,
                        static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

}  // namespace

void AddPrinterPages(pappl_system_t *system) { papplSystemIteratePrinters(system, AddPageOf, system); }

void AddPrinterPage(pappl_printer_t *printer, void *) { AddPageOf(printer, papplPrinterGetSystem(printer)); }

}  // namespace printerapp
