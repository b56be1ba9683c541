// The board's settings record and its accessors. The channel
// arrays are stored out of channel order and some words change while a job
// prints, so every layer reads them through these functions.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

// Record offsets of the vertical (step calibration) word of ch0..ch7, and
// of the base step the older layout fills.
constexpr uint16_t kVertAt[8] = {46, 40, 42, 44, 36, 38, 100, 102};
constexpr uint16_t kStepBaseAt = 88;

// The record as bytes, and its little-endian words at a byte offset.
uint8_t *SettingsBytes(UISetupPara *ui);
const uint8_t *SettingsBytes(const UISetupPara *ui);
uint16_t SettingsWord(const UISetupPara *ui, uint32_t off);
void PutSettingsWord(UISetupPara *ui, uint32_t off, uint16_t v);

// Channel arrays are stored out of channel order. A channel above 7 reads 0.
uint16_t Hori1(const UISetupPara *ui, uint8_t ch);
uint16_t Hori2(const UISetupPara *ui, uint8_t ch);
uint16_t Vert(const UISetupPara *ui, uint8_t ch);

// Step calibration by pass count: the reader (a stored 0 reads as 1) and the
// companion's writer use different slots for some counts (12 passes: read
// from the 6-pass slot, written to its own).
uint16_t StepCalibration(const UISetupPara *ui, uint32_t passCount);
void StoreStepCalibration(UISetupPara *ui, uint32_t passCount, uint16_t value);
// Record offset of the slot each side uses.
uint32_t StepCalibrationReadOffset(uint32_t passCount);
uint32_t StepCalibrationWriteOffset(uint32_t passCount);

// Resolution class 0..7 of an XDPI (unlisted values class 3): which group
// record holds the job's alignment.
uint8_t ResolutionClass(uint32_t xdpi);

// One byte of a group record (class 0..7, byte kGroup*); relaxed atomic
// access, since the bidirectional bytes change while a job prints.
uint8_t GroupByte(const UISetupPara *ui, uint8_t cls, uint8_t index);
void StoreGroupByte(UISetupPara *ui, uint8_t cls, uint8_t index, uint8_t value);

inline uint8_t SoftenByte(const UISetupPara *ui) { return ui->chantable[0]; }
inline const uint8_t *BoardChannelMap(const UISetupPara *ui) { return &ui->chantable[2]; }
inline uint8_t StripeMode(const UISetupPara *ui) { return ui->chantable[6] & 3; }
inline uint8_t ChannelMapRevision(const UISetupPara *ui) { return ui->rev[2]; }

// The companion's alignment request while printing: the bidirectional
// correction of the job's resolution class (xdpi is the job's working XDPI)
// and the step calibration of its pass count.
void ApplyBidirectionalRequest(uint32_t value, UISetupPara *ui, uint32_t xdpi);
void ApplyStepRequest(uint32_t value, UISetupPara *ui, uint8_t passNum);

}  // namespace sl
