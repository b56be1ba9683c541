#include "api/print_mode.h"

#include <cstdint>

#include "platform/platform.h"
#include "shared/board_mode.h"

namespace sl {

namespace {

constexpr double kSideMarginMm = 40.0;
constexpr uint32_t kMarginAlignPx = 32;
// Soften-byte bits 3 to 5: cleared for every new job.
constexpr uint8_t kSoftenJobBits = 0x38;

// Speed value per working XDPI. The "head type" some rows depend on is
// UISetupPara::PrintSpeed (offset 49 of the board block; 7 = high speed);
// the status file shows the same byte as the speed class.
enum class SpeedRule : uint8_t { None, HighSpeedHead, DotClass4, DotClass2 };

struct SpeedRow {
    uint32_t xdpi;
    uint8_t value;
    uint8_t whenRule;  // value when the rule holds
    SpeedRule rule;
};

constexpr SpeedRow kSpeedValues[] = {
    {225, 53, 60, SpeedRule::HighSpeedHead},
    {270, 48, 53, SpeedRule::HighSpeedHead},
    {300, 46, 42, SpeedRule::DotClass4},
    {360, 35, 42, SpeedRule::HighSpeedHead},  // also every 720-dpi job
    {450, 32, 32, SpeedRule::None},
    {540, 28, 28, SpeedRule::None},
    {600, 23, 23, SpeedRule::None},
    {900, 16, 16, SpeedRule::None},
    {1080, 14, 14, SpeedRule::None},
    {1200, 12, 12, SpeedRule::None},
    {1440, 11, 10, SpeedRule::DotClass2},
};

bool RuleHolds(SpeedRule rule, uint8_t headType, uint8_t dotClass) {
    switch (rule) {
    case SpeedRule::HighSpeedHead: return headType == kPrintSpeedHigh;
    case SpeedRule::DotClass4: return dotClass == 4;
    case SpeedRule::DotClass2: return dotClass == 2;
    case SpeedRule::None: break;
    }
    return false;
}

uint32_t SaturatingAdd(uint32_t a, uint64_t b) {
    const uint64_t s = a + b;
    return s > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(s);
}

}  // namespace

void WidenLine(JobProp *job) {
    // 64 bits: 40 mm at an absurd XDPI does not fit 32 bits.
    uint64_t margin = static_cast<uint64_t>(job->XDPI * kSideMarginMm / 25.4);
    margin = (margin + kMarginAlignPx - 1) & ~uint64_t{kMarginAlignPx - 1};
    job->Width = SaturatingAdd(job->Width, margin);
    job->BytesPerLine = ((job->Width / 4) + 7) & ~7u;
}

void PublishMode(BoardMode *mode, const JobProp *job) {
    mode->xdpi = job->XDPI;
    mode->ydpi = job->YDPI;
    mode->pass = static_cast<uint8_t>(job->Pass);
    mode->vsd = static_cast<uint8_t>(job->VsdMode);
}

void Adjust720(PrintJob *print, bool xdpi720) {
    JobProp *job = &print->prop;
    UISetupPara *ui = &print->board;
    ui->chantable[0] &= static_cast<uint8_t>(~kSoftenJobBits);
    const uint8_t d = static_cast<uint8_t>(job->YDPI / kNozzleDpi);
    if (!xdpi720) return;
    // A YDPI below 360 gives d = 0: no quotient, the pass count becomes 0.
    if (d == 0 || job->Pass / d < 2) job->Pass = 2u * d;
    print->mode.pass = static_cast<uint8_t>(job->Pass);
    job->XDPI /= 2;
    job->Width = static_cast<uint32_t>((uint64_t{job->Width} + 1) / 2);
    sl_trace("XDPI 720: Pass:%u XDPI:%u Width:%u\n", job->Pass, job->XDPI, job->Width);
}

uint32_t WorkingBytesPerLine(uint32_t bytesPerLine, bool xdpi720) {
    return xdpi720 ? static_cast<uint32_t>((uint64_t{bytesPerLine} + 1) / 2) : bytesPerLine;
}

uint8_t SpeedValueFor(uint32_t xdpi, uint8_t headType, uint8_t dotClass) {
    for (const SpeedRow &row : kSpeedValues) {
        if (row.xdpi == xdpi) return RuleHolds(row.rule, headType, dotClass) ? row.whenRule : row.value;
    }
    return kUnlistedXdpiSpeedValue;
}

void SelectSpeedClass(PrintJob *print) {
    const JobProp *job = &print->prop;
    UISetupPara *ui = &print->board;
    const uint8_t dotClass = DotSizeClass(print);
    ui->SpeedValue = SpeedValueFor(job->XDPI, ui->PrintSpeed, dotClass);
    sl_trace("Speed XDPI:%u Spd:%d Dot:%d value:%d\n", job->XDPI, ui->PrintSpeed, dotClass, ui->SpeedValue);
}

}  // namespace sl
