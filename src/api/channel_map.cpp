#include "api/channel_map.h"

#include <cstring>

#include "api/print_mode.h"
#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

namespace {

// Firmware up to this version wires the second channel of each colour the
// other way round.
constexpr uint16_t kOldFirmwareVersion = 366;

constexpr uint8_t kBuiltinC1[4] = {6, 4, 2, 0};
constexpr uint8_t kBuiltinC2[4] = {7, 5, 3, 1};
constexpr uint8_t kOldFirmwareC2[4] = {1, 3, 5, 7};

constexpr uint8_t kColourCodeFirst = 1;  // 1 K, 2 C, 3 M, 4 Y
constexpr uint8_t kColourCodeLast = 4;

uint8_t CodeAt(const uint8_t map[4], uint32_t p) {
    const uint8_t b = map[p / 2];
    return (p & 1) ? b >> 4 : b & 0x0F;
}

void UseBuiltinMap(bool oldFirmware, uint8_t C1[8], uint8_t C2[8]) {
    std::memcpy(C1, kBuiltinC1, 4);
    std::memcpy(C2, oldFirmware ? kOldFirmwareC2 : kBuiltinC2, 4);
}

}  // namespace

bool DecodeBoardChannelMap(const uint8_t map[4], uint8_t C1[8], uint8_t C2[8]) {
    uint8_t c1[8] = {};
    uint8_t c2[8] = {};
    uint8_t parities[4] = {};  // bit 0: met at an even position, bit 1: odd
    for (uint32_t p = 0; p < 8; ++p) {
        const uint8_t code = CodeAt(map, p);
        if (code < kColourCodeFirst || code > kColourCodeLast) return false;
        const uint8_t slot = code - kColourCodeFirst;
        const uint8_t parity = static_cast<uint8_t>(1u << (p & 1));
        // A channel pair is one even and one odd position; this also rejects
        // a colour met three times.
        if (parities[slot] & parity) return false;
        const uint8_t ch = static_cast<uint8_t>(7 - p);
        (parities[slot] ? c1 : c2)[slot] = ch;
        parities[slot] |= parity;
    }
    // Eight positions, at most two per colour: every colour occurs twice.
    std::memcpy(C1, c1, 8);
    std::memcpy(C2, c2, 8);
    return true;
}

void ConvertColorToChannel(const JobProp *job, const UISetupPara *ui, FormatInfo *fmt, bool xdpi720) {
    fmt->bytesperline = WorkingBytesPerLine(job->BytesPerLine, xdpi720);
    fmt->colors = static_cast<uint8_t>(job->Colors);
    fmt->direction = L_TO_R;
    for (uint8_t i = 0; i < 16; ++i) fmt->planemap[i] = i;
    std::memset(fmt->C1, 0, sizeof fmt->C1);
    std::memset(fmt->C2, 0, sizeof fmt->C2);

    const bool oldFirmware = ui->CurFWVersion <= kOldFirmwareVersion;
    const bool boardMap = ChannelMapRevision(ui) >= kRevisionWithAlignment && !oldFirmware &&
                          DecodeBoardChannelMap(BoardChannelMap(ui), fmt->C1, fmt->C2);
    if (!boardMap) UseBuiltinMap(oldFirmware, fmt->C1, fmt->C2);
    sl_trace("ChannelMap %s C1:%d %d %d %d C2:%d %d %d %d\n", boardMap ? "board" : "builtin", fmt->C1[0],
             fmt->C1[1], fmt->C1[2], fmt->C1[3], fmt->C2[0], fmt->C2[1], fmt->C2[2], fmt->C2[3]);
}

}  // namespace sl
