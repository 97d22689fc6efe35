#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/pixel_buffer.h"

// Test inputs made at test time by the reference writers (libpng, turbojpeg, lcms2).
namespace testimg {

using Bytes = std::vector<uint8_t>;

struct PngRecipe {
    uint32_t width = 4;
    uint32_t height = 3;
    int colorType = 6;  // PNG colour type
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<uint8_t> samples;  // raw samples as libpng takes them (16-bit big-endian)
    std::vector<uint8_t> palette;  // RGB triples for colour type 3
    std::vector<uint8_t> trns;     // palette alphas, or a 16-bit grey/RGB key as raw bytes
    Bytes iccProfile;
    double gamma = 0;  // file gamma for a gAMA chunk; 0 for none
    bool srgbChunk = false;
};

Bytes writePng(const PngRecipe& recipe);
Bytes writeJpeg(const PixelBuffer& rgb, bool gray, int quality, bool progressive = false);

// Profiles made with lcms2 and saved as ICC bytes.
Bytes srgbProfile();
Bytes linearRgbProfile();  // sRGB primaries, gamma 1.0
Bytes displayP3Profile();
Bytes adobeRgbProfile();
Bytes proPhotoProfile();
Bytes tabulatedSrgbProfile();  // version 2, the curve as a 1024-entry table
Bytes liftedBlackProfile();    // curves that don't start at zero
Bytes matrixProfileWithLut();  // colorants and curves plus A2B0/B2A0 tables for another space
Bytes grayProfile();
Bytes labProfile();
Bytes cmykProfile();

PixelBuffer patternImage(uint32_t width, uint32_t height, bool withAlpha, uint32_t seed = 1);

}  // namespace testimg
