// libFuzzer entry for png::decode: any bytes must give an image or the empty buffer, never a
// crash, a leak or an allocation beyond the decode limit.
#include <cstddef>
#include <cstdint>

#include "imaging/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PixelBuffer image = png::decode(data, size);
    if (!image.empty() && image.rgba.size() != size_t{image.width} * image.height * 4) {
        __builtin_trap();
    }
    return 0;
}
