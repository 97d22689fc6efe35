#include <algorithm>
#include <cstring>

#include "imaging/matrix_shaper.h"
#include "imaging/matrix_shaper_kernels.h"
#include "imaging/premultiply.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging {
namespace {

// Each kernel converts a run and returns the AND of the run's original pixel words: its top
// byte is 255 only when every pixel of the run is opaque.
using RunKernel = uint32_t (*)(const MatrixShaper&, uint8_t*, size_t);

// Runs the kernel over short runs and gives the canvas rule to the runs, rare in photographs,
// that hold a pixel that isn't opaque, while they are still in cache.
void convertInRuns(const MatrixShaper& tables, uint8_t* rgba, size_t pixels, RunKernel kernel) {
    constexpr size_t kRun = 64;
    const uint8_t* canvas = canvasRoundTripTable().value.data();
    for (size_t done = 0; done < pixels; done += kRun) {
        const size_t n = std::min(kRun, pixels - done);
        uint8_t* run = rgba + done * 4;
        if ((kernel(tables, run, n) >> 24) != 0xff) {
            canvasRoundTripPixels(canvas, run, n);
        }
    }
}

uint32_t loadWord(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

uint32_t portableRun(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    const uint8_t* out0 = tables.fromLinear[0].data();
    const uint8_t* out1 = tables.fromLinear[1].data();
    const uint8_t* out2 = tables.fromLinear[2].data();
    uint32_t all = 0xffffffffu;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        all &= uint32_t{rgba[3]} << 24;
        const uint8_t r = rgba[0], g = rgba[1], b = rgba[2];
        const uint32_t i0 = MatrixShaperIndex::of(tables.linear(0, r, g, b));
        const uint32_t i1 = MatrixShaperIndex::of(tables.linear(1, r, g, b));
        const uint32_t i2 = MatrixShaperIndex::of(tables.linear(2, r, g, b));
        rgba[0] = out0[i0];
        rgba[1] = out1[i1];
        rgba[2] = out2[i2];
    }
    return all;
}

#if defined(__SSE2__)

// One pixel per vector: the three contributions are added lane-wise, clamped and turned into
// indices together, which go through memory to the table lookups (cheaper than extracting each
// lane). The pixel is read and written as one little-endian word.
uint32_t sse2Run(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    using Index = MatrixShaperIndex;
    const __m128 floor = _mm_set1_ps(Index::kFloor);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i floorBits = _mm_set1_epi32(Index::kFloorBits);
    const auto* red = tables.contribution[0].data();
    const auto* green = tables.contribution[1].data();
    const auto* blue = tables.contribution[2].data();
    const uint8_t* out0 = tables.fromLinear[0].data();
    const uint8_t* out1 = tables.fromLinear[1].data();
    const uint8_t* out2 = tables.fromLinear[2].data();
    alignas(16) uint32_t index[4];
    uint32_t all = 0xffffffffu;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        const uint32_t px = loadWord(rgba);
        all &= px;
        __m128 sum = _mm_add_ps(_mm_load_ps(red[px & 0xff].data()),
                                _mm_load_ps(green[(px >> 8) & 0xff].data()));
        sum = _mm_add_ps(sum, _mm_load_ps(blue[(px >> 16) & 0xff].data()));
        sum = _mm_min_ps(_mm_max_ps(sum, floor), one);
        _mm_store_si128(
            reinterpret_cast<__m128i*>(index),
            _mm_srli_epi32(_mm_sub_epi32(_mm_castps_si128(sum), floorBits), Index::kShift));
        const uint32_t converted = uint32_t{out0[index[0]]} | uint32_t{out1[index[1]]} << 8 |
                                   uint32_t{out2[index[2]]} << 16 | (px & 0xff000000u);
        std::memcpy(rgba, &converted, 4);
    }
    return all;
}

#endif

}  // namespace

void convertByMatrixShaperPortable(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    convertInRuns(tables, rgba, pixels, portableRun);
}

#if defined(__SSE2__)
void convertByMatrixShaperSse2(const MatrixShaper& tables, uint8_t* rgba, size_t pixels) {
    convertInRuns(tables, rgba, pixels, sse2Run);
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
