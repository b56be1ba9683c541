// JPEG pages through libjpeg(-turbo), one scanline at a time. libjpeg
// reports errors through its error manager, which here longjmps back to the
// setjmp of the call that failed.
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <functional>

#include "readers.h"

namespace frontend {

namespace {

constexpr int kIccMarker = JPEG_APP0 + 2;

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    std::string message;
};

void OnJpegError(j_common_ptr cinfo) {
    auto *errors = reinterpret_cast<JpegErrors *>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    errors->message = text;
    longjmp(errors->jump, 1);
}

// Warnings leave the image usable, except the file ending early: libjpeg
// would fill the rest with grey and call it a success.
void OnJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnJpegError(cinfo);
}

class JpegPage : public PageReader {
public:
    explicit JpegPage(FILE *file) : file_(file) {
        cinfo_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = OnJpegError;
        errors_.manager.emit_message = OnJpegMessage;
        jpeg_create_decompress(&cinfo_);
    }
    ~JpegPage() override { jpeg_destroy_decompress(&cinfo_); }

    bool Open(std::string *error) {
        if (!Guarded([this] { ReadHeader(); })) return Failed(error);
        return true;
    }

    bool ReadRow(uint16_t *samples, std::string *error) override {
        if (cinfo_.output_scanline >= cinfo_.output_height) {
            *error = "read past the last row";
            return false;
        }
        if (!Guarded([this] {
                JSAMPROW row = line_.data();
                jpeg_read_scanlines(&cinfo_, &row, 1);
            }))
            return Failed(error);
        const size_t n = size_t(info_.width) * info_.Channels();
        // Adobe's CMYK JPEGs store ink inverted (0 = full ink).
        for (size_t i = 0; i < n; ++i)
            samples[i] = static_cast<uint16_t>((inverted_ ? 255 - line_[i] : line_[i]) * 257);
        return true;
    }

private:
    bool Guarded(const std::function<void()> &step) {
        if (setjmp(errors_.jump)) return false;
        step();
        return true;
    }

    bool Failed(std::string *error) {
        *error = "damaged or truncated JPEG (" + errors_.message + ")";
        return false;
    }

    void ReadHeader() {
        jpeg_stdio_src(&cinfo_, file_.get());
        jpeg_save_markers(&cinfo_, kIccMarker, 0xFFFF);
        jpeg_read_header(&cinfo_, TRUE);
        switch (cinfo_.jpeg_color_space) {
        case JCS_GRAYSCALE: cinfo_.out_color_space = JCS_GRAYSCALE, info_.model = PixelModel::kGrey; break;
        case JCS_CMYK:
        case JCS_YCCK: cinfo_.out_color_space = JCS_CMYK, info_.model = PixelModel::kCmyk; break;
        default: cinfo_.out_color_space = JCS_RGB, info_.model = PixelModel::kRgb; break;
        }
        inverted_ = info_.model == PixelModel::kCmyk && cinfo_.saw_Adobe_marker;
        JOCTET *icc = nullptr;
        unsigned int icc_len = 0;
        if (jpeg_read_icc_profile(&cinfo_, &icc, &icc_len) && icc) {
            info_.icc.assign(icc, icc + icc_len);
            free(icc);
        }
        if (cinfo_.saw_JFIF_marker && cinfo_.X_density > 0 && cinfo_.Y_density > 0 && cinfo_.density_unit) {
            const double per_inch = cinfo_.density_unit == 2 ? 2.54 : 1.0;
            info_.xdpi = cinfo_.X_density * per_inch;
            info_.ydpi = cinfo_.Y_density * per_inch;
        }
        jpeg_start_decompress(&cinfo_);
        info_.width = cinfo_.output_width;
        info_.height = cinfo_.output_height;
        line_.resize(size_t(cinfo_.output_width) * cinfo_.output_components);
    }

    File file_;
    jpeg_decompress_struct cinfo_{};
    JpegErrors errors_{};
    bool inverted_ = false;
    std::vector<JSAMPLE> line_;
};

}  // namespace

std::unique_ptr<Document> OpenJpeg(FILE *file, std::string *error) {
    auto page = std::make_unique<JpegPage>(file);
    if (!page->Open(error)) return nullptr;
    return std::make_unique<SinglePage>("JPEG", std::move(page));
}

}  // namespace frontend
