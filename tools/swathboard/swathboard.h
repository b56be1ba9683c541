// swathboard: an in-process emulator of the printer's control board.
//
// It listens on a loopback address, port 4000, takes one connection at a
// time, answers every 64-byte command packet the way the board does, keeps a
// log of everything it was sent and stores the data of each accepted swath.
// Faults can be switched on while it runs, so tests can drive the host side
// through refusals, late or missing answers, dropped links and printer-side
// job stops.
//
// All encoding and decoding here is written from the wire tables on its own,
// so that a layout slip on the host side shows up as a mismatch.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace swathboard {

// ---------------------------------------------------------------------------
// Parameter block carried in the answer to NET_CMD_JOB_CREATE.

enum class Layout : std::uint8_t {
    kOlder,  // answer bytes 1 and 3 both 0
    kNewer,  // answer bytes 1 and 3 from ParamPreset::selector
};

// Answer bytes 14, 95 and 94.
enum class Markers : std::uint8_t {
    kClassic,   // 15, 29, 29
    kExtended,  // 0xEF, 0xC9, 0xB8
    kBroken,    // 0, 0, 0: the host must reject the block
};

// One resolution class of the group table (answer bytes 186 + 6 * class).
struct GroupRecord {
    std::uint8_t ingroup = 0;
    std::uint8_t vsd4 = 0;
    std::uint8_t outgroup = 0;
    std::uint8_t vsd3 = 0;
    std::uint8_t bidi_high_speed = 0;  // bidirectional offset at print speed 7
    std::uint8_t bidi_low_speed = 0;   // at the other speeds
};

// A raw answer byte, for fields that have no named setting.
struct BytePoke {
    std::uint16_t offset = 0;
    std::uint8_t value = 0;
};

// Group records of a board whose ingroup/outgroup bases are 54 and 178,
// scaled per resolution class (outgroup kept to a byte, as the board does).
inline constexpr std::array<GroupRecord, 8> kDefaultGroups = {{
    {20, 0, 66, 0, 20, 21},
    {27, 0, 89, 0, 20, 21},
    {40, 0, 133, 0, 19, 20},
    {54, 0, 178, 0, 19, 20},
    {81, 0, 11, 0, 18, 19},
    {108, 0, 100, 0, 18, 19},
    {162, 0, 22, 0, 17, 18},
    {216, 0, 200, 0, 17, 18},
}};

constexpr std::uint8_t kDirModeBidirectional = 11;
constexpr std::uint8_t kAlignRevision = 160;  // b1Rev2 from which alignment arrays exist

// The board's settings, as named values. JobCreateAnswer() places each at
// its answer bytes. Arrays indexed by channel are in channel order ch0..ch7.
// A default-constructed preset is the same as NewerPreset().
//
// Some answer bytes belong to two fields at once. The later writer wins:
//   1. header, older-layout fields (dir_mode .. fw_version);
//   2. newer layout only: hori1, hori2, vert, the second-head words, the
//      channel table, stripe and head bytes, rev, vertoffset, groups;
//   3. newer layout with rev[2] >= 160 only: the four alignment arrays, so
//      they override hori1/hori2 where they share bytes (16-17, 22-25,
//      30-33, 42-43, 52-55, 60-61, 64-65, 68-71);
//   4. the marker bytes;
//   5. pokes, in order.
// Answer byte 17 (an unnamed older-layout field) is hori1 ch0's high byte,
// or x360_lalign ch1; set it with a poke only when neither is in force.
struct ParamPreset {
    Layout layout = Layout::kNewer;
    std::uint16_t selector = 0x0001;  // newer layout: low byte -> answer byte 1, high -> byte 3
    Markers markers = Markers::kExtended;

    // Read by the older decoding (which the newer one runs first).
    std::uint8_t dir_mode = 0;       // byte 7; kDirModeBidirectional for two-way printing
    std::uint8_t speed_byte = 7;     // byte 13: 7 selects the high print speed
    std::uint16_t acol = 56;         // bytes 26-27: ingroup base (0 means "board default")
    std::uint16_t bcol = 184;        // bytes 28-29: outgroup base
    std::uint16_t bidi = 20;         // bytes 34-35: bidirectional base
    std::uint16_t base_step = 4810;  // bytes 50-51: base step calibration
    std::uint16_t fw_version = 700;  // byte 84 + 256 * (byte 85 & 0x3F)
    std::uint8_t fw_top_bits = 0;    // top two bits of byte 85, not part of the version

    // Newer layout only.
    std::array<std::uint16_t, 8> hori1 = {41, 54, 178, 43, 45, 47, 49, 51};
    std::array<std::uint16_t, 8> hori2 = {21, 22, 23, 24, 25, 26, 27, 28};
    std::array<std::uint16_t, 8> vert = {4800, 4802, 4804, 4806, 4808, 4812, 4814, 4816};  // step calibration
    std::array<std::uint16_t, 6> second_head = {0, 0, 0, 0, 0, 0};       // bytes 74, 76, 78, 96, 98, 100
    std::array<std::uint16_t, 2> two_head_offset = {0, 0};               // bytes 102, 104
    std::uint8_t soften = 0;                                             // byte 106
    std::array<std::uint8_t, 4> channel_map = {0x11, 0x22, 0x33, 0x44};  // bytes 108-111
    std::uint8_t stripe_mode = 0;                                        // byte 112
    std::uint8_t d4c = 0;                                                // byte 114
    std::uint8_t stripe_size = 0x23;                    // byte 115: low nibble width, high nibble gap (mm)
    std::uint8_t headnum = 1;                           // byte 120
    std::array<std::uint8_t, 4> rev = {0, 0, 0x90, 0};  // bytes 156-159; rev[2] is b1Rev2
    std::array<std::int8_t, 8> vertoffset = {0, 1, -1, 2, -2, 3, -3, 0};  // bytes 160-167
    std::array<GroupRecord, 8> groups = kDefaultGroups;  // bytes 186-233, classes 225/270 .. 2400/2880
    std::uint16_t group_flags = 0;                       // bytes 234-235

    // Newer layout with rev[2] >= kAlignRevision only.
    std::array<std::int8_t, 8> x360_lalign = {};
    std::array<std::int8_t, 8> x360_ralign = {};
    std::array<std::int8_t, 8> x720_lalign = {};
    std::array<std::int8_t, 8> x720_ralign = {};

    std::vector<BytePoke> pokes;  // applied last
};

ParamPreset OlderPreset();       // older layout, firmware 300
ParamPreset NewerPreset();       // newer layout, firmware 700, no alignment arrays
ParamPreset NewerAlignPreset();  // newer layout, firmware 700, b1Rev2 = 0xA0 and alignment arrays
// "old", "new" or "new-align"; false for any other name.
bool PresetByName(std::string_view name, ParamPreset *preset);

constexpr std::size_t kJobCreateAnswerLength = 432;

// The full NET_CMD_JOB_CREATE answer (checksum word included) for `preset`.
std::vector<std::uint8_t> JobCreateAnswer(const ParamPreset &preset, std::uint8_t status);

// ---------------------------------------------------------------------------
// Faults. Counts are of packets that arrive after the fault is armed.

enum class SwathFault : std::uint8_t {
    kPrinterCancel,  // status 8
    kTooWide,        // status 6
    kSequenceError,  // status 0, swath state SWATH_CREAT_SN_ERROR
};

struct SwathFaultAt {
    SwathFault fault = SwathFault::kPrinterCancel;
    std::uint32_t nth_swath = 1;  // 1 = the next swath
};

// Drops the connection on the nth swath packet: after its answer, or, with
// after_data_bytes >= 0, after reading that many of its data bytes (no
// answer, nothing stored). refuse_ms > 0 also stops listening that long.
struct CloseFault {
    std::uint32_t nth_swath = 1;
    std::int64_t after_data_bytes = -1;
    std::uint32_t refuse_ms = 0;
    // Non-zero: fires on the first packet carrying this SwathSN instead, so a
    // test can cut the link under a given swath however often earlier ones
    // were resent.
    std::uint32_t swath_sn = 0;
    // A command code other than NET_CMD_SWATH_CREATE: fires on the next
    // packet of that command instead of a swath. The link goes after its
    // answer, or, with after_data_bytes >= 0, before it (the command is
    // logged as dropped and never answered).
    std::uint8_t command = 0;
};

// The next `count` commands of `code` are refused (value = the status),
// answered late (value = delay in ms) or never answered; kAnswerTwice
// answers the `count`-th next command of `code` twice.
struct CommandFault {
    enum Kind : std::uint8_t { kRefuse, kDelay, kSilence, kAnswerTwice };
    Kind kind = kRefuse;
    std::uint8_t code = 0;
    std::uint32_t count = 0;
    std::uint32_t value = 1;
};

// An answer the board sends on its own, answering no packet: a status 0
// answer of `code` (a board that says OK twice, or out of turn).
struct UnsolicitedAnswer {
    std::uint8_t code = 0;
    std::uint8_t status = 0;
    std::uint32_t after_ms = 0;  // BoardConfig only: when, after StartBoard
};

// ---------------------------------------------------------------------------
// Running a board.

struct BoardConfig {
    std::string ip;  // must lie in 127.0.0.0/8 (see any_address); the port is always 4000
    // Accepts any IPv4 address: only for a board in a network namespace of
    // its own, as the link benchmark runs it over a veth pair.
    bool any_address = false;
    // Every answer leaves this long after its packet (and a swath's data) is
    // in, as a board that takes that long to act on a command. Reading goes
    // on meanwhile and answers keep their order; a DelayNext fault adds its
    // own hold on top.
    std::uint32_t answer_latency_ms = 0;
    ParamPreset preset = NewerPreset();
    std::string log_path;  // JSON lines, one per packet; empty = memory only
    // Print status of the answer to NET_DEBUG_STOP: 1 tells the host the job
    // was cancelled on the printer.
    std::uint16_t stop_print_status = 1;
    // Swath state sent with a swath whose SwathSN was already taken.
    std::uint16_t repeat_swath_state = 4;  // SWATH_CREAT_SN_REPEAT
    std::uint32_t refuse_connections_ms_at_start = 0;
    // The second, third ... answer to NET_CMD_JOB_CREATE carries these
    // settings in turn (the last one repeats), as a board whose settings
    // change between a late answer and the answer to the resent copy. The
    // first answer, and the printed sheet, use `preset`.
    std::vector<ParamPreset> later_job_create_presets;
    // Faults armed before the board listens, so not even the first packet
    // escapes them (the program's fault flags land here).
    std::vector<CommandFault> command_faults;
    std::optional<SwathFaultAt> swath_fault;
    std::optional<CloseFault> close;
    // An answer to no packet, sent once this long after the board started
    // (or as soon after as a host is connected).
    std::optional<UnsolicitedAnswer> unsolicited;
    // The image that frames the sheet (as SetImageSize; 0: none), and a
    // sheet streamed to this PNG (as StreamSheet; empty: none), both set
    // before the board listens, so not even the first swath escapes it.
    std::uint32_t image_width = 0, image_height = 0, image_xdpi = 0;
    std::string streamed_sheet_png;
    std::uint32_t streamed_preview_scale = 1;
};

struct Board;  // opaque

// Binds and listens before it returns, so a client may connect at once.
// Returns nullptr (and a reason in *error, when given) on a bad address or a
// socket failure.
Board *StartBoard(const BoardConfig &config, std::string *error);
// Closes every socket, joins the server thread and frees the board.
void StopBoard(Board *board);

// True for a dotted quad in 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view ip);

// ---------------------------------------------------------------------------
// Fault injection while running. Every setter is thread-safe and takes
// effect with the next packet; calling one again replaces its earlier
// setting. A refusal wins over a swath fault due on the same packet (which
// is then used up). RefuseConnections and DropConnection return once the
// server loop has carried them out.

void RefuseNext(Board *board, std::uint8_t code, std::uint32_t count, std::uint8_t status = 1);
void DelayNext(Board *board, std::uint8_t code, std::uint32_t count, std::uint32_t delay_ms);
void SilenceNext(Board *board, std::uint8_t code, std::uint32_t count);  // never answered
// The next `count` answers to `code` (NET_CMD_DEBUG or NET_CMD_SWATH_CREATE)
// report print status 1: the job was cancelled on the printer.
void CancelNext(Board *board, std::uint8_t code, std::uint32_t count);
// The nth next command of `code` is answered twice: the same answer, sent
// again right after the first.
void ExtraAnswerNext(Board *board, std::uint8_t code, std::uint32_t nth);
// Sends one answer of `answer.code` now, on the current connection (none is
// sent without one); returns once the server loop has sent it.
void SendUnsolicited(Board *board, const UnsolicitedAnswer &answer);
// Answers sent that answered no packet: the extra ones and the unsolicited.
std::uint32_t ExtraAnswersSent(const Board *board);
void InjectSwathFault(Board *board, SwathFault fault, std::uint32_t nth_swath);
void ArmClose(Board *board, const CloseFault &fault);
void RefuseConnections(Board *board, std::uint32_t ms);  // stop listening for ms
void DropConnection(Board *board);                       // close the current link now
void SetStopPrintStatus(Board *board, std::uint16_t print_status);
void ClearFaults(Board *board);

// ---------------------------------------------------------------------------
// What the board saw.

enum class ReplyTiming : std::uint8_t {
    kNow,      // answered at once
    kLate,     // answered after a DelayNext delay
    kNever,    // SilenceNext: not answered
    kDropped,  // the link went before an answer: ArmClose, the host closing
               // mid-data, or a Len too large for any swath
};

struct NamedField {
    std::string_view name;  // static text
    std::uint32_t value = 0;
};

struct PacketRecord {
    std::uint64_t index = 0;          // 0 for the first packet the board read
    std::uint32_t connection = 0;     // 1 for the first accepted connection
    std::uint64_t time_us = 0;        // since StartBoard: the packet and its data were in
    std::uint64_t first_byte_us = 0;  // since StartBoard: its first byte was read
    std::uint8_t code = 0;
    bool tag_bits = false;  // byte 1 carried the sender's 0x79 bits
    std::array<std::uint8_t, 64> raw = {};
    std::vector<NamedField> fields;  // decoded per command code
    std::uint32_t data_len = 0;      // swath data bytes read after the packet
    bool data_complete = true;
    bool duplicate = false;  // swath whose SwathSN was already stored
    bool stored = false;     // swath data kept under its SwathSN
    ReplyTiming timing = ReplyTiming::kNow;
    std::uint8_t status = 0;
    std::uint16_t print_status = 0;
    std::uint16_t swath_state = 0;
};

// Looks a decoded field up by name. Names per command code:
//   1  sub_code, JobId
//   2  JobId, b6, d4c, hires, w10, resolution, VSD, w26, w28, tag, w38
//   8  as 2, plus date, step_ref, Colors, b32, b33, step_cal
//   18 JobId, b6, d4c, tag
//   9  Len, area, length, firing_tag, direction, Step, speed, Pstart, Pend,
//      dir_flag, NextStart, fire_delay, FeedUnits, SwathSN, word56
bool FieldValue(const PacketRecord &record, std::string_view name, std::uint32_t *value);

// Records appear once a packet (and its data) has been read and its answer
// chosen, before the answer is sent.
std::vector<PacketRecord> Packets(const Board *board);
std::size_t CountPackets(const Board *board, std::uint8_t code);
bool WaitForPackets(const Board *board, std::uint8_t code, std::size_t count,
                    std::chrono::milliseconds timeout);

std::uint32_t ConnectionCount(const Board *board);
bool WaitForConnections(const Board *board, std::uint32_t count, std::chrono::milliseconds timeout);

// The swaths of the current job (an accepted NET_CMD_JOB_CREATE starts a
// new one, whose SwathSNs count afresh).
std::vector<std::uint32_t> StoredSwathNumbers(const Board *board);  // ascending
bool StoredSwath(const Board *board, std::uint32_t swath_sn, std::vector<std::uint8_t> *data);

// ---------------------------------------------------------------------------
// The printed sheet.
//
// The board prints every swath it accepts (each SwathSN once, in the order
// they arrived) the way a perfect printer with this head would, from the
// settings it sent in its own job-create answer:
//   - Across: slice i of a left-to-right swath fires at carriage slice
//     Pstart * k + i, of a right-to-left swath at Pstart * k - i (k = slices
//     per 1/180 inch for the job's resolution pair). Channel ch sits at the
//     pair's base offset plus its group distance from channel 7 (from the
//     ingroup/outgroup it sent). The head's per-channel mechanical errors are
//     exactly the lalign values it sent, and right-to-left firing lags by
//     the direction margin less the bidirectional value plus the ralign
//     values, so a correct host puts every dot on its own column.
//   - Down: the paper advances by each swath's Step times the step
//     calibration it sent for the job's pass count, divided by 35860 (in
//     1/2880 inch), exactly, whatever the calibration value. Nozzle n of the
//     odd channel of a colour prints 2n/360 inch below the head's top, of the
//     even channel (2n + 1)/360 inch. A dot lands on the nearest line of the
//     job's YDPI; how far the paper stands from a whole line is reported as
//     drift.
//   - Colour: channels print K, C, M or Y by the channel map it sent (the
//     built-in map when its map is absent or invalid); there is no light ink.
//   - In the 720-dpi column-split mode each pass carries every other column
//     at 720 dpi; which half follows from the pass's place in the feed cycle,
//     found from how far the paper has advanced.
//
// Image frame. Column 0 is the first column after the start side stripe and
// its gap (as the stripe settings the board sent place them, at the job's
// XDPI); row 0 is the first line of the job: the line that the first swath's
// window puts (paper-entry lines - lines per swath - vertical phase) lines
// below the head's top, where paper-entry lines = YDPI and the lines per swath
// follow from the feathering band the board's soften byte selects. Dots
// outside the frame are counted as `outside` and not drawn. Without
// SetImageSize the frame reaches from the origin to the furthest dot right
// and below it.

// Totals of the sheet printed so far.
struct SheetSummary {
    std::uint32_t swaths = 0;                               // inked or feed-only swaths accepted and printed
    std::uint64_t paper_advanced_um = 0;                    // paper fed, micrometres
    std::array<std::array<std::uint64_t, 4>, 8> dots = {};  // [channel][level 1..3 at 1..3]
    std::uint64_t doubled = 0;  // dots that landed on a pixel already inked by the same channel/colour
    std::uint64_t outside = 0;  // dots outside the image
    // Largest distance, in 1/1000 line, between the paper after a swath and
    // the nearest whole line of the job's YDPI. A host that carries the
    // remainder of its steps keeps it within half a step (0 where the steps
    // are whole 2880ths at calibration 35860); one that drops the remainder
    // lets it grow until the dots land on the next line.
    std::uint32_t drift_millilines = 0;
};
// A printed sheet: one plane per ink K, C, M, Y (2-bit levels 0..3), `width` x `height` pixels
// at the job's XDPI x YDPI.
struct Sheet {
    std::uint32_t width = 0, height = 0, xdpi = 0, ydpi = 0;
    std::array<std::vector<std::uint8_t>, 4> ink;  // K, C, M, Y; one byte per pixel
    SheetSummary summary;
};

// Ink indices of Sheet::ink.
enum Ink : std::uint8_t { kInkK = 0, kInkC = 1, kInkM = 2, kInkY = 3 };

// Names the image frame for the sheets printed from now on: `width` x
// `height` pixels at the host's XDPI. `xdpi` 0 takes the higher resolution
// of the pair the job's resolution code names (the code does not tell 300
// from 360 dpi, which matters for the side-stripe widths); 720 for a
// column-split job.
void SetImageSize(Board *board, std::uint32_t width, std::uint32_t height, std::uint32_t xdpi = 0);

// The sheet of the last job the board opened. False when no job has
// printed yet (no accepted NET_CMD_JOB_CREATE).
bool PrintedSheet(const Board *board, Sheet *out);
// PNG of the inks composited on white, each level a darker dot. Where XDPI
// and YDPI differ by a whole factor up to 8, each dot repeats along the
// coarser axis so the picture keeps the printed proportions (360 x 720 dpi:
// every column twice). False with a reason in *error when the file cannot
// be written; no half-written file is left behind.
bool WriteSheetPng(const Sheet &sheet, const std::string &png_path, std::string *error);
bool WriteSheetSummaryJson(const Sheet &sheet, const std::string &json_path, std::string *error);

// ---------------------------------------------------------------------------
// The streamed sheet, for jobs of any length.
//
// Once streaming is on, the board prints each swath the moment it accepts
// it, writes every row the paper has carried past the head to the PNG and
// drops it, and keeps no swath's data (StoredSwath finds the swath but gives
// no bytes), so a 10 m banner takes no more memory than 10 cm: the image's
// width times the head's height. The sheet is the job open when StreamSheet
// is called or the first one the board accepts after it (a job opened again
// before any swath replaces it), from the swaths accepted after the call;
// later jobs are not printed on it. Dot totals, doubled and outside
// dots are counted as on the sheet printed at the end. PrintedSheet has no
// planes to give while a sheet streams.

struct SheetStreamOptions {
    std::string png_path;
    std::uint32_t preview_scale = 1;  // N: a picture N times smaller each way, each pixel the mean of N x N dots
};

// Needs the frame (SetImageSize) first: the PNG's size is fixed by it. The
// file is created at once (under a temporary name), so an unwritable path
// is found before the job. False with the reason in *error.
bool StreamSheet(Board *board, const SheetStreamOptions &options, std::string *error);
// Writes the rows still held (the rest of the frame blank), renames the
// PNG into place and gives the sheet's size and totals in *sheet (without
// planes). False with the reason when no sheet streams or it cannot be
// written; no partial file is left then.
bool FinishStreamedSheet(Board *board, Sheet *sheet, std::string *error);

}  // namespace swathboard
