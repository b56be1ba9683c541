// Reading images: every supported form gives the same samples back, and a
// damaged file gives one message instead of a picture.
#include <gtest/gtest.h>

#include <array>

#include "image.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

// The samples a file of `bits` per sample keeps of a 16-bit image.
Image Quantised(Image image, int bits) {
    for (uint16_t &v : image.samples) {
        if (bits == 8) v = static_cast<uint16_t>((v >> 8) * 257);
        if (bits == 1) v = v >= 32768 ? 65535 : 0;
    }
    return image;
}

struct FormCase {
    const char *name;
    ColorModel model;
    bool tiff;
    TiffForm form;  // bits also for PNG
};

TEST(ImageRead, EveryFormReadsBackItsSamples) {
    const FormCase cases[] = {
        {"grey8.png", ColorModel::kGrey, false, {8}},
        {"grey16.png", ColorModel::kGrey, false, {16}},
        {"rgb8.png", ColorModel::kRgb, false, {8}},
        {"rgb16.png", ColorModel::kRgb, false, {16}},
        {"grey8.tif", ColorModel::kGrey, true, {8}},
        {"grey16-white.tif", ColorModel::kGrey, true, {16, true}},
        {"grey1.tif", ColorModel::kGrey, true, {1}},
        {"grey1-white.tif", ColorModel::kGrey, true, {1, true}},
        {"rgb8.tif", ColorModel::kRgb, true, {8}},
        {"rgb16-planes.tif", ColorModel::kRgb, true, {16, false, true}},
        {"cmyk8.tif", ColorModel::kCmyk, true, {8}},
        {"cmyk16.tif", ColorModel::kCmyk, true, {16}},
        {"cmyk8-planes.tif", ColorModel::kCmyk, true, {8, false, true}},
    };
    TempDir dir;
    for (const FormCase &c : cases) {
        SCOPED_TRACE(c.name);
        Image image = PatternImage(c.model, 37, 21);
        image.xdpi = 300;
        image.ydpi = 150;
        std::string error;
        if (c.tiff) {
            WriteTiff(dir.Path(c.name), image, c.form);
        } else {
            ASSERT_TRUE(WritePng(dir.Path(c.name), image, c.form.bits, &error)) << error;
        }
        Image read;
        ASSERT_TRUE(ReadImage(dir.Path(c.name), &read, &error)) << error;
        const Image want = Quantised(image, c.form.bits);
        EXPECT_EQ(read.model, c.model);
        EXPECT_EQ(read.width, 37u);
        EXPECT_EQ(read.height, 21u);
        EXPECT_EQ(read.bilevel, c.form.bits == 1);
        EXPECT_NEAR(read.xdpi, 300, 0.1);
        EXPECT_NEAR(read.ydpi, 150, 0.1);
        EXPECT_EQ(read.samples, want.samples);
    }
}

// An uncompressed grey TIFF of one strip with `spp` samples per pixel
// (`extra` of them marked as alpha) and 8 bytes of pixel data.
std::vector<uint8_t> GreyTiff(uint16_t width, uint16_t height, uint16_t spp, uint16_t extra = 0) {
    std::vector<std::array<uint16_t, 2>> entries = {{256, width}, {257, height}, {258, 8},
                                                    {259, 1},     {262, 1},      {273, 0},
                                                    {277, spp},   {278, height}, {279, 8}};
    if (extra) entries.push_back({338, 2});  // unassociated alpha
    const size_t data_at = 10 + 12 * entries.size() + 4;
    entries[5][1] = static_cast<uint16_t>(data_at);
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0, uint8_t(entries.size()), 0};
    for (const auto &e : entries) {
        const uint16_t count = e[0] == 338 ? extra : 1;
        const uint8_t entry[12] = {uint8_t(e[0]), uint8_t(e[0] >> 8), 3, 0, uint8_t(count), 0, 0, 0,
                                   uint8_t(e[1]), uint8_t(e[1] >> 8), 0, 0};
        out.insert(out.end(), entry, entry + 12);
    }
    out.resize(data_at + 8, 0x80);  // no next directory, then the pixels
    return out;
}

// A file whose alpha sample is one of its colour samples: the pixel has none
// beyond its grey, so none is read past the row.
TEST(ImageRead, AlphaWithoutASampleOfItsOwnIsIgnored) {
    TempDir dir;
    WriteBytes(dir.Path("alpha.tif"), GreyTiff(3, 1, 1, 1));
    Image read;
    std::string error;
    ASSERT_TRUE(ReadImage(dir.Path("alpha.tif"), &read, &error)) << error;
    EXPECT_EQ(read.samples, std::vector<uint16_t>(3, 0x80 * 257));
}

// What a damaged file says. The message names the file and the fault.
TEST(ImageRead, DamagedFilesGiveOneMessage) {
    TempDir dir;
    std::string error;
    const Image image = PatternImage(ColorModel::kRgb, 64, 64);
    ASSERT_TRUE(WritePng(dir.Path("good.png"), image, 8, &error)) << error;
    WriteTiff(dir.Path("good.tif"), image, {8});
    const std::vector<uint8_t> png = ReadBytes(dir.Path("good.png"));
    const std::vector<uint8_t> tif = ReadBytes(dir.Path("good.tif"));
    WriteBytes(dir.Path("half.png"), {png.begin(), png.begin() + png.size() / 2});
    WriteBytes(dir.Path("header.png"), {png.begin(), png.begin() + 12});
    WriteBytes(dir.Path("half.tif"), {tif.begin(), tif.begin() + tif.size() / 2});
    WriteBytes(dir.Path("text.png"), {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir.Path("empty.tif"), {});
    // A 134-byte file whose rows would need 3.6 GB each.
    WriteBytes(dir.Path("many_samples.tif"), GreyTiff(65331, 2, 55809));
    struct Case {
        const char *name;
        const char *says;
    };
    const Case cases[] = {
        {"missing.png", "cannot open"},
        {"half.png", "truncated PNG"},
        {"header.png", "truncated PNG"},
        {"half.tif", "truncated TIFF"},
        {"text.png", "not a PNG, TIFF"},
        {"empty.tif", "not a PNG, TIFF"},
        {"many_samples.tif", "samples per pixel"},
    };
    for (const Case &c : cases) {
        Image read;
        error.clear();
        EXPECT_FALSE(ReadImage(dir.Path(c.name), &read, &error)) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.name), std::string::npos) << error;
    }
}

// A written PNG appears whole or not at all: a folder that cannot take it
// leaves neither the file nor its temporary.
TEST(ImageWrite, FailedWriteLeavesNoFile) {
    TempDir dir;
    std::string error;
    const Image image = PatternImage(ColorModel::kGrey, 8, 8);
    EXPECT_FALSE(WritePng(dir.Path("no-such-folder/x.png"), image, 8, &error));
    EXPECT_FALSE(WritePng(dir.Path("cmyk.png"), PatternImage(ColorModel::kCmyk, 8, 8), 8, &error));
    EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
}  // namespace swathprint::test
