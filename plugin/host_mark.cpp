#include "plugin/host_mark.h"

// The state's layout, so it can live on the stack: nothing here allocates.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

PictureMark markOfPlanes(const uint8_t* first, ptrdiff_t rowBytes, uint32_t width, uint32_t height,
                         uint32_t planes) {
    const size_t bytesPerRow = size_t{width} * planes;
    XXH128_hash_t digest{};
    if (static_cast<ptrdiff_t>(bytesPerRow) == rowBytes) {
        digest = XXH3_128bits(first, bytesPerRow * height);  // one run: the rows touch
    } else {
        XXH3_state_t state;
        XXH3_INITSTATE(&state);
        XXH3_128bits_reset(&state);
        for (uint32_t row = 0; row < height; ++row) {
            XXH3_128bits_update(&state, first + rowBytes * static_cast<ptrdiff_t>(row),
                                bytesPerRow);
        }
        digest = XXH3_128bits_digest(&state);
    }
    return PictureMark{digest.high64, digest.low64, width, height, planes};
}
