// Print-mode decisions taken at job start: line widening, pass count, the
// mode told to the board and the speed value.
#pragma once

#include <cstdint>

#include "shared/board_mode.h"
#include "shared/print_job.h"
#include "shared/records.h"

namespace sl {

// The board is always told resolution class "not high".
constexpr uint8_t kHighResolutionCode = 0;

// Line widening: Width += 40 mm margin (multiple of 32 px); BytesPerLine =
// 2-bit stride rounded up to 8 bytes. A width that would pass 2^32 - 1
// saturates there, so the memory plan refuses it instead of planning for a
// wrapped, small width.
void WidenLine(JobProp *job);
void PublishMode(BoardMode *mode, const JobProp *job);
// Run at job open, between NET_CMD_JOB_CREATE and NET_CMD_PRINT_START.
void Adjust720(PrintJob *job, bool xdpi720);

// Stride of the line the pipeline works on: a 720-dpi job prints every other
// column, so its lines are half as long.
uint32_t WorkingBytesPerLine(uint32_t bytesPerLine, bool xdpi720);

// Speed value for the working XDPI. headType is UISetupPara::PrintSpeed.
uint8_t SpeedValueFor(uint32_t xdpi, uint8_t headType, uint8_t dotClass);
// Stores the speed value for the job (XDPI after halving) in ui->SpeedValue;
// the dot-size class comes from the job's mode and Reserved tag.
void SelectSpeedClass(PrintJob *job);

}  // namespace sl
