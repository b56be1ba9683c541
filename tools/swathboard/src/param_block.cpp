#include "param_block.h"

#include <array>
#include <cstddef>

#include "param_layout.h"
#include "wire.h"

namespace swathboard {

namespace {

struct MarkerBytes {
    std::uint8_t a, b, c;  // bytes 14, 95, 94
};

constexpr MarkerBytes MarkersFor(Markers m) {
    switch (m) {
    case Markers::kClassic: return {15, 29, 29};
    case Markers::kExtended: return {0xEF, 0xC9, 0xB8};
    case Markers::kBroken: break;
    }
    return {0, 0, 0};
}

void PutWords(std::uint8_t *answer, const std::uint8_t *at, const std::uint16_t *values, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) wire::Put16(answer + at[i], values[i]);
}

void PutBytes(std::uint8_t *answer, const Positions &at, const std::array<std::int8_t, 8> &values) {
    for (std::size_t i = 0; i < at.size(); ++i) answer[at[i]] = static_cast<std::uint8_t>(values[i]);
}

void WriteOlderFields(const ParamPreset &p, std::uint8_t *answer) {
    answer[kDirModeAt] = p.dir_mode;
    answer[kSpeedAt] = p.speed_byte;
    wire::Put16(answer + kAcolAt, p.acol);
    wire::Put16(answer + kBcolAt, p.bcol);
    wire::Put16(answer + kBidiAt, p.bidi);
    wire::Put16(answer + kBaseStepAt, p.base_step);
    answer[kFwLowAt] = static_cast<std::uint8_t>(p.fw_version & 0xFF);
    answer[kFwHighAt] = static_cast<std::uint8_t>(((p.fw_version >> 8) & 0x3F) | (p.fw_top_bits << 6));
}

void WriteGroups(const ParamPreset &p, std::uint8_t *answer) {
    for (std::size_t k = 0; k < p.groups.size(); ++k) {
        const GroupRecord &g = p.groups[k];
        std::uint8_t *at = answer + kGroupsAt + 6 * k;
        at[0] = g.ingroup;
        at[1] = g.vsd4;
        at[2] = g.outgroup;
        at[3] = g.vsd3;
        at[4] = g.bidi_high_speed;
        at[5] = g.bidi_low_speed;
    }
    wire::Put16(answer + kGroupFlagsAt, p.group_flags);
}

void WriteNewerFields(const ParamPreset &p, std::uint8_t *answer) {
    PutWords(answer, kHori1At.data(), p.hori1.data(), 8);
    PutWords(answer, kHori2At.data(), p.hori2.data(), 8);
    PutWords(answer, kVertAt.data(), p.vert.data(), 8);
    PutWords(answer, kSecondHeadAt.data(), p.second_head.data(), kSecondHeadAt.size());
    PutWords(answer, kTwoHeadOffsetAt.data(), p.two_head_offset.data(), kTwoHeadOffsetAt.size());
    answer[kSoftenAt] = p.soften;
    for (std::size_t i = 0; i < p.channel_map.size(); ++i) answer[kChannelMapAt + i] = p.channel_map[i];
    answer[kStripeModeAt] = p.stripe_mode;
    answer[kD4cAt] = p.d4c;
    answer[kStripeSizeAt] = p.stripe_size;
    answer[kHeadnumAt] = p.headnum;
    for (std::size_t i = 0; i < p.rev.size(); ++i) answer[kRevAt + i] = p.rev[i];
    for (std::size_t i = 0; i < p.vertoffset.size(); ++i) {
        answer[kVertOffsetAt + i] = static_cast<std::uint8_t>(p.vertoffset[i]);
    }
    WriteGroups(p, answer);
}

void WriteAlignment(const ParamPreset &p, std::uint8_t *answer) {
    PutBytes(answer, kX360LeftAt, p.x360_lalign);
    PutBytes(answer, kX360RightAt, p.x360_ralign);
    PutBytes(answer, kX720LeftAt, p.x720_lalign);
    PutBytes(answer, kX720RightAt, p.x720_ralign);
}

void WriteMarkers(Markers m, std::uint8_t *answer) {
    const MarkerBytes bytes = MarkersFor(m);
    answer[kMarkerAAt] = bytes.a;
    answer[kMarkerBAt] = bytes.b;
    answer[kMarkerCAt] = bytes.c;
}

void ApplyPokes(const ParamPreset &p, std::uint8_t *answer) {
    // The checksum word is computed afterwards and is never a poke target.
    constexpr std::size_t kPokeLimit = kJobCreateAnswerLength - 2;
    for (const BytePoke &poke : p.pokes) {
        if (poke.offset < kPokeLimit) answer[poke.offset] = poke.value;
    }
}

}  // namespace

std::uint16_t LayoutSelector(const ParamPreset &preset) {
    return preset.layout == Layout::kOlder ? 0 : preset.selector;
}

void WriteParamBlock(const ParamPreset &preset, std::uint8_t *answer) {
    WriteOlderFields(preset, answer);
    if (preset.layout == Layout::kNewer) {
        WriteNewerFields(preset, answer);
        if (preset.rev[2] >= kAlignRevision) WriteAlignment(preset, answer);
    }
    WriteMarkers(preset.markers, answer);
    ApplyPokes(preset, answer);
}

}  // namespace swathboard
