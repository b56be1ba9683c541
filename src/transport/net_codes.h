// Codes the units of src/transport share: the board's command codes and
// debug sub-codes, its answers to a swath, the packet size, the states
// of the transmit thread's print-state machine and the threads' wake-ups.
#pragma once

#include <atomic>
#include <cstdint>

namespace sl {

enum : uint8_t {
    NET_CMD_DEBUG = 1,
    NET_CMD_JOB_CREATE = 2,
    NET_CMD_PRINT_START = 8,
    NET_CMD_SWATH_CREATE = 9,
    NET_CMD_PRINT_END = 18,
};
enum : uint8_t {
    NET_DEBUG_PAUSE = 20,
    NET_DEBUG_CONTINUE = 21,
    NET_DEBUG_STOP = 22,
    NET_DEBUG_SYNCY = 23,
};
enum : uint16_t {
    SWATH_CREAT_NULL,
    SWATH_CREAT_OK,
    SWATH_CREAT_TIMEOUT,
    SWATH_CREAT_SN_ERROR,
    SWATH_CREAT_SN_REPEAT,
    SWATH_CREAT_CMDBUFFER_OVERFLOW,
    SWATH_CREAT_SWATHBUFFER_OVERFLOW,
    SWATH_CREAT_DATABUFFER_OVERFLOW,
};

constexpr int kPacketBytes = 64;

// TxState values: what the transmit thread is asked to do next.
enum : uint8_t {
    TX_RUNNING = 0,
    TX_ALL_RESUME = 1,
    TX_ALL_PAUSE = 2,
    TX_ALL_CANCEL = 3,
    TX_SEND_PAUSE = 4,
    TX_SEND_CONTINUE = 5,
    TX_SEND_CANCEL = 6,
    TX_QUIT_STATUS = 10,
};

}  // namespace sl
