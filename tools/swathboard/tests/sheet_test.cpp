// The printed sheet: dots placed by hand-made swaths, worked out by hand from
// the head tables, and the sheet's files.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_args.h"
#include "head_settings.h"
#include "job_geometry.h"
#include "raw_client.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSlice = 360;  // bytes per slice: 180 high-plane, 180 low-plane
constexpr std::size_t kJobCreateReply = 432, kShortReply = 14, kSwathReply = 18;

// A job on the board: the resolution word is XRES | YRES << 4 | passes << 8.
struct Job {
    sbtest::BoardHandle board;
    sbtest::RawClient client;
    std::uint32_t serial = 1;

    Job(sbtest::TestAddress a, const swathboard::ParamPreset &preset, std::uint16_t resolution) {
        swathboard::BoardConfig config;
        config.preset = preset;
        board = sbtest::StartTestBoard(a, config);
        EXPECT_EQ(client.Connect(sbtest::TestIp(a)), 0);
        std::vector<std::uint8_t> reply;
        for (std::uint8_t code : {2, 8}) {
            sbtest::Packet p = sbtest::CommandPacket(code);
            sbtest::Put(&p, 12, 2, resolution);
            sbtest::Put(&p, 14, 2, 0x8641);
            EXPECT_TRUE(sbtest::Exchange(&client, p, code == 2 ? kJobCreateReply : kShortReply, &reply));
        }
    }

    // One swath: `slices` of data starting at 1/180-inch position pstart.
    void Swath(std::uint32_t pstart, bool right_to_left, std::uint32_t step,
               const std::vector<std::uint8_t> &data) {
        sbtest::Packet p = sbtest::SwathPacket(static_cast<std::uint32_t>(data.size()), serial++);
        sbtest::Put(&p, 30, 1, right_to_left ? 1 : 0);
        sbtest::Put(&p, 32, 4, step);
        sbtest::Put(&p, 38, 2, pstart);
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(client.SendPacket(p));
        if (!data.empty()) {
            ASSERT_TRUE(client.Send(data.data(), data.size()));
        }
        ASSERT_TRUE(client.Read(kSwathReply, &reply));
    }

    swathboard::Sheet Sheet() {
        swathboard::Sheet sheet;
        EXPECT_TRUE(swathboard::PrintedSheet(board.get(), &sheet));
        return sheet;
    }
};

// Sets nozzle n of channel ch in slice `slice` to `level`.
void Fire(std::vector<std::uint8_t> *data, std::size_t slice, std::uint32_t ch, std::uint32_t n,
          std::uint32_t level) {
    if (data->size() < (slice + 1) * kSlice) data->resize((slice + 1) * kSlice, 0);
    std::uint8_t *s = data->data() + slice * kSlice;
    if (level & 2) s[n] |= static_cast<std::uint8_t>(1u << ch);
    if (level & 1) s[180 + n] |= static_cast<std::uint8_t>(1u << ch);
}

std::uint8_t At(const swathboard::Sheet &sheet, swathboard::Ink ink, std::uint32_t row, std::uint32_t col) {
    return sheet.ink[ink][static_cast<std::size_t>(row) * sheet.width + col];
}

// 360 x 360, one pass. The align preset's 300/360 group is ingroup 27,
// outgroup 89, class-2 bidirectional value 21; x360_lalign ch = ch + 1,
// x360_ralign ch = -(ch + 1); its map puts K on channels 7 and 6, Y on 1
// and 0. Left to right, channel ch fires onto column x - (1350 + G - lalign),
// G = 0 for channel 7, 27 for 6, 3*27 + 3*89 = 348 for 1, 4*27 + 3*89 = 375
// for 0; right to left channel 7 onto x - (1350 + 7 - 21 - ralign).
constexpr std::uint16_t k360x360 = 2 | 2 << 4 | 1 << 8;

TEST(Sheet, DotsLandWhereTheHeadTablesPutThem) {
    Job job(sbtest::kAddrSheetDots, swathboard::NewerAlignPreset(), k360x360);
    std::vector<std::uint8_t> ltr;
    Fire(&ltr, 0, 7, 0, 2);    // carriage 1400 - 1342: column 58, row 0
    Fire(&ltr, 28, 6, 0, 3);   // carriage 1428 - 1370: column 58, row 1
    Fire(&ltr, 306, 1, 5, 1);  // carriage 1706 - 1696: column 10, row 10
    job.Swath(700, false, 0, ltr);
    std::vector<std::uint8_t> rtl;
    Fire(&rtl, 10, 7, 2, 1);  // carriage 1410 - 10 - 1344: column 56, row 4
    job.Swath(705, true, 0, rtl);
    std::vector<std::uint8_t> again;
    Fire(&again, 0, 7, 0, 1);  // the first dot once more
    Fire(&again, 0, 0, 0, 3);  // channel 0 at carriage 1400 - 1724: left of the image
    job.Swath(700, false, 0, again);
    swathboard::SetImageSize(job.board.get(), 100, 20, 360);

    const swathboard::Sheet sheet = job.Sheet();
    ASSERT_EQ(sheet.width, 100u);
    EXPECT_EQ(At(sheet, swathboard::kInkK, 0, 58), 3);  // 2, then 1 on top
    EXPECT_EQ(At(sheet, swathboard::kInkK, 1, 58), 3);
    EXPECT_EQ(At(sheet, swathboard::kInkK, 4, 56), 1);
    EXPECT_EQ(At(sheet, swathboard::kInkY, 10, 10), 1);
    const swathboard::SheetSummary &s = sheet.summary;
    EXPECT_EQ(s.swaths, 3u);
    EXPECT_EQ(s.doubled, 1u);
    EXPECT_EQ(s.outside, 1u);
    EXPECT_EQ(s.dots[7][2] + s.dots[7][1] + s.dots[6][3] + s.dots[1][1] + s.dots[0][3], 6u);
}

// Paper feed: Step times the step calibration for the pass count (one pass
// reads the ch4 word) over 35860, in 2880ths; a feed-only swath moves the
// paper too.
TEST(Sheet, PaperAdvancesByCalibratedSteps) {
    swathboard::ParamPreset preset = swathboard::NewerAlignPreset();
    preset.vert[4] = 17930;  // half: a Step of 1440 feeds 720/2880 inch, 90 lines
    Job job(sbtest::kAddrSheetFeed, preset, k360x360);
    std::vector<std::uint8_t> dot;
    Fire(&dot, 0, 7, 0, 3);
    job.Swath(700, false, 1440, dot);
    job.Swath(0, false, 2880, {});
    job.Swath(700, false, 0, dot);
    swathboard::SetImageSize(job.board.get(), 100, 300);

    const swathboard::Sheet sheet = job.Sheet();
    EXPECT_EQ(sheet.xdpi, 360u);
    EXPECT_EQ(sheet.ydpi, 360u);
    EXPECT_EQ(At(sheet, swathboard::kInkK, 0, 58), 3);
    EXPECT_EQ(At(sheet, swathboard::kInkK, 270, 58), 3);
    EXPECT_EQ(sheet.summary.swaths, 3u);
    EXPECT_EQ(sheet.summary.paper_advanced_um, 19050u);  // 3/4 inch
    EXPECT_EQ(sheet.summary.doubled, 0u);
    EXPECT_EQ(sheet.summary.drift_millilines, 0u);
}

// 720 x 720 prints in four column-split passes of 126 lines (feeds 125, 127,
// 125, 127 lines, Steps 500 and 508): passes 0 and 3 of a cycle carry the
// even 720-dpi columns, 1 and 2 the odd ones. Row 0 is 720 - 126 - 1 lines
// below the head's top at the first swath; nozzle 150 of channel 7 prints
// 600 lines below it.
TEST(Sheet, ColumnSplitHalvesFollowTheFeedCycle) {
    swathboard::ParamPreset preset = swathboard::NewerAlignPreset();
    preset.vert.fill(35860);  // exact steps
    Job job(sbtest::kAddrSheetColumnSplit, preset, 2 | 4 << 4 | 4 << 8);
    std::vector<std::uint8_t> dot;
    Fire(&dot, 0, 7, 150, 2);  // 360-dpi column 1400 - 1342 = 58
    for (std::uint32_t step : {500, 508, 500, 508, 0}) job.Swath(700, false, step, dot);
    swathboard::SetImageSize(job.board.get(), 300, 600);

    const swathboard::Sheet sheet = job.Sheet();
    EXPECT_EQ(sheet.xdpi, 720u);
    const struct {
        std::uint32_t row, column;
    } expected[] = {{7, 116}, {132, 117}, {259, 117}, {384, 116}, {511, 116}};
    for (const auto &e : expected) EXPECT_EQ(At(sheet, swathboard::kInkK, e.row, e.column), 2) << e.row;
    EXPECT_EQ(sheet.summary.doubled + sheet.summary.outside, 0u);
}

TEST(Sheet, ColumnPhaseRule) {
    const struct {
        std::uint32_t passes;
        std::vector<std::uint32_t> phases;  // for seq 0, 1, ...
    } rules[] = {
        {2, {0, 1, 0, 1}},
        {4, {0, 1, 1, 0, 0, 1, 1, 0}},
        {6, {0, 1, 0, 1, 0, 1, 0}},
        // Passes four apart must print opposite halves.
        {8, {0, 0, 0, 0, 1, 1, 1, 1, 0}},
    };
    for (const auto &r : rules) {
        for (std::uint32_t seq = 0; seq < r.phases.size(); ++seq) {
            EXPECT_EQ(swathboard::ColumnPhase(r.passes, seq), r.phases[seq])
                << r.passes << " passes, seq " << seq;
        }
    }
}

swathboard::HeadSettings HeadOf(const swathboard::ParamPreset &preset) {
    return swathboard::ReadHeadSettings(swathboard::JobCreateAnswer(preset, 0));
}

std::array<std::int8_t, 8> Wiring(std::initializer_list<swathboard::Ink> inks) {
    std::array<std::int8_t, 8> w{};
    std::size_t i = 0;
    for (swathboard::Ink ink : inks) w[i++] = static_cast<std::int8_t>(ink);
    return w;
}

TEST(Sheet, HeadSettingsAsTheHostReadsThem) {
    using swathboard::kInkC, swathboard::kInkK, swathboard::kInkM, swathboard::kInkY;
    const auto builtin = Wiring({kInkY, kInkY, kInkM, kInkM, kInkC, kInkC, kInkK, kInkK});

    // Older block: groups from Acol 56 / Bcol 184 per class, one bidirectional
    // value, one step calibration, the old firmware's mirrored wiring.
    const swathboard::HeadSettings old = HeadOf(swathboard::OlderPreset());
    EXPECT_EQ(old.groups[0].ingroup, 56 * 225 / 600);
    EXPECT_EQ(old.groups[7].outgroup, (184 * 2400 / 600) & 0xFF);
    EXPECT_EQ(old.groups[1].bidi[1], 20);
    EXPECT_EQ(swathboard::StepCalibration(old, 4), 4810u);
    EXPECT_EQ(old.channel_ink, Wiring({kInkY, kInkK, kInkM, kInkC, kInkC, kInkM, kInkK, kInkY}));
    EXPECT_EQ(old.soften, 0);

    // Newer block: the group table as sent, the 450/540 class derived from
    // the 600 one; without the alignment revision no alignment and no map.
    swathboard::ParamPreset newer = swathboard::NewerPreset();
    newer.channel_map = {0x44, 0x33, 0x22, 0x11};
    newer.soften = 0x41;
    const swathboard::HeadSettings n = HeadOf(newer);
    EXPECT_EQ(n.groups[1].ingroup, 27);
    EXPECT_EQ(n.groups[2].ingroup, 54 * 450 / 600);
    EXPECT_EQ(n.groups[2].outgroup, 178 * 450 / 600);
    EXPECT_EQ(n.groups[1].bidi, (std::array<std::uint8_t, 4>{20, 21, 0, 0}));
    EXPECT_EQ(n.x360_lalign, (std::array<std::int8_t, 8>{}));
    EXPECT_EQ(n.channel_ink, builtin);
    EXPECT_EQ(n.soften, 0x41);
    EXPECT_EQ(swathboard::StepCalibration(n, 2), 4802u);
    EXPECT_EQ(swathboard::StepCalibration(n, 8), 4812u);
    EXPECT_EQ(swathboard::StepCalibration(n, 1), 4808u);

    // With the revision: alignment arrays and a valid map (Y on 7 and 6, K on 1 and 0).
    swathboard::ParamPreset aligned = swathboard::NewerAlignPreset();
    aligned.channel_map = {0x44, 0x33, 0x22, 0x11};
    const swathboard::HeadSettings a = HeadOf(aligned);
    EXPECT_EQ(a.x720_ralign[7], -18);
    EXPECT_EQ(a.channel_ink, Wiring({kInkK, kInkK, kInkC, kInkC, kInkM, kInkM, kInkY, kInkY}));
    // A map with one colour three times, or a colour twice on one parity, is not used.
    for (const std::array<std::uint8_t, 4> bad : {std::array<std::uint8_t, 4>{0x11, 0x12, 0x33, 0x44},
                                                  std::array<std::uint8_t, 4>{0x21, 0x21, 0x43, 0x43}}) {
        aligned.channel_map = bad;
        EXPECT_EQ(HeadOf(aligned).channel_ink, builtin);
    }
}

std::string TempPath(const std::string &name) { return ::testing::TempDir() + name; }

std::string Slurp(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Picture {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// An empty picture when the file does not read as a PNG.
Picture ReadPicture(const std::string &path) {
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr));
    p.width = image.width;
    p.height = image.height;
    return p;
}

// Writes `sheet` as a PNG and reads it back.
Picture WrittenPicture(const swathboard::Sheet &sheet) {
    const std::string path = TempPath("sheet_test.png");
    std::string error;
    EXPECT_TRUE(swathboard::WriteSheetPng(sheet, path, &error)) << error;
    const Picture p = ReadPicture(path);
    std::remove(path.c_str());
    return p;
}

TEST(Sheet, PngCompositesInksOnWhite) {
    swathboard::Sheet sheet;
    sheet.width = 3;
    sheet.height = 1;
    for (auto &plane : sheet.ink) plane.assign(3, 0);
    sheet.ink[swathboard::kInkK][0] = 3;  // black
    sheet.ink[swathboard::kInkC][1] = 1;  // light cyan
    sheet.ink[swathboard::kInkC][2] = 3;  // full cyan and yellow: green
    sheet.ink[swathboard::kInkY][2] = 3;
    const Picture square = WrittenPicture(sheet);
    ASSERT_EQ(square.width, 3u);
    ASSERT_EQ(square.height, 1u);
    const std::vector<std::uint8_t> &rgb = square.rgb;
    EXPECT_EQ(rgb[0] | rgb[1] | rgb[2], 0);
    EXPECT_LT(rgb[3], 255);
    EXPECT_GT(rgb[3], 0);
    EXPECT_EQ(rgb[4] & rgb[5], 255);
    EXPECT_EQ(rgb[6], 0);
    EXPECT_EQ(rgb[7], 255);
    EXPECT_EQ(rgb[8], 0);

    // At 360 x 720 dpi every dot is drawn twice across.
    sheet.xdpi = 360;
    sheet.ydpi = 720;
    const Picture wide = WrittenPicture(sheet);
    ASSERT_EQ(wide.width, 6u);
    ASSERT_EQ(wide.height, 1u);
    for (std::size_t x = 0; x < 6; ++x) {
        for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(wide.rgb[3 * x + c], rgb[3 * (x / 2) + c]) << x;
    }
    // At 720 x 360 dpi every row twice.
    sheet.xdpi = 720;
    sheet.ydpi = 360;
    const Picture tall = WrittenPicture(sheet);
    EXPECT_EQ(tall.width, 3u);
    ASSERT_EQ(tall.height, 2u);
    EXPECT_TRUE(std::equal(tall.rgb.begin(), tall.rgb.begin() + 9, rgb.begin()));
    EXPECT_TRUE(std::equal(tall.rgb.begin() + 9, tall.rgb.end(), rgb.begin()));
}

TEST(Sheet, FilesNeverHalfWritten) {
    swathboard::Sheet sheet;
    sheet.width = 2;
    sheet.height = 2;
    for (auto &plane : sheet.ink) plane.assign(4, 0);
    sheet.summary.swaths = 7;
    sheet.summary.dots[3][2] = 11;
    const std::string json = TempPath("sheet_test.json");
    std::string error;
    ASSERT_TRUE(swathboard::WriteSheetSummaryJson(sheet, json, &error)) << error;
    const std::string text = Slurp(json);
    EXPECT_NE(text.find("\"swaths\": 7"), std::string::npos) << text;
    EXPECT_NE(text.find("{\"channel\": 3, \"level1\": 0, \"level2\": 11, \"level3\": 0}"), std::string::npos)
        << text;
    std::remove(json.c_str());

    const std::string missing_dir = TempPath("no-such-dir/sheet.png");
    EXPECT_FALSE(swathboard::WriteSheetPng(sheet, missing_dir, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(swathboard::WriteSheetSummaryJson(sheet, TempPath("no-such-dir/sheet.json"), &error));
    sheet.ink[1].resize(3);  // planes that do not match the size
    EXPECT_FALSE(swathboard::WriteSheetPng(sheet, TempPath("sheet_bad.png"), &error));
    EXPECT_FALSE(std::filesystem::exists(TempPath("sheet_bad.png")));
    EXPECT_FALSE(std::filesystem::exists(TempPath("sheet_bad.png.part")));
}

TEST(Sheet, ImageOption) {
    swathboard::CliOptions o;
    std::string error;
    const char *args[] = {"swathboard", "--ip",  "127.0.0.9", "--image", "640x480@720",
                          "--sheet",    "a.png", "--summary", "a.json"};
    ASSERT_TRUE(swathboard::ParseCli(9, args, &o, &error)) << error;
    EXPECT_EQ(o.image_width, 640u);
    EXPECT_EQ(o.image_height, 480u);
    EXPECT_EQ(o.image_xdpi, 720u);
    EXPECT_EQ(o.sheet_path, "a.png");
    EXPECT_EQ(o.summary_path, "a.json");
    for (const char *bad : {"640", "640x", "x480", "0x480", "640x480@", "640x480@0"}) {
        const char *bad_args[] = {"swathboard", "--ip", "127.0.0.9", "--image", bad};
        swathboard::CliOptions b;
        EXPECT_FALSE(swathboard::ParseCli(5, bad_args, &b, &error)) << bad;
    }
}

#ifdef SWATHBOARD_PROGRAM
// Runs the program with `extra` options, prints one dot when `print` is
// set, stops it with SIGTERM and returns its exit status.
int RunProgram(const std::vector<std::string> &extra, bool print) {
    const std::string ip = sbtest::TestIp(sbtest::kAddrSheetProgram);
    std::vector<std::string> argv = {"swathboard", "--ip", ip, "--preset", "new-align"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const pid_t pid = sbtest::SpawnProgram(SWATHBOARD_PROGRAM, argv);
    EXPECT_GT(pid, 0);
    if (pid <= 0) return -1;
    sbtest::RawClient client;
    const bool connected = sbtest::ConnectWhenListening(&client, ip);
    EXPECT_TRUE(connected);
    if (print && connected) {
        std::vector<std::uint8_t> reply;
        for (std::uint8_t code : {2, 8}) {
            sbtest::Packet p = sbtest::CommandPacket(code);
            sbtest::Put(&p, 12, 2, k360x360);
            EXPECT_TRUE(sbtest::Exchange(&client, p, code == 2 ? kJobCreateReply : kShortReply, &reply));
        }
        std::vector<std::uint8_t> dot;
        Fire(&dot, 0, 7, 0, 3);
        EXPECT_TRUE(sbtest::ExchangeSwath(&client, 1, dot, &reply));
    }
    client.Close();
    ::kill(pid, SIGTERM);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Sheet, ProgramWritesTheSheetWhenStopped) {
    const std::string png = TempPath("sheet_program.png"), json = TempPath("sheet_program.json");
    std::remove(png.c_str());
    std::remove(json.c_str());
    EXPECT_EQ(RunProgram({"--sheet", png, "--summary", json, "--image", "64x4"}, true), 0);
    const Picture picture = ReadPicture(png);
    EXPECT_EQ(picture.width, 64u);
    EXPECT_EQ(picture.height, 4u);
    EXPECT_NE(Slurp(json).find("\"level3\": 1"), std::string::npos);
    std::remove(png.c_str());
    std::remove(json.c_str());

    // Nothing printed: no sheet, and the exit status says so.
    EXPECT_EQ(RunProgram({"--sheet", png}, false), 1);
    EXPECT_FALSE(std::filesystem::exists(png));
}
#endif

}  // namespace

namespace {

// Random dots on every channel, in swaths of a 720 x 720 four-pass
// column-split job that feeds the paper as the pass plan does.
void PrintRandomJob(Job *job, std::uint32_t seed) {
    std::uint32_t state = seed;
    const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    for (int swath = 0; swath < 12; ++swath) {
        std::vector<std::uint8_t> data(400 * kSlice);
        for (std::uint8_t &b : data) b = (next() >> 24) & (next() >> 24);  // about a quarter of the bits
        job->Swath(700, swath % 2 == 1, swath % 2 ? 508 : 500, data);
    }
}

swathboard::ParamPreset ExactSteps() {
    swathboard::ParamPreset preset = swathboard::NewerAlignPreset();
    preset.vert.fill(35860);
    return preset;
}

constexpr std::uint16_t k720x720 = 2 | 4 << 4 | 4 << 8;

}  // namespace

// A streamed sheet is the sheet printed at the end, row for row, with the
// same totals; its preview is the mean of each block of dots.
TEST(Sheet, StreamedSheetEqualsTheWholeSheet) {
    Job whole(sbtest::kAddrSheetWhole, ExactSteps(), k720x720);
    swathboard::SetImageSize(whole.board.get(), 700, 1500);
    PrintRandomJob(&whole, 7);
    const swathboard::Sheet expected = whole.Sheet();
    const Picture picture = WrittenPicture(expected);
    ASSERT_EQ(picture.width, 700u);
    ASSERT_GT(expected.summary.doubled + expected.summary.outside, 0u) << "the totals are worth comparing";

    for (std::uint32_t scale : {1u, 3u}) {
        Job streamed(sbtest::kAddrSheetStreamed, ExactSteps(), k720x720);
        swathboard::SetImageSize(streamed.board.get(), 700, 1500);
        const std::string path = TempPath("streamed.png");
        std::string error;
        ASSERT_TRUE(swathboard::StreamSheet(streamed.board.get(), {path, scale}, &error)) << error;
        EXPECT_TRUE(std::filesystem::exists(path + ".part")) << "created before the job prints";
        PrintRandomJob(&streamed, 7);
        std::vector<std::uint8_t> kept;
        EXPECT_TRUE(swathboard::StoredSwath(streamed.board.get(), 3, &kept));
        EXPECT_TRUE(kept.empty()) << "a streamed swath's data is not kept";
        swathboard::Sheet totals;
        ASSERT_TRUE(swathboard::FinishStreamedSheet(streamed.board.get(), &totals, &error)) << error;
        EXPECT_EQ(totals.width, expected.width);
        EXPECT_EQ(totals.ydpi, expected.ydpi);
        EXPECT_EQ(totals.summary.dots, expected.summary.dots);
        EXPECT_EQ(totals.summary.doubled, expected.summary.doubled);
        EXPECT_EQ(totals.summary.outside, expected.summary.outside);
        EXPECT_EQ(totals.summary.paper_advanced_um, expected.summary.paper_advanced_um);
        EXPECT_FALSE(std::filesystem::exists(path + ".part"));

        const Picture got = ReadPicture(path);
        ASSERT_EQ(got.width, (700 + scale - 1) / scale);
        ASSERT_EQ(got.height, (1500 + scale - 1) / scale);
        std::size_t wrong = 0;
        for (std::uint32_t y = 0; y < got.height; ++y) {
            for (std::uint32_t x = 0; x < got.width; ++x) {
                for (std::uint32_t c = 0; c < 3; ++c) {
                    std::uint32_t sum = 0, n = 0;
                    for (std::uint32_t dy = 0; dy < scale && y * scale + dy < 1500; ++dy)
                        for (std::uint32_t dx = 0; dx < scale && x * scale + dx < 700; ++dx, ++n)
                            sum += picture.rgb[((y * scale + dy) * 700 + x * scale + dx) * 3 + c];
                    wrong += got.rgb[(y * got.width + x) * 3 + c] != (sum + n / 2) / n;
                }
            }
        }
        EXPECT_EQ(wrong, 0u) << "scale " << scale;
        std::remove(path.c_str());
    }
}

// The picture says the print resolution: 720 dpi is 28346 pixels a metre.
TEST(Sheet, PngCarriesItsResolution) {
    swathboard::Sheet sheet;
    sheet.width = 4;
    sheet.height = 2;
    sheet.xdpi = sheet.ydpi = 720;
    for (auto &plane : sheet.ink) plane.assign(8, 0);
    const std::string path = TempPath("sheet_phys.png");
    std::string error;
    ASSERT_TRUE(swathboard::WriteSheetPng(sheet, path, &error)) << error;
    FILE *file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    EXPECT_TRUE(png_get_pHYs(png, info, &x, &y, &unit));
    EXPECT_EQ(unit, PNG_RESOLUTION_METER);
    EXPECT_EQ(x, 28346u);
    EXPECT_EQ(y, 28346u);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    std::remove(path.c_str());
}

TEST(Sheet, StreamedSheetNeedsAFrameAndAWritablePath) {
    Job job(sbtest::kAddrSheetStreamChecks, ExactSteps(), k720x720);
    std::string error;
    EXPECT_FALSE(swathboard::StreamSheet(job.board.get(), {TempPath("s.png"), 1}, &error));
    EXPECT_NE(error.find("image size"), std::string::npos) << error;
    swathboard::SetImageSize(job.board.get(), 10, 10);
    EXPECT_FALSE(swathboard::StreamSheet(job.board.get(), {TempPath("no-such-dir/s.png"), 1}, &error));
    EXPECT_NE(error.find("no-such-dir"), std::string::npos) << error;
    swathboard::Sheet totals;
    EXPECT_FALSE(swathboard::FinishStreamedSheet(job.board.get(), &totals, &error));
}
