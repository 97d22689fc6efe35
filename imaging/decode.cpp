#include <new>

#include "imaging/decoders.h"
#include "imaging/png.h"
#include "imaging/premultiply.h"

namespace png {

PixelBuffer decode(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length == 0) {
        return {};
    }
    try {
        PixelBuffer image;
        if (imaging::looksLikePng(bytes, length)) {
            if (!imaging::decodeOwnPngFast(bytes, length, image)) {
                image = imaging::decodePngFile(bytes, length);
            }
        } else if (imaging::looksLikeJpeg(bytes, length)) {
            image = imaging::decodeJpegFile(bytes, length);
        }
        if (image.empty()) {
            return {};
        }
        // Every decoded image is drawn through the premultiplied canvas; JPEGs are opaque and
        // pass through unchanged.
        imaging::canvasRoundTripInPlace(image.rgba.data(), image.rgba.size() / 4);
        return image;
    } catch (...) {
        return {};
    }
}

}  // namespace png
