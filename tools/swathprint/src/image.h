// Images as the program reads and writes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pages.h"

namespace swathprint {

using ColorModel = frontend::PixelModel;

// Samples interleaved per pixel, widened to 16 bits (0 = none of the
// channel, 65535 = full). For grey and RGB, 65535 is white (light); for CMYK
// it is full ink.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    ColorModel model = ColorModel::kGrey;
    bool bilevel = false;  // stored with one bit per pixel
    double xdpi = 0;       // the file's own resolution; 0 when it has none
    double ydpi = 0;
    std::vector<uint16_t> samples;

    uint32_t Channels() const { return frontend::ChannelsOf(model); }
    uint16_t At(uint32_t x, uint32_t y, uint32_t c) const {
        return samples[(size_t(y) * width + x) * Channels() + c];
    }
};

// Reads the first page of a document whole, through the front end's
// readers (for tests and tools that look at a sheet; printing streams).
// False, with one sentence in *error that names the file.
bool ReadImage(const std::string &path, Image *image, std::string *error);

// An image in memory as a page the front end reads; `image` must outlive it.
std::unique_ptr<frontend::PageReader> ImagePage(const Image *image);

// Writes a grey or RGB image as a PNG of 8 or 16 bits per sample, with its
// resolution when it has one. The file appears whole or not at all (written
// under a temporary name, then renamed).
bool WritePng(const std::string &path, const Image &image, int bits, std::string *error);

// Moves a finished temporary file to its final name.
bool CommitFile(const std::string &temp_path, const std::string &path, std::string *error);
// A temporary name beside `path`, in the same folder so the rename is atomic.
std::string TempNameFor(const std::string &path);

}  // namespace swathprint
