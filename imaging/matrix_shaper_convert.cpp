#include "imaging/matrix_shaper.h"
#include "imaging/matrix_shaper_kernels.h"
#include "imaging/premultiply.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging {
namespace {

// The canvas rule for a pixel that isn't opaque, on its converted colour.
inline void quantiseTranslucent(const uint8_t* canvas, uint8_t* rgba) {
    const uint8_t* row = canvas + rgba[3] * 256;
    rgba[0] = row[rgba[0]];
    rgba[1] = row[rgba[1]];
    rgba[2] = row[rgba[2]];
}

}  // namespace

void convertByMatrixShaperPortable(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    const uint8_t* canvas = canvasRoundTripTable().value.data();
    const uint8_t* out0 = tables.fromLinear[0].data();
    const uint8_t* out1 = tables.fromLinear[1].data();
    const uint8_t* out2 = tables.fromLinear[2].data();
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        const uint8_t r = rgba[0], g = rgba[1], b = rgba[2];
        const uint32_t i0 = MatrixShaperIndex::of(tables.linear(0, r, g, b));
        const uint32_t i1 = MatrixShaperIndex::of(tables.linear(1, r, g, b));
        const uint32_t i2 = MatrixShaperIndex::of(tables.linear(2, r, g, b));
        rgba[0] = out0[i0];
        rgba[1] = out1[i1];
        rgba[2] = out2[i2];
        if (rgba[3] != 255) {
            quantiseTranslucent(canvas, rgba);
        }
    }
}

#if defined(__SSE2__)

// One pixel per vector: the three contributions are added lane-wise, clamped and turned into
// indices together. Indices fit in 16 bits, so SSE2's word extraction reads them out. The pixel
// is read and written as one little-endian word.
void convertByMatrixShaperSse2(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    using Index = MatrixShaperIndex;
    static_assert(Index::kEntries <= 0x10000);
    const uint8_t* canvas = canvasRoundTripTable().value.data();
    const __m128 floor = _mm_set1_ps(Index::kFloor);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i floorBits = _mm_set1_epi32(Index::kFloorBits);
    const auto* red = tables.contribution[0].data();
    const auto* green = tables.contribution[1].data();
    const auto* blue = tables.contribution[2].data();
    const uint8_t* out0 = tables.fromLinear[0].data();
    const uint8_t* out1 = tables.fromLinear[1].data();
    const uint8_t* out2 = tables.fromLinear[2].data();
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        uint32_t px;
        std::memcpy(&px, rgba, 4);
        __m128 sum = _mm_add_ps(_mm_load_ps(red[px & 0xff].data()),
                                _mm_load_ps(green[(px >> 8) & 0xff].data()));
        sum = _mm_add_ps(sum, _mm_load_ps(blue[(px >> 16) & 0xff].data()));
        sum = _mm_min_ps(_mm_max_ps(sum, floor), one);
        __m128i index =
            _mm_srli_epi32(_mm_sub_epi32(_mm_castps_si128(sum), floorBits), Index::kShift);
        const uint32_t converted = uint32_t{out0[_mm_cvtsi128_si32(index)]} |
                                   uint32_t{out1[_mm_extract_epi16(index, 2)]} << 8 |
                                   uint32_t{out2[_mm_extract_epi16(index, 4)]} << 16 |
                                   (px & 0xff000000u);
        std::memcpy(rgba, &converted, 4);
        if (px < 0xff000000u) {
            quantiseTranslucent(canvas, rgba);
        }
    }
}

#endif

void convertByMatrixShaper(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
#if defined(__SSE2__)
    convertByMatrixShaperSse2(tables, rgba, pixels);
#else
    convertByMatrixShaperPortable(tables, rgba, pixels);
#endif
}

}  // namespace imaging
