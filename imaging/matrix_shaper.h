#pragma once

#include <lcms2.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

// The conversion between two RGB matrix/TRC profiles as lookup tables, made only where it
// reproduces lcms2's own result for the pair. The tables are read-only once built, so one set
// may serve several threads at once.
namespace imaging {

// Linear light is looked up by the bit pattern of its float: 2^kStepBits steps per octave over
// the kOctaves octaves below 1.0, which keeps the relative step the same from the shadows, where
// gamma curves are steep, to the highlights. Index 0 stands for everything below that range
// (zero and negative values included), the last index for 1.0 and above.
struct MatrixShaperIndex {
    static constexpr int kOctaves = 32;
    static constexpr int kStepBits = 8;
    static constexpr int kShift = 23 - kStepBits;
    static constexpr int32_t kOneBits = 127 << 23;
    static constexpr int32_t kLowBits = (127 - kOctaves) << 23;
    static constexpr int32_t kFloorBits = kLowBits - (1 << kShift);
    static constexpr float kFloor = std::bit_cast<float>(kFloorBits);
    static constexpr size_t kEntries = (size_t{kOctaves} << kStepBits) + 2;

    // Clamped on the bit pattern, which orders every value but NaN as the float does; the tables
    // never produce NaN, so SIMD code may clamp the floats instead.
    static uint32_t of(float linear) {
        int32_t bits = std::bit_cast<int32_t>(linear);
        bits = bits < kFloorBits ? kFloorBits : bits;
        bits = bits > kOneBits ? kOneBits : bits;
        return static_cast<uint32_t>(bits - kFloorBits) >> kShift;
    }
};

struct MatrixShaper {
    // What a source code value adds to linear destination R, G and B: the channel's linear
    // light times its column of the 3x3 matrix. The fourth lane is zero.
    using Column = std::array<float, 4>;
    alignas(16) std::array<std::array<Column, 256>, 3> contribution;
    // Linear light (by MatrixShaperIndex) -> destination code value, per channel.
    std::array<std::array<uint8_t, MatrixShaperIndex::kEntries>, 3> fromLinear;

    // Linear destination light of one pixel, summed in the order every implementation uses.
    float linear(int channel, uint8_t r, uint8_t g, uint8_t b) const {
        return (contribution[0][r][channel] + contribution[1][g][channel]) +
               contribution[2][b][channel];
    }
};

// The tables for converting from one profile to the other at the perceptual intent, or null
// when lcms2 must do it: a profile that isn't a plain RGB matrix/TRC profile (LUT tags, Lab
// connection space, device link, ...) or any probe colour on which the tables' model strays from
// lcms2's floating-point transform. May throw std::bad_alloc.
std::unique_ptr<MatrixShaper> buildMatrixShaper(cmsHPROFILE from, cmsHPROFILE to);

// Converts straight RGBA pixels in place and leaves them as drawing into a premultiplied canvas
// would (imaging/premultiply.h): alpha kept, translucent colour quantised, transparent pixels
// zeroed. One thread.
void convertByMatrixShaper(const MatrixShaper& tables, uint8_t* rgba, size_t pixels);

}  // namespace imaging
