#include "head_settings.h"

#include "param_layout.h"
#include "protocol.h"
#include "swathboard.h"
#include "wire.h"

namespace swathboard {

namespace {

// Firmware up to this version keeps the older block even in a newer answer.
constexpr std::uint32_t kLastOlderFirmware = 332;
// Firmware up to this version wires the second channel of each colour the
// other way round.
constexpr std::uint32_t kLastOldWiringFirmware = 366;
constexpr std::uint16_t kDefaultAcol = 53, kDefaultBcol = 180, kDefaultBidi = 22, kDefaultStep = 4800;
constexpr std::array<std::uint32_t, 8> kClassResolution = {225, 300, 450, 600, 900, 1200, 1800, 2400};
constexpr std::size_t kClass450 = 2, kClass600 = 3;

std::uint16_t Or(std::uint16_t v, std::uint16_t fallback) { return v != 0 ? v : fallback; }

std::uint32_t Firmware(const std::vector<std::uint8_t> &a) {
    return a[kFwLowAt] + 256u * (a[kFwHighAt] & 0x3Fu);
}

bool NewerBlock(const std::vector<std::uint8_t> &a) {
    const bool newer_layout = a[kReplySelectorLow] != 0 || a[kReplySelectorHigh] != 0;
    return newer_layout && Firmware(a) > kLastOlderFirmware;
}

void ReadOlder(const std::vector<std::uint8_t> &a, HeadSettings *h) {
    const std::uint16_t acol = Or(wire::Get16(&a[kAcolAt]), kDefaultAcol);
    const std::uint16_t bcol = Or(wire::Get16(&a[kBcolAt]), kDefaultBcol);
    const auto bidi = static_cast<std::uint8_t>(Or(wire::Get16(&a[kBidiAt]), kDefaultBidi));
    for (std::size_t k = 0; k < h->groups.size(); ++k) {
        h->groups[k].ingroup = static_cast<std::uint8_t>(acol * kClassResolution[k] / 600);
        h->groups[k].outgroup = static_cast<std::uint8_t>(bcol * kClassResolution[k] / 600);
        h->groups[k].bidi = {bidi, bidi, 0, 0};  // the older block has no class 3/4 values
    }
    h->vert.fill(Or(wire::Get16(&a[kBaseStepAt]), kDefaultStep));
}

std::array<std::int8_t, 8> Signed(const std::vector<std::uint8_t> &a, const Positions &at) {
    std::array<std::int8_t, 8> v{};
    for (std::size_t i = 0; i < at.size(); ++i) v[i] = static_cast<std::int8_t>(a[at[i]]);
    return v;
}

void ReadNewer(const std::vector<std::uint8_t> &a, HeadSettings *h) {
    for (std::size_t ch = 0; ch < 8; ++ch) h->vert[ch] = wire::Get16(&a[kVertAt[ch]]);
    for (std::size_t k = 0; k < h->groups.size(); ++k) {
        const std::uint8_t *g = &a[kGroupsAt + 6 * k];
        // Group bytes: ingroup, class-4 bidi, outgroup, class-3 bidi, class-1, class-2.
        h->groups[k] = {g[0], g[2], {g[4], g[5], g[3], g[1]}};
    }
    // The 450/540 class is derived from the 600/720 one.
    h->groups[kClass450].ingroup = static_cast<std::uint8_t>(h->groups[kClass600].ingroup * 450u / 600u);
    h->groups[kClass450].outgroup = static_cast<std::uint8_t>(h->groups[kClass600].outgroup * 450u / 600u);
    h->soften = a[kSoftenAt];
    h->stripe_mode = a[kStripeModeAt] & 3;
    h->stripe_size = a[kStripeSizeAt];
    if (a[kRevAt + 2] >= kAlignRevision) {
        h->x360_lalign = Signed(a, kX360LeftAt);
        h->x360_ralign = Signed(a, kX360RightAt);
        h->x720_lalign = Signed(a, kX720LeftAt);
        h->x720_ralign = Signed(a, kX720RightAt);
    }
}

// Colour code (1 K, 2 C, 3 M, 4 Y) of each channel by the board's map, or
// false when the map is not a valid pairing.
bool BoardChannelMap(const std::vector<std::uint8_t> &a, std::array<std::int8_t, 8> *ink) {
    std::array<int, 5> seen = {};
    std::array<int, 5> parity = {};
    for (int p = 0; p < 8; ++p) {
        const std::uint8_t byte = a[kChannelMapAt + static_cast<std::size_t>(p / 2)];
        const int code = (p % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
        if (code < 1 || code > 4) return false;
        seen[static_cast<std::size_t>(code)] += 1;
        parity[static_cast<std::size_t>(code)] += p % 2;
        (*ink)[static_cast<std::size_t>(7 - p)] = static_cast<std::int8_t>(code - 1);  // K, C, M, Y = 0..3
    }
    for (int c = 1; c <= 4; ++c) {
        if (seen[static_cast<std::size_t>(c)] != 2 || parity[static_cast<std::size_t>(c)] != 1) return false;
    }
    return true;
}

std::array<std::int8_t, 8> ChannelInks(const std::vector<std::uint8_t> &a, bool newer) {
    std::array<std::int8_t, 8> ink{};
    const std::uint32_t fw = newer ? Firmware(a) : kLastOlderFirmware;
    const bool old_wiring = fw <= kLastOldWiringFirmware;
    if (newer && !old_wiring && a[kRevAt + 2] >= kAlignRevision && BoardChannelMap(a, &ink)) return ink;
    // Built-in wiring: K on 6, C on 4, M on 2, Y on 0, each with its odd
    // neighbour above it (old firmware: mirrored, 1, 3, 5, 7).
    constexpr std::array<std::int8_t, 8> kWiring = {kInkY, kInkY, kInkM, kInkM, kInkC, kInkC, kInkK, kInkK};
    constexpr std::array<std::int8_t, 8> kOldWiring = {kInkY, kInkK, kInkM, kInkC,
                                                       kInkC, kInkM, kInkK, kInkY};
    return old_wiring ? kOldWiring : kWiring;
}

}  // namespace

HeadSettings ReadHeadSettings(const std::vector<std::uint8_t> &a) {
    HeadSettings h;
    if (a.size() < kJobCreateAnswerLength) return h;
    h.dir_mode = a[kDirModeAt];
    h.high_speed = a[kSpeedAt] == 7;
    ReadOlder(a, &h);
    const bool newer = NewerBlock(a);
    if (newer) ReadNewer(a, &h);
    h.channel_ink = ChannelInks(a, newer);
    return h;
}

std::uint32_t StepCalibration(const HeadSettings &head, std::uint32_t passes) {
    // Words by pass count: 2 -> ch1, 3 -> ch2, 4 -> ch3, 8 and 16 -> ch5, else ch4.
    std::size_t ch = 4;
    if (passes == 2)
        ch = 1;
    else if (passes == 3)
        ch = 2;
    else if (passes == 4)
        ch = 3;
    else if (passes == 8 || passes == 16)
        ch = 5;
    return head.vert[ch] != 0 ? head.vert[ch] : 1;
}

}  // namespace swathboard
