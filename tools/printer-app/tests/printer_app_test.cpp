// swathlink-printer as users reach it: the server in a folder of its own,
// printers added against emulators, documents sent by ipptool. The sheets
// the emulators print must be the ones swathprint prints from the same
// input (one front end for both), with no dot doubled or outside.
//
// Boards sit at 127.0.2.x: a range of this suite's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app_harness.h"
#include "test_documents.h"

namespace printerapp::test {
namespace {

constexpr const char *kSwathprint = SWATHPRINT_PROGRAM;
// A page of 4 x 2 inches at 360 dpi: whole dots both ways, so PAPPL's page
// and swathprint's raster are the same size.
constexpr uint32_t kDpi = 360;
constexpr uint32_t kWidth = 4 * kDpi, kHeight = 2 * kDpi;
constexpr int kWidthHmm = 10160, kHeightHmm = 5080;

std::string Ip(int octet) { return "127.0.2." + std::to_string(octet); }

size_t CountSwaths(const swathboard::Board *board) { return swathboard::CountPackets(board, 9); }

// The board's debug commands the tests look for.
constexpr uint8_t kDebugPause = 20, kDebugContinue = 21, kDebugStop = 22;

size_t CountDebug(const swathboard::Board *board, uint8_t kind) {
    size_t n = 0;
    for (const auto &r : swathboard::Packets(board))
        if (r.code == 1 && r.raw[4] == kind) ++n;
    return n;
}

class PrinterApp : public ServerTest {
protected:
    void AddPrinter(const std::string &name, const std::string &board,
                    const char *driver = "swathlink_cmyk") {
        std::string error;
        ASSERT_TRUE(server_->AddPrinter(name, board, driver, &error)) << error;
    }

    static JobRequest Page(const std::string &file, const std::string &format) {
        JobRequest r;
        r.file = file;
        r.format = format;
        r.xdpi = r.ydpi = kDpi;
        r.width_hmm = kWidthHmm;
        r.length_hmm = kHeightHmm;
        return r;
    }

    // A 20-inch raster page: on a board slow to answer it is still printing
    // while the test acts on it.
    static constexpr uint32_t kLongLines = 20 * kDpi;
    JobRequest LongRasterPage() {
        WritePwgRaster(dir_.Path("long.pwg"), kWidth, kLongLines, kDpi, kDpi, 3,
                       Pattern(kWidth, kLongLines, 3));
        return Page(dir_.Path("long.pwg"), "image/pwg-raster");
    }

    // Print-Job of a raster answers once the job has ended: the client runs
    // on a thread of its own (joined on the way out, whatever fails).
    std::jthread PrintAside(const std::string &printer, const JobRequest &job, JobEnd *end,
                            int limit_s = 60) {
        return std::jthread([=, this] { *end = server_->Print(printer, job, limit_s); });
    }

    // swathprint's sheet of `input` at the suite's resolution, from its
    // built-in emulator at `emulator_ip`.
    std::string ReferenceSheet(const std::string &input, const std::string &emulator_ip) {
        const std::string out = input + ".swathprint.png";
        const ProgramRun r =
            RunProgram({kSwathprint, "--xdpi", std::to_string(kDpi), "--ydpi", std::to_string(kDpi),
                        "--emulator-ip", emulator_ip, "--output", out, input},
                       {{"SWATHLINK_TIME_SCALE", "0.01"}, {"TMPDIR", dir_.root}});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        return out;
    }

    // The board's last sheet equals `reference` and is clean.
    void ExpectSheet(swathboard::Board *board, const std::string &reference, const std::string &name) {
        swathboard::Sheet sheet;
        ASSERT_TRUE(swathboard::PrintedSheet(board, &sheet));
        EXPECT_EQ(sheet.summary.doubled, 0u);
        EXPECT_EQ(sheet.summary.outside, 0u);
        const std::string png = dir_.Path(name + ".app.png");
        std::string error;
        ASSERT_TRUE(swathboard::WriteSheetPng(sheet, png, &error)) << error;
        uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
        std::vector<uint8_t> a, b;
        ASSERT_TRUE(ReadPng(png, &w1, &h1, &a));
        ASSERT_TRUE(ReadPng(reference, &w2, &h2, &b)) << reference;
        EXPECT_EQ(w1, w2);
        EXPECT_EQ(h1, h2);
        size_t differ = 0;
        for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) differ += a[i] != b[i];
        EXPECT_EQ(differ, 0u) << "samples that differ from swathprint's sheet";
        size_t inked = 0;
        for (size_t i = 0; i < a.size(); i += 4) inked += a[i] != 255 || a[i + 1] != 255 || a[i + 2] != 255;
        EXPECT_GT(inked, a.size() / 8) << "the sheet is nearly blank";
    }
};

// Each kind of document a client sends, and what swathprint reads for the same picture.
struct DocumentCase {
    const char *name;
    const char *format;
    const char *file;       // sent to the printer
    const char *reference;  // given to swathprint
};

void WriteDocuments(const TempDir &dir) {
    const std::vector<uint8_t> rgb = Pattern(kWidth, kHeight, 3);
    const std::vector<uint8_t> cmyk = Pattern(kWidth, kHeight, 4);
    WritePng(dir.Path("page.png"), kWidth, kHeight, kDpi, rgb);
    WriteJpeg(dir.Path("page.jpg"), kWidth, kHeight, kDpi, rgb);
    WritePwgRaster(dir.Path("page-srgb.pwg"), kWidth, kHeight, kDpi, kDpi, 3, rgb);
    WritePwgRaster(dir.Path("page-cmyk.pwg"), kWidth, kHeight, kDpi, kDpi, 4, cmyk);
    WriteCmykTiff(dir.Path("page-cmyk.tif"), kWidth, kHeight, kDpi, cmyk);
    WritePdf(dir.Path("page.pdf"), 4, 2);
}

TEST_F(PrinterApp, PrintsEveryKindOfDocumentAsSwathprintDoes) {
    BoardPtr board = StartEmulator(Ip(1));
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(1));
    WriteDocuments(dir_);
    const DocumentCase cases[] = {
        {"PNG", "image/png", "page.png", "page.png"},
        {"JPEG", "image/jpeg", "page.jpg", "page.jpg"},
        {"PWG raster sRGB", "image/pwg-raster", "page-srgb.pwg", "page.png"},
        {"PWG raster CMYK", "image/pwg-raster", "page-cmyk.pwg", "page-cmyk.tif"},
        {"PDF", "application/pdf", "page.pdf", "page.pdf"},
    };
    for (const DocumentCase &c : cases) {
        SCOPED_TRACE(c.name);
        swathboard::SetImageSize(board.get(), kWidth, kHeight, kDpi);
        const JobEnd end = server_->Print("wide", Page(dir_.Path(c.file), c.format));
        ASSERT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
        ExpectSheet(board.get(), ReferenceSheet(dir_.Path(c.reference), Ip(2)), c.file);
    }
    // The printer's own page tells the last job and its board.
    std::string body;
    ASSERT_EQ(server_->Get("/wide/board", &body), 200);
    EXPECT_NE(body.find(Ip(1)), std::string::npos) << body;
    EXPECT_NE(body.find("completed"), std::string::npos) << body;
    const std::string swaths_cell = "id=\"swaths\">";
    const size_t swaths = body.find(swaths_cell);
    ASSERT_NE(swaths, std::string::npos) << body;
    EXPECT_GT(std::atoi(body.c_str() + swaths + swaths_cell.size()), 0)
        << "the page tells the last job's swaths";
}

TEST_F(PrinterApp, CancelJobStopsTheBoard) {
    // A board slow to answer keeps the job printing while it is cancelled.
    BoardPtr board = StartEmulator(Ip(3), 100);
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(3));
    JobEnd end;
    std::jthread client = PrintAside("wide", LongRasterPage(), &end);
    const bool started = WaitUntil([&] { return CountSwaths(board.get()) >= 2; }, std::chrono::seconds(30));
    const int id = 1;  // the server's first job
    EXPECT_TRUE(started && server_->Cancel("wide", id));
    client.join();
    ASSERT_TRUE(started);
    end = server_->WaitForJob("wide", id);
    EXPECT_EQ(end.state, "canceled") << end.client_output;
    EXPECT_TRUE(WaitUntil([&] { return CountDebug(board.get(), kDebugStop) >= 1; }, std::chrono::seconds(10)))
        << "the board was never told to stop";
    EXPECT_LT(CountSwaths(board.get()), 20u) << "the whole job was printed anyway";
}

TEST_F(PrinterApp, TwoPrintersPrintAtOnce) {
    BoardPtr left = StartEmulator(Ip(4), 5), right = StartEmulator(Ip(5), 5);
    ASSERT_TRUE(left && right);
    AddPrinter("left", Ip(4));
    AddPrinter("right", Ip(5));
    WriteDocuments(dir_);
    swathboard::SetImageSize(left.get(), kWidth, kHeight, kDpi);
    swathboard::SetImageSize(right.get(), kWidth, kHeight, kDpi);
    JobEnd ends[2];
    std::thread a(
        [&] { ends[0] = server_->Print("left", Page(dir_.Path("page-srgb.pwg"), "image/pwg-raster")); });
    std::thread b(
        [&] { ends[1] = server_->Print("right", Page(dir_.Path("page-cmyk.pwg"), "image/pwg-raster")); });
    a.join();
    b.join();
    EXPECT_EQ(ends[0].state, "completed") << ends[0].client_output;
    EXPECT_EQ(ends[1].state, "completed") << ends[1].client_output;
    ExpectSheet(left.get(), ReferenceSheet(dir_.Path("page.png"), Ip(6)), "left");
    ExpectSheet(right.get(), ReferenceSheet(dir_.Path("page-cmyk.tif"), Ip(6)), "right");
    // Each printer keeps its own status folder under the state directory.
    for (const char *id : {"1", "2"})
        EXPECT_TRUE(std::filesystem::exists(dir_.Path("state/printers/") + id + "/printcfg.cfg")) << id;
}

TEST_F(PrinterApp, UnreachableBoardTakesThePrinterOfflineAndFailsTheJob) {
    AddPrinter("lost", Ip(9));  // nothing listens there
    WriteDocuments(dir_);
    const JobEnd end = server_->Print("lost", Page(dir_.Path("page-srgb.pwg"), "image/pwg-raster"));
    EXPECT_EQ(end.state, "aborted") << end.client_output;
    EXPECT_NE(end.message.find(Ip(9)), std::string::npos) << "the reason names the board: " << end.message;
    EXPECT_NE(server_->PrinterAttribute("lost", "printer-state-reasons").find("offline"), std::string::npos);
}

TEST_F(PrinterApp, BoardThatStopsTheJobEndsItAbortedWithTheReason) {
    BoardPtr board = StartEmulator(Ip(10));
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(10));
    const uint32_t height = 6 * kDpi;
    WritePwgRaster(dir_.Path("tall.pwg"), kWidth, height, kDpi, kDpi, 3, Pattern(kWidth, height, 3));
    swathboard::InjectSwathFault(board.get(), swathboard::SwathFault::kPrinterCancel, 2);
    const JobEnd end = server_->Print("wide", Page(dir_.Path("tall.pwg"), "image/pwg-raster"));
    EXPECT_EQ(end.state, "aborted") << end.client_output;
    EXPECT_NE(end.reasons.find("job-canceled-at-device"), std::string::npos) << end.reasons;
    EXPECT_NE(end.message.find("stopped by the printer"), std::string::npos) << end.message;
}

// The value of the hidden field `name` in a page's form.
std::string FormField(const std::string &page, const std::string &name) {
    const std::string key = "name=\"" + name + "\" value=\"";
    const size_t at = page.find(key);
    if (at == std::string::npos) return "";
    const size_t from = at + key.size();
    return page.substr(from, page.find('"', from) - from);
}

TEST_F(PrinterApp, PrinterOnTheBuiltInEmulatorShowsItsSheet) {
    AddPrinter("try", "swathboard://" + Ip(13));
    WriteDocuments(dir_);
    const JobEnd end = server_->Print("try", Page(dir_.Path("page.png"), "image/png"));
    ASSERT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    std::string body;
    ASSERT_EQ(server_->Get("/try/board", &body), 200);
    EXPECT_NE(body.find("built-in emulator"), std::string::npos) << body;
    EXPECT_NE(body.find("id=\"sheet\""), std::string::npos) << "no sheet on the page: " << body;
    std::string png;
    ASSERT_EQ(server_->Get("/try/sheet.png", &png), 200);
    const std::string path = dir_.Path("served-sheet.png");
    std::ofstream(path, std::ios::binary) << png;
    uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    std::vector<uint8_t> served, reference;
    ASSERT_TRUE(ReadPng(path, &w1, &h1, &served)) << "the page's sheet is no PNG";
    ASSERT_TRUE(ReadPng(ReferenceSheet(dir_.Path("page.png"), Ip(14)), &w2, &h2, &reference));
    EXPECT_EQ(w1, w2);
    EXPECT_EQ(h1, h2);
    EXPECT_TRUE(served == reference) << "the sheet on the page is not the one swathprint prints";
}

TEST_F(PrinterApp, PauseAndResumeFromThePrinterPage) {
    // A board slow to answer keeps the job printing while it is paused.
    BoardPtr board = StartEmulator(Ip(15), 100);
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(15));
    swathboard::SetImageSize(board.get(), kWidth, kLongLines, kDpi);
    JobEnd end;
    std::jthread client = PrintAside("wide", LongRasterPage(), &end, 90);
    ASSERT_TRUE(WaitUntil([&] { return CountSwaths(board.get()) >= 1; }, std::chrono::seconds(30)));

    // The form as a browser sends it: the page's own token with the action.
    auto send = [&](const char *action) {
        std::string page, answer;
        EXPECT_EQ(server_->Get("/wide/board", &page), 200);
        EXPECT_NE(page.find("value=\"" + std::string(action) + "\""), std::string::npos) << page;
        const std::string form = "session=" + FormField(page, "session") + "&action=" + action;
        EXPECT_EQ(server_->Post("/wide/board", form, &answer), 303) << answer;
    };
    send("pause");
    EXPECT_TRUE(
        WaitUntil([&] { return CountDebug(board.get(), kDebugPause) >= 1; }, std::chrono::seconds(10)))
        << "the board was never told to pause";
    std::string page;
    ASSERT_EQ(server_->Get("/wide/board", &page), 200);
    EXPECT_NE(page.find("id=\"job-state\">paused"), std::string::npos) << page;
    EXPECT_NE(server_->PrinterAttribute("wide", "printer-state-reasons").find("other"), std::string::npos);
    send("resume");
    EXPECT_TRUE(
        WaitUntil([&] { return CountDebug(board.get(), kDebugContinue) >= 1; }, std::chrono::seconds(10)))
        << "the board was never told to continue";

    client.join();
    EXPECT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    swathboard::Sheet sheet;
    ASSERT_TRUE(swathboard::PrintedSheet(board.get(), &sheet));
    EXPECT_EQ(sheet.summary.doubled, 0u);
    EXPECT_EQ(sheet.summary.outside, 0u);
    EXPECT_EQ(server_->PrinterAttribute("wide", "printer-state-reasons").find("other"), std::string::npos)
        << "the pause outlived its job";
}

TEST_F(PrinterApp, JobLongerThanTheRollIsRefusedWithTheReason) {
    BoardPtr board = StartEmulator(Ip(16));
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(16));
    // A raster page of 20 m: past what a raster header counts at 1440 lines an inch.
    const uint32_t lines = (20000 * kDpi * 10 / 254 + 255) / 256 * 256;
    WriteBlankGreyPwgRaster(dir_.Path("banner.pwg"), kWidth, lines, kDpi);
    JobRequest job = Page(dir_.Path("banner.pwg"), "image/pwg-raster");
    job.width_hmm = job.length_hmm = 0;  // the page's own size
    const JobEnd end = server_->Print("wide", job, 60);
    EXPECT_EQ(end.state, "aborted") << end.client_output;
    EXPECT_NE(end.reasons.find("document-unprintable-error"), std::string::npos) << end.reasons;
    EXPECT_NE(end.message.find("at most 14900 mm"), std::string::npos) << end.message;
    EXPECT_EQ(CountSwaths(board.get()), 0u) << "a part of the page was printed";
}

// A job that names no resolution (a client's normal quality) prints at the
// resolution the printer gives as its default: what a client shows as the
// default is what prints.
TEST_F(PrinterApp, JobWithNoResolutionPrintsAtTheAdvertisedDefault) {
    AddPrinter("plain", "swathboard://" + Ip(17));
    WriteDocuments(dir_);
    JobRequest job = Page(dir_.Path("page.png"), "image/png");
    job.xdpi = job.ydpi = 0;
    const JobEnd end = server_->Print("plain", job);
    ASSERT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    // ipptool shows "720dpi" or "1440x720dpi"; the Board page "at 1440 x 720 dpi".
    const std::string advertised = server_->PrinterAttribute("plain", "printer-resolution-default");
    const size_t x = advertised.find('x'), dpi = advertised.find("dpi");
    ASSERT_NE(dpi, std::string::npos) << advertised;
    const std::string across = advertised.substr(0, std::min(x, dpi));
    const std::string down = x == std::string::npos ? across : advertised.substr(x + 1, dpi - x - 1);
    std::string body;
    ASSERT_EQ(server_->Get("/plain/board", &body), 200);
    EXPECT_NE(body.find("at " + across + " x " + down + " dpi"), std::string::npos)
        << "advertised " << advertised << "; the Board page: " << body;
}

// PAPPL 1.3.1's traps: a missing footer crashes every web page, a PNG past
// the image limit loops for good, a raster job arriving during another.
TEST_F(PrinterApp, WebPagesHaveTheirFooter) {
    std::string body;
    ASSERT_EQ(server_->Get("/", &body), 200);
    EXPECT_NE(body.find("swathlink-printer"), std::string::npos) << body.substr(0, 2000);
}

TEST_F(PrinterApp, DevicesNeedsNoAvahi) {
    const ProgramRun r = server_->Command({"devices"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_FALSE(r.crashed) << r.out;
    EXPECT_NE(r.out.find("swathlink://"), std::string::npos) << r.out;
}

TEST_F(PrinterApp, PngWiderThanPapplsOldLimitPrints) {
    BoardPtr board = StartEmulator(Ip(11));
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(11));
    const uint32_t width = 48 * kDpi;  // 17,280 px: past 16,384
    const uint32_t height = kDpi / 2;
    WritePng(dir_.Path("wide.png"), width, height, kDpi, Pattern(width, height, 3));
    JobRequest job = Page(dir_.Path("wide.png"), "image/png");
    job.width_hmm = 48 * 2540;
    job.length_hmm = 5080;  // the roll's shortest
    const JobEnd end = server_->Print("wide", job, 90);
    EXPECT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    swathboard::Sheet sheet;
    ASSERT_TRUE(swathboard::PrintedSheet(board.get(), &sheet));
    EXPECT_EQ(sheet.summary.doubled, 0u);
}

TEST_F(PrinterApp, RasterJobDuringAnotherWaitsOrIsRefusedCleanly) {
    BoardPtr board = StartEmulator(Ip(12), 20);
    ASSERT_TRUE(board);
    AddPrinter("wide", Ip(12));
    const uint32_t height = 6 * kDpi;
    WritePwgRaster(dir_.Path("first.pwg"), kWidth, height, kDpi, kDpi, 3, Pattern(kWidth, height, 3));
    WriteDocuments(dir_);
    std::string error;
    const int first = server_->Submit("wide", Page(dir_.Path("first.pwg"), "image/pwg-raster"), &error);
    ASSERT_GT(first, 0) << error;
    ASSERT_TRUE(WaitUntil([&] { return CountSwaths(board.get()) >= 1; }, std::chrono::seconds(30)));
    const int second = server_->Submit("wide", Page(dir_.Path("page-srgb.pwg"), "image/pwg-raster"), &error);
    if (second == 0) {
        EXPECT_NE(error.find("server-error-busy"), std::string::npos) << error;
    }
    EXPECT_EQ(server_->WaitForJob("wide", first).state, "completed");
    if (second != 0) {
        EXPECT_EQ(server_->WaitForJob("wide", second).state, "completed");
    }
}

}  // namespace
}  // namespace printerapp::test
