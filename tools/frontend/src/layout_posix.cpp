// Turning a page through an anonymous temporary file: O_TMPFILE (or a name
// removed at once) in $TMPDIR, so an interrupted run leaves nothing.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "layout.h"

namespace frontend {

namespace {

int AnonymousFile(std::string *error) {
    const char *tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string pattern = dir + "/swathlink-turn-XXXXXX";
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) unlink(pattern.c_str());
    }
    if (fd < 0)
        *error = "cannot make a temporary file in " + dir + " to turn the page: " + std::strerror(errno);
    return fd;
}

bool WriteAll(int fd, const void *data, size_t n) {
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w, n -= size_t(w);
    }
    return true;
}

bool ReadAllAt(int fd, void *data, size_t n, off_t at) {
    char *p = static_cast<char *>(data);
    while (n > 0) {
        const ssize_t r = pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r, n -= size_t(r), at += r;
    }
    return true;
}

class Oriented : public PageReader {
public:
    Oriented(std::unique_ptr<PageReader> page, int degrees, bool mirror)
        : page_(std::move(page)), degrees_(degrees), mirror_(mirror) {
        const PageInfo &in = page_->Info();
        info_ = in;
        channels_ = in.Channels();
        if (degrees_ == 90 || degrees_ == 270) {
            std::swap(info_.width, info_.height);
            std::swap(info_.xdpi, info_.ydpi);
            const size_t column_bytes = size_t(in.height) * channels_ * 2;
            band_columns_ = static_cast<uint32_t>(std::clamp<size_t>(kBandBytes / column_bytes, 1, in.width));
        }
        row_.resize(size_t(in.width) * channels_);
    }
    ~Oriented() override {
        if (fd_ >= 0) close(fd_);
    }

    bool ReadRow(uint16_t *out, std::string *error) override {
        if (degrees_ != 0 && fd_ < 0 && !Spool(error)) return false;
        bool ok = true;
        switch (degrees_) {
        case 0: ok = page_->ReadRow(out, error); break;
        case 180: ok = Row180(out, error); break;
        default: ok = RowAcross(out, error); break;
        }
        if (!ok) return false;
        if (mirror_) Reverse(out, info_.width);
        ++out_row_;
        return true;
    }

private:
    void Reverse(uint16_t *px, uint32_t n) const {
        for (uint32_t a = 0, b = n - 1; a < b && n > 0; ++a, --b)
            std::swap_ranges(px + size_t(a) * channels_, px + size_t(a + 1) * channels_,
                             px + size_t(b) * channels_);
    }

    size_t SourceRowBytes() const { return size_t(page_->Info().width) * channels_ * 2; }

    bool Spool(std::string *error) {
        fd_ = AnonymousFile(error);
        if (fd_ < 0) return false;
        for (uint32_t y = 0; y < page_->Info().height; ++y) {
            if (!page_->ReadRow(row_.data(), error)) return false;
            if (!WriteAll(fd_, row_.data(), SourceRowBytes())) {
                *error =
                    std::string("cannot write the temporary file to turn the page: ") + std::strerror(errno);
                return false;
            }
        }
        return true;
    }

    bool Row180(uint16_t *out, std::string *error) {
        const uint32_t y = page_->Info().height - 1 - out_row_;
        if (!ReadAllAt(fd_, out, SourceRowBytes(), off_t(y) * off_t(SourceRowBytes()))) {
            *error = "cannot read back the temporary file of the turned page";
            return false;
        }
        Reverse(out, info_.width);
        return true;
    }

    // Output row j is source column j (90: read bottom to top) or column
    // width-1-j (270: read top to bottom).
    bool RowAcross(uint16_t *out, std::string *error) {
        const PageInfo &in = page_->Info();
        const uint32_t column = degrees_ == 90 ? out_row_ : in.width - 1 - out_row_;
        if (band_.empty() || column < band_first_ || column >= band_first_ + band_columns_) {
            // The band reaches forward in the order the rows are asked for.
            band_first_ =
                degrees_ == 90 ? column : (column + 1 >= band_columns_ ? column + 1 - band_columns_ : 0);
            if (!LoadBand(error)) return false;
        }
        const uint32_t in_band = column - band_first_;
        const size_t band_row = size_t(band_columns_) * channels_;
        for (uint32_t i = 0; i < info_.width; ++i) {
            const uint32_t y = degrees_ == 90 ? in.height - 1 - i : i;
            std::copy_n(&band_[y * band_row + size_t(in_band) * channels_], channels_,
                        out + size_t(i) * channels_);
        }
        return true;
    }

    bool LoadBand(std::string *error) {
        const PageInfo &in = page_->Info();
        const uint32_t columns = std::min(band_columns_, in.width - band_first_);
        const size_t band_row = size_t(band_columns_) * channels_;
        band_.resize(band_row * in.height);
        for (uint32_t y = 0; y < in.height; ++y) {
            const off_t at = off_t(y) * off_t(SourceRowBytes()) + off_t(band_first_) * channels_ * 2;
            if (!ReadAllAt(fd_, &band_[y * band_row], size_t(columns) * channels_ * 2, at)) {
                *error = "cannot read back the temporary file of the turned page";
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<PageReader> page_;
    int degrees_;
    bool mirror_;
    uint32_t channels_ = 1;
    int fd_ = -1;
    uint32_t out_row_ = 0;
    uint32_t band_first_ = 0, band_columns_ = 1;
    std::vector<uint16_t> row_, band_;
};

}  // namespace

std::unique_ptr<PageReader> Orient(std::unique_ptr<PageReader> page, int degrees, bool mirror) {
    if (degrees == 0 && !mirror) return page;
    return std::make_unique<Oriented>(std::move(page), degrees, mirror);
}

}  // namespace frontend
