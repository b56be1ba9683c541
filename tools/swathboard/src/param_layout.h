// Where each board setting stands in the job-create answer.
//
// One table for the writer (param_block.cpp) and for the reader that turns
// a sent answer back into the head the host was told about (head_settings).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace swathboard {

using Positions = std::array<std::uint8_t, 8>;

// Answer byte of each channel's word or byte, ch0..ch7.
inline constexpr Positions kHori1At = {16, 18, 20, 22, 24, 30, 32, 42};
inline constexpr Positions kHori2At = {46, 52, 54, 56, 60, 64, 68, 70};
inline constexpr Positions kVertAt = {66, 40, 36, 123, 130, 132, 134, 48};
inline constexpr Positions kX360LeftAt = {16, 17, 148, 149, 150, 151, 22, 23};
inline constexpr Positions kX360RightAt = {152, 153, 52, 53, 54, 55, 154, 155};
inline constexpr Positions kX720LeftAt = {24, 25, 30, 31, 32, 33, 42, 43};
inline constexpr Positions kX720RightAt = {60, 61, 64, 65, 68, 69, 70, 71};
inline constexpr std::array<std::uint8_t, 6> kSecondHeadAt = {74, 76, 78, 96, 98, 100};
inline constexpr std::array<std::uint8_t, 2> kTwoHeadOffsetAt = {102, 104};

// Older-layout fields.
inline constexpr std::size_t kDirModeAt = 7;
inline constexpr std::size_t kSpeedAt = 13;
inline constexpr std::size_t kAcolAt = 26;
inline constexpr std::size_t kBcolAt = 28;
inline constexpr std::size_t kBidiAt = 34;
inline constexpr std::size_t kBaseStepAt = 50;
inline constexpr std::size_t kFwLowAt = 84;
inline constexpr std::size_t kFwHighAt = 85;

// Newer-layout single bytes.
inline constexpr std::size_t kSoftenAt = 106;
inline constexpr std::size_t kChannelMapAt = 108;
inline constexpr std::size_t kStripeModeAt = 112;
inline constexpr std::size_t kD4cAt = 114;
inline constexpr std::size_t kStripeSizeAt = 115;
inline constexpr std::size_t kHeadnumAt = 120;
inline constexpr std::size_t kRevAt = 156;
inline constexpr std::size_t kVertOffsetAt = 160;
inline constexpr std::size_t kGroupsAt = 186;
inline constexpr std::size_t kGroupFlagsAt = 234;

// Marker bytes the host checks before it trusts the block.
inline constexpr std::size_t kMarkerAAt = 14;
inline constexpr std::size_t kMarkerBAt = 95;
inline constexpr std::size_t kMarkerCAt = 94;

}  // namespace swathboard
