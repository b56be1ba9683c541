#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shared/board_settings.h"
#include "transport/parameter_block.h"

namespace sl {
namespace {

constexpr size_t kAnswerBytes = 240;
constexpr uint8_t kUntouched = 0xA5;  // record bytes a decoding must leave alone

std::vector<uint8_t> ZeroAnswer() { return std::vector<uint8_t>(kAnswerBytes, 0); }

// Every byte distinct enough that a copy from the wrong position shows.
std::vector<uint8_t> PatternAnswer() {
    std::vector<uint8_t> a(kAnswerBytes);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i * 37 + 11);
    a[120] = 4;  // headnum: not 8, so d4c is taken as sent
    return a;
}

void Put16(std::vector<uint8_t> &a, size_t at, uint16_t v) {
    a[at] = static_cast<uint8_t>(v);
    a[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Word(const std::vector<uint8_t> &a, size_t at) {
    return static_cast<uint16_t>(a[at] | a[at + 1] << 8);
}
void SetVersion(std::vector<uint8_t> &a, uint16_t v, uint8_t topBits = 0) {
    a[84] = static_cast<uint8_t>(v);
    a[85] = static_cast<uint8_t>(((v >> 8) & 0x3F) | topBits);
}

const uint8_t *Rec(const UISetupPara &ui) { return reinterpret_cast<const uint8_t *>(&ui); }
uint16_t RecWord(const UISetupPara &ui, size_t off) {
    return static_cast<uint16_t>(Rec(ui)[off] | Rec(ui)[off + 1] << 8);
}
uint32_t RecLong(const UISetupPara &ui, size_t off) {
    return RecWord(ui, off) | uint32_t{RecWord(ui, off + 2)} << 16;
}

struct Record {
    alignas(8) UISetupPara ui;
    Record() { std::memset(&ui, kUntouched, sizeof ui); }
};

TEST(DecodeOlderBlock, ZeroBaseValuesTakeTheDefaults) {
    Record r;
    const std::vector<uint8_t> a = ZeroAnswer();
    DecodeOlderBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
    const UISetupPara &ui = r.ui;

    EXPECT_EQ(ui.sig[0], 0x55);
    EXPECT_EQ(ui.sig[1], 0x49);
    EXPECT_EQ(ui.ver, 1);
    EXPECT_EQ(ui.SpeedValue, 25);
    EXPECT_EQ(ui.PrintSpeed, 5);
    EXPECT_EQ(Hori1(&ui, 1), 53);   // Acol, offset 4
    EXPECT_EQ(Hori1(&ui, 2), 180);  // Bcol, offset 8
    EXPECT_EQ(RecWord(ui, 4), 53);
    EXPECT_EQ(RecWord(ui, 8), 180);
    for (uint8_t ch : {0, 1, 3}) EXPECT_EQ(Hori2(&ui, ch), 22) << "Bidi, channel " << int(ch);
    EXPECT_EQ(RecWord(ui, 88), 4800);
    for (uint8_t ch = 0; ch < 8; ++ch) EXPECT_EQ(Vert(&ui, ch), 4800) << int(ch);

    // Base distances scaled to each class's lower resolution, kept as a byte.
    const uint8_t expectIn[8] = {19, 26, 39, 53, 79, 106, 159, 212};
    const uint8_t expectOut[8] = {67, 90, 135, 180, 270 % 256, 360 % 256, 540 % 256, 720 % 256};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(ui.group[k][kGroupIngroup], expectIn[k]) << "class " << k;
        EXPECT_EQ(ui.group[k][kGroupOutgroup], expectOut[k]) << "class " << k;
        EXPECT_EQ(ui.group[k][kGroupHigh], 22);
        EXPECT_EQ(ui.group[k][kGroupLow], 22);
        EXPECT_EQ(ui.group[k][kGroupVsd3], kUntouched);
    }
    // The newer layout's fields are not the older decoding's business.
    EXPECT_EQ(ui.headnum, kUntouched);
    EXPECT_EQ(ui.chantable[0], kUntouched);
    EXPECT_EQ(ui.x360_lalign[0], static_cast<int8_t>(kUntouched));
}

TEST(DecodeOlderBlock, CopiesItsFields) {
    Record r;
    std::vector<uint8_t> a = ZeroAnswer();
    a[7] = 11;
    a[13] = 7;
    Put16(a, 26, 100);
    Put16(a, 28, 200);
    Put16(a, 34, 0x1234);
    Put16(a, 50, 5000);
    Put16(a, 80, 0x0102);
    Put16(a, 82, 0xBEEF);
    Put16(a, 88, 0xCAFE);
    Put16(a, 90, 0x4321);
    a[86] = 0x12;
    a[92] = 0x34;
    a[73] = 0xAB;
    a[17] = 0x77;
    a[169] = 0x99;
    SetVersion(a, 400, 0xC0);  // above the older layout's limit, top bits set
    DecodeOlderBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
    const UISetupPara &ui = r.ui;

    EXPECT_EQ(ui.Dir, 11);
    EXPECT_EQ(ui.PrintSpeed, 7);
    EXPECT_EQ(Hori1(&ui, 1), 100);
    EXPECT_EQ(Hori1(&ui, 2), 200);
    EXPECT_EQ(ui.group[1][kGroupIngroup], 50);    // 100 x 300 / 600
    EXPECT_EQ(ui.group[1][kGroupOutgroup], 100);  // 200 x 300 / 600
    EXPECT_EQ(ui.group[7][kGroupIngroup], 400 % 256);
    EXPECT_EQ(ui.group[7][kGroupOutgroup], 800 % 256);
    EXPECT_EQ(Hori2(&ui, 1), 0x1234);
    EXPECT_EQ(Hori2(&ui, 0), 0x1234);
    EXPECT_EQ(Hori2(&ui, 3), 0x1234);
    EXPECT_EQ(ui.group[5][kGroupHigh], 0x34);
    EXPECT_EQ(ui.group[5][kGroupLow], 0x34);
    for (uint8_t ch = 0; ch < 8; ++ch) EXPECT_EQ(Vert(&ui, ch), 5000);
    EXPECT_EQ(RecWord(ui, 88), 5000);
    EXPECT_EQ(RecWord(ui, 94), 0x0102);
    EXPECT_EQ(RecLong(ui, 136), 0xBEEFu);  // zero-extended
    EXPECT_EQ(RecLong(ui, 96), 0xCAFEu);
    EXPECT_EQ(RecWord(ui, 92), 0x4321);
    EXPECT_EQ(RecWord(ui, 150), 0x1234);
    EXPECT_EQ(ui.b91, 0x0B);
    EXPECT_EQ(ui.b90, 0x77);
    EXPECT_EQ(ui.b53, 0x99);
    EXPECT_EQ(ui.CurFWVersion, 332);
}

TEST(DecodeOlderBlock, OnlySpeedSevenIsHighSpeed) {
    const struct { uint8_t sent, stored; } cases[] = {{7, 7}, {5, 5}, {0, 5}, {6, 5}, {0xFF, 5}};
    for (const auto &c : cases) {
        Record r;
        std::vector<uint8_t> a = ZeroAnswer();
        a[13] = c.sent;
        DecodeOlderBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
        EXPECT_EQ(r.ui.PrintSpeed, c.stored) << int(c.sent);
    }
}

TEST(DecodeNewerBlock, VersionUpTo332KeepsTheOlderDecoding) {
    const struct {
        uint16_t version;
        bool newer;
    } cases[] = {{332, false}, {100, false}, {333, true}, {400, true}, {0x3FFF, true}};
    for (const auto &c : cases) {
        Record r;
        std::vector<uint8_t> a = PatternAnswer();
        SetVersion(a, c.version);
        DecodeNewerBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
        EXPECT_EQ(r.ui.CurFWVersion, c.version);
        if (c.newer) {
            EXPECT_EQ(r.ui.headnum, a[120]) << c.version;
            EXPECT_EQ(Hori1(&r.ui, 0), Word(a, 16)) << c.version;
            EXPECT_EQ(r.ui.b91, a[73]) << c.version;  // the whole byte now
        } else {
            EXPECT_EQ(r.ui.headnum, kUntouched) << c.version;
            EXPECT_EQ(RecWord(r.ui, 16), kUntouched * 0x101) << c.version;
            EXPECT_EQ(r.ui.b91, a[73] & 0x0F) << c.version;
            EXPECT_EQ(Hori1(&r.ui, 1), Word(a, 26)) << c.version;  // Acol
        }
    }
}

TEST(DecodeNewerBlock, PlacesEveryNewerField) {
    Record r;
    std::vector<uint8_t> a = PatternAnswer();
    SetVersion(a, 400);
    a[158] = 160;  // b1Rev2: the answer carries the alignment arrays
    DecodeNewerBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
    const UISetupPara &ui = r.ui;

    const size_t hori1At[8] = {16, 18, 20, 22, 24, 30, 32, 42};
    const size_t hori2At[8] = {46, 52, 54, 56, 60, 64, 68, 70};
    const size_t vertAt[8] = {66, 40, 36, 123, 130, 132, 134, 48};
    const size_t x360lAt[8] = {16, 17, 148, 149, 150, 151, 22, 23};
    const size_t x360rAt[8] = {152, 153, 52, 53, 54, 55, 154, 155};
    const size_t x720lAt[8] = {24, 25, 30, 31, 32, 33, 42, 43};
    const size_t x720rAt[8] = {60, 61, 64, 65, 68, 69, 70, 71};
    for (uint8_t ch = 0; ch < 8; ++ch) {
        SCOPED_TRACE(int(ch));
        EXPECT_EQ(Hori1(&ui, ch), Word(a, hori1At[ch]));
        EXPECT_EQ(Hori2(&ui, ch), Word(a, hori2At[ch]));
        EXPECT_EQ(Vert(&ui, ch), Word(a, vertAt[ch]));
        EXPECT_EQ(ui.x360_lalign[ch], static_cast<int8_t>(a[x360lAt[ch]]));
        EXPECT_EQ(ui.x360_ralign[ch], static_cast<int8_t>(a[x360rAt[ch]]));
        EXPECT_EQ(ui.x720_lalign[ch], static_cast<int8_t>(a[x720lAt[ch]]));
        EXPECT_EQ(ui.x720_ralign[ch], static_cast<int8_t>(a[x720rAt[ch]]));
        EXPECT_EQ(ui.chantable[ch], a[106 + ch]);
        EXPECT_EQ(ui.vertoffset[ch], static_cast<int8_t>(a[160 + ch]));
    }
    const size_t head2At[6] = {74, 76, 78, 96, 98, 100};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(RecWord(ui, 76 + 2 * i), Word(a, head2At[i])) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ui.rev[i], a[156 + i]) << i;

    EXPECT_EQ(RecWord(ui, 128), Word(a, 38));
    EXPECT_EQ(ui.b91, a[73]);
    EXPECT_EQ(RecWord(ui, 206), Word(a, 102));
    EXPECT_EQ(RecWord(ui, 208), Word(a, 104));
    EXPECT_EQ(RecWord(ui, 60), Word(a, 118));
    EXPECT_EQ(RecWord(ui, 62), a[120]);  // zero-extended byte
    EXPECT_EQ(RecWord(ui, 142), Word(a, 116));
    EXPECT_EQ(RecWord(ui, 146), Word(a, 44));
    EXPECT_EQ(ui.d4c, a[114]);
    EXPECT_EQ(ui.StripeSize, a[115]);
    EXPECT_EQ(ui.headnum, a[120]);
    EXPECT_EQ(RecWord(ui, 202), Word(a, 234));  // group flags

    // Group records as sent, except class 2, derived from class 3.
    for (int k = 0; k < 8; ++k) {
        for (int b = 0; b < 6; ++b) {
            const bool derived = k == 2 && (b == kGroupIngroup || b == kGroupOutgroup);
            if (!derived) {
                EXPECT_EQ(ui.group[k][b], a[186 + 6 * k + b]) << k << "/" << b;
            }
        }
    }
    EXPECT_EQ(ui.group[2][kGroupIngroup], ui.group[3][kGroupIngroup] * 450 / 600);
    EXPECT_EQ(ui.group[2][kGroupOutgroup], ui.group[3][kGroupOutgroup] * 450 / 600);

    // The second head's arrays come from bytes of the record itself.
    const size_t h2x360lFrom[8] = {76, 77, 78, 79, 80, 81, 82, 83};
    const size_t h2x720lFrom[8] = {84, 85, 86, 87, 154, 156, 155, 157};
    const size_t h2x360rFrom[8] = {158, 159, 196, 198, 197, 199, 200, 201};
    const size_t h2x720rFrom[8] = {182, 183, 190, 192, 191, 193, 194, 195};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ui.h2_x360_lalign[i], static_cast<int8_t>(Rec(ui)[h2x360lFrom[i]]));
        EXPECT_EQ(ui.h2_x720_lalign[i], static_cast<int8_t>(Rec(ui)[h2x720lFrom[i]]));
        EXPECT_EQ(ui.h2_x360_ralign[i], static_cast<int8_t>(Rec(ui)[h2x360rFrom[i]]));
        EXPECT_EQ(ui.h2_x720_ralign[i], static_cast<int8_t>(Rec(ui)[h2x720rFrom[i]]));
    }
    // Older-only fields stand.
    EXPECT_EQ(ui.SpeedValue, 25);
    EXPECT_EQ(RecWord(ui, 150), a[86] * 256 + a[92]);
    EXPECT_EQ(ui.CurFWVersion, 400);
    // Bytes neither decoding writes keep their value.
    EXPECT_EQ(ui.res106[0], kUntouched);
    EXPECT_EQ(ui.res298[0], kUntouched);
}

TEST(DecodeNewerBlock, AlignmentArraysNeedRevision160) {
    for (uint8_t rev2 : {159, 0, 160, 255}) {
        Record r;
        std::vector<uint8_t> a = PatternAnswer();
        SetVersion(a, 400);
        a[158] = rev2;
        DecodeNewerBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
        const bool carried = rev2 >= 160;
        const int8_t kept = static_cast<int8_t>(kUntouched);
        SCOPED_TRACE(int(rev2));
        EXPECT_EQ(r.ui.rev[2], rev2);
        EXPECT_EQ(r.ui.x360_lalign[2], carried ? static_cast<int8_t>(a[148]) : kept);
        EXPECT_EQ(r.ui.x720_ralign[7], carried ? static_cast<int8_t>(a[71]) : kept);
        EXPECT_EQ(r.ui.h2_x360_lalign[0], carried ? static_cast<int8_t>(a[74]) : kept);
        EXPECT_EQ(r.ui.h2_x720_ralign[7], carried ? static_cast<int8_t>(a[186 + 6 * 6 + 5]) : kept);
        EXPECT_EQ(r.ui.headnum, a[120]);  // the rest of the newer layout regardless
    }
}

TEST(DecodeNewerBlock, HeadnumEightClearsD4c) {
    const struct {
        uint8_t headnum, d4c, expected;
    } cases[] = {{8, 5, 0}, {8, 0, 0}, {4, 5, 5}, {7, 0xFF, 0xFF}};
    for (const auto &c : cases) {
        Record r;
        std::vector<uint8_t> a = PatternAnswer();
        SetVersion(a, 400);
        a[120] = c.headnum;
        a[114] = c.d4c;
        DecodeNewerBlock(&r.ui, a.data(), static_cast<uint32_t>(a.size()));
        EXPECT_EQ(r.ui.d4c, c.expected) << int(c.headnum) << "/" << int(c.d4c);
        EXPECT_EQ(r.ui.headnum, c.headnum);
    }
}

TEST(DecodeNewerBlock, NeverReadsPastTheAnswer) {
    // Exactly `len` bytes on the heap: a read beyond shows under the sanitizer,
    // and every missing byte must count as 0.
    std::vector<uint8_t> full = PatternAnswer();
    SetVersion(full, 400);
    full[158] = 200;
    const uint32_t len = 121;  // ends with headnum at 120
    std::vector<uint8_t> a(full.begin(), full.begin() + len);
    Record r;
    DecodeNewerBlock(&r.ui, a.data(), len);
    EXPECT_EQ(r.ui.CurFWVersion, 400);
    EXPECT_EQ(r.ui.headnum, full[120]);
    EXPECT_EQ(Vert(&r.ui, 3), 0);  // answer bytes 123-124
    EXPECT_EQ(Vert(&r.ui, 4), 0);  // 130-131
    EXPECT_EQ(r.ui.rev[2], 0);     // so no alignment arrays
    EXPECT_EQ(r.ui.x360_lalign[0], static_cast<int8_t>(kUntouched));
    EXPECT_EQ(r.ui.group[7][5], 0);
    EXPECT_EQ(r.ui.b53, 0);  // older field at 169

    Record empty;
    DecodeNewerBlock(&empty.ui, nullptr, 0);
    EXPECT_EQ(Hori1(&empty.ui, 1), 53);
    EXPECT_EQ(empty.ui.CurFWVersion, 0);
}

TEST(StepCalibration, ReaderAndWriterUseTheirOwnSlots) {
    const struct {
        uint32_t passes;
        size_t readAt, writeAt;
    } cases[] = {
        // clang-format off
        {1, 36, 46}, {2, 40, 40}, {3, 42, 42}, {4, 44, 44}, {6, 36, 36},
        {8, 38, 38}, {12, 36, 100}, {16, 38, 102}, {5, 36, 88}, {0, 36, 88},
        // clang-format on
    };
    const size_t slots[] = {36, 38, 40, 42, 44, 46, 88, 100, 102};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.passes);
        alignas(8) UISetupPara ui{};
        for (size_t off : slots) {
            reinterpret_cast<uint8_t *>(&ui)[off] = static_cast<uint8_t>(off);
        }
        EXPECT_EQ(StepCalibration(&ui, c.passes), c.readAt);

        alignas(8) UISetupPara written{};
        StoreStepCalibration(&written, c.passes, 0xBEEF);
        for (size_t off : slots) EXPECT_EQ(RecWord(written, off), off == c.writeAt ? 0xBEEF : 0) << off;
    }
    alignas(8) UISetupPara zero{};
    EXPECT_EQ(StepCalibration(&zero, 4), 1);  // a stored 0 reads as 1
}

}  // namespace
}  // namespace sl
