#include "printer_page.h"

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
    std::string sheet_url;
};

bool ShowPage(pappl_client_t *client, void *data) {
    const PageContext *c = static_cast<const PageContext *>(data);
    pappl_printer_t *printer = c->printer;
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
    papplClientHTMLPrinterHeader(client, printer, "Board", 0, nullptr, nullptr);
    papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\">\n<h1 class=\"title\">Board of ");
    Escaped(client, papplPrinterGetName(printer));
    papplClientHTMLPuts(client, "</h1>\n<table class=\"form\">\n<tr><th>Board address</th><td id=\"board\">");
    std::string board;
    const char *uri = papplPrinterGetDeviceURI(printer);
    Escaped(client, uri && BoardOfUri(uri, &board) ? board : std::string("(none)"));
    papplClientHTMLPuts(client, "</td></tr>\n<tr><th>Status folder</th><td>");
    Station *station = TheApp().ExistingStation(papplPrinterGetID(printer));
    Escaped(client, station ? station->Folder() : std::string("(made at the first job)"));
    papplClientHTMLPuts(client, "</td></tr>\n</table>\n");
    ShowOutcome(client, station ? station->Outcome() : JobOutcome{}, c->sheet_url);
    papplClientHTMLPuts(client, "</div></div>\n");
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
    slot = std::make_unique<PageContext>(PageContext{printer, sheet});
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
