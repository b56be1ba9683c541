// Turning and mirroring a page: every turn, with and without the mirror,
// puts each pixel where the print expects it, for grey and for RGB, and the
// turned page reports its turned size.
#include "layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace frontend {
namespace {

// A page of `width` x `height` pixels whose samples name their place:
// channel c of pixel (x, y) holds 1000 * c + 10 * y + x.
class NumberedPage : public PageReader {
public:
    NumberedPage(uint32_t width, uint32_t height, PixelModel model) {
        info_.width = width;
        info_.height = height;
        info_.model = model;
    }
    bool ReadRow(uint16_t *samples, std::string *) override {
        const uint32_t ch = info_.Channels();
        for (uint32_t x = 0; x < info_.width; ++x)
            for (uint32_t c = 0; c < ch; ++c)
                samples[x * ch + c] = static_cast<uint16_t>(1000 * c + 10 * row_ + x);
        ++row_;
        return true;
    }

private:
    uint32_t row_ = 0;
};

// The page's pixels as (x + 10 y) of the source, row by row, from channel 0,
// checking that every other channel came along with it.
std::vector<std::vector<int>> ReadAll(PageReader *page) {
    const PageInfo &info = page->Info();
    const uint32_t ch = info.Channels();
    std::vector<uint16_t> row(size_t(info.width) * ch);
    std::vector<std::vector<int>> out;
    std::string error;
    for (uint32_t y = 0; y < info.height; ++y) {
        EXPECT_TRUE(page->ReadRow(row.data(), &error)) << error;
        out.emplace_back();
        for (uint32_t x = 0; x < info.width; ++x) {
            out.back().push_back(row[x * ch]);
            for (uint32_t c = 1; c < ch; ++c) EXPECT_EQ(row[x * ch + c], row[x * ch] + 1000 * c);
        }
    }
    return out;
}

TEST(Layout, TurnsAndMirrorsEveryPixelToItsPlace) {
    // The source, 3 wide and 2 high:   0  1  2
    //                                 10 11 12
    const struct {
        int degrees;
        bool mirror;
        std::vector<std::vector<int>> want;
    } cases[] = {
        {0, false, {{0, 1, 2}, {10, 11, 12}}},     {0, true, {{2, 1, 0}, {12, 11, 10}}},
        {90, false, {{10, 0}, {11, 1}, {12, 2}}},  {90, true, {{0, 10}, {1, 11}, {2, 12}}},
        {180, false, {{12, 11, 10}, {2, 1, 0}}},   {180, true, {{10, 11, 12}, {0, 1, 2}}},
        {270, false, {{2, 12}, {1, 11}, {0, 10}}}, {270, true, {{12, 2}, {11, 1}, {10, 0}}},
    };
    for (PixelModel model : {PixelModel::kGrey, PixelModel::kRgb})
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << c.degrees << " degrees" << (c.mirror ? ", mirrored" : "")
                                            << (model == PixelModel::kRgb ? ", RGB" : ", grey"));
            auto page = Orient(std::make_unique<NumberedPage>(3, 2, model), c.degrees, c.mirror);
            ASSERT_TRUE(page);
            EXPECT_EQ(page->Info().width, c.want[0].size());
            EXPECT_EQ(page->Info().height, c.want.size());
            EXPECT_EQ(ReadAll(page.get()), c.want);
        }
}

}  // namespace
}  // namespace frontend
