#pragma once

#include <cstdint>
#include <vector>

// One image as every part of the system passes it around: tightly packed 8-bit RGBA rows,
// top row first, straight alpha, sRGB. Invariant: rgba.size() == width * height * 4.
// A buffer with width 0 or height 0 is empty, the failure result of the imaging functions.
struct PixelBuffer {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;

    bool empty() const { return width == 0 || height == 0; }
};
