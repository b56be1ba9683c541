#include <algorithm>

#include "image.h"

namespace swathprint {

namespace {

class InMemoryPage : public frontend::PageReader {
public:
    explicit InMemoryPage(const Image *image) : image_(image) {
        info_.width = image->width;
        info_.height = image->height;
        info_.model = image->model;
        info_.bilevel = image->bilevel;
        info_.xdpi = image->xdpi;
        info_.ydpi = image->ydpi;
    }
    bool ReadRow(uint16_t *samples, std::string *error) override {
        if (row_ >= info_.height) {
            *error = "read past the last row";
            return false;
        }
        const size_t n = size_t(info_.width) * info_.Channels();
        std::copy_n(&image_->samples[row_++ * n], n, samples);
        return true;
    }

private:
    const Image *image_;
    size_t row_ = 0;
};

}  // namespace

std::unique_ptr<frontend::PageReader> ImagePage(const Image *image) {
    return std::make_unique<InMemoryPage>(image);
}

bool ReadImage(const std::string &path, Image *image, std::string *error) {
    frontend::DocumentOptions options;
    options.render_xdpi = options.render_ydpi = 72;
    std::unique_ptr<frontend::Document> doc = frontend::OpenDocument(path, options, error);
    std::unique_ptr<frontend::PageReader> page = doc ? doc->NextPage(error) : nullptr;
    if (page) {
        const frontend::PageInfo &info = page->Info();
        image->width = info.width;
        image->height = info.height;
        image->model = info.model;
        image->bilevel = info.bilevel;
        image->xdpi = info.xdpi;
        image->ydpi = info.ydpi;
        const size_t n = size_t(info.width) * info.Channels();
        image->samples.assign(n * info.height, 0);
        bool ok = true;
        for (uint32_t y = 0; y < info.height && ok; ++y) ok = page->ReadRow(&image->samples[y * n], error);
        if (ok) return true;
    }
    if (error->empty()) *error = "no page";
    *error = path + ": " + *error;
    return false;
}

}  // namespace swathprint
