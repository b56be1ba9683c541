// The board's settings record: channel words stored out of channel order,
// the step calibration by pass count, the group records by resolution class,
// and the two values the companion may change while a job prints.
#include "shared/board_settings.h"

#include <atomic>

#include "platform/platform.h"

namespace sl {

namespace {

// Record offsets of each channel's word, ch0..ch7.
constexpr uint16_t kHori1At[8] = {16, 4, 8, 12, 6, 10, 14, 18};
constexpr uint16_t kHori2At[8] = {32, 20, 24, 28, 22, 26, 30, 34};

struct DpiClass {
    uint32_t dpi;
    uint8_t cls;
};

constexpr DpiClass kResolutionClasses[] = {
    // clang-format off
    {225, 0}, {270, 0}, {300, 1}, {360, 1}, {450, 2}, {540, 2}, {600, 3}, {720, 3},
    {900, 4}, {1080, 4}, {1200, 5}, {1440, 5}, {1800, 6}, {2160, 6}, {2400, 7}, {2880, 7},
    // clang-format on
};
constexpr uint8_t kDefaultClass = 3;

uint16_t OrOne(uint16_t v) { return v ? v : 1; }

// Words updated by the transmit thread while the host thread reads them.
// The job's settings record is aligned; a caller's unaligned copy falls back to bytes.
uint16_t LoadSharedWord(const UISetupPara *ui, uint32_t off) {
    const uint8_t *b = SettingsBytes(ui) + off;
    if (reinterpret_cast<uintptr_t>(b) % alignof(uint16_t) != 0) return SettingsWord(ui, off);
    auto *w = reinterpret_cast<uint16_t *>(const_cast<uint8_t *>(b));
    return std::atomic_ref<uint16_t>(*w).load(std::memory_order_relaxed);
}

void StoreSharedWord(UISetupPara *ui, uint32_t off, uint16_t v) {
    uint8_t *b = SettingsBytes(ui) + off;
    if (reinterpret_cast<uintptr_t>(b) % alignof(uint16_t) != 0) return PutSettingsWord(ui, off, v);
    std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t *>(b)).store(v, std::memory_order_relaxed);
}

}  // namespace

uint8_t *SettingsBytes(UISetupPara *ui) { return reinterpret_cast<uint8_t *>(ui); }
const uint8_t *SettingsBytes(const UISetupPara *ui) { return reinterpret_cast<const uint8_t *>(ui); }

uint16_t SettingsWord(const UISetupPara *ui, uint32_t off) {
    const uint8_t *b = SettingsBytes(ui) + off;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

void PutSettingsWord(UISetupPara *ui, uint32_t off, uint16_t v) {
    uint8_t *b = SettingsBytes(ui) + off;
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
}

uint16_t Hori1(const UISetupPara *ui, uint8_t ch) { return ch < 8 ? SettingsWord(ui, kHori1At[ch]) : 0; }
uint16_t Hori2(const UISetupPara *ui, uint8_t ch) { return ch < 8 ? SettingsWord(ui, kHori2At[ch]) : 0; }
uint16_t Vert(const UISetupPara *ui, uint8_t ch) { return ch < 8 ? SettingsWord(ui, kVertAt[ch]) : 0; }

uint32_t StepCalibrationReadOffset(uint32_t passCount) {
    switch (passCount) {
    case 2: return 40;
    case 3: return 42;
    case 4: return 44;
    case 8:
    case 16: return 38;
    default: return 36;
    }
}

uint32_t StepCalibrationWriteOffset(uint32_t passCount) {
    switch (passCount) {
    case 1: return 46;
    case 2: return 40;
    case 3: return 42;
    case 4: return 44;
    case 6: return 36;
    case 8: return 38;
    case 12: return 100;
    case 16: return 102;
    default: return kStepBaseAt;
    }
}

uint16_t StepCalibration(const UISetupPara *ui, uint32_t passCount) {
    return OrOne(LoadSharedWord(ui, StepCalibrationReadOffset(passCount)));
}

void StoreStepCalibration(UISetupPara *ui, uint32_t passCount, uint16_t value) {
    StoreSharedWord(ui, StepCalibrationWriteOffset(passCount), value);
}

uint8_t GroupByte(const UISetupPara *ui, uint8_t cls, uint8_t index) {
    if (cls >= 8 || index >= 6) return 0;
    auto &b = const_cast<uint8_t &>(ui->group[cls][index]);
    return std::atomic_ref<uint8_t>(b).load(std::memory_order_relaxed);
}

void StoreGroupByte(UISetupPara *ui, uint8_t cls, uint8_t index, uint8_t value) {
    if (cls >= 8 || index >= 6) return;
    std::atomic_ref<uint8_t>(ui->group[cls][index]).store(value, std::memory_order_relaxed);
}

uint8_t ResolutionClass(uint32_t xdpi) {
    for (const DpiClass &row : kResolutionClasses) {
        if (row.dpi == xdpi) return row.cls;
    }
    return kDefaultClass;
}

void ApplyBidirectionalRequest(uint32_t value, UISetupPara *ui, uint32_t xdpi) {
    const uint8_t cls = ResolutionClass(xdpi);
    const bool high = ui->PrintSpeed == kPrintSpeedHigh;
    const uint8_t index = high ? kGroupHigh : kGroupLow;
    const uint8_t last = GroupByte(ui, cls, index);
    const uint8_t now = static_cast<uint8_t>(value);
    sl_trace("Tarn_DynUpdateXHori2Para XDPI:%d Index:%d Spd:%s last:%d now:%d\n", xdpi, cls,
             high ? "HIGH" : "LOW", last, now);
    if (last != now) StoreGroupByte(ui, cls, index, now);
}

void ApplyStepRequest(uint32_t value, UISetupPara *ui, uint8_t passNum) {
    sl_trace("Tarn_DynUpdateStepAlignPara Pass:%d val:%d\n", passNum, value);
    StoreStepCalibration(ui, passNum, static_cast<uint16_t>(value));
}

}  // namespace sl
