// Helpers shared by the PNG and TIFF readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "image.h"

namespace swathprint {

// False, with the reason, for an empty image or one beyond kMaxImagePixels.
bool CheckImageSize(uint64_t width, uint64_t height, std::string *error);

// A light-coded sample (grey, RGB) with coverage `alpha`, on white paper.
inline uint16_t OverWhite(uint16_t value, uint16_t alpha) {
    return static_cast<uint16_t>((uint32_t(value) * alpha + 65535u * (65535u - alpha) + 32767) / 65535);
}

bool ReadPng(FILE *file, Image *image, std::string *error);
bool ReadTiff(const std::string &path, Image *image, std::string *error);

}  // namespace swathprint
