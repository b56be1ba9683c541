// The hidden folder: $SWATHLINK_PRNLOG when set, else ~/.prnlog. Posix has no
// hidden, system or archive attribute; read-only means no write permission.
// The folder counts as hidden (it stands for one); files are plain unless
// they lack write permission.
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace sl {

std::string plat_prnlog_dir() {
    const char *dir = std::getenv("SWATHLINK_PRNLOG");
    if (dir && *dir) return dir;
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.prnlog";
}

std::string plat_folder_file(const std::string &folder, const char *name) { return folder + "/" + name; }

std::string plat_prnlog_file(const char *name) { return plat_folder_file(plat_prnlog_dir(), name); }

namespace {
int result_of(int rc) { return rc == 0 ? 0 : -errno; }
}  // namespace

int plat_get_attrs(const std::string &path, uint32_t *attrs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -errno;
    uint32_t a = S_ISDIR(st.st_mode) ? kAttrDirectory | kAttrHidden : kAttrArchive;
    if (!(st.st_mode & S_IWUSR)) a |= kAttrReadOnly;
    *attrs = a;
    return 0;
}

int plat_set_attrs(const std::string &path, uint32_t attrs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -errno;
    mode_t mode = st.st_mode & 07777;
    mode = (attrs & kAttrReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return result_of(chmod(path.c_str(), mode));
}

int plat_make_dir(const std::string &path) { return result_of(mkdir(path.c_str(), 0755)); }

int plat_delete_file(const std::string &path) { return result_of(unlink(path.c_str())); }

// A file whose mode cannot be changed belongs to another user.
bool plat_may_delete_locked_file() { return false; }

}  // namespace sl
