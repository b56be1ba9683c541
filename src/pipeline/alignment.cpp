#include "pipeline/alignment.h"

#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

namespace {

// 4.5 inches at the class's lower resolution (2700 x resolution / 600).
constexpr uint32_t kBaseOffsets[8] = {1012, 1350, 2025, 2700, 4050, 5400, 8100, 10800};

// Channel 7 is the reference; towards channel 0 the gaps alternate ingroup
// (within a channel pair) and outgroup (between pairs).
struct GroupTerms {
    uint8_t ingroups;
    uint8_t outgroups;
};
constexpr GroupTerms kChannelTerms[8] = {
    {4, 3}, {3, 3}, {3, 2}, {2, 2}, {2, 1}, {1, 1}, {1, 0}, {0, 0},
};

// The 300/360 alignment arrays serve 300 and 360 dpi, the 720 arrays the rest.
bool UsesX360Arrays(uint32_t xdpi) { return xdpi == 300 || xdpi == 360; }

int32_t BackwardMargin(uint32_t xdpi) {
    if (UsesX360Arrays(xdpi)) return 7;
    if (xdpi == 600 || xdpi == 720) return -6;
    return 20;
}

// Group-record byte holding the bidirectional correction for a dot-size class.
uint8_t XHori2Index(uint8_t dotClass) {
    switch (dotClass) {
    case 2: return kGroupLow;
    case 3: return kGroupVsd3;
    case 4: return kGroupVsd4;
    default: return kGroupHigh;
    }
}

// A step is a 2880th of an inch at calibration 35860; the owed feed counts
// in 1/(2880 * 35860 * ydpi) inch, 2880 * 35860 to a line.
constexpr int64_t kStepUnitsPerInch = 2880;
constexpr int64_t kStepScale = 35860;
constexpr int64_t kOwedPerLine = kStepUnitsPerInch * kStepScale;

// Start slice of channel ch before the fine lalign correction.
uint32_t ChannelStart(uint8_t ch, uint32_t xdpi, const UISetupPara *ui) {
    const uint8_t cls = ResolutionClass(xdpi);
    const uint32_t in = GroupByte(ui, cls, kGroupIngroup);
    const uint32_t out = GroupByte(ui, cls, kGroupOutgroup);
    sl_trace("ingroup:%d,outgroup:%d, xdpi_index:%d\n ", in, out, cls);
    const GroupTerms &t = kChannelTerms[ch];
    return kBaseOffsets[cls] + t.ingroups * in + t.outgroups * out;
}

uint32_t ClampToSlice(int64_t v) {
    if (v < 0) return 0;
    return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

// Adds the pass's feed to what the job owes the paper and takes from it the
// nearest whole number of steps (halves up); the paper never goes back.
uint32_t TakeWholeSteps(PassInfo *pi, uint16_t para) {
    const int64_t perStep = int64_t{para} * pi->ydpi;  // para / 35860 of a 2880th
    const int64_t owed = pi->feedOwed + int64_t{pi->feeddots} * kOwedPerLine;
    const int64_t step = owed >= 0 ? (2 * owed + perStep) / (2 * perStep) : 0;
    if (step > int64_t{UINT32_MAX}) {
        // No board step carries such a feed; owing the rest would only grow.
        pi->feedOwed = 0;
        return UINT32_MAX;
    }
    pi->feedOwed = owed - step * perStep;
    return static_cast<uint32_t>(step);
}

}  // namespace

uint32_t BaseOffset(uint32_t xdpi) { return kBaseOffsets[ResolutionClass(xdpi)]; }

uint32_t ForwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui) {
    if (ch >= kChannels) return 0;
    const int8_t l = UsesX360Arrays(xdpi) ? ui->x360_lalign[ch] : ui->x720_lalign[ch];
    return ClampToSlice(int64_t{ChannelStart(ch, xdpi, ui)} - l);
}

uint32_t BackwardOffset(uint8_t ch, uint32_t xdpi, const UISetupPara *ui, uint32_t printSliceNum,
                        uint8_t dotClass) {
    if (ch >= kChannels) return 0;
    const int64_t a = ChannelStart(ch, xdpi, ui);
    const int64_t h = GroupByte(ui, ResolutionClass(xdpi), XHori2Index(dotClass));
    const int8_t r = UsesX360Arrays(xdpi) ? ui->x360_ralign[ch] : ui->x720_ralign[ch];
    return ClampToSlice(int64_t{printSliceNum} - a - BackwardMargin(xdpi) + h + r);
}

uint32_t LargestForwardOffset(uint32_t xdpi, const UISetupPara *ui) {
    uint32_t largest = 0;
    for (uint8_t ch = 0; ch < kChannels; ++ch) {
        const uint32_t off = ForwardOffset(ch, xdpi, ui);
        if (off > largest) largest = off;
    }
    return largest;
}

uint32_t PaperStep(PassInfo *pi, const UISetupPara *ui) {
    const uint16_t para = StepCalibration(ui, pi->PassNum);
    const uint32_t step = pi->ydpi != 0 ? TakeWholeSteps(pi, para) : 0;  // a YDPI of 0 has no step
    sl_trace("STEP:%d Dots:%d Dpi:%d para:%d \n", step, pi->feeddots, pi->ydpi, para);
    return step;
}

}  // namespace sl
