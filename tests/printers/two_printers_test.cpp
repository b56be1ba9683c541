// Several printers in one process: two jobs printed at the same time from
// two threads, each through its own swathlink::Printer to its own board with
// its own status folder. Each board's sheet must equal its own raster, and
// neither printer may touch the other's folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/printer.h"
#include "files/status_record.h"
#include "roundtrip/raster.h"
#include "roundtrip/roundtrip_fixture.h"
#include "support/test_addresses.h"
#include "swathboard.h"

namespace sl::test {
namespace {

constexpr uint8_t kBidirectionalFamilyA = 0x40 | 3;
constexpr uint8_t kFamilyC = 0x00;

// One printer of the two: its folder, its board and its job.
struct Station {
    std::string folder;
    BoardPtr board;
    roundtrip::Raster raster;
    std::string failure;  // the first call that did not succeed
};

roundtrip::RasterShape Shape(uint32_t xdpi, uint32_t ydpi, uint16_t colors, uint32_t height) {
    roundtrip::RasterShape s;
    s.xdpi = xdpi;
    s.ydpi = ydpi;
    s.colors = colors;
    s.width = 64;
    s.height = height;
    return s;
}

// The status file a companion leaves for a printer: the PC and its board.
void WriteAddresses(const std::string &folder, const std::string &boardIp) {
    PrintCfgRecord rec{};
    std::memcpy(rec.tag, kActiveTag, 16);
    rec.AddrMark = 0xA6CF9968;
    rec.PcAddr = 0x7F000001;
    rec.BoardAddr = 0x7F000000 | static_cast<uint32_t>(std::stoi(boardIp.substr(8)));
    rec.Checksum = StatusChecksum(&rec);
    std::ofstream out(folder + "/printcfg.cfg", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(&rec), sizeof rec);
}

void PrintJob(Station *s) {
    swathlink::Printer printer(s->folder);
    auto fail = [s](const char *what, const swathlink::Status &st) {
        if (s->failure.empty()) s->failure = std::string(what) + ": " + st.reason;
    };
    if (auto st = printer.Init(); !st.ok()) return fail("Init", st);
    if (auto st = printer.StartPrint(roundtrip::JobOf(s->raster.shape)); !st.ok())
        return fail("StartPrint", st);
    for (uint32_t row = 0; row < s->raster.shape.height; ++row) {
        const std::vector<uint8_t> line = roundtrip::HostLine(s->raster, row);
        if (auto st = printer.PrintLines(line.data(), static_cast<uint32_t>(line.size())); !st.ok())
            return fail("PrintLines", st);
    }
    if (auto st = printer.EndPrint(); !st.ok()) return fail("EndPrint", st);
    if (auto st = printer.Close(); !st.ok()) return fail("Close", st);
}

class TwoPrinters : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/swathlink-printers-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void Prepare(Station *s, const std::string &name, const std::string &ip,
                 const roundtrip::HeadChoice &head, const roundtrip::RasterShape &shape, std::mt19937 *rng) {
        s->folder = root_ + "/" + name;
        std::filesystem::create_directory(s->folder);
        WriteAddresses(s->folder, ip);
        swathboard::BoardConfig config;
        config.ip = ip;
        config.preset = roundtrip::RandomHead(head, rng);
        std::string error;
        s->board.reset(swathboard::StartBoard(config, &error));
        ASSERT_TRUE(s->board) << error;
        s->raster = roundtrip::RandomRaster(shape, rng);
        swathboard::SetImageSize(s->board.get(), shape.width, shape.height, shape.xdpi);
    }

    std::string root_;
};

TEST_F(TwoPrinters, JobsPrintedAtTheSameTimeEachMakeTheirOwnSheet) {
    std::mt19937 rng(1616);
    Station a, b;
    Prepare(&a, "left", TestIp(kAddrTwoPrintersFirst), {kBidirectionalFamilyA, true, 0},
            Shape(720, 720, 4, 300), &rng);
    Prepare(&b, "right", TestIp(kAddrTwoPrintersFirst + 1), {kFamilyC, false, 0}, Shape(360, 1440, 2, 240),
            &rng);
    if (HasFatalFailure()) return;

    std::thread left(PrintJob, &a), right(PrintJob, &b);
    left.join();
    right.join();

    for (Station *s : {&a, &b}) {
        SCOPED_TRACE(s->folder);
        EXPECT_EQ(s->failure, "");
        swathboard::Sheet sheet;
        ASSERT_TRUE(swathboard::PrintedSheet(s->board.get(), &sheet));
        const roundtrip::SheetDiff diff = roundtrip::CompareSheet(sheet, s->raster);
        EXPECT_EQ(diff.pixels, 0u) << diff.first;
        EXPECT_EQ(sheet.summary.doubled, 0u);
        // Each printer wrote its job's parameter copy into its own folder.
        EXPECT_TRUE(std::filesystem::exists(s->folder + "/SaveParafile.cfg"));
    }
    // One job each: no packet of one printer reached the other's board.
    EXPECT_EQ(swathboard::CountPackets(a.board.get(), swathboard::NET_CMD_JOB_CREATE), 1u);
    EXPECT_EQ(swathboard::CountPackets(b.board.get(), swathboard::NET_CMD_JOB_CREATE), 1u);
}

}  // namespace
}  // namespace sl::test
