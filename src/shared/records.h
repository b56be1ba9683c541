// Process-wide records shared by the subsystems of the library.
//
// The byte layouts of UISetupPara, PrintCfgRecord and SPara are fixed by the
// board and by the companion application; every field sits at its offset and
// static_asserts pin the ones other programs read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "swathlink/swathlink.h"

namespace sl {

constexpr uint32_t kNozzleDpi = 360;    // vertical dpi of one channel
constexpr uint32_t kNozzleLines = 360;  // lines one colour covers per sweep
constexpr uint32_t kChannels = 8;
constexpr uint32_t kSliceBytes = 360;  // 8 channels x 180 nozzles x 2 bits
constexpr uint32_t MAX_SLICE_NUMBER = 116640;
constexpr uint32_t kSwathBufferBytes = 2 * MAX_SLICE_NUMBER * kSliceBytes;  // the formatted swath
constexpr uint32_t kExpandBufferBytes = 170760;
constexpr uint32_t kEmptyLineBytes = 170757;

// ---------------------------------------------------------------------------
// Board parameter block, 420 bytes, received with the NET_CMD_JOB_CREATE
// answer. The three channel arrays (hori1, hori2, vert) are stored out of
// channel order; use the accessors in transport/parameter_block.h.
#pragma pack(push, 1)
struct UISetupPara {
    uint8_t sig[2];            // 0: 0x55 0x49 "UI"
    uint8_t ver;               // 2: 1
    uint8_t res3;              // 3
    uint16_t hori1[8];         // 4..19 (ch1 at 4 = Acol/ingroup, ch2 at 8 = Bcol/outgroup)
    uint16_t hori2[8];         // 20..35 (ch1 at 20 = Bidi)
    uint16_t vert[6];          // 36..47 (ch4 36, ch5 38, ch1 40, ch2 42, ch3 44, ch0 46)
    uint8_t res48;             // 48
    uint8_t PrintSpeed;        // 49: head speed (also the "head type" of the speed table)
    uint8_t Dir;               // 50: print-direction mode
    uint8_t res51[2];          // 51
    uint8_t b53;               // 53
    uint8_t res54[2];          // 54
    uint8_t SpeedValue;        // 56: speed value sent to the board
    uint8_t res57[3];          // 57
    uint16_t w60;              // 60
    uint16_t w62;              // 62
    uint8_t headnum;           // 64
    uint8_t res65[2];          // 65
    uint8_t chantable[8];      // 67..74: [0] soften byte, [2..5] channel map, [6] stripe mode
    uint8_t res75;             // 75
    uint16_t head2[6];         // 76..87 second-head values
    uint16_t StepBase;         // 88: base step value
    uint8_t b90;               // 90
    uint8_t b91;               // 91
    uint16_t w92;              // 92
    uint16_t w94;              // 94
    uint32_t d96;              // 96
    uint16_t vert67[2];        // 100, 102: vert ch6, ch7
    uint8_t StripeSize;        // 104: low nibble width mm, high nibble gap mm
    uint8_t d4c;               // 105: head-select byte
    uint8_t res106[22];        // 106
    uint16_t w128;             // 128
    uint8_t res130[4];         // 130
    uint16_t CurFWVersion;     // 134
    uint32_t d136;             // 136
    uint8_t res140[2];         // 140
    uint16_t w142;             // 142
    uint8_t res144[2];         // 144
    uint16_t w146;             // 146
    uint8_t res148[2];         // 148
    uint16_t w150;             // 150
    uint8_t res152[2];         // 152
    uint8_t group[8][6];       // 154..201: per resolution class, see kGroup* below
    uint16_t flags;            // 202
    uint8_t res204[2];         // 204
    uint16_t headoffset2[2];   // 206, 208: "2headoffset"
    uint8_t res210[12];        // 210
    int8_t vertoffset[8];      // 222
    uint8_t rev[4];            // 230..233: rev2 (232) is b1Rev2, the channel-map revision
    int8_t x360_lalign[8];     // 234
    int8_t x360_ralign[8];     // 242
    int8_t x720_lalign[8];     // 250
    int8_t x720_ralign[8];     // 258
    int8_t h2_x360_lalign[8];  // 266
    int8_t h2_x360_ralign[8];  // 274
    int8_t h2_x720_lalign[8];  // 282
    int8_t h2_x720_ralign[8];  // 290
    uint8_t res298[122];       // 298..419
};
#pragma pack(pop)

// Bytes of one group record (one per resolution class).
enum : uint8_t {
    kGroupIngroup = 0,
    kGroupVsd4 = 1,
    kGroupOutgroup = 2,
    kGroupVsd3 = 3,
    kGroupHigh = 4,  // bidirectional offset at PrintSpeed kPrintSpeedHigh
    kGroupLow = 5,   // bidirectional offset at other speeds
};

// Values of UISetupPara fields that carry meaning.
constexpr uint8_t kPrintSpeedHigh = 7;     // PrintSpeed: high-speed head (picks the group's kGroupHigh byte)
constexpr uint8_t kPrintSpeedLow = 5;      // PrintSpeed the older answer layout reports for any other head
constexpr uint8_t kDirBidirectional = 11;  // Dir: swaths print in both directions
constexpr uint8_t kRevisionWithAlignment = 160;  // rev[2] from which the answer carries the alignment
                                                 // arrays and the board's channel map is used
// SpeedValue the older answer layout sets, and the one the speed table
// falls back to for an XDPI it does not list.
constexpr uint8_t kOlderLayoutSpeedValue = 25;
constexpr uint8_t kUnlistedXdpiSpeedValue = 23;

static_assert(sizeof(UISetupPara) == 420);
static_assert(offsetof(UISetupPara, hori1) == 4);
static_assert(offsetof(UISetupPara, hori2) == 20);
static_assert(offsetof(UISetupPara, vert) == 36);
static_assert(offsetof(UISetupPara, PrintSpeed) == 49);
static_assert(offsetof(UISetupPara, Dir) == 50);
static_assert(offsetof(UISetupPara, SpeedValue) == 56);
static_assert(offsetof(UISetupPara, headnum) == 64);
static_assert(offsetof(UISetupPara, chantable) == 67);
static_assert(offsetof(UISetupPara, head2) == 76);
static_assert(offsetof(UISetupPara, StepBase) == 88);
static_assert(offsetof(UISetupPara, vert67) == 100);
static_assert(offsetof(UISetupPara, StripeSize) == 104);
static_assert(offsetof(UISetupPara, d4c) == 105);
static_assert(offsetof(UISetupPara, w128) == 128);
static_assert(offsetof(UISetupPara, CurFWVersion) == 134);
static_assert(offsetof(UISetupPara, d136) == 136);
static_assert(offsetof(UISetupPara, w150) == 150);
static_assert(offsetof(UISetupPara, group) == 154);
static_assert(offsetof(UISetupPara, flags) == 202);
static_assert(offsetof(UISetupPara, headoffset2) == 206);
static_assert(offsetof(UISetupPara, vertoffset) == 222);
static_assert(offsetof(UISetupPara, rev) == 230);
static_assert(offsetof(UISetupPara, x360_lalign) == 234);
static_assert(offsetof(UISetupPara, x720_ralign) == 258);
static_assert(offsetof(UISetupPara, h2_x720_ralign) == 290);
static_assert(offsetof(UISetupPara, b53) == 53);
static_assert(offsetof(UISetupPara, w60) == 60);
static_assert(offsetof(UISetupPara, w62) == 62);
static_assert(offsetof(UISetupPara, b90) == 90);
static_assert(offsetof(UISetupPara, b91) == 91);
static_assert(offsetof(UISetupPara, w92) == 92);
static_assert(offsetof(UISetupPara, w94) == 94);
static_assert(offsetof(UISetupPara, d96) == 96);
static_assert(offsetof(UISetupPara, w142) == 142);
static_assert(offsetof(UISetupPara, w146) == 146);
static_assert(offsetof(UISetupPara, x360_ralign) == 242);
static_assert(offsetof(UISetupPara, x720_lalign) == 250);
static_assert(offsetof(UISetupPara, h2_x360_lalign) == 266);
static_assert(offsetof(UISetupPara, h2_x360_ralign) == 274);
static_assert(offsetof(UISetupPara, h2_x720_lalign) == 282);

// ---------------------------------------------------------------------------
// Pass geometry, set at job start and per swath.
struct PassInfo {
    uint8_t PassNum;
    uint8_t colors;
    uint32_t bytesperline;
    uint32_t LinesPerPass;
    uint32_t collet;
    uint32_t nozzledpi;
    uint32_t xdpi;
    uint32_t ydpi;
    uint32_t feeddots;
    uint16_t softendots;
    uint8_t softenmode;
    uint8_t passmode;
    uint8_t seqstep;
    uint8_t direction;
    uint8_t blankpass;
    uint32_t seq;  // the job's pass sequence number; drives every pass phase
    // Paper feed the job has asked for and the steps sent have not yet made,
    // in 1/(2880 * 35860 * ydpi) inch: a line is 2880 * 35860 of these and a
    // step at calibration para is para * ydpi, so the sum stays exact for any
    // YDPI and calibration. Starts at 0 with the job's pass geometry.
    int64_t feedOwed;
};

// Format record read by swath formatting.
struct FormatInfo {
    uint32_t bytesperline;
    uint8_t colors;
    uint8_t C1[8];
    uint8_t C2[8];
    uint8_t planemap[16];  // channel -> bit number in every swath byte
    int8_t direction;      // 0 = L_TO_R, other = R_TO_L
};

constexpr uint8_t L_TO_R = 0;
constexpr uint8_t R_TO_L = 1;

// ---------------------------------------------------------------------------
// Abort and pause, as the host asked through the entry points or the
// companion through the status file. They belong to the printer and outlive
// its jobs; every thread of a job reads them.
struct JobRequests {
    std::atomic<bool> abort{false};
    std::atomic<bool> pause{false};
};
inline void RequestAbort(JobRequests *r) { r->abort.store(true); }
inline void RequestPause(JobRequests *r, bool pause) { r->pause.store(pause); }
inline void ClearRequests(JobRequests *r) {
    r->abort.store(false);
    r->pause.store(false);
}
inline bool AbortRequested(const JobRequests *r) { return r->abort.load(); }
inline bool PauseRequested(const JobRequests *r) { return r->pause.load(); }

// The link's addresses: the board's and the PC's (from the status file's
// address record at InitPrinter) and the board's hardware address. Part of
// the printer; the job's link reads them.
struct LinkAddresses {
    char boardIp[128] = "196.12.0.25";
    char localIp[128] = "196.12.0.188";
    char boardMacText[18] = "00-60-03-6e-21-04";
    uint8_t boardMac[6] = {0x00, 0x60, 0x03, 0x6e, 0x21, 0x04};
};

// ---------------------------------------------------------------------------
// Link context: one per job, shared by the host thread, the transmit,
// receive and heartbeat threads. Cross-thread fields are atomics; a thread
// that waits for another naps on one of the link's signals.
struct LinkContext {
    std::atomic<PlatSocket> socket{kInvalidSocket};
    std::atomic<bool> TxEnable{false};
    std::atomic<bool> TxEnded{true};
    PlatThread *TxThread = nullptr;
    std::atomic<bool> RxEnable{false};
    std::atomic<bool> RxEnded{true};
    PlatThread *RxThread = nullptr;
    PlatThread *HeartThread = nullptr;
    std::atomic<uint32_t> LastCmd{0};
    std::atomic<bool> ReplyOk{false};
    std::atomic<uint32_t> ErrorCode{0};  // kLinkError*
    std::atomic<bool> PrintStopFlag{false};
    std::atomic<bool> ResendReq{false};
    std::atomic<uint32_t> SwathSN{1};
    std::atomic<bool> PrintEndFlag{false};
    std::atomic<uint16_t> JobId{0};
    std::atomic<uint16_t> SyncCount{0};
    // The board answers the packets of one connection in order, so the n-th
    // reply answers the n-th packet. Counted per connection: packets sent,
    // replies read, and the number of the outstanding command's first copy;
    // a reply numbered below it answers an earlier command's copy.
    std::atomic<uint32_t> PacketsSent{0};
    std::atomic<uint32_t> RepliesRead{0};
    std::atomic<uint32_t> AwaitFrom{0};
    // Set once a reply came with no packet left to answer: the count is out of
    // step, and no answer of this connection is believed until a new
    // connection restarts it.
    std::atomic<bool> OutOfStep{false};
    // Set while the receive thread matches a reply to the outstanding command.
    std::atomic<bool> Matching{false};
    // Set while one thread replaces the connection; counts successful
    // connects, so a thread can tell its connection was replaced; set while
    // the receive thread is inside a receive.
    std::atomic<bool> reconnecting{false};
    std::atomic<uint32_t> connectionSerial{0};
    std::atomic<bool> receiving{false};
    // The printer's: abort and pause, and where the board is.
    const JobRequests *requests = nullptr;
    LinkAddresses *addresses = nullptr;
    // Raised when a reply was taken, and when the link's state changes
    // (a flag set, a thread ended, a reconnection over).
    PlatSignal *answered = nullptr;
    PlatSignal *changed = nullptr;
};

inline bool AbortRequested(const LinkContext *link) { return AbortRequested(link->requests); }
inline bool PauseRequested(const LinkContext *link) { return PauseRequested(link->requests); }

// LinkContext::ErrorCode: why the job's swaths stopped.
enum : uint32_t {
    kLinkErrorNone = 0,
    kLinkErrorAssemblyStopped = 1,  // the host side stopped assembling (abort or board stop)
    kLinkErrorSwathNotSent = 8,     // the transmit thread could not send a swath
};

// The one reusable 64-byte command record.
struct NetCommand {
    uint8_t packet[64] = {};
    std::atomic<uint32_t> CmdStatus{0};  // 0 idle, 1 pending, 3 answered
};

// ---------------------------------------------------------------------------
// Swath queue.
struct SwathEntry {
    uint32_t Len = 0;
    uint32_t Pstart = 0;
    uint32_t Pend = 0;
    uint32_t NextStart = 0;
    uint16_t Step = 0;
    std::atomic<uint8_t> State{1};  // 1 free, 5 reserved, 2 ready
    uint8_t Direction = 0;
    uint8_t *Data = nullptr;
    uint8_t *Buffer = nullptr;
    uint16_t Mode = 0;
    uint16_t FeedUnits = 0;
};

struct SwathQueue {
    SwathEntry Slots[3];
    // Raised when the sender frees a slot, and when a swath is published.
    PlatSignal *space = nullptr;
    PlatSignal *ready = nullptr;
    std::atomic<uint8_t> QHead{0};
    std::atomic<uint8_t> QTail{0};
    std::atomic<int> Sendable{0};
    int OverflowReported = 0;
    std::atomic<int> EmptyRun{0};
};

// ---------------------------------------------------------------------------
// Status record shared with the companion application, 288 bytes.
#pragma pack(push, 1)
struct PrintCfgRecord {
    uint8_t tag[16];        // 0
    uint16_t JobId;         // 16
    uint16_t StatusSerial;  // 18
    uint8_t StateCode;      // 20
    uint8_t PostedCmd;      // 21
    uint16_t XRes;          // 22
    uint16_t YRes;          // 24
    uint16_t Stride;        // 26
    uint16_t Width;         // 28
    uint16_t Height;        // 30
    uint16_t Colors;        // 32
    uint16_t Bits;          // 34
    uint16_t Passes;        // 36
    uint16_t VsdMode;       // 38
    uint16_t SpeedClass;    // 40
    uint16_t SpeedValue;    // 42
    uint16_t Align0;        // 44
    uint16_t Align2;        // 46
    uint16_t BidiHigh;      // 48
    uint16_t BidiLow;       // 50
    uint16_t FeedStep;      // 52
    uint8_t res54[32];      // 54
    uint16_t ReqSerial;     // 86
    uint8_t ReqType;        // 88
    uint8_t res89;          // 89
    uint16_t ReqArg1;       // 90
    uint16_t ReqArg2;       // 92
    uint8_t res94[62];      // 94
    uint32_t AddrMark;      // 156
    uint32_t PcAddr;        // 160
    uint32_t BoardAddr;     // 164
    uint8_t res168[112];    // 168
    uint8_t res280[4];      // 280
    uint16_t Checksum;      // 284
    uint8_t res286[2];      // 286
};

// Copy of the parameter block written at every job start, 428 bytes.
struct SPara {
    uint16_t JobId;
    uint16_t res2;
    uint16_t changeSn;
    uint16_t res6;
    UISetupPara para;
};
#pragma pack(pop)

static_assert(sizeof(PrintCfgRecord) == 288);
static_assert(offsetof(PrintCfgRecord, ReqSerial) == 86);
static_assert(offsetof(PrintCfgRecord, ReqArg2) == 92);
static_assert(offsetof(PrintCfgRecord, AddrMark) == 156);
static_assert(offsetof(PrintCfgRecord, Checksum) == 284);
static_assert(sizeof(SPara) == 428);

// The job's mode as the board is told it, set at job start.
struct BoardMode {
    uint32_t xdpi;  // the host's XDPI (not halved for 720)
    uint32_t ydpi;
    uint8_t pass;  // pass count told to the board
    uint8_t vsd;   // low byte of VsdMode
};

}  // namespace sl
