// The front end against the printer: how many times faster than the head
// consumes them the front end reads, converts and screens the rows of a
// job, and how much memory printing a long banner to the emulator takes.
//
//     build/bench/frontend_bench [--quick] [--banner]
//
// prints
//     front end 720x720: N.Nx printer
//     front end 1440x1440: N.Nx printer
//     banner 1.6x10 m: N MB            (with --banner: a long run)
//
// The front end's rate: the job's raster lines as the front end makes them
// ahead of the driver (a PNG read row by row, colour-converted and screened
// on its own threads), taken as fast as they come. The printer's rate is
// measured, not assumed: swathprint prints two jobs of the same width and
// different heights to a board emulator here, and the head firings (one
// per slice of swath data, 30,000 a second) that the extra rows cost give
// the rows the head sweeps a second; the start and end of a job do not
// count. Must run where 127.0.0.0/8 is private (scripts/test.sh runs it in
// a network namespace of its own).
#include <fcntl.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "colour.h"
#include "pages.h"
#include "raster_lines.h"
#include "swathboard.h"

namespace {

constexpr double kFiringsPerSecond = 30000.0;
constexpr uint32_t kSliceBytes = 360;  // one firing of the head
constexpr uint8_t kSwathCreate = 9;    // NET_CMD_SWATH_CREATE

struct Mode {
    const char *name;
    uint32_t dpi;
    uint32_t width;  // dots across
};

[[noreturn]] void Die(const std::string &why) {
    std::fprintf(stderr, "frontend_bench: %s\n", why.c_str());
    std::exit(1);
}

// A photograph-like RGB test pattern: smooth gradients and busy areas.
void PatternRow(uint32_t y, uint32_t width, std::vector<uint8_t> *rgb) {
    rgb->resize(size_t(width) * 3);
    for (uint32_t x = 0; x < width; ++x) {
        uint8_t *p = &(*rgb)[size_t(x) * 3];
        p[0] = static_cast<uint8_t>((uint64_t{x} * 255) / width);
        p[1] = static_cast<uint8_t>(((y / 3) + x / 7) & 255);
        p[2] = static_cast<uint8_t>(((x ^ y) >> 4) & 255);
    }
}

// Writes the pattern as a PNG at `dpi`, so that it prints one pixel a dot.
void WritePattern(const std::string &path, uint32_t width, uint32_t height, uint32_t dpi) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) Die("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) Die("cannot write " + path);
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const auto per_metre = static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    std::vector<uint8_t> row;
    for (uint32_t y = 0; y < height; ++y) {
        PatternRow(y, width, &row);
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) Die("cannot write " + path);
}

// A page with the document it reads from.
class OwnedPage : public frontend::PageReader {
public:
    OwnedPage(std::unique_ptr<frontend::Document> document, std::unique_ptr<frontend::PageReader> page)
        : document_(std::move(document)), page_(std::move(page)) {
        info_ = page_->Info();
    }
    bool ReadRow(uint16_t *samples, std::string *error) override { return page_->ReadRow(samples, error); }

private:
    std::unique_ptr<frontend::Document> document_;
    std::unique_ptr<frontend::PageReader> page_;
};

// Lines a second the front end makes of the pattern at `path`.
double FrontEndLinesPerSecond(const std::string &path, uint32_t width, uint32_t height) {
    std::string error;
    auto converter = std::shared_ptr<frontend::ColourConverter>(
        frontend::ColourConverter::Create(frontend::PixelModel::kRgb, {}, {}, &error));
    if (!converter) Die(error);
    frontend::RasterPlan plan;
    plan.content_width = plan.row_width = width;
    plan.content_height = height;
    frontend::OpenPage open = [path](std::string *why) -> std::unique_ptr<frontend::PageReader> {
        auto document = frontend::OpenDocument(path, {}, why);
        if (!document) return nullptr;
        auto page = document->NextPage(why);
        if (!page) return nullptr;
        return std::make_unique<OwnedPage>(std::move(document), std::move(page));
    };
    frontend::ConvertRow convert = [converter](const uint16_t *px, uint32_t n, float *y, float *m, float *c,
                                               float *k) { converter->ConvertRow(px, n, y, m, c, k); };
    const auto start = std::chrono::steady_clock::now();
    frontend::RasterLines lines(plan, open, convert);
    std::vector<uint8_t> line;
    frontend::DotCounts dots{};
    uint32_t made = 0;
    while (lines.Next(&line, &dots)) ++made;
    if (made != height) Die("the front end made " + std::to_string(made) + " lines: " + lines.Error());
    return height / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs swathprint with `args`; its peak resident memory in kB.
long RunSwathprint(std::vector<std::string> args) {
    args.insert(args.begin(), SWATHPRINT_PROGRAM);
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) Die("cannot run swathprint");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die("swathprint " + args.back() + " exited with " + std::to_string(WEXITSTATUS(status)));
    return usage.ru_maxrss;
}

// Head firings of the pattern printed by swathprint to a board here.
uint64_t JobFirings(const std::string &image, const Mode &mode) {
    swathboard::BoardConfig config;
    config.ip = "127.0.0.163";
    std::string error;
    swathboard::Board *board = swathboard::StartBoard(config, &error);
    if (!board) Die(error);
    const std::string dpi = std::to_string(mode.dpi);
    RunSwathprint({"--board", config.ip, "--xdpi", dpi, "--ydpi", dpi, image});
    uint64_t firings = 0;
    for (const swathboard::PacketRecord &r : swathboard::Packets(board))
        if (r.code == kSwathCreate && r.stored) firings += r.data_len / kSliceBytes;
    swathboard::StopBoard(board);
    return firings;
}

// Lines a second the head consumes at `mode`: what `extra` more lines cost.
double PrinterLinesPerSecond(const std::string &folder, const Mode &mode, uint32_t base, uint32_t extra) {
    const std::string low = folder + "/low.png", high = folder + "/high.png";
    WritePattern(low, mode.width, base, mode.dpi);
    WritePattern(high, mode.width, base + extra, mode.dpi);
    const uint64_t a = JobFirings(low, mode), b = JobFirings(high, mode);
    if (b <= a)
        Die("the taller job fired no more than the shorter one: " + std::to_string(a) + " " +
            std::to_string(b));
    return kFiringsPerSecond * extra / double(b - a);
}

// Peak resident memory of swathprint printing a 1.6 m x 10 m banner at
// 720 dpi to its own emulator (an image of 1 mm a pixel, scaled up), in MB.
long BannerMegabytes(const std::string &folder) {
    const std::string image = folder + "/banner.png";
    WritePattern(image, 1600, 10000, 25);
    return RunSwathprint({"--width-mm", "1600", "--preview-scale", "16", "--emulator-ip", "127.0.0.164",
                          "--output", folder + "/banner.printed.png", image}) /
           1024;
}

}  // namespace

int main(int argc, char **argv) {
    bool quick = false, banner = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--banner") == 0)
            banner = true;
        else
            Die(std::string("usage: frontend_bench [--quick] [--banner]; unknown ") + argv[i]);
    }
    // The driver's start and end of job are not what is measured.
    setenv("SWATHLINK_TIME_SCALE", "0.01", 0);
    char pattern[] = "/tmp/frontend-bench-XXXXXX";
    if (!mkdtemp(pattern)) Die("cannot make a temporary folder");
    const std::string folder = pattern;

    // 0.49 m across at either resolution (the width of a 14,000-pixel photo
    // at 720 dpi); --quick: a quarter of it.
    const Mode modes[] = {{"720x720", 720, quick ? 3500u : 14000u},
                          {"1440x1440", 1440, quick ? 7000u : 28000u}};
    for (const Mode &mode : modes) {
        const uint32_t lines = quick ? mode.dpi / 2 : mode.dpi * 2;
        const std::string image = folder + "/front.png";
        WritePattern(image, mode.width, lines, mode.dpi);
        const double front = FrontEndLinesPerSecond(image, mode.width, lines);
        const double printer = PrinterLinesPerSecond(folder, mode, mode.dpi / 2, lines);
        std::printf("front end %s: %.1fx printer\n", mode.name, front / printer);
        std::fflush(stdout);
    }
    if (banner) std::printf("banner 1.6x10 m: %ld MB\n", BannerMegabytes(folder));
    std::filesystem::remove_all(folder);
    return 0;
}
