#include <new>

#include "imaging/decoders.h"
#include "imaging/png.h"
#include "imaging/premultiply.h"

namespace png {

DecodedFile decodeFile(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length == 0) {
        return {};
    }
    try {
        DecodedFile decoded;
        PixelBuffer& image = decoded.image;
        bool plain = false;
        if (imaging::looksLikePng(bytes, length)) {
            plain = imaging::decodeOwnPngFast(bytes, length, image);
            if (!plain) {
                image = imaging::decodePngFile(bytes, length);
            }
        } else if (imaging::looksLikeJpeg(bytes, length)) {
            image = imaging::decodeJpegFile(bytes, length);
        }
        if (image.empty()) {
            return {};
        }
        // Every decoded image is drawn through the premultiplied canvas; JPEGs are opaque and
        // pass through unchanged. A file whose pixels the drawing changes holds other pixels
        // than the frame.
        const bool drawn =
            imaging::canvasRoundTripInPlace(image.rgba.data(), image.rgba.size() / 4);
        decoded.standsForEncode = plain && !drawn;
        return decoded;
    } catch (...) {
        return {};
    }
}

PixelBuffer decode(const uint8_t* bytes, size_t length) {
    return decodeFile(bytes, length).image;
}

}  // namespace png
