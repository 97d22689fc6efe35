// libFuzzer entry for png::decode: any bytes must give an image or the empty buffer, never a
// crash, a leak or an allocation beyond the decode limit. png::decodeCover must give what
// decode and fitCover give together.
#include <cstddef>
#include <cstdint>

#include "imaging/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PixelBuffer image = png::decode(data, size);
    if (!image.empty() && image.rgba.size() != size_t{image.width} * image.height * 4) {
        __builtin_trap();
    }
    PixelBuffer fused = png::decodeCover(data, size, 17, 13);
    PixelBuffer fitted = png::fitCover(image, 17, 13);
    if (fused.width != fitted.width || fused.height != fitted.height || fused.rgba != fitted.rgba) {
        __builtin_trap();
    }
    return 0;
}
