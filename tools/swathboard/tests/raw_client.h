// A bare TCP client for driving the board in tests. It encodes packets by
// hand, independently of the emulator's own byte helpers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swathboard.h"

namespace sbtest {

using Packet = std::array<std::uint8_t, 64>;

// Each test owns one loopback address, so tests can run in parallel; the
// enum keeps the octets distinct. 200..250 is this tool's range.
enum TestAddress : std::uint8_t {
    kAddrJobCreatePerPreset = 200,
    kAddrSwathStored,
    kAddrSwathRepeat,
    kAddrSwathStreamed,
    kAddrSwathTagBits,
    kAddrDebugPrintStatus,
    kAddrOtherCommands,
    kAddrJsonLog,
    kAddrRefuse,
    kAddrDelay,
    kAddrSilence,
    kAddrCloseAfterSwaths,
    kAddrCloseMidData,
    kAddrSwathFaults,
    kAddrClearFaults,
    kAddrReplace,
    kAddrRefuseConnections,
    kAddrRefuseAtStart,
    kAddrCloseThenRefuse,
    kAddrDrop,
    kAddrCliProgram,
    kAddrOversizedSwath,
    kAddrSheetDots,
    kAddrSheetFeed,
    kAddrSheetColumnSplit,
    kAddrSheetProgram,
    kAddrSwathNewJob,
    kAddrCloseUnderSwath,
    kAddrLaterPresets,
    kAddrCloseOnCommand,
    kAddrCancelNext,
    kAddrExtraAnswer,
    kAddrUnsolicited,
    kAddrSheetStreamed,
    kAddrSheetWhole,
    kAddrSheetStreamChecks,
    kAddrAnswerLatency = 249,
    kAddrEnd,
};
static_assert(kAddrEnd <= 251, "test addresses must stay within 127.0.0.200-250");

std::string TestIp(TestAddress a);

struct BoardStopper {
    void operator()(swathboard::Board *b) const { swathboard::StopBoard(b); }
};
using BoardHandle = std::unique_ptr<swathboard::Board, BoardStopper>;

// Starts a board on the test's address; fails the test (empty handle) if it
// cannot.
BoardHandle StartTestBoard(TestAddress a, swathboard::BoardConfig config = {});

class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    // 0 on success, else the errno of the failed connect.
    int Connect(const std::string &ip);
    bool Send(const std::uint8_t *bytes, std::size_t n);
    // Sends a packet with the host's 0x79 ORed into byte 1 unless tag is false.
    bool SendPacket(Packet p, bool tag = true);
    // Reads exactly n bytes within timeout_ms.
    bool Read(std::size_t n, std::vector<std::uint8_t> *out, int timeout_ms = 2000);
    // True when no byte arrives within ms (and the link stays up).
    bool Quiet(int ms);
    // True when the board closes the link within timeout_ms.
    bool ClosedByPeer(int timeout_ms = 2000);
    void Close();

private:
    int fd_ = -1;
};

// Connects, retrying for up to two seconds while a freshly started program
// begins to listen.
bool ConnectWhenListening(RawClient *c, const std::string &ip);
// Starts `program` with `args` (argv[0] included) in a child process; the
// child's pid, or -1.
int SpawnProgram(const char *program, std::vector<std::string> args);

// Packet builders, little-endian by hand.
void Put(Packet *p, std::size_t at, std::size_t width, std::uint32_t v);
std::uint32_t Get(const std::vector<std::uint8_t> &b, std::size_t at, std::size_t width);
Packet CommandPacket(std::uint8_t code);
Packet DebugPacket(std::uint16_t sub_code, std::uint16_t job_id);
Packet SwathPacket(std::uint32_t len, std::uint32_t swath_sn);
std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed);

// Reference checksum, written straight from the definition.
std::uint16_t ReferenceChecksum(const std::vector<std::uint8_t> &bytes, std::size_t n, std::uint16_t type);

// Sends one command and reads its reply of `reply_len` bytes.
bool Exchange(RawClient *c, const Packet &p, std::size_t reply_len, std::vector<std::uint8_t> *reply);
// Sends a swath packet and its data, reads the 18-byte reply.
bool ExchangeSwath(RawClient *c, std::uint32_t swath_sn, const std::vector<std::uint8_t> &data,
                   std::vector<std::uint8_t> *reply);

}  // namespace sbtest
