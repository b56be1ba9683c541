// Print-mode decisions taken at job start: line widening, pass count,
// resolution codes, dot-size class, speed value, channel maps, pass geometry.
#pragma once

#include <cstdint>

#include "shared/board_mode.h"
#include "swathlink/records.h"

namespace sl {

extern FormatInfo gFormatInfo;

// The board is always told resolution class "not high".
constexpr uint8_t kHighResolutionCode = 0;

// Line widening: Width += 40 mm margin (multiple of 32 px); BytesPerLine =
// 2-bit stride rounded up to 8 bytes. A width that would pass 2^32 - 1
// saturates there, so the memory plan refuses it instead of planning for a
// wrapped, small width.
void WidenLine(JobProp *job);
void PublishMode(const JobProp *job);
// Run at job open, between NET_CMD_JOB_CREATE and NET_CMD_PRINT_START.
void Adjust720(JobProp *job, UISetupPara *ui, bool xdpi720);

// Stride of the line the pipeline works on: a 720-dpi job prints every other
// column, so its lines are half as long.
uint32_t WorkingBytesPerLine(uint32_t bytesPerLine, bool xdpi720);

// Speed value for the working XDPI. headType is UISetupPara::PrintSpeed.
uint8_t SpeedValueFor(uint32_t xdpi, uint8_t headType, uint8_t dotClass);
// Stores the speed value for the job (XDPI after halving) in ui->SpeedValue;
// the dot-size class comes from the mode globals and job->Reserved.
void SelectSpeedClass(const JobProp *job, UISetupPara *ui);

// Board channel map (4 bytes at chantable[2..5]); false (and C1, C2 left
// alone) when invalid.
bool DecodeBoardChannelMap(const uint8_t map[4], uint8_t C1[8], uint8_t C2[8]);
void ConvertColorToChannel(const JobProp *job, const UISetupPara *ui, FormatInfo *fmt, uint32_t maxSwathSize,
                           bool xdpi720);

// Fills gPassInfo, builds the feathering table and starts the strip ring.
void SetupPassGeometry(const JobProp *job, UISetupPara *ui, bool xdpi720, uint8_t *softenTable);

}  // namespace sl
