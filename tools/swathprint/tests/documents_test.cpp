// Documents as users bring them, made in the test by ImageMagick and
// Ghostscript: every form of the same picture prints the same sheet (exactly
// where the file keeps every sample, closely where it does not), line art
// from PDF and EPS lands on its exact dots, and a damaged file of each kind
// ends with one message and its exit code.
#include <gtest/gtest.h>

#include <cmath>

#include "image.h"
#include "options.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

const std::string kProgram = SWATHPRINT_PROGRAM;
constexpr const char *kConvert = "/usr/bin/convert";
constexpr const char *kSrgbProfile = "/usr/share/color/icc/ghostscript/srgb.icc";

// Runs a shell command in `dir`; the test fails when it does.
void Make(const TempDir &dir, const std::string &command) {
    const ProgramRun run = RunProgram("/bin/sh", {"-c", "cd '" + dir.root + "' && " + command});
    ASSERT_EQ(run.exit_code, 0) << command << "\n" << run.err;
}

Image ReadSheet(const std::string &path) {
    Image image;
    std::string error;
    EXPECT_TRUE(ReadImage(path, &image, &error)) << error;
    return image;
}

// Largest difference, over 8 x 8 blocks and channels, of the blocks' mean
// samples (0..1); 1 when the sizes differ.
double BlockDifference(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height || a.Channels() != b.Channels()) return 1;
    constexpr uint32_t kBlock = 8;
    double worst = 0;
    for (uint32_t by = 0; by < a.height; by += kBlock) {
        for (uint32_t bx = 0; bx < a.width; bx += kBlock) {
            for (uint32_t c = 0; c < a.Channels(); ++c) {
                double sum = 0;
                uint32_t n = 0;
                for (uint32_t y = by; y < std::min(a.height, by + kBlock); ++y)
                    for (uint32_t x = bx; x < std::min(a.width, bx + kBlock); ++x, ++n)
                        sum += double(a.At(x, y, c)) - b.At(x, y, c);
                worst = std::max(worst, std::abs(sum) / n / 65535);
            }
        }
    }
    return worst;
}

struct Box {
    uint32_t left = UINT32_MAX, top = UINT32_MAX, right = 0, bottom = 0;  // right, bottom: one past
};

// Where the sheet is not white.
Box Inked(const Image &sheet) {
    Box box;
    for (uint32_t y = 0; y < sheet.height; ++y)
        for (uint32_t x = 0; x < sheet.width; ++x)
            for (uint32_t c = 0; c < sheet.Channels(); ++c)
                if (sheet.At(x, y, c) != 65535) {
                    box.left = std::min(box.left, x), box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1), box.bottom = std::max(box.bottom, y + 1);
                }
    return box;
}

// The sheet's summary says nothing landed twice or outside the frame.
void ExpectClean(const std::string &json_path) {
    const std::string summary = ReadText(json_path);
    EXPECT_NE(summary.find("\"doubled\": 0,"), std::string::npos) << json_path << ": " << summary;
    EXPECT_NE(summary.find("\"outside\": 0,"), std::string::npos) << json_path << ": " << summary;
}

// The picture: a gradient, a disc and a bar, 120 x 80 pixels at 180 dpi.
void MakePhotos(const TempDir &dir) {
    const std::string convert = kConvert;
    Make(dir, convert +
                  " -size 120x80 gradient:red-blue -fill yellow -draw 'circle 60,40 60,15' -fill black"
                  " -draw 'rectangle 10,10 30,70' -units PixelsPerInch -density 180 photo.png");
    const char *forms[][2] = {
        {"", "photo.jpg"},
        {"-compress lzw", "photo-lzw.tif"},
        {"-define tiff:tile-geometry=32x32 -compress zip", "photo-tiled.tif"},
        {"-interlace plane", "photo-planes.tif"},
        {"-define tiff:tile-geometry=48x16 -interlace plane", "photo-tiled-planes.tif"},
        {"-depth 16", "photo16.png"},
        {"-alpha set", "photo-alpha.png"},
        {"-interlace PNG", "photo-interlaced.png"},
        {"", "PNG8:photo-palette.png"},
        {"-colorspace Gray", "photo-grey.jpg"},
        {"-colorspace CMYK", "photo-cmyk.jpg"},
        {"-colorspace CMYK", "photo-cmyk.tif"},
    };
    // The resolution is given again: a JPEG keeps it in whole dots per
    // centimetre unless told otherwise.
    const std::string density = " -units PixelsPerInch -density 180 ";
    for (const auto &form : forms) Make(dir, convert + " photo.png " + form[0] + density + form[1]);
    for (const char *name : {"photo-icc.png", "photo-icc.jpg", "photo-icc.tif"})
        Make(dir, convert + " photo.png -profile " + kSrgbProfile + density + name);
    // Two pages of different sizes.
    Make(dir,
         convert + " photo.png \\( photo.png -resize 50% \\) -units PixelsPerInch -density 180 multi.tif");
}

// A black bar on a 2 x 1 inch page: at 360 dpi it covers dots 180..539
// across and lines 90..269 down.
constexpr const char *kLineArt =
    "<< /PageSize [144 72] >> setpagedevice 0 0 0 1 setcmykcolor 36 18 72 36 rectfill showpage\n";

void MakeLineArt(const TempDir &dir) {
    const std::string ps = std::string("%!PS\n") + kLineArt;
    WriteBytes(dir.Path("art.ps"), std::vector<uint8_t>(ps.begin(), ps.end()));
    const std::string eps = std::string("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 144 72\n") +
                            "0 0 0 1 setcmykcolor 36 18 72 36 rectfill showpage\n";
    WriteBytes(dir.Path("art.eps"), std::vector<uint8_t>(eps.begin(), eps.end()));
    Make(dir, "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=art.pdf art.ps");
}

void MakeDamaged(const TempDir &dir) {
    for (const char *name : {"photo.png", "photo.jpg", "photo-lzw.tif"}) {
        const std::vector<uint8_t> whole = ReadBytes(dir.Path(name));
        WriteBytes(dir.Path(std::string("cut-") + name), {whole.begin(), whole.begin() + whole.size() / 3});
    }
    const std::string pdf = "%PDF-1.4\nthis is not a document\n%%EOF\n";
    WriteBytes(dir.Path("broken.pdf"), std::vector<uint8_t>(pdf.begin(), pdf.end()));
    const std::string ps = "%!PS\n72 72 moveto nosuchoperator showpage\n";
    WriteBytes(dir.Path("broken.ps"), std::vector<uint8_t>(ps.begin(), ps.end()));
}

// Each test prints to an emulator of its own: the tests may run at once.
ProgramRun Print(const TempDir &dir, const std::string &input, std::vector<std::string> extra = {}) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const char *ip = name.rfind("EveryForm", 0) == 0   ? "127.0.0.171"
                     : name.rfind("MultiPage", 0) == 0 ? "127.0.0.175"
                     : name.rfind("LineArt", 0) == 0   ? "127.0.0.176"
                                                       : "127.0.0.177";
    std::vector<std::string> args = {"--emulator-ip", ip, "--xdpi", "360", "--ydpi", "360"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(dir.Path(input));
    return RunProgram(kProgram, args);
}

std::string Stem(const std::string &name) { return name.substr(0, name.rfind('.')); }

class Documents : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        MakePhotos(*dir_);
        MakeLineArt(*dir_);
        MakeDamaged(*dir_);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static TempDir *dir_;
};
TempDir *Documents::dir_ = nullptr;

// Every form of the picture prints; the lossless ones give the very sheet
// of the PNG, the others one close to it.
TEST_F(Documents, EveryFormOfAPicturePrintsItsSheet) {
    const TempDir &dir = *dir_;
    ASSERT_EQ(Print(dir, "photo.png").exit_code, 0);
    const Image reference = ReadSheet(dir.Path("photo.printed.png"));
    ASSERT_EQ(reference.width, 240u);
    ASSERT_EQ(reference.height, 160u);
    enum Expect { kSame, kClose, kClean };
    const struct {
        const char *file;
        Expect expect;
    } cases[] = {
        {"photo-lzw.tif", kSame},          {"photo-tiled.tif", kSame}, {"photo-planes.tif", kSame},
        {"photo-tiled-planes.tif", kSame}, {"photo16.png", kSame},     {"photo-alpha.png", kSame},
        {"photo-interlaced.png", kSame},   {"photo.jpg", kClose},      {"photo-palette.png", kClose},
        {"photo-icc.png", kClose},         {"photo-icc.jpg", kClose},  {"photo-icc.tif", kClose},
        {"photo-grey.jpg", kClean},        {"photo-cmyk.jpg", kClean}, {"photo-cmyk.tif", kClean},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const ProgramRun run = Print(dir, c.file);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const std::string sheet = dir.Path(Stem(c.file) + ".printed.png");
        EXPECT_EQ(LastLine(run.out), "sheet: " + sheet);
        ExpectClean(dir.Path(Stem(c.file) + ".printed.json"));
        const Image printed = ReadSheet(sheet);
        EXPECT_EQ(printed.width, reference.width);
        EXPECT_EQ(printed.height, reference.height);
        if (c.expect == kSame) {
            EXPECT_EQ(printed.samples, reference.samples);
        } else if (c.expect == kClose) {
            EXPECT_LT(BlockDifference(printed, reference), 0.08);
        }
    }
}

// A multi-page TIFF prints every page as its own job, each with its sheet,
// and says so; --page prints one.
TEST_F(Documents, MultiPageDocumentsPrintEveryPageOrTheOneAsked) {
    const TempDir &dir = *dir_;
    const ProgramRun all = Print(dir, "multi.tif");
    ASSERT_EQ(all.exit_code, 0) << all.err;
    EXPECT_NE(all.out.find("page 1 of 2: "), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("page 2 of 2: "), std::string::npos) << all.out;
    EXPECT_EQ(LastLine(all.out), "2 pages printed, each its own job");
    EXPECT_EQ(ReadSheet(dir.Path("multi.printed-p1.png")).width, 240u);
    EXPECT_EQ(ReadSheet(dir.Path("multi.printed-p2.png")).width, 120u);
    ExpectClean(dir.Path("multi.printed-p2.json"));

    const ProgramRun second = Print(dir, "multi.tif", {"--page", "2", "--output", dir.Path("second.png")});
    ASSERT_EQ(second.exit_code, 0) << second.err;
    EXPECT_EQ(LastLine(second.out), "sheet: " + dir.Path("second.png"));
    const Image page2 = ReadSheet(dir.Path("second.png"));
    EXPECT_EQ(page2.width, 120u);
    EXPECT_EQ(page2.height, 80u);

    const ProgramRun none = Print(dir, "multi.tif", {"--page", "3"});
    EXPECT_EQ(none.exit_code, kExitInput);
    EXPECT_NE(LastLine(none.err).find("there is no page 3 (the file has 2 pages)"), std::string::npos)
        << none.err;
}

// PDF, PostScript and EPS are rendered at the job's resolution: the bar lands
// on exactly its dots, at the page's own size.
TEST_F(Documents, LineArtFromPdfAndEpsLandsOnItsDots) {
    const TempDir &dir = *dir_;
    for (const char *file : {"art.pdf", "art.eps", "art.ps"}) {
        SCOPED_TRACE(file);
        const ProgramRun run = Print(dir, file);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        // PostScript does not say how many pages it has: its pages are
        // numbered in the sheet's name.
        const std::string sheet =
            dir.Path(std::string("art.printed") + (file == std::string("art.ps") ? "-p1" : "") + ".png");
        EXPECT_EQ(LastLine(run.out), "sheet: " + sheet);
        const Image printed = ReadSheet(sheet);
        EXPECT_EQ(printed.width, 720u);
        EXPECT_EQ(printed.height, 360u);
        const Box box = Inked(printed);
        EXPECT_EQ(box.left, 180u);
        EXPECT_EQ(box.right, 540u);
        EXPECT_EQ(box.top, 90u);
        EXPECT_EQ(box.bottom, 270u);
        EXPECT_NE(run.out.find("50.8 x 25.4 mm"), std::string::npos) << run.out;
        ExpectClean(sheet.substr(0, sheet.size() - 4) + ".json");
    }
    // --width-mm scales the page.
    const ProgramRun half = Print(dir, "art.pdf", {"--width-mm", "25.4", "--output", dir.Path("half.png")});
    ASSERT_EQ(half.exit_code, 0) << half.err;
    const Box box = Inked(ReadSheet(dir.Path("half.png")));
    EXPECT_EQ(box.left, 90u);
    EXPECT_EQ(box.right, 270u);
    EXPECT_EQ(box.top, 45u);
    EXPECT_EQ(box.bottom, 135u);
}

// A damaged file of each kind: its exit code, one message, no sheet.
TEST_F(Documents, DamagedDocumentsEndWithOneMessage) {
    const TempDir &dir = *dir_;
    const struct {
        const char *file;
        const char *says;
    } cases[] = {
        {"cut-photo.png", "truncated PNG"}, {"cut-photo.jpg", "truncated JPEG"},
        {"cut-photo-lzw.tif", "TIFF"},      {"broken.pdf", "Ghostscript"},
        {"broken.ps", "Ghostscript"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const ProgramRun run = Print(dir, c.file);
        EXPECT_EQ(run.exit_code, kExitInput) << run.err;
        const std::string last = LastLine(run.err);
        EXPECT_EQ(last.rfind("swathprint: " + dir.Path(c.file) + ": ", 0), 0u) << run.err;
        EXPECT_NE(last.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("swathprint: "), run.err.rfind("swathprint: ")) << "one message: " << run.err;
        for (const std::string &name : dir.Files()) {
            EXPECT_EQ(name.find(".part"), std::string::npos) << name;
            EXPECT_NE(name.rfind(Stem(c.file) + ".printed", 0), 0u) << name;
        }
    }
}

}  // namespace
}  // namespace swathprint::test
