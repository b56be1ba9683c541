#include "app.h"

#include <cstdlib>

namespace printerapp {

std::string App::DefaultStateDirectory() {
    if (const char *d = std::getenv("STATE_DIRECTORY"); d && *d) {
        const std::string all(d);
        return all.substr(0, all.find(':'));  // systemd lists several separated by ':'
    }
    if (const char *x = std::getenv("XDG_STATE_HOME"); x && *x) return std::string(x) + "/" + kAppName;
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/" + kAppName;
}

Station *App::StationOf(pappl_printer_t *printer, std::string *error) {
    const int id = papplPrinterGetID(printer);
    const char *uri = papplPrinterGetDeviceURI(printer);
    BoardAddress board;
    if (!uri || !BoardOfUri(uri, &board)) {
        *error = std::string("the device URI ") + (uri ? uri : "(none)") +
                 " names no board (swathlink://IPV4-ADDRESS, or swathboard://127.0.0.N for the emulator)";
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Station> &s = stations_[id];
    // A printer given a new device URI gets a new session for its new board.
    if (!s || !(s->Address() == board))
        s = std::make_unique<Station>(state_dir_ + "/printers/" + std::to_string(id), board);
    return s.get();
}

Station *App::ExistingStation(int printer_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = stations_.find(printer_id);
    return it == stations_.end() ? nullptr : it->second.get();
}

void App::Forget(int printer_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    stations_.erase(printer_id);
}

App &TheApp() {
    static App app;
    return app;
}

}  // namespace printerapp
