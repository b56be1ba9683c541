// The web interface as a browser shows it: headless Chromium loads the
// server's status page, the printer's page and the printer's own Board page
// after a job, and the pages, as the browser built them, name the printer
// and that job. A screenshot of the Board page stays in the build tree.
//
// Boards sit at 127.0.3.x: a range of these tests' own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app_harness.h"
#include "test_documents.h"

namespace printerapp::test {
namespace {

constexpr const char *kChromium = CHROMIUM_PROGRAM;
constexpr const char *kArtifacts = SWATHLINK_PRINTER_ARTIFACTS;
constexpr int kBrowserLimitS = 45;
constexpr int kShotWidth = 1280, kShotHeight = 1600;

// Headless Chromium with a profile and home of its own in `folder`.
class Browser {
public:
    explicit Browser(const std::string &folder) : folder_(folder) {
        std::filesystem::create_directories(folder_ + "/home");
    }

    // The page's DOM after it loaded; "" with Chromium's output in *error.
    std::string Dom(const std::string &url, std::string *error) const {
        const ProgramRun r = Run({"--dump-dom", url});
        if (r.exit_code != 0 || r.out.find("<html") == std::string::npos) *error = Describe(r);
        return r.exit_code == 0 ? r.out : "";
    }

    bool Screenshot(const std::string &url, const std::string &png, std::string *error) const {
        std::error_code ignored;
        std::filesystem::remove(png, ignored);  // no stale picture passes for a new one
        const ProgramRun r =
            Run({"--screenshot=" + png,
                 "--window-size=" + std::to_string(kShotWidth) + "," + std::to_string(kShotHeight),
                 "--hide-scrollbars", url});
        const bool made = r.exit_code == 0 && std::filesystem::exists(png);
        if (!made) *error = Describe(r);
        return made;
    }

private:
    ProgramRun Run(const std::vector<std::string> &args) const {
        std::vector<std::string> argv{kChromium,
                                      "--headless",
                                      "--disable-gpu",
                                      "--no-first-run",
                                      "--no-default-browser-check",
                                      "--disable-extensions",
                                      "--disable-dev-shm-usage",
                                      "--user-data-dir=" + folder_ + "/profile"};
        // Chromium's sandbox refuses to run as root.
        if (geteuid() == 0) argv.push_back("--no-sandbox");
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv,
                          {{"HOME", folder_ + "/home"},
                           {"XDG_CONFIG_HOME", folder_ + "/home/.config"},
                           {"XDG_CACHE_HOME", folder_ + "/home/.cache"},
                           {"TMPDIR", folder_}},
                          kBrowserLimitS);
    }

    static std::string Describe(const ProgramRun &r) {
        return "chromium ended with " + std::to_string(r.exit_code) + (r.crashed ? " (crashed)" : "") +
               ":\n" + r.out.substr(0, 8000);
    }

    std::string folder_;
};

// The markup inside the element with `id` (nested elements of the same
// tag included), or "" when the DOM has no such element.
std::string ElementContent(const std::string &dom, const std::string &id) {
    const size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos) return "";
    const size_t open = dom.rfind('<', at);
    const size_t tag_end = dom.find_first_of(" >", open);
    const std::string tag = dom.substr(open + 1, tag_end - open - 1);
    const size_t start = dom.find('>', at) + 1;
    int depth = 1;
    for (size_t pos = start;;) {
        const size_t next_open = dom.find("<" + tag, pos), next_close = dom.find("</" + tag + ">", pos);
        if (next_close == std::string::npos) return dom.substr(start);
        if (next_open != std::string::npos && next_open < next_close) {
            ++depth;
            pos = next_open + 1;
            continue;
        }
        if (--depth == 0) return dom.substr(start, next_close - start);
        pos = next_close + 1;
    }
}

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class WebPages : public ServerTest {
protected:
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(server_->Port()) + path;
    }

    Browser browser_{dir_.Path("browser")};
};

// Pixels of strong colour in an RGBA picture: the printed sheet has them,
// the pages' own black, grey and white have none.
size_t ColourfulPixels(const std::vector<uint8_t> &rgba) {
    size_t n = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const auto [lo, hi] = std::minmax({rgba[i], rgba[i + 1], rgba[i + 2]});
        n += hi - lo > 80;
    }
    return n;
}

TEST_F(WebPages, StatusAndBoardPagesNameThePrinterAndItsLastJob) {
    // A printer on the emulator inside the server: its Board page also shows
    // the sheet printed.
    constexpr uint32_t kDpi = 360, kWidth = 4 * kDpi, kHeight = 2 * kDpi;
    const std::string board_ip = "127.0.3.2";
    std::string error;
    ASSERT_TRUE(server_->AddPrinter("wide", "swathboard://" + board_ip, "swathlink_cmyk", &error)) << error;
    WritePng(dir_.Path("poster.png"), kWidth, kHeight, kDpi, Pattern(kWidth, kHeight, 3));
    JobRequest job;
    job.file = dir_.Path("poster.png");
    job.format = "image/png";
    job.xdpi = job.ydpi = kDpi;
    job.width_hmm = 10160;
    job.length_hmm = 5080;
    const JobEnd end = server_->Print("wide", job);
    ASSERT_EQ(end.state, "completed") << end.message << "\n" << end.client_output;
    const std::string job_id = std::to_string(end.id);

    // The server's status page lists the printer, with the way to its
    // Board page.
    const std::string status = browser_.Dom(Url("/"), &error);
    ASSERT_FALSE(status.empty()) << error;
    EXPECT_TRUE(Contains(status, "<a href=\"/wide/\">wide</a>")) << status;
    EXPECT_TRUE(Contains(status, "href=\"/wide/board\"")) << status;

    // The printer's page lists the job among the printer's jobs.
    const std::string printer = browser_.Dom(Url("/wide"), &error);
    ASSERT_FALSE(printer.empty()) << error;
    EXPECT_TRUE(Contains(printer, "poster.png")) << printer.substr(0, 8000);

    // The Board page: the board's address, the last job and how it ended.
    const std::string page = browser_.Dom(Url("/wide/board"), &error);
    ASSERT_FALSE(page.empty()) << error;
    // One title (PAPPL's header draws it), under the menu bar naming the printer.
    EXPECT_TRUE(Contains(page, ">wide:")) << page.substr(0, 8000);
    EXPECT_EQ(page.find("<h1"), page.rfind("<h1")) << "more than one title: " << page.substr(0, 8000);
    EXPECT_TRUE(Contains(page, ">Board</h1>")) << page.substr(0, 8000);
    EXPECT_EQ(ElementContent(page, "board").rfind(board_ip, 0), 0u) << ElementContent(page, "board");
    const std::string last_job = ElementContent(page, "last-job");
    EXPECT_TRUE(Contains(last_job, job_id + ": poster.png")) << last_job;
    EXPECT_EQ(ElementContent(page, "outcome"), "completed") << last_job;
    EXPECT_TRUE(Contains(page, "id=\"sheet\"")) << "the page shows no printed sheet";

    // The screenshot, kept as the run's artifact: the page as drawn, with
    // the sheet's picture loaded into it.
    std::filesystem::create_directories(kArtifacts);
    const std::string shot = std::string(kArtifacts) + "/printer-board-page.png";
    ASSERT_TRUE(browser_.Screenshot(Url("/wide/board"), shot, &error)) << error;
    std::printf("Board page screenshot: %s\n", shot.c_str());
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(ReadPng(shot, &w, &h, &rgba)) << shot;
    EXPECT_EQ(w, uint32_t(kShotWidth));
    EXPECT_EQ(h, uint32_t(kShotHeight));
    EXPECT_GT(ColourfulPixels(rgba), size_t(w) * h / 20)
        << "the sheet's picture is not on the page: " << shot;
}

}  // namespace
}  // namespace printerapp::test
