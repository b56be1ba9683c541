// The driver library as a raster application sees it: the eleven C entry
// points, found by name in a loaded shared library.
#pragma once

#include <cstdint>
#include <string>

#include "swathlink/swathlink.h"

namespace swathprint {

struct Driver {
    void *handle = nullptr;
    std::string path;  // the file that was loaded
    int32_t (*InitPrinter)(void) = nullptr;
    int32_t (*StartPrint)(const JobProp *) = nullptr;
    int32_t (*PrintALine)(const uint8_t *, uint32_t) = nullptr;
    int32_t (*WriteRipData)(const uint8_t *, uint32_t) = nullptr;
    int32_t (*EndPrint)(void) = nullptr;
    int32_t (*EndRipData)(void) = nullptr;
    int32_t (*AbortPrint)(void) = nullptr;
    int32_t (*PausePrint)(void) = nullptr;
    int32_t (*ContinuePrint)(void) = nullptr;
    int32_t (*ClosePrint)(void) = nullptr;
    int32_t (*ExitPrinter)(void) = nullptr;
};

// Loads the library and looks up all eleven names. `explicit_path` (from
// --library) wins, then $SWATHLINK_LIBRARY, then libswathlink.so.N beside
// the program, in the install's library folder relative to it, and on the
// loader's search path. False, with
// a reason in *error, when no library loads or a name is missing.
// The library stays loaded for the life of the process.
bool LoadDriver(const std::string &explicit_path, Driver *driver, std::string *error);

}  // namespace swathprint
