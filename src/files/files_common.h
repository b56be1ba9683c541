// Names the units of src/files share: the printer's status file and the
// codes of status posts and companion requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace sl {

// Whether the status file can be used this session.
enum class StatusFileAccess : int32_t {
    Unprepared = 0,  // the hidden folder could not be prepared: nothing is read or written
    Ready = 1,
    NotWritable = -1,  // the file could not be made writable or written
};

// The printer's status file: its folder and whether it can be used. Written
// by the host thread at session and job start, read by the transmit thread
// that takes the companion's requests.
struct StatusFile {
    std::string folder;  // the hidden folder, fixed when the session opens
    std::atomic<StatusFileAccess> access{StatusFileAccess::Unprepared};
    std::atomic<uint16_t> requestSerialSeen{0};  // request serial last taken
    std::atomic<uint16_t> statusSerial{0};       // status serial last written
};

// StateCode of the status record.
enum : uint8_t {
    kStateIdle = 0,
    kStatePrinting = 2,
};

// Status posts and companion requests.
enum : uint8_t {
    kPostJobStart = 2,
    kRequestAlignment = 9,
    kRequestPause = 20,
    kRequestContinue = 21,
    kRequestStop = 22,
};

}  // namespace sl
