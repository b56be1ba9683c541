// The printer application's own state: where it keeps its files and the
// Station of every printer, shared by PAPPL's callbacks through their data
// pointer.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <pappl/pappl.h>

#include "station.h"

namespace printerapp {

constexpr const char *kAppName = "swathlink-printer";

class App {
public:
    // The state directory: $STATE_DIRECTORY (systemd's StateDirectory=),
    // else $XDG_STATE_HOME/swathlink-printer, else ~/.local/state/swathlink-printer.
    static std::string DefaultStateDirectory();

    void SetStateDirectory(std::string dir) { state_dir_ = std::move(dir); }
    const std::string &StateDirectory() const { return state_dir_; }
    // PAPPL's saved state (printers, defaults), in the state directory.
    std::string StateFile() const { return state_dir_ + "/" + kAppName + ".state"; }

    // The Station of `printer`, made on first use from its device URI (its
    // status folder is printers/<id> under the state directory). Null with
    // a reason for a device URI that names no board.
    Station *StationOf(pappl_printer_t *printer, std::string *error);
    // The Station if it exists already (the web page shows no printer it has
    // not yet printed with).
    Station *ExistingStation(int printer_id);
    void Forget(int printer_id);

private:
    std::string state_dir_;
    std::mutex mutex_;
    std::map<int, std::unique_ptr<Station>> stations_;
};

// The one App of the process (PAPPL's callbacks without a data pointer reach it here).
App &TheApp();

}  // namespace printerapp
