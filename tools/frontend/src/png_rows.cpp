// PNG pages through libpng, one row at a time. libpng reports errors by
// longjmp: every call that may fail runs below one setjmp, and what it fills
// lives outside that frame.
#include <png.h>

#include <csetjmp>
#include <functional>

#include "readers.h"

namespace frontend {

namespace {

void OnPngError(png_structp png, png_const_charp msg) {
    *static_cast<std::string *>(png_get_error_ptr(png)) = msg ? msg : "damaged file";
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}  // a warning leaves the image usable

// Runs `step` below a setjmp: false when libpng reported an error.
bool Guarded(png_structp png, const std::function<void()> &step) {
    if (setjmp(png_jmpbuf(png))) return false;
    step();
    return true;
}

class PngPage : public PageReader {
public:
    PngPage(FILE *file, bool signature_read) : file_(file), signature_read_(signature_read) {}
    ~PngPage() override { png_destroy_read_struct(&png_, &pinfo_, nullptr); }

    bool Open(std::string *error) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message_, OnPngError, OnPngWarning);
        pinfo_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!pinfo_) {
            *error = "out of memory";
            return false;
        }
        // The width is checked before any row buffer is sized from it.
        png_set_user_limits(png_, 1u << 24, 0x7fffffffu);
        if (!Guarded(png_, [this] { ReadHeader(); })) return Failed(error);
        if (info_.width == 0 || info_.height == 0) {
            *error = "the image is empty";
            return false;
        }
        return true;
    }

    bool ReadRow(uint16_t *samples, std::string *error) override {
        if (row_ >= info_.height) {
            *error = "read past the last row";
            return false;
        }
        png_bytep at = interlaced_ ? &whole_[size_t(row_) * row_bytes_] : line_.data();
        if (!interlaced_ && !Guarded(png_, [this, at] { png_read_row(png_, at, nullptr); }))
            return Failed(error);
        ++row_;
        Widen(at, samples);
        return true;
    }

private:
    bool Failed(std::string *error) {
        *error = "damaged or truncated PNG (" + message_ + ")";
        return false;
    }

    void ReadHeader() {
        png_init_io(png_, file_.get());
        if (signature_read_) png_set_sig_bytes(png_, kPngSignatureBytes);
        png_read_info(png_, pinfo_);
        png_uint_32 width = 0, height = 0;
        int depth = 0, type = 0, interlace = 0;
        png_get_IHDR(png_, pinfo_, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
        info_.width = width;
        info_.height = height;
        info_.bilevel = depth == 1 && type == PNG_COLOR_TYPE_GRAY;
        colour_ = (type & PNG_COLOR_MASK_COLOR) || type == PNG_COLOR_TYPE_PALETTE;
        info_.model = colour_ ? PixelModel::kRgb : PixelModel::kGrey;
        png_uint_32 xppm = 0, yppm = 0;
        int unit = 0;
        if (png_get_pHYs(png_, pinfo_, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER) {
            info_.xdpi = xppm * 0.0254;
            info_.ydpi = yppm * 0.0254;
        }
        png_charp name = nullptr;
        png_bytep profile = nullptr;
        png_uint_32 profile_len = 0;
        int compression = 0;
        if (png_get_iCCP(png_, pinfo_, &name, &compression, &profile, &profile_len) && profile)
            info_.icc.assign(profile, profile + profile_len);
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png_);
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png_);
        if (png_get_valid(png_, pinfo_, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png_);
        if (depth == 16) png_set_swap(png_);
        const int passes = png_set_interlace_handling(png_);
        png_read_update_info(png_, pinfo_);
        depth_ = png_get_bit_depth(png_, pinfo_);
        channels_ = png_get_channels(png_, pinfo_);
        row_bytes_ = png_get_rowbytes(png_, pinfo_);
        line_.resize(row_bytes_);
        // An interlaced image only comes whole: it is the one kind held in
        // memory (its passes spread every row over the whole file).
        interlaced_ = passes > 1;
        if (interlaced_) {
            whole_.resize(row_bytes_ * height);
            std::vector<png_bytep> rows(height);
            for (png_uint_32 y = 0; y < height; ++y) rows[y] = &whole_[y * row_bytes_];
            png_read_image(png_, rows.data());
        }
    }

    // Decoded bytes to 16-bit samples; alpha composited on white.
    void Widen(const png_byte *row, uint16_t *out) const {
        const uint32_t base = colour_ ? 3 : 1;
        const bool alpha = uint32_t(channels_) > base;
        if (!alpha) return WidenSamples(row, depth_, size_t(info_.width) * base, out);
        for (uint32_t x = 0; x < info_.width; ++x) {
            uint16_t px[4];
            for (int c = 0; c < channels_; ++c) {
                const size_t i = size_t(x) * channels_ + c;
                px[c] = depth_ == 16 ? reinterpret_cast<const uint16_t *>(row)[i]
                                     : static_cast<uint16_t>(row[i] * 257);
            }
            for (uint32_t c = 0; c < base; ++c) *out++ = OverWhite(px[c], px[base]);
        }
    }

    File file_;
    bool signature_read_;
    png_structp png_ = nullptr;
    png_infop pinfo_ = nullptr;
    std::string message_;
    bool colour_ = false, interlaced_ = false;
    int depth_ = 8, channels_ = 1;
    size_t row_bytes_ = 0;
    uint32_t row_ = 0;
    std::vector<png_byte> line_, whole_;
};

}  // namespace

std::unique_ptr<Document> OpenPng(FILE *file, bool signature_read, std::string *error) {
    auto page = std::make_unique<PngPage>(file, signature_read);
    if (!page->Open(error)) return nullptr;
    return std::make_unique<SinglePage>("PNG", std::move(page));
}

}  // namespace frontend
