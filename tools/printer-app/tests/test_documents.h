// The documents the tests print, made by the tests: a pattern with
// something different in every row and column, written as PNG, JPEG, PWG
// raster, CMYK TIFF (swathprint's way in for CMYK) and PDF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace printerapp::test {

// `channels` (1, 3 or 4) samples a pixel, row after row.
std::vector<uint8_t> Pattern(uint32_t width, uint32_t height, int channels);

void WritePng(const std::string &path, uint32_t width, uint32_t height, int dpi,
              const std::vector<uint8_t> &rgb);
void WriteJpeg(const std::string &path, uint32_t width, uint32_t height, int dpi,
               const std::vector<uint8_t> &rgb);
// channels 3: sRGB, 4: CMYK (255 full ink), 1: grey.
void WritePwgRaster(const std::string &path, uint32_t width, uint32_t height, int xdpi, int ydpi,
                    int channels, const std::vector<uint8_t> &samples);
void WriteCmykTiff(const std::string &path, uint32_t width, uint32_t height, int dpi,
                   const std::vector<uint8_t> &cmyk);
// One page `width_in` x `height_in` inches: bands of colour and a grey ramp.
void WritePdf(const std::string &path, double width_in, double height_in);

// A PNG decoded to RGBA; false when it cannot be read.
// A white grey page of `height` lines (a multiple of 256), a few bytes for
// any length: each line record stands for 256 lines.
void WriteBlankGreyPwgRaster(const std::string &path, uint32_t width, uint32_t height, int dpi);
bool ReadPng(const std::string &path, uint32_t *width, uint32_t *height, std::vector<uint8_t> *rgba);

}  // namespace printerapp::test
