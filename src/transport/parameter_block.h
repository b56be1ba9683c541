// The board parameter block UI_CurSetting and its two decodings.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Aligned so that the words the transmit thread updates while a job prints
// can be accessed atomically.
alignas(8) extern UISetupPara UI_CurSetting;

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

// One byte of a group record (class 0..7, byte kGroup*); relaxed atomic
// access, since the bidirectional bytes change while a job prints.
uint8_t GroupByte(const UISetupPara *ui, uint8_t cls, uint8_t index);
void StoreGroupByte(UISetupPara *ui, uint8_t cls, uint8_t index, uint8_t value);

inline uint8_t SoftenByte(const UISetupPara *ui) { return ui->chantable[0]; }
inline const uint8_t *BoardChannelMap(const UISetupPara *ui) { return &ui->chantable[2]; }
inline uint8_t StripeMode(const UISetupPara *ui) { return ui->chantable[6] & 3; }
inline uint8_t ChannelMapRevision(const UISetupPara *ui) { return ui->rev[2]; }

// `answer` is the whole NET_CMD_JOB_CREATE reply (byte 0 = command code);
// `len` bytes of it are valid. Bytes beyond `len` read as 0.
void DecodeParaOld(UISetupPara *ui, const uint8_t *answer, uint32_t len);
void NetReadRegInfo(UISetupPara *ui, const uint8_t *answer, uint32_t len);

}  // namespace sl
