#include "board_device.h"

#include <string>

#include <pappl/pappl.h>

#include "station.h"

namespace printerapp {

namespace {

bool List(pappl_device_cb_t, void *, pappl_deverror_cb_t, void *) { return false; }

bool Open(pappl_device_t *device, const char *uri, const char *) {
    BoardAddress board;
    if (BoardOfUri(uri ? uri : "", &board)) return true;
    papplDeviceError(device, "%s names no board: use swathlink://IPV4-ADDRESS or swathboard://127.0.0.N",
                     uri ? uri : "(none)");
    return false;
}

void Close(pappl_device_t *) {}

// Nothing is written through the device: pages go through the library.
ssize_t Read(pappl_device_t *, void *, size_t) { return 0; }
ssize_t Write(pappl_device_t *, const void *, size_t bytes) { return static_cast<ssize_t>(bytes); }
pappl_preason_t Status(pappl_device_t *) { return PAPPL_PREASON_NONE; }

}  // namespace

void AddBoardScheme() {
    // Boards are not discovered: they are added by address.
    for (const char *scheme : {"swathlink", "swathboard"})
        papplDeviceAddScheme(scheme, PAPPL_DEVTYPE_CUSTOM_NETWORK, List, Open, Close, Read, Write, Status,
                             nullptr);
}

}  // namespace printerapp
