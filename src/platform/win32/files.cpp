// The hidden folder "c:\Prnlog" with the file system's own attributes; the
// attribute constants of platform.h are the FILE_ATTRIBUTE_* values.
#include <windows.h>

#include "platform/platform.h"

namespace sl {

static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrHidden == FILE_ATTRIBUTE_HIDDEN &&
              kAttrSystem == FILE_ATTRIBUTE_SYSTEM && kAttrDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kAttrArchive == FILE_ATTRIBUTE_ARCHIVE);

std::string plat_prnlog_dir() { return "c:\\Prnlog"; }

std::string plat_folder_file(const std::string &folder, const char *name) { return folder + "\\" + name; }

std::string plat_prnlog_file(const char *name) { return plat_folder_file(plat_prnlog_dir(), name); }

namespace {
int result_of(BOOL ok) { return ok ? 0 : -static_cast<int>(GetLastError()); }
}  // namespace

int plat_get_attrs(const std::string &path, uint32_t *attrs) {
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return -static_cast<int>(GetLastError());
    *attrs = a;
    return 0;
}

int plat_set_attrs(const std::string &path, uint32_t attrs) {
    return result_of(SetFileAttributesA(path.c_str(), attrs));
}

int plat_make_dir(const std::string &path) { return result_of(CreateDirectoryA(path.c_str(), nullptr)); }

int plat_delete_file(const std::string &path) { return result_of(DeleteFileA(path.c_str())); }

// Only the attribute stands in the way: a fresh file replaces it.
bool plat_may_delete_locked_file() { return true; }

}  // namespace sl
