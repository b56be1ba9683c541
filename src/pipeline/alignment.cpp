#include "pipeline/alignment.h"

#include "api/print_mode.h"
#include "platform/platform.h"
#include "transport/parameter_block.h"

namespace sl {

namespace {

struct DpiClass {
    uint32_t dpi;
    uint8_t cls;
};

constexpr DpiClass kResolutionClasses[] = {
    {225, 0}, {270, 0}, {300, 1}, {360, 1}, {450, 2}, {540, 2}, {600, 3}, {720, 3},
    {900, 4}, {1080, 4}, {1200, 5}, {1440, 5}, {1800, 6}, {2160, 6}, {2400, 7}, {2880, 7},
};
constexpr uint8_t kDefaultClass = 3;

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

struct VsdTriple {
    uint16_t p, q, r;
};
constexpr VsdTriple kVsdTriples[5] = {
    {6, 4, 1},  // any class outside 1..4
    {6, 4, 1}, {6, 4, 1}, {4, 2, 1}, {2, 4, 1},
};

constexpr uint8_t kHighSpeed = 7;
constexpr uint64_t kStepUnitsPerInch = 2880;
constexpr uint64_t kStepScale = 35860;

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

}  // namespace

uint8_t ResolutionClass(uint32_t xdpi) {
    for (const DpiClass &row : kResolutionClasses) {
        if (row.dpi == xdpi) return row.cls;
    }
    return kDefaultClass;
}

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

uint16_t VsdCode(uint8_t dotClass) {
    const VsdTriple &t = kVsdTriples[dotClass <= 4 ? dotClass : 0];
    const uint16_t code = static_cast<uint16_t>(0x8000 | t.p << 8 | t.q << 4 | t.r);
    sl_trace("\nVSD:0x%x XDPI:%d YDPI:%d vmode:%d Vsd:%d\n", code, gModeXDPI, gModeYDPI, gModeVsd,
             dotClass);
    return code;
}

uint32_t PaperStep(const PassInfo *pi, const UISetupPara *ui) {
    const uint16_t para = StepCalibration(ui, pi->PassNum);
    // 64 bits and a zero-YDPI guard: the products overflow 32 bits only for
    // feeds far outside one head height, and a YDPI of 0 has no step.
    uint64_t step = 0;
    if (pi->ydpi != 0) step = (pi->feeddots * kStepUnitsPerInch / pi->ydpi) * kStepScale / para;
    const uint32_t result = step > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(step);
    sl_trace("STEP:%d Dots:%d Dpi:%d para:%d \n", result, pi->feeddots, pi->ydpi, para);
    return result;
}

void Tarn_DynUpdateXHori2Para(uint32_t value, UISetupPara *ui, uint32_t xdpi) {
    const uint8_t cls = ResolutionClass(xdpi);
    const bool high = ui->PrintSpeed == kHighSpeed;
    const uint8_t index = high ? kGroupHigh : kGroupLow;
    const uint8_t last = GroupByte(ui, cls, index);
    const uint8_t now = static_cast<uint8_t>(value);
    sl_trace("Tarn_DynUpdateXHori2Para XDPI:%d Index:%d Spd:%s last:%d now:%d\n", xdpi, cls,
             high ? "HIGH" : "LOW", last, now);
    if (last != now) StoreGroupByte(ui, cls, index, now);
}

void Tarn_DynUpdateStepAlignPara(uint32_t value, UISetupPara *ui, uint8_t passNum) {
    sl_trace("Tarn_DynUpdateStepAlignPara Pass:%d val:%d\n", passNum, value);
    StoreStepCalibration(ui, passNum, static_cast<uint16_t>(value));
}

}  // namespace sl
