// The hidden folder that holds the status file and the parameter files.
#pragma once

namespace sl {

// Makes the folder a hidden directory and opens the session's status
// record; records in gStatusFile whether the file can be used.
void PrepareLogFolder();

}  // namespace sl
