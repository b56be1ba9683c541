#include "transport/parameter_block.h"

#include <iterator>

#include "platform/platform.h"
#include "shared/board_settings.h"

namespace sl {

namespace {

// Answers from firmware up to this version are read with the older layout
// only; the older decoding never reports a version above it.
constexpr uint32_t kOlderLayoutVersion = 332;

constexpr uint16_t kDefaultAcol = 53;
constexpr uint16_t kDefaultBcol = 180;
constexpr uint16_t kDefaultBidi = 22;
constexpr uint16_t kDefaultStep = 4800;

constexpr uint16_t kAcolAt = 4;       // hori1 ch1: ingroup base
constexpr uint16_t kBcolAt = 8;       // hori1 ch2: outgroup base
constexpr uint16_t kBidiAt = 20;      // hori2 ch1
constexpr uint16_t kBidiHighAt = 32;  // hori2 ch0: feeds every group's byte 4
constexpr uint16_t kBidiLowAt = 28;   // hori2 ch3: feeds every group's byte 5

// Lower resolution of each resolution class; the older layout scales the
// base distances (given at 600 dpi) to it.
constexpr uint32_t kClassResolution[8] = {225, 300, 450, 600, 900, 1200, 1800, 2400};

// `width` bytes from the answer to the record; the record field is
// `recWidth` bytes, the bytes above `width` zero (zero extension).
struct FieldCopy {
    uint16_t rec;
    uint16_t ans;
    uint8_t width;
    uint8_t recWidth;
};
constexpr FieldCopy Bytes(uint16_t rec, uint16_t ans, uint8_t n = 1) { return {rec, ans, n, n}; }
constexpr FieldCopy Word(uint16_t rec, uint16_t ans) { return {rec, ans, 2, 2}; }
constexpr FieldCopy Widen(uint16_t rec, uint16_t ans, uint8_t width, uint8_t recWidth) {
    return {rec, ans, width, recWidth};
}

constexpr FieldCopy kOlderCopies[] = {
    // clang-format off
    Bytes(50, 7),           // print-direction mode
    Word(94, 80),
    Widen(136, 82, 2, 4),
    Widen(96, 88, 2, 4),
    Word(92, 90),
    Bytes(90, 17),
    Bytes(53, 169),
    // clang-format on
};

// Newer layout, applied in this order.
constexpr FieldCopy kNewerCopies[] = {
    // clang-format off
    // vert / step calibration, ch0..ch7
    Word(46, 66), Word(40, 40), Word(42, 36), Word(44, 123),
    Word(36, 130), Word(38, 132), Word(100, 134), Word(102, 48),
    Word(128, 38),
    Bytes(91, 73),
    // hori1, ch0..ch7
    Word(16, 16), Word(4, 18), Word(8, 20), Word(12, 22),
    Word(6, 24), Word(10, 30), Word(14, 32), Word(18, 42),
    // hori2, ch0..ch7
    Word(32, 46), Word(20, 52), Word(24, 54), Word(28, 56),
    Word(22, 60), Word(26, 64), Word(30, 68), Word(34, 70),
    // second-head values
    Word(76, 74), Word(78, 76), Word(80, 78), Word(82, 96), Word(84, 98), Word(86, 100),
    Word(206, 102), Word(208, 104),  // 2headoffset
    Word(60, 118),
    Widen(62, 120, 1, 2),
    Word(142, 116),
    Bytes(67, 106, 8),  // chantable: soften byte, channel map, stripe mode
    Bytes(105, 114),    // d4c
    Bytes(104, 115),    // stripe size
    Bytes(64, 120),     // headnum
    Bytes(230, 156, 4), // rev0..rev3
    Bytes(222, 160, 8), // vertoffset
    Bytes(154, 186, 50),  // group records and flags
    // clang-format on
};

// x360/x720 left and right alignment, ch0..ch7 each.
constexpr FieldCopy kAlignCopies[] = {
    // clang-format off
    Bytes(234, 16, 2), Bytes(236, 148, 4), Bytes(240, 22, 2),  // x360_lalign
    Bytes(242, 152, 2), Bytes(244, 52, 4), Bytes(248, 154, 2), // x360_ralign
    Bytes(250, 24, 2), Bytes(252, 30, 4), Bytes(256, 42, 2),   // x720_lalign
    Bytes(258, 60, 2), Bytes(260, 64, 2), Bytes(262, 68, 4),   // x720_ralign
    // clang-format on
};

// The second head's alignment arrays are taken from bytes of the record
// itself (`ans` is a record offset here).
constexpr FieldCopy kSecondHeadAlign[] = {
    // clang-format off
    Bytes(266, 76, 8),  // H2 x360_lalign: the words 76..82
    Bytes(274, 158, 2), Bytes(276, 196), Bytes(277, 198), Bytes(278, 197), Bytes(279, 199),
    Bytes(280, 200, 2),  // H2 x360_ralign
    Bytes(282, 84, 4), Bytes(286, 154), Bytes(287, 156), Bytes(288, 155), Bytes(289, 157),  // H2 x720_lalign
    Bytes(290, 182, 2), Bytes(292, 190), Bytes(293, 192), Bytes(294, 191), Bytes(295, 193),
    Bytes(296, 194, 2),  // H2 x720_ralign
    // clang-format on
};

constexpr bool FitsRecord(const FieldCopy *t, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (t[i].width > t[i].recWidth || t[i].rec + t[i].recWidth > sizeof(UISetupPara)) return false;
    }
    return true;
}
static_assert(FitsRecord(kOlderCopies, std::size(kOlderCopies)));
static_assert(FitsRecord(kNewerCopies, std::size(kNewerCopies)));
static_assert(FitsRecord(kAlignCopies, std::size(kAlignCopies)));
static_assert(FitsRecord(kSecondHeadAlign, std::size(kSecondHeadAlign)));

// The answer comes from the network: every read is bounded by its length.
struct Answer {
    const uint8_t *p;
    uint32_t len;
    uint8_t Byte(uint32_t i) const { return i < len ? p[i] : 0; }
    uint16_t Word(uint32_t i) const { return static_cast<uint16_t>(Byte(i) | Byte(i + 1) << 8); }
};

void ApplyCopies(UISetupPara *ui, const Answer &a, const FieldCopy *t, size_t n) {
    uint8_t *rec = SettingsBytes(ui);
    for (size_t i = 0; i < n; ++i) {
        for (uint32_t k = 0; k < t[i].recWidth; ++k) {
            rec[t[i].rec + k] = k < t[i].width ? a.Byte(t[i].ans + k) : 0;
        }
    }
}

template <size_t N>
void ApplyCopies(UISetupPara *ui, const Answer &a, const FieldCopy (&t)[N]) {
    ApplyCopies(ui, a, t, N);
}

uint16_t OrDefault(uint16_t v, uint16_t def) { return v ? v : def; }

uint32_t FirmwareVersion(const Answer &a) { return a.Byte(84) + 256u * (a.Byte(85) & 0x3F); }

void DeriveOlderGroups(UISetupPara *ui) {
    const uint32_t acol = SettingsWord(ui, kAcolAt);
    const uint32_t bcol = SettingsWord(ui, kBcolAt);
    for (int k = 0; k < 8; ++k) {
        ui->group[k][kGroupIngroup] = static_cast<uint8_t>(acol * kClassResolution[k] / 600);
        ui->group[k][kGroupOutgroup] = static_cast<uint8_t>(bcol * kClassResolution[k] / 600);
    }
}

void TraceNewer(const UISetupPara *ui) {
    const uint8_t *c = ui->chantable;
    sl_trace("chantable: 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x\n", c[0], c[1], c[2], c[3], c[4], c[5], c[6],
             c[7]);
    const int8_t *v = ui->vertoffset;
    sl_trace("vertoffset: %d %d %d %d %d %d %d %d\n", v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    sl_trace("headnum:%d d4c:0x%x colors:0x%x rev0:0x%x rev1:0x%x rev2:0x%x rev3:0x%x\n", ui->headnum,
             ui->d4c, c[1], ui->rev[0], ui->rev[1], ui->rev[2], ui->rev[3]);
    for (int k = 0; k < 8; ++k) {
        const uint8_t *g = ui->group[k];
        sl_trace("<<%d>> In:%d Oout:%d H:%d L:%d vsd3:%d vsd4:%d\n", k, g[kGroupIngroup], g[kGroupOutgroup],
                 g[kGroupHigh], g[kGroupLow], g[kGroupVsd3], g[kGroupVsd4]);
    }
    sl_trace("flags:0x%x", SettingsWord(ui, 202));
    sl_trace("NetReadRegInfo\n");
    const char *names[3] = {"hori1", "hori2", "vert"};
    uint16_t (*const get[3])(const UISetupPara *, uint8_t) = {Hori1, Hori2, Vert};
    for (int i = 0; i < 3; ++i) {
        sl_trace("%s --> ch0:%d ch1:%d ch2:%d ch3:%d ch4:%d ch5:%d ch6:%d ch7:%d\n", names[i], get[i](ui, 0),
                 get[i](ui, 1), get[i](ui, 2), get[i](ui, 3), get[i](ui, 4), get[i](ui, 5), get[i](ui, 6),
                 get[i](ui, 7));
    }
    sl_trace("ingroup:%d outgroup:%d 2headoffset:%d %d\n", SettingsWord(ui, kAcolAt),
             SettingsWord(ui, kBcolAt), SettingsWord(ui, 206), SettingsWord(ui, 208));
}

}  // namespace

void DecodeOlderBlock(UISetupPara *ui, const uint8_t *answer, uint32_t len) {
    const Answer a{answer, answer ? len : 0};
    ui->sig[0] = 0x55;
    ui->sig[1] = 0x49;
    ui->ver = 1;
    sl_trace("OLD Driver *****************************\n");

    ApplyCopies(ui, a, kOlderCopies);
    ui->PrintSpeed = a.Byte(13) == kPrintSpeedHigh ? kPrintSpeedHigh : kPrintSpeedLow;
    ui->SpeedValue = kOlderLayoutSpeedValue;

    const uint16_t acol = OrDefault(a.Word(26), kDefaultAcol);
    const uint16_t bcol = OrDefault(a.Word(28), kDefaultBcol);
    const uint16_t step = OrDefault(a.Word(50), kDefaultStep);
    PutSettingsWord(ui, kAcolAt, acol);
    PutSettingsWord(ui, kBcolAt, bcol);
    PutSettingsWord(ui, kStepBaseAt, step);
    DeriveOlderGroups(ui);

    const uint16_t bidi = OrDefault(a.Word(34), kDefaultBidi);
    PutSettingsWord(ui, kBidiAt, bidi);
    PutSettingsWord(ui, kBidiHighAt, bidi);
    PutSettingsWord(ui, kBidiLowAt, bidi);
    for (int k = 0; k < 8; ++k) {
        ui->group[k][kGroupHigh] = static_cast<uint8_t>(SettingsWord(ui, kBidiHighAt));
        ui->group[k][kGroupLow] = static_cast<uint8_t>(SettingsWord(ui, kBidiLowAt));
    }
    for (uint16_t off : kVertAt) PutSettingsWord(ui, off, step);

    const uint32_t version = FirmwareVersion(a);
    ui->CurFWVersion = static_cast<uint16_t>(version < kOlderLayoutVersion ? version : kOlderLayoutVersion);
    ui->w150 = static_cast<uint16_t>(a.Byte(86) * 256 + a.Byte(92));
    ui->b91 = a.Byte(73) & 0x0F;

    sl_trace("Print:%d Dir:%d Spd:%d Acol:0x%x(%d) Bcol:0x%x(%d) Bidi:0x%x(%d) Step:0x%x(%d)", a.Byte(13),
             ui->Dir, ui->PrintSpeed, acol, acol, bcol, bcol, bidi, bidi, step, step);
}

void DecodeNewerBlock(UISetupPara *ui, const uint8_t *answer, uint32_t len) {
    const Answer a{answer, answer ? len : 0};
    DecodeOlderBlock(ui, answer, len);

    const uint32_t version = FirmwareVersion(a);
    ui->CurFWVersion = static_cast<uint16_t>(version);
    sl_trace("\nVERSION:%d\n", version);
    if (version <= kOlderLayoutVersion) return;

    ApplyCopies(ui, a, kNewerCopies);
    if (ui->headnum == 8 && ui->d4c != 0) ui->d4c = 0;

    if (ChannelMapRevision(ui) >= kRevisionWithAlignment) {
        ApplyCopies(ui, a, kAlignCopies);
        const Answer self{SettingsBytes(ui), sizeof(UISetupPara)};
        ApplyCopies(ui, self, kSecondHeadAlign);
    }

    ui->w146 = a.Word(44);
    ui->group[2][kGroupIngroup] = static_cast<uint8_t>(ui->group[3][kGroupIngroup] * 450 / 600);
    ui->group[2][kGroupOutgroup] = static_cast<uint8_t>(ui->group[3][kGroupOutgroup] * 450 / 600);
    TraceNewer(ui);
}

}  // namespace sl
