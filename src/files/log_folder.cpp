// The hidden folder that holds the status file and the parameter files.
#include "files/log_folder.h"

#include "files/files_common.h"
#include "files/status_file.h"
#include "platform/platform.h"

namespace sl {

StatusFileState gStatusFile;

namespace {

// The folder must exist as a directory with the hidden attribute alone
// (read-only or system would block the companion's rewrites).
bool EnsureHiddenFolder(const std::string &dir) {
    uint32_t attrs = 0;
    if (!plat_get_attrs(dir, &attrs)) {
        if (!plat_make_dir(dir)) return false;
        return plat_set_attrs(dir, kAttrHidden);
    }
    if (!(attrs & kAttrDirectory)) return false;
    if ((attrs & kAttrHidden) && !(attrs & (kAttrReadOnly | kAttrSystem))) return true;
    return plat_set_attrs(dir, kAttrHidden);
}

}  // namespace

void PrepareLogFolder() {
    gStatusFile.access = StatusFileAccess::Unprepared;
    std::string dir = plat_prnlog_dir();
    if (!EnsureHiddenFolder(dir)) {
        sl_trace("PrepareLogFolder %s fail\n", dir.c_str());
        return;
    }
    gStatusFile.access = PrintCfgInit() ? StatusFileAccess::Ready : StatusFileAccess::NotWritable;
    gStatusFile.requestSerialSeen = 0;
    gStatusFile.statusSerial = 0;
}

}  // namespace sl
