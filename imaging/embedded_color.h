#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/lcms_handles.h"

// Colour tags found in a decoded file, and their conversion to sRGB as drawing into an sRGB
// canvas would do it. Any thread.
namespace imaging {

struct Chromaticities {
    double whiteX, whiteY, redX, redY, greenX, greenY, blueX, blueY;
};

struct EmbeddedColor {
    const uint8_t* iccProfile = nullptr;  // not owned; null when the file carries none
    size_t iccLength = 0;
    bool srgbTagged = false;          // an sRGB chunk: the pixels are sRGB already
    std::optional<double> fileGamma;  // encoding exponent, e.g. 0.45455
    std::optional<Chromaticities> chromaticities;
};

// One file's conversion to sRGB, prepared once and applied to any number of pixel runs: a
// transform for RGB files, a 256-entry table for grey ones, or nothing when the pixels are taken
// as sRGB. Read-only once prepared.
struct EmbeddedConversion {
    TransformPtr rgb;
    std::vector<uint8_t> grayTable;  // RGB triples by grey level
};

// isGray says the file's own samples are grey, which decides whether a grey or an RGB profile
// applies. Tags that can't be used (broken profile, profile of another colour model) prepare no
// conversion, which treats the pixels as sRGB. False only when memory ran out.
bool prepareEmbeddedConversion(bool isGray, const EmbeddedColor& tags,
                               EmbeddedConversion& conversion);

// Converts straight RGBA8 pixels (grey files already expanded to R = G = B) in place; alpha is
// kept.
void applyEmbeddedConversion(const EmbeddedConversion& conversion, uint8_t* rgba, size_t pixels);

// Both steps for one run of pixels.
bool convertEmbeddedToSrgb(uint8_t* rgba, size_t pixels, bool isGray, const EmbeddedColor& tags);

// Same for CMYK samples (4 bytes each, as stored in an Adobe-style JPEG, i.e. inverted) into
// opaque RGBA; the profile is used when it is a CMYK profile, else a plain conversion.
bool convertCmykToSrgb(const uint8_t* cmyk, uint8_t* rgba, size_t pixels, const uint8_t* icc,
                       size_t iccLength);

}  // namespace imaging
