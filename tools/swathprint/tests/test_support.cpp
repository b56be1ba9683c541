#include "test_support.h"

#include "raster_lines.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace swathprint::test {

TempDir::TempDir() {
    char tmpl[] = "/tmp/swathprint-test-XXXXXX";
    if (!mkdtemp(tmpl)) ADD_FAILURE() << "mkdtemp";
    root = tmpl;
}

TempDir::~TempDir() { std::filesystem::remove_all(root); }

std::vector<std::string> TempDir::Files() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(root))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Starts argv with stdout and stderr in files, stdin from /dev/null, the
// driver's time scale and, when given, its own TMPDIR.
pid_t StartChild(std::vector<std::string> &argv, const std::string &out, const std::string &err,
                 const std::string &time_scale, const std::string &tmpdir, bool search_path) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = open("/dev/null", O_RDONLY);
    dup2(o, 1), dup2(e, 2), dup2(null, 0);
    setenv("SWATHLINK_TIME_SCALE", time_scale.c_str(), 1);
    // The library just built, named outright: under AddressSanitizer dlopen
    // runs from the sanitizer's runtime, which does not read the program's
    // run path.
    setenv("SWATHLINK_LIBRARY", SWATHLINK_LIBRARY_FILE, 0);
    if (!tmpdir.empty()) setenv("TMPDIR", tmpdir.c_str(), 1);
    std::vector<char *> args;
    for (std::string &a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (search_path)
        execvp(args[0], args.data());
    else
        execv(args[0], args.data());
    _exit(127);
}

// Runs argv with stdout and stderr in files; waits for it (the command is
// itself bounded by timeout(1)).
ProgramRun Spawn(std::vector<std::string> argv) {
    TempDir io;
    const std::string out = io.Path("out"), err = io.Path("err");
    ProgramRun run;
    const pid_t pid = StartChild(argv, out, err, "0.01", "", /*search_path=*/true);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

std::string ShellQuoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

ProgramRun RunProgram(const std::string &program, const std::vector<std::string> &args, int limit_s) {
    std::vector<std::string> argv = {"timeout", std::to_string(limit_s), program};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv);
}

ProgramRun RunWatched(const std::string &program, const std::vector<std::string> &args, const Watch &watch) {
    TempDir io;
    const std::string out = io.Path("out"), err = io.Path("err");
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = StartChild(argv, out, err, watch.time_scale, watch.tmpdir, /*search_path=*/false);
    ProgramRun run;
    const auto start = std::chrono::steady_clock::now();
    size_t sent = 0;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid || done < 0) break;
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (sent < watch.interrupts_s.size() && now >= watch.interrupts_s[sent]) {
            kill(pid, SIGINT);
            ++sent;
        }
        if (now >= watch.limit_s) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            run.exit_code = 124;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (run.exit_code != 124 && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    run.peak_kb = usage.ru_maxrss;
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
}

ProgramRun RunInterrupted(const std::string &program, const std::vector<std::string> &args, int interrupt_s) {
    // --foreground: the interrupt goes to the program alone, once (else
    // timeout(1) sends it to the program and again to its process group).
    std::vector<std::string> argv = {"timeout", "--foreground", "--preserve-status",         "-s",   "INT",
                                     "-k",      "60",           std::to_string(interrupt_s), program};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv);
}

ProgramRun RunOnTerminal(const std::string &program, const std::vector<std::string> &args, int limit_s) {
    std::string command = ShellQuoted(program);
    for (const std::string &a : args) command += " " + ShellQuoted(a);
    return Spawn({"timeout", std::to_string(limit_s), "script", "-q", "-e", "-c", command, "/dev/null"});
}

Image FlatImage(ColorModel model, uint32_t width, uint32_t height, std::vector<uint16_t> sample) {
    Image image;
    image.width = width;
    image.height = height;
    image.model = model;
    for (size_t i = 0; i < size_t(width) * height; ++i)
        image.samples.insert(image.samples.end(), sample.begin(), sample.end());
    return image;
}

Image PatternImage(ColorModel model, uint32_t width, uint32_t height) {
    Image image = FlatImage(model, width, height,
                            std::vector<uint16_t>(model == ColorModel::kGrey  ? 1
                                                  : model == ColorModel::kRgb ? 3
                                                                              : 4,
                                                  0));
    const uint32_t ch = image.Channels();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t c = 0; c < ch; ++c) {
                // Ramps across and down, a stripe every few columns, differing per channel.
                const uint32_t v =
                    (x * 65535 / width + y * 40000 / height + c * 16384 + ((x / (3 + c)) % 2) * 9000) % 65536;
                image.samples[(size_t(y) * width + x) * ch + c] = static_cast<uint16_t>(v);
            }
        }
    }
    return image;
}

frontend::ConvertRow DefaultConversion(const Image &image) {
    Exit code = kExitOk;
    std::string error;
    frontend::ConvertRow convert = ConversionFor(ImagePage(&image)->Info(), {}, &code, &error);
    EXPECT_TRUE(convert) << error;
    return convert;
}

void UnpackLine(const uint8_t *line, uint32_t width, int bits,
                std::array<std::vector<uint8_t>, kPlanes> *levels) {
    const uint32_t bytes = PlaneBytes(width, bits);
    for (int p = 0; p < kPlanes; ++p) {
        const uint8_t *plane = &line[size_t(p) * bytes];
        for (uint32_t x = 0; x < width; ++x) {
            (*levels)[p].push_back(static_cast<uint8_t>(bits == 2 ? (plane[x / 4] >> (6 - 2 * (x % 4))) & 3
                                                                  : (plane[x / 8] >> (7 - x % 8)) & 1));
        }
    }
}

std::array<std::vector<uint8_t>, kPlanes> ScreenImage(const Image &image, uint32_t content_width,
                                                      uint32_t width, uint32_t height, int bits,
                                                      DotCounts *dots) {
    frontend::RasterPlan plan;
    plan.content_width = content_width;
    plan.content_height = height;
    plan.row_width = width;
    plan.bits = bits;
    frontend::RasterLines lines(
        plan, [&image](std::string *) { return ImagePage(&image); }, DefaultConversion(image));
    std::array<std::vector<uint8_t>, kPlanes> levels;
    std::vector<uint8_t> line;
    DotCounts line_dots{};
    *dots = {};
    while (lines.Next(&line, &line_dots)) {
        UnpackLine(line.data(), width, bits, &levels);
        for (int p = 0; p < kPlanes; ++p)
            for (int l = 0; l < 4; ++l) (*dots)[p][l] += line_dots[p][l];
    }
    return levels;
}

void WriteTiff(const std::string &path, const Image &image, const TiffForm &form) {
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const uint16_t ch = static_cast<uint16_t>(image.Channels());
    const uint16_t photometric = image.model == ColorModel::kCmyk  ? PHOTOMETRIC_SEPARATED
                                 : image.model == ColorModel::kRgb ? PHOTOMETRIC_RGB
                                 : form.min_is_white               ? PHOTOMETRIC_MINISWHITE
                                                                   : PHOTOMETRIC_MINISBLACK;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, form.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, ch);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 form.separate_planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    if (image.xdpi > 0) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(image.xdpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(image.ydpi));
    }
    const uint16_t planes = form.separate_planes ? ch : 1;
    const uint16_t per_line = form.separate_planes ? 1 : ch;
    std::vector<uint8_t> line(size_t(image.width) * per_line * 2 + 8);
    for (uint16_t plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < image.height; ++y) {
            std::fill(line.begin(), line.end(), 0);
            for (uint32_t x = 0; x < image.width; ++x) {
                for (uint16_t c = 0; c < per_line; ++c) {
                    uint16_t v = image.At(x, y, form.separate_planes ? plane : c);
                    if (form.min_is_white) v = static_cast<uint16_t>(65535 - v);
                    const size_t i = size_t(x) * per_line + c;
                    if (form.bits == 16) reinterpret_cast<uint16_t *>(line.data())[i] = v;
                    if (form.bits == 8) line[i] = static_cast<uint8_t>(v >> 8);
                    if (form.bits == 1 && v >= 32768) line[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
                }
            }
            ASSERT_GE(TIFFWriteScanline(tif, line.data(), y, plane), 0);
        }
    }
    TIFFClose(tif);
}

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string LastLine(const std::string &text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    const size_t nl = t.find_last_of("\r\n");
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

}  // namespace swathprint::test
