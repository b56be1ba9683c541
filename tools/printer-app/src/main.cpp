// swathlink-printer: the wide-format printer on the network, as an IPP
// Everywhere printer application (PAPPL). Any IPP client prints to it: CUPS,
// macOS, Windows, phones. Each printer is a board (swathlink://ADDRESS, or
// the emulator run inside the server, swathboard://127.0.0.N) with its own
// library session; several print at the same time.
#include <cstdio>
#include <cstring>

#include <pappl/pappl.h>

#include "app.h"
#include "drivers.h"
#include "swathlink_version.h"
#include "system.h"

namespace {

const char kUsage[] =
    "usage: swathlink-printer SUB-COMMAND [options] [FILES]\n"
    "The swathlink wide-format printer as an IPP Everywhere printer application.\n"
    "\n"
    "Sub-commands (PAPPL's):\n"
    "  server                 run the server in the foreground\n"
    "  add -d NAME -v swathlink://BOARD-ADDRESS -m swathlink_cmyk|swathlink_black\n"
    "                         add a printer (the board's IPv4 address; or\n"
    "                         swathboard://127.0.0.N: the emulator in the server)\n"
    "  devices                how boards are added (they are not discovered)\n"
    "  submit -d NAME FILE    print a file; jobs, status, cancel, delete, modify,\n"
    "                         default, drivers, options, printers, shutdown as usual\n"
    "\n"
    "Options:\n"
    "  -o server-port=N       TCP port of the server (default 8631)\n"
    "  -o listen-hostname=H   listen on H only (e.g. 127.0.0.1; default all)\n"
    "  -o state-directory=DIR printers, status folders, state and log (default\n"
    "                         $STATE_DIRECTORY, $XDG_STATE_HOME/swathlink-printer\n"
    "                         or ~/.local/state/swathlink-printer)\n"
    "  -o log-file=FILE       the log (default STATE/swathlink-printer.log; - stderr)\n"
    "  -o log-level=LEVEL     debug, info, warn, error or fatal\n"
    "  -o spool-directory=DIR spooled documents (default STATE/spool)\n"
    "  --help                 this text\n"
    "  --version              the version\n";

void Usage(void *) { std::fputs(kUsage, stdout); }

// PAPPL's own device search needs Avahi and aborts without it; boards are
// never discovered anyway.
int ListDevices() {
    std::puts(
        "Boards are not discovered: add one by its address, e.g.\n"
        "  swathlink-printer add -d NAME -v swathlink://192.0.2.25 -m swathlink_cmyk\n"
        "or try the printer on the emulator inside the server:\n"
        "  swathlink-printer add -d NAME -v swathboard://127.0.0.170 -m swathlink_cmyk");
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("swathlink-printer %s\n", SWATHLINK_VERSION);
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "--help")) {
        Usage(nullptr);
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "devices")) return ListDevices();
    return papplMainloop(argc, argv, SWATHLINK_VERSION, printerapp::kFooterHtml, printerapp::DriverCount(),
                         printerapp::Drivers(), printerapp::AutoAdd, printerapp::DriverCallback, nullptr,
                         nullptr, printerapp::MakeSystem, Usage, nullptr);
}
