#include "system.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app.h"
#include "board_device.h"
#include "document_filter.h"
#include "drivers.h"
#include "printer_page.h"
#include "swathlink_version.h"

namespace printerapp {

const char kFooterHtml[] = "swathlink-printer " SWATHLINK_VERSION;

namespace {

constexpr int kDefaultPort = 8631;
// PAPPL refuses a PNG or JPEG past these (and 1.3.1 loops on a wider PNG):
// the widest roll at the highest resolution, with room, and the longest.
constexpr int kMaxImagePixels = 262144;
constexpr size_t kMaxImageBytes = size_t(16) << 30;

pappl_loglevel_t LogLevelOf(const char *name) {
    if (!name) return PAPPL_LOGLEVEL_INFO;
    if (!std::strcmp(name, "debug")) return PAPPL_LOGLEVEL_DEBUG;
    if (!std::strcmp(name, "warn")) return PAPPL_LOGLEVEL_WARN;
    if (!std::strcmp(name, "error")) return PAPPL_LOGLEVEL_ERROR;
    if (!std::strcmp(name, "fatal")) return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_INFO;
}

bool MakeFolder(const std::string &dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!ec) chmod(dir.c_str(), 0700);
    return !ec;
}

bool SaveState(pappl_system_t *system, void *data) {
    return papplSystemSaveState(system, static_cast<const std::string *>(data)->c_str());
}

}  // namespace

pappl_system_t *MakeSystem(int num_options, cups_option_t *options, void *) {
    App &app = TheApp();
    const char *state = cupsGetOption("state-directory", num_options, options);
    app.SetStateDirectory(state ? state : App::DefaultStateDirectory());
    if (!MakeFolder(app.StateDirectory())) {
        std::fprintf(stderr, "%s: cannot make the state directory %s\n", kAppName,
                     app.StateDirectory().c_str());
        return nullptr;
    }
    const char *spool = cupsGetOption("spool-directory", num_options, options);
    static std::string spool_dir;
    spool_dir = spool ? spool : app.StateDirectory() + "/spool";
    MakeFolder(spool_dir);
    const char *log = cupsGetOption("log-file", num_options, options);
    static std::string log_file;
    log_file = log ? log : app.StateDirectory() + "/" + kAppName + ".log";
    const char *port_text = cupsGetOption("server-port", num_options, options);
    const int port = port_text ? std::atoi(port_text) : kDefaultPort;

    pappl_system_t *system = papplSystemCreate(
        static_cast<pappl_soptions_t>(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                      PAPPL_SOPTIONS_WEB_LOG),
        kAppName, port, nullptr, spool_dir.c_str(), log_file.c_str(),
        LogLevelOf(cupsGetOption("log-level", num_options, options)), nullptr, false);
    if (!system) return nullptr;
    const char *listen = cupsGetOption("listen-hostname", num_options, options);
    papplSystemAddListeners(system, listen);
    // papplMainloop adds the domain socket its sub-commands talk to.
    papplSystemSetFooterHTML(system, kFooterHtml);
    papplSystemSetMaxImageSize(system, kMaxImageBytes, kMaxImagePixels, kMaxImagePixels);
    papplSystemSetPrinterDrivers(system, DriverCount(), Drivers(), AutoAdd, AddPrinterPage, DriverCallback,
                                 nullptr);
    AddBoardScheme();
    AddDocumentFilters(system);
    AddPrinterPages(system);
    static std::string state_file;
    state_file = app.StateFile();
    papplSystemLoadState(system, state_file.c_str());
    papplSystemSetSaveCallback(system, SaveState, &state_file);
    return system;
}

}  // namespace printerapp
