// Command codes, reply sizes and status values of the board protocol.
#pragma once

#include <cstddef>
#include <cstdint>

namespace swathboard {

constexpr std::uint16_t kBoardPort = 4000;
constexpr std::size_t kPacketSize = 64;

// Every packet leaves the host with these bits ORed into byte 1.
constexpr std::uint8_t kSenderTagBits = 0x79;

constexpr std::uint8_t NET_CMD_DEBUG = 1;
constexpr std::uint8_t NET_CMD_JOB_CREATE = 2;
constexpr std::uint8_t NET_CMD_PRINT_START = 8;
constexpr std::uint8_t NET_CMD_SWATH_CREATE = 9;
constexpr std::uint8_t NET_CMD_PRINT_END = 18;

constexpr std::uint16_t NET_DEBUG_PAUSE = 20;
constexpr std::uint16_t NET_DEBUG_CONTINUE = 21;
constexpr std::uint16_t NET_DEBUG_STOP = 22;
constexpr std::uint16_t NET_DEBUG_SYNCY = 23;

enum SwathCreateState : std::uint16_t {
    SWATH_CREAT_NULL = 0,
    SWATH_CREAT_OK = 1,
    SWATH_CREAT_TIMEOUT = 2,
    SWATH_CREAT_SN_ERROR = 3,
    SWATH_CREAT_SN_REPEAT = 4,
    SWATH_CREAT_CMDBUFFER_OVERFLOW = 5,
    SWATH_CREAT_SWATHBUFFER_OVERFLOW = 6,
    SWATH_CREAT_DATABUFFER_OVERFLOW = 7,
};

// Reply status byte values.
constexpr std::uint8_t kStatusAccepted = 0;
constexpr std::uint8_t kStatusRefused = 1;
constexpr std::uint8_t kStatusTooWide = 6;           // swath reply
constexpr std::uint8_t kStatusPrinterCancelled = 8;  // swath reply
constexpr std::uint8_t kStatusJobHanging = 8;        // job-create reply

// Print status in debug and swath answers: the job was cancelled on the printer.
constexpr std::uint16_t kPrintStatusCancelled = 1;

// Reply header offsets.
constexpr std::size_t kReplyCode = 0;
constexpr std::size_t kReplySelectorLow = 1;
constexpr std::size_t kReplyStatus = 2;
constexpr std::size_t kReplySelectorHigh = 3;
constexpr std::size_t kReplyPrintStatus = 4;
constexpr std::size_t kReplySwathState = 6;

// Where the closing checksum word stands; the reply ends right after it.
constexpr std::size_t ChecksumOffset(std::uint8_t code) {
    switch (code) {
    case NET_CMD_DEBUG:
    case NET_CMD_SWATH_CREATE: return 16;
    case NET_CMD_JOB_CREATE: return 430;
    default: return 12;
    }
}

constexpr std::size_t ReplyLength(std::uint8_t code) { return ChecksumOffset(code) + 2; }

// A swath never exceeds the head's slice budget (116640 slices of 360 bytes);
// anything larger means the stream is out of step, so the board drops it.
constexpr std::uint32_t kMaxSwathData = 116640u * 360u;

const char *CommandName(std::uint8_t code);

}  // namespace swathboard
