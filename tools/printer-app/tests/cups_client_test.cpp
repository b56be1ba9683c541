// A CUPS client prints to swathlink-printer as to any IPP Everywhere
// printer: a private cupsd (its own configuration, spool, logs and socket in
// the test's folder, listening on loopback only) gets a queue made with
// `lpadmin -m everywhere`, and `lp` sends it a PDF. The sheet is checked for
// where the ink lies, not dot for dot: CUPS may rework the PDF on the way.
//
// Boards sit at 127.0.3.x: a range of these tests' own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app_harness.h"
#include "test_documents.h"

namespace printerapp::test {
namespace {

constexpr const char *kCupsd = CUPSD_PROGRAM;
constexpr const char *kLpadmin = LPADMIN_PROGRAM;
constexpr const char *kLp = LP_PROGRAM;
constexpr const char *kLpstat = LPSTAT_PROGRAM;

// A cupsd of the test's own. As root it runs filters and backends as `lp`,
// so its folder (and the test's above it) must be open for that user to pass.
class PrivateCupsd {
public:
    explicit PrivateCupsd(const std::string &folder) : folder_(folder) {}
    ~PrivateCupsd() { Stop(); }

    bool Start(std::string *error) {
        for (const char *d : {"", "/etc", "/spool", "/spool/tmp", "/cache", "/state", "/log"})
            std::filesystem::create_directories(folder_ + d);
        chmod(folder_.c_str(), 0755);
        port_ = UnusedPort();
        std::ofstream(folder_ + "/cups-files.conf")
            << "ServerRoot " << folder_ << "/etc\nRequestRoot " << folder_ << "/spool\nTempDir " << folder_
            << "/spool/tmp\nCacheDir " << folder_ << "/cache\nStateDir " << folder_ << "/state\nErrorLog "
            << ErrorLogPath() << "\nAccessLog " << folder_ << "/log/access_log\nPageLog " << folder_
            << "/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
               "DocumentRoot /usr/share/cups/doc-root\nFileDevice No\nSystemGroup root\n";
        // No authentication, no browsing; a job that fails ends aborted
        // instead of stopping the queue and retrying.
        std::ofstream(folder_ + "/cupsd.conf")
            << "LogLevel debug\nListen 127.0.0.1:" << port_ << "\nListen " << Socket()
            << "\nBrowsing Off\nWebInterface No\nErrorPolicy abort-job\nDefaultAuthType None\n"
               "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
               "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        pid_ = StartProgram({kCupsd, "-f", "-c", folder_ + "/cupsd.conf", "-s", folder_ + "/cups-files.conf"},
                            {}, folder_ + "/cupsd.out");
        const bool up = WaitUntil([&] { return std::filesystem::exists(Socket()) && PortOpen(port_); },
                                  std::chrono::seconds(20));
        if (!up) *error = "cupsd did not come up: " + FileText(folder_ + "/cupsd.out") + ErrorLog();
        return up;
    }

    void Stop() {
        StopProgram(pid_);
        pid_ = -1;
    }

    // A CUPS command-line client talking to this cupsd only, with no
    // lpoptions of the user's.
    ProgramRun Client(const std::vector<std::string> &argv, int limit_s = 30) const {
        return RunProgram(argv,
                          {{"CUPS_SERVER", Socket()}, {"HOME", folder_}, {"TMPDIR", folder_ + "/spool/tmp"}},
                          limit_s);
    }

    std::string ErrorLog() const { return FileText(ErrorLogPath()); }

    // Whether cupsd has loaded the PPD of `queue`: it keeps what it read
    // from it in its cache folder.
    bool QueueReady(const std::string &queue) const {
        return std::filesystem::exists(folder_ + "/cache/" + queue + ".data");
    }

private:
    std::string Socket() const { return folder_ + "/cups.sock"; }
    std::string ErrorLogPath() const { return folder_ + "/log/error_log"; }

    std::string folder_;
    int port_ = 0;
    int pid_ = -1;
};

// The share of the rectangle [x0, x1) x [y0, y1) (fractions of the sheet)
// where `ink` has a dot.
double Coverage(const swathboard::Sheet &sheet, swathboard::Ink ink, double x0, double y0, double x1,
                double y1) {
    const auto px = [&](double f) { return static_cast<uint32_t>(f * sheet.width); };
    const auto py = [&](double f) { return static_cast<uint32_t>(f * sheet.height); };
    const std::vector<uint8_t> &plane = sheet.ink[ink];
    size_t dots = 0, all = 0;
    for (uint32_t y = py(y0); y < py(y1); ++y)
        for (uint32_t x = px(x0); x < px(x1); ++x, ++all) dots += plane[size_t(y) * sheet.width + x] != 0;
    return all ? double(dots) / all : 0;
}

// A page of 4 x 2 inches at 360 dpi keeps the jobs short.
constexpr uint32_t kDpi = 360, kWidth = 4 * kDpi, kHeight = 2 * kDpi;

// Where the test's PDF (see WritePdf) has ink: red, then blue, then yellow
// below a black patch and blank paper. Each region is taken well inside
// its edges.
struct Region {
    const char *what;
    double x0, y0, x1, y1;
};
constexpr Region kRed = {"red", 0.03, 0.05, 0.30, 0.95};
constexpr Region kBlue = {"blue", 0.36, 0.05, 0.63, 0.95};
constexpr Region kYellow = {"yellow", 0.70, 0.55, 0.97, 0.95};
constexpr Region kBlackPatch = {"black patch", 0.69, 0.28, 0.81, 0.47};
constexpr Region kBlank = {"blank paper", 0.70, 0.03, 0.97, 0.22};
constexpr Region kWholeSheet = {"the whole sheet", 0, 0, 1, 1};

// How much of a region an ink covers: at least `min`, at most `max`.
struct InkCheck {
    Region region;
    swathboard::Ink ink;
    double min, max;
};

const InkCheck kColourPage[] = {
    {kRed, swathboard::kInkM, 0.5, 1},     {kRed, swathboard::kInkY, 0.5, 1},
    {kRed, swathboard::kInkC, 0, 0.02},    {kBlue, swathboard::kInkC, 0.5, 1},
    {kBlue, swathboard::kInkY, 0, 0.02},   {kYellow, swathboard::kInkY, 0.5, 1},
    {kYellow, swathboard::kInkM, 0, 0.02}, {kBlackPatch, swathboard::kInkK, 0.5, 1},
    {kBlank, swathboard::kInkK, 0, 0.02},  {kBlank, swathboard::kInkC, 0, 0.02},
    {kBlank, swathboard::kInkM, 0, 0.02},  {kBlank, swathboard::kInkY, 0, 0.02},
};

// The same page in black alone: the colours as shades of grey.
const InkCheck kBlackPage[] = {
    {kWholeSheet, swathboard::kInkC, 0, 0}, {kWholeSheet, swathboard::kInkM, 0, 0},
    {kWholeSheet, swathboard::kInkY, 0, 0}, {kRed, swathboard::kInkK, 0.3, 1},
    {kBlue, swathboard::kInkK, 0.2, 1},     {kBlackPatch, swathboard::kInkK, 0.5, 1},
    {kBlank, swathboard::kInkK, 0, 0.02},
};

const char *InkName(swathboard::Ink ink) {
    static const char *const names[] = {"black", "cyan", "magenta", "yellow"};
    return names[ink];
}

// cupsd as root hands each job to the user `lp`. Inside a user namespace
// that maps the caller alone (scripts/test.sh's `unshare -rn` when not run
// as root) root is there but no other user to become.
bool CupsdCanRun() {
    if (geteuid() != 0) return true;  // cupsd runs everything as the caller
    std::ifstream map("/proc/self/uid_map");
    uint64_t inside = 0, outside = 0, count = 0;
    return !(map >> inside >> outside >> count) || count > 1;
}

class CupsClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CupsdCanRun())
            GTEST_SKIP() << "a user namespace of one user: cupsd cannot run its filters as lp";
        // cupsd's filters run as `lp` when the test runs as root.
        chmod(dir_.root.c_str(), 0755);
        std::filesystem::create_directories(dir_.Path("app"));
        server_ = std::make_unique<Server>(dir_.Path("app"));
        cupsd_ = std::make_unique<PrivateCupsd>(dir_.Path("cups"));
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        ASSERT_TRUE(cupsd_->Start(&error)) << error;
        WritePdf(dir_.Path("page.pdf"), 4, 2);
    }
    void TearDown() override {
        if (!cupsd_) return;  // skipped
        cupsd_->Stop();
        std::string error;
        EXPECT_TRUE(server_->Stop(&error)) << error;
        if (HasFailure()) {
            std::fprintf(stderr, "cupsd error_log:\n%s\n", Tail(cupsd_->ErrorLog(), 30000).c_str());
            std::fprintf(stderr, "server log:\n%s\n", Tail(server_->LogText(), 20000).c_str());
        }
    }

    static std::string Tail(const std::string &text, size_t n) {
        return text.size() > n ? text.substr(text.size() - n) : text;
    }

    // A printer of the application (`driver`) on an emulator of its own at
    // `ip`, and a CUPS queue `queue` for it: CUPS asks the printer what it
    // takes and makes the queue's PPD.
    BoardPtr AddQueue(const std::string &queue, const std::string &ip, const char *driver) {
        BoardPtr board = StartEmulator(ip);
        if (!board) {
            ADD_FAILURE() << "no emulator at " << ip;
            return board;
        }
        swathboard::SetImageSize(board.get(), kWidth, kHeight, kDpi);
        std::string error;
        EXPECT_TRUE(server_->AddPrinter(queue, ip, driver, &error)) << error;
        const ProgramRun add =
            cupsd_->Client({kLpadmin, "-p", queue, "-E", "-v", server_->Uri(queue), "-m", "everywhere"});
        EXPECT_EQ(add.exit_code, 0) << add.out;
        // cupsd makes an everywhere queue's PPD in the background: a job
        // sent before it is loaded goes out raw, with none of the queue's
        // options (a black-only printer then refuses it).
        EXPECT_TRUE(WaitUntil([&] { return cupsd_->QueueReady(queue); }, std::chrono::seconds(20)))
            << "CUPS never finished the queue " << queue;
        return board;
    }

    // `lp` of the test's PDF to `queue` with `options`, then waits for the
    // job to leave CUPS and checks it ended completed there and at the
    // application (the printer's first job there).
    void PrintPdf(const std::string &queue, const std::vector<std::string> &options) {
        // The printer takes PDF, so CUPS sends it on as it is (pdftopdf
        // only) and the application's own filter rasterises it. Draft
        // quality asks for the printer's lowest resolution, 360 dpi.
        std::vector<std::string> argv{
            kLp, "-d", queue, "-t", "proof", "-o", "media=Custom.4x2in", "-o", "print-quality=3"};
        for (const std::string &o : options) {
            argv.push_back("-o");
            argv.push_back(o);
        }
        argv.push_back(dir_.Path("page.pdf"));
        const ProgramRun lp = cupsd_->Client(argv);
        ASSERT_EQ(lp.exit_code, 0) << lp.out;
        // CUPS's backend stays with the job until the printer has ended it:
        // an empty queue means the job has left CUPS, one way or the other.
        const bool left = WaitUntil(
            [&] {
                const ProgramRun q = cupsd_->Client({kLpstat, "-o", queue});
                return q.exit_code != 0 || q.out.find(queue + "-") == std::string::npos;
            },
            std::chrono::seconds(50));
        ASSERT_TRUE(left) << "the job is still queued in CUPS";
        const ProgramRun done = cupsd_->Client({kLpstat, "-W", "completed", "-o", queue});
        EXPECT_NE(done.out.find(queue + "-"), std::string::npos)
            << "CUPS did not complete the job: " << done.out;
        const JobEnd end = server_->WaitForJob(queue, 1, 10);
        EXPECT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    }

    // The board's sheet: the page's size at 360 dpi, nothing doubled or
    // outside, and each ink where `checks` wants it.
    template <size_t N>
    void ExpectSheet(const swathboard::Board *board, const InkCheck (&checks)[N], const std::string &name) {
        swathboard::Sheet sheet;
        ASSERT_TRUE(swathboard::PrintedSheet(board, &sheet)) << "nothing reached the board";
        EXPECT_EQ(sheet.xdpi, kDpi);
        EXPECT_EQ(sheet.ydpi, kDpi);
        EXPECT_EQ(sheet.summary.doubled, 0u);
        EXPECT_EQ(sheet.summary.outside, 0u) << "dots outside the 4 x 2 inch page";
        const std::string png = dir_.Path(name + ".png");
        std::string error;
        ASSERT_TRUE(swathboard::WriteSheetPng(sheet, png, &error)) << error;
        for (const InkCheck &c : checks) {
            const Region &r = c.region;
            const double share = Coverage(sheet, c.ink, r.x0, r.y0, r.x1, r.y1);
            EXPECT_TRUE(share >= c.min && share <= c.max)
                << InkName(c.ink) << " covers " << share << " of " << r.what << ", not " << c.min << " to "
                << c.max << " (sheet: " << png << ")";
        }
    }

    TempDir dir_;
    std::unique_ptr<Server> server_;
    std::unique_ptr<PrivateCupsd> cupsd_;
};

TEST_F(CupsClient, PdfFromLpReachesTheSheet) {
    BoardPtr board = AddQueue("wide", "127.0.3.1", "swathlink_cmyk");
    ASSERT_FALSE(HasFailure());
    PrintPdf("wide", {});
    ExpectSheet(board.get(), kColourPage, "colour");
}

// The two ways to black alone: a queue on the black-only printer, and a
// user who asks a colour queue for greyscale (print-color-mode=monochrome)
// to spare the colour inks. The PDF reaches the application as it is, whose
// filter renders it in grey for both.
TEST_F(CupsClient, PdfToTheBlackOnlyPrinterPrintsInBlack) {
    BoardPtr board = AddQueue("wide-black", "127.0.3.3", "swathlink_black");
    ASSERT_FALSE(HasFailure());
    PrintPdf("wide-black", {});
    ExpectSheet(board.get(), kBlackPage, "black-only");
}

TEST_F(CupsClient, GreyscaleRequestPrintsInBlackOnly) {
    BoardPtr board = AddQueue("wide", "127.0.3.4", "swathlink_cmyk");
    ASSERT_FALSE(HasFailure());
    PrintPdf("wide", {"print-color-mode=monochrome"});
    ExpectSheet(board.get(), kBlackPage, "greyscale");
}

}  // namespace
}  // namespace printerapp::test
