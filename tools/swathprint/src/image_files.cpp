// Temporary names and the rename that makes an output file appear whole.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "image.h"

namespace swathprint {

std::string TempNameFor(const std::string &path) { return path + ".part-" + std::to_string(getpid()); }

bool CommitFile(const std::string &temp_path, const std::string &path, std::string *error) {
    if (std::rename(temp_path.c_str(), path.c_str()) == 0) return true;
    std::remove(temp_path.c_str());
    *error = "cannot write " + path;
    return false;
}

}  // namespace swathprint
