#include "colour.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "colour_options.h"

namespace frontend {
namespace {

struct Inks {
    float y = 0, m = 0, c = 0, k = 0;
    float Total() const { return y + m + c + k; }
};

std::vector<Inks> Convert(const ColourConverter &converter, const std::vector<uint16_t> &pixels) {
    const uint32_t n = static_cast<uint32_t>(pixels.size() / converter.Channels());
    std::vector<float> y(n), m(n), c(n), k(n);
    converter.ConvertRow(pixels.data(), n, y.data(), m.data(), c.data(), k.data());
    std::vector<Inks> out(n);
    for (uint32_t i = 0; i < n; ++i) out[i] = {y[i], m[i], c[i], k[i]};
    return out;
}

std::unique_ptr<ColourConverter> Make(PixelModel model, const ColourOptions &options = {},
                                      std::span<const uint8_t> icc = {}) {
    std::string error;
    auto converter = ColourConverter::Create(model, icc, options, &error);
    EXPECT_TRUE(converter) << error;
    return converter;
}

Inks One(PixelModel model, std::vector<uint16_t> pixel, const ColourOptions &options = {},
         std::span<const uint8_t> icc = {}) {
    auto converter = Make(model, options, icc);
    return converter ? Convert(*converter, pixel)[0] : Inks{};
}

uint16_t Wide(int eight_bit) { return static_cast<uint16_t>(eight_bit * 257); }

std::vector<uint8_t> ProfileBytes(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Linear-light RGB with sRGB's primaries: the same numbers mean lighter
// colours than in sRGB, as a camera's linear export does.
std::vector<uint8_t> LinearRgbProfile() {
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsCIExyY d65;
    cmsWhitePointFromTemp(&d65, 6504);
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve *curves[3] = {linear, linear, linear};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(linear);
    return ProfileBytes(profile);
}

std::vector<uint8_t> FileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const std::string kProfiles = "/usr/share/color/icc/ghostscript/";

TEST(Colour, WhitePaperGetsNoInk) {
    for (const auto &[model, white] :
         {std::pair{PixelModel::kRgb, std::vector<uint16_t>{65535, 65535, 65535}},
          std::pair{PixelModel::kGrey, std::vector<uint16_t>{65535}},
          std::pair{PixelModel::kCmyk, std::vector<uint16_t>{0, 0, 0, 0}}}) {
        for (int intent : {kPerceptual, kRelative, kSaturation}) {
            ColourOptions options;
            options.intent = intent;
            options.output_profile = model == PixelModel::kGrey ? kProfiles + "default_cmyk.icc" : "";
            EXPECT_LT(One(model, white, options).Total(), 0.01f) << int(model) << " intent " << intent;
        }
    }
}

TEST(Colour, BlackIsHeavyInkWithinTheLimit) {
    const Inks black = One(PixelModel::kRgb, {0, 0, 0});
    EXPECT_GT(black.k, 0.8f);
    EXPECT_GT(black.Total(), 2.0f);
    for (int limit : {300, 240, 180, 100, 60}) {
        ColourOptions options;
        options.ink_limit_percent = limit;
        const Inks limited = One(PixelModel::kRgb, {0, 0, 0}, options);
        EXPECT_LE(limited.Total(), limit / 100.0f + 1e-4f) << limit;
        EXPECT_GT(limited.Total(), std::min(black.Total(), limit / 100.0f) - 0.01f) << limit;
        EXPECT_NEAR(limited.k, std::min(black.k, limit / 100.0f), 1e-4f) << "K kept where it fits: " << limit;
    }
}

// The fixed formula turned dark saturated colours into mostly K with a
// little colour: the hue must be carried by the colour inks.
TEST(Colour, DarkSaturatedColoursKeepTheirHue) {
    struct Case {
        const char *name;
        std::array<int, 3> rgb;
        float Inks::*strong1, Inks::*strong2, Inks::*weak;
    };
    const Case cases[] = {
        {"dark blue", {0, 0, 128}, &Inks::c, &Inks::m, &Inks::y},
        {"navy", {20, 30, 90}, &Inks::c, &Inks::m, &Inks::y},
        {"dark red", {128, 0, 0}, &Inks::m, &Inks::y, &Inks::c},
        {"dark green", {0, 100, 0}, &Inks::c, &Inks::y, &Inks::m},
    };
    for (const Case &t : cases) {
        const Inks ink = One(PixelModel::kRgb, {Wide(t.rgb[0]), Wide(t.rgb[1]), Wide(t.rgb[2])});
        EXPECT_GT(ink.*t.strong1, 2 * ink.*t.weak) << t.name;
        EXPECT_GT(ink.*t.strong1, 0.6f) << t.name << ": colour, not black";
        EXPECT_GT(ink.*t.strong2, 0.6f) << t.name << ": colour, not black";
    }
}

TEST(Colour, InkLimitKeepsTheColourInksRatio) {
    ColourOptions limited;
    limited.ink_limit_percent = 200;
    const std::vector<uint16_t> row = {0, 0,        Wide(100), Wide(60), 0,        0,
                                       0, Wide(80), 0,         Wide(30), Wide(30), Wide(30)};
    const auto free_inks = Convert(*Make(PixelModel::kRgb), row);
    const auto kept = Convert(*Make(PixelModel::kRgb, limited), row);
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_LE(kept[i].Total(), 2.0f + 1e-4f) << i;
        if (free_inks[i].Total() <= 2.0f) continue;
        EXPECT_FLOAT_EQ(kept[i].k, free_inks[i].k) << i;
        const float scale = kept[i].c / free_inks[i].c;
        EXPECT_LT(scale, 1.0f) << i;
        EXPECT_NEAR(kept[i].m, free_inks[i].m * scale, 1e-4f) << i;
        EXPECT_NEAR(kept[i].y, free_inks[i].y * scale, 1e-4f) << i;
    }
}

TEST(Colour, CmykPassesThroughUnlessAProfilePairIsGiven) {
    const std::vector<uint16_t> pixel = {Wide(200), Wide(40), Wide(10), Wide(90)};
    const Inks as_is = One(PixelModel::kCmyk, pixel);
    EXPECT_FLOAT_EQ(as_is.c, 200 / 255.0f);
    EXPECT_FLOAT_EQ(as_is.m, 40 / 255.0f);
    EXPECT_FLOAT_EQ(as_is.y, 10 / 255.0f);
    EXPECT_FLOAT_EQ(as_is.k, 90 / 255.0f);

    const std::vector<uint8_t> press = FileBytes(kProfiles + "ps_cmyk.icc");
    ASSERT_FALSE(press.empty());
    const Inks embedded_only = One(PixelModel::kCmyk, pixel, {}, press);
    EXPECT_FLOAT_EQ(embedded_only.c, as_is.c);
    EXPECT_FLOAT_EQ(embedded_only.k, as_is.k);

    ColourOptions to_printer;
    to_printer.output_profile = kProfiles + "default_cmyk.icc";
    const Inks converted = One(PixelModel::kCmyk, pixel, to_printer, press);
    EXPECT_GT(converted.c, 0.4f) << "still mostly cyan";
    EXPECT_GT(std::abs(converted.c - as_is.c) + std::abs(converted.m - as_is.m) +
                  std::abs(converted.y - as_is.y) + std::abs(converted.k - as_is.k),
              0.02f);
}

TEST(Colour, EmbeddedProfileChangesTheResult) {
    const std::vector<uint8_t> linear = LinearRgbProfile();
    const std::vector<uint16_t> mid = {Wide(128), Wide(128), Wide(128)};
    const Inks srgb = One(PixelModel::kRgb, mid);
    const Inks tagged = One(PixelModel::kRgb, mid, {}, linear);
    EXPECT_LT(tagged.Total(), srgb.Total() - 0.2f) << "linear 50% is lighter than sRGB 50%";

    // Untagged grey through a CMYK profile takes the sRGB curve too.
    ColourOptions press;
    press.output_profile = kProfiles + "default_cmyk.icc";
    const Inks grey = One(PixelModel::kGrey, {Wide(128)}, press);
    EXPECT_NEAR(grey.k + grey.c, srgb.k + srgb.c, 0.1f);
}

TEST(Colour, GreyWithoutProfilesPrintsWithBlackAlone) {
    const auto inks = Convert(*Make(PixelModel::kGrey), {0, 16384, 65535});
    const float expected[] = {1.0f, 49151 / 65535.0f, 0.0f};
    for (size_t i = 0; i < inks.size(); ++i) {
        EXPECT_FLOAT_EQ(inks[i].k, expected[i]);
        EXPECT_EQ(inks[i].c + inks[i].m + inks[i].y, 0.0f);
    }
}

TEST(Colour, UnusableProfilesAreOneClearError) {
    std::vector<uint8_t> truncated = FileBytes(kProfiles + "srgb.icc");
    ASSERT_GT(truncated.size(), 200u);
    truncated.resize(truncated.size() / 2);
    std::vector<uint8_t> garbage(600, 0x5a);
    const std::vector<uint8_t> rgb = FileBytes(kProfiles + "srgb.icc");
    struct Case {
        const char *name;
        PixelModel model;
        std::vector<uint8_t> icc;
        std::string output;
        const char *says;
    };
    const Case cases[] = {
        {"garbage", PixelModel::kRgb, garbage, "", "embedded colour profile is damaged"},
        {"truncated", PixelModel::kRgb, truncated, "", "embedded colour profile"},
        {"garbage on CMYK", PixelModel::kCmyk, garbage, "", "embedded colour profile is damaged"},
        {"RGB profile on grey", PixelModel::kGrey, rgb, "", "not a grey profile"},
        {"RGB profile on CMYK", PixelModel::kCmyk, rgb, "", "not a CMYK profile"},
        {"missing output", PixelModel::kRgb, {}, "/nonexistent/press.icc", "/nonexistent/press.icc"},
        {"RGB output", PixelModel::kRgb, {}, kProfiles + "srgb.icc", "is not a CMYK profile"},
    };
    for (const Case &t : cases) {
        ColourOptions options;
        options.output_profile = t.output;
        std::string error;
        EXPECT_FALSE(ColourConverter::Create(t.model, t.icc, options, &error)) << t.name;
        EXPECT_NE(error.find(t.says), std::string::npos) << t.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << t.name << ": " << error;
    }
}

// One converter serves the rows of several threads at once.
TEST(Colour, ConcurrentRowsMatchOneThread) {
    std::vector<uint16_t> row(3 * 5000);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint16_t>(i * 7919 % 65536);
    auto converter = Make(PixelModel::kRgb);
    const auto expected = Convert(*converter, row);
    std::vector<std::vector<Inks>> seen(4);
    std::vector<std::thread> threads;
    for (auto &out : seen)
        threads.emplace_back([&] {
            for (int round = 0; round < 5; ++round) out = Convert(*converter, row);
        });
    for (auto &t : threads) t.join();
    for (const auto &out : seen)
        for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i].k, expected[i].k) << i;
}

TEST(ColourOptions, ParsesTheCommandLineValues) {
    struct Case {
        const char *name, *value;
        bool ok;
        int intent, limit;
    };
    const Case cases[] = {
        {"--intent", "relative", true, kRelative, 0}, {"--intent", "absolute", true, kAbsolute, 0},
        {"--intent", "Relative", false, 0, 0},        {"--intent", "", false, 0, 0},
        {"--ink-limit", "280", true, 0, 280},         {"--ink-limit", "0", true, 0, 0},
        {"--ink-limit", "401", false, 0, 0},          {"--ink-limit", "-5", false, 0, 0},
        {"--ink-limit", "28o", false, 0, 0},          {"--ink-limit", "", false, 0, 0},
        {"--output-profile", "", false, 0, 0},
    };
    for (const Case &t : cases) {
        ASSERT_TRUE(IsColourOption(t.name));
        ColourOptions options;
        EXPECT_EQ(SetColourOption(t.name, t.value, &options), t.ok) << t.name << " " << t.value;
        if (!t.ok) continue;
        EXPECT_EQ(options.intent, t.intent) << t.name << " " << t.value;
        EXPECT_EQ(options.ink_limit_percent, t.limit) << t.name << " " << t.value;
    }
    ColourOptions options;
    EXPECT_TRUE(SetColourOption("--output-profile", "press.icc", &options));
    EXPECT_EQ(options.output_profile, "press.icc");
    EXPECT_FALSE(IsColourOption("--output"));
}

}  // namespace
}  // namespace frontend
