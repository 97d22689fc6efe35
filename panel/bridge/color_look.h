#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "imaging/pixel_buffer.h"

// A colour look as the page describes it, applied by the panel to the whole frame so that the
// frame's pixels need not travel to the page and back. Its steps change each pixel's red, green
// and blue in order, alpha is kept, and the outcome is blended with the original by the
// strength:
//   {"steps": [{"curves": [red, green, blue]}, {"matrix": [m0, ..., m8]}, ...], "strength": s}
// Curves map each channel through its own table of 256 bytes. A matrix makes each channel a
// weighted sum of the three (red' = m0 red + m1 green + m2 blue, and so on). Every sum or blend
// is stored as a byte as a script's clamped byte array stores it: clamped to 0..255 and rounded
// half to even, in double precision and in that order, so the panel makes at full size exactly
// what the page shows at its preview's size. Strength is 0..1 (1 when absent); at 0 the frame
// stays as it is.
struct ColorLook {
    struct Step {
        bool isMatrix = false;
        std::array<std::array<uint8_t, 256>, 3> curves{};
        std::array<double, 9> matrix{};
    };
    std::vector<Step> steps;
    double strength = 1;
};

inline constexpr size_t kMaxLookSteps = 16;

// The look a page message's "look" member describes; none for anything else: another shape, a
// table that isn't 256 integers of 0..255, a matrix that isn't nine finite numbers, a strength
// outside 0..1, more than kMaxLookSteps steps. Pure; any thread.
std::optional<ColorLook> parseColorLook(const nlohmann::json& value);

// The look applied to the frame, as a new image of its size; the empty image when memory runs
// out. Uses two threads on large frames. Pure; any thread.
PixelBuffer applyColorLook(const PixelBuffer& frame, const ColorLook& look);
