// The hidden folder that holds the status file and the parameter files.
#include "files/log_folder.h"

#include "files/files_common.h"
#include "files/status_file.h"
#include "platform/platform.h"

namespace sl {

namespace {

// The folder must exist as a directory with the hidden attribute alone
// (read-only or system would block the companion's rewrites).
bool EnsureHiddenFolder(const std::string &dir) {
    uint32_t attrs = 0;
    if (plat_get_attrs(dir, &attrs) != 0) {
        if (plat_make_dir(dir) != 0) return false;
        return plat_set_attrs(dir, kAttrHidden) == 0;
    }
    if (!(attrs & kAttrDirectory)) return false;
    if ((attrs & kAttrHidden) && !(attrs & (kAttrReadOnly | kAttrSystem))) return true;
    return plat_set_attrs(dir, kAttrHidden) == 0;
}

}  // namespace

void PrepareLogFolder(StatusFile *file, const std::string &folder) {
    file->folder = folder;
    file->access = StatusFileAccess::Unprepared;
    file->requestSerialSeen = 0;
    file->statusSerial = 0;
    if (!EnsureHiddenFolder(folder)) {
        sl_trace("PrepareLogFolder %s fail\n", folder.c_str());
        return;
    }
    file->access = OpenStatusRecord(folder) ? StatusFileAccess::Ready : StatusFileAccess::NotWritable;
}

}  // namespace sl
