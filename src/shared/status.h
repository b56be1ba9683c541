// The one result vocabulary below the entry points: a code and a fixed
// reason text. The platform layer answers 0 or a negative error instead;
// the entry points turn a Status into 1 or 0, a trace line and, for the
// codes an operator must see, a message box (api/entry_points.cpp).
#pragma once

#include <cstdint>

namespace sl {

enum class StatusCode : uint8_t {
    Ok = 0,
    Refused,   // the request does not fit: job properties, a second session
    NoMemory,  // the job's memory could not be taken
    NoBoard,   // the board could not be reached or did not open the job
    Aborted,   // the job was aborted (by the host or the board) before the call
    Stopped,   // the board stopped the job before it was complete
    Failed,    // a fatal error ended the job
};

struct Status {
    StatusCode code = StatusCode::Ok;
    const char *reason = "";  // fixed text, never owned

    constexpr bool ok() const { return code == StatusCode::Ok; }
    static constexpr Status Good() { return {}; }
    static constexpr Status Bad(StatusCode c, const char *why) { return {c, why}; }
};

}  // namespace sl
