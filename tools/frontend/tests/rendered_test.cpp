// PDF and PostScript pages through the renderer's process: rendered in
// grey when asked (black ink only), and a renderer that writes no page ends
// the document with a message instead of holding it for good.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "pages.h"

namespace frontend {
namespace {

class Rendered : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/frontend-rendered-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string &name, const std::string &text, bool executable = false) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        if (executable) chmod(path.c_str(), 0755);
        return path;
    }

    std::string dir_;
};

// One inch square at 72 dpi: a black bar over the top half, white below.
constexpr const char *kBarPage =
    "%!PS\n<< /PageSize [72 72] >> setpagedevice\n0 setgray 0 36 72 36 rectfill showpage\n";

TEST_F(Rendered, GreyRenderingGivesGreyRowsOfThePage) {
    DocumentOptions o;
    o.render_xdpi = o.render_ydpi = 72;
    o.render_grey = true;
    std::string error;
    std::unique_ptr<Document> doc = OpenDocument(Write("bar.ps", kBarPage), o, &error);
    ASSERT_TRUE(doc) << error;
    std::unique_ptr<PageReader> page = doc->NextPage(&error);
    ASSERT_TRUE(page) << error;
    ASSERT_EQ(page->Info().model, PixelModel::kGrey);
    ASSERT_EQ(page->Info().width, 72u);
    ASSERT_EQ(page->Info().height, 72u);
    std::vector<uint16_t> row(72);
    for (uint32_t y = 0; y < 72; ++y) {
        ASSERT_TRUE(page->ReadRow(row.data(), &error)) << error;
        // Grey is light-coded: the bar (the page's top rows) is 0, the rest 65535.
        EXPECT_EQ(row[36], y < 36 ? 0 : 65535) << "row " << y;
    }
    EXPECT_FALSE(doc->NextPage(&error)) << "one page only";
    EXPECT_TRUE(error.empty()) << error;
}

TEST_F(Rendered, RendererThatWritesNoPageIsStoppedWithAMessage) {
    // It writes without end and never a page header: waiting for it to end
    // would wait for good, as it blocks on the full pipe.
    DocumentOptions o;
    o.render_xdpi = o.render_ydpi = 72;
    o.ghostscript = Write("not-a-renderer", "#!/bin/sh\nexec yes not-a-page\n", true);
    for (bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "CMYK");
        o.render_grey = grey;
        std::string error;
        std::unique_ptr<Document> doc = OpenDocument(Write("bar.ps", kBarPage), o, &error);
        ASSERT_TRUE(doc) << error;
        EXPECT_FALSE(doc->NextPage(&error));
        EXPECT_NE(error.find("not a"), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace frontend
