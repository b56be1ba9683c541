// The hidden folder that holds the status file and the parameter files.
#pragma once

#include <string>

#include "files/files_common.h"

namespace sl {

// Makes `folder` a hidden directory and opens the session's status record
// there; records in `file` the folder and whether the file can be used.
void PrepareLogFolder(StatusFile *file, const std::string &folder);

}  // namespace sl
