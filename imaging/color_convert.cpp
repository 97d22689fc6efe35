#include <new>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/color.h"
#include "imaging/color_transform.h"
#include "imaging/lcms_handles.h"
#include "imaging/premultiply.h"

namespace color {
namespace {

enum class Direction { toSrgb, fromSrgb };

// Redraws the buffer from one RGB space into the other through a premultiplied canvas at the
// default (perceptual) intent. The old bytes stay in place until the new ones are complete.
bool convertInPlace(PixelBuffer& image, cmsHPROFILE from, cmsHPROFILE to) {
    if (image.width == 0 || to == nullptr || from == nullptr || image.height == 0) {
        return false;
    }
    auto bytes = imaging::rgbaBytes(image.width, image.height);
    if (!bytes || image.rgba.size() != *bytes) {
        return false;
    }
    imaging::TransformPtr transform(cmsCreateTransform(from, TYPE_RGBA_8, to, TYPE_RGBA_8,
                                                       INTENT_PERCEPTUAL,
                                                       cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE));
    if (!transform) {
        return false;
    }
    std::vector<uint8_t> canvas(*bytes);
    const size_t pixels = *bytes / 4;
    imaging::transformPixels(transform.get(), image.rgba.data(), 4, canvas.data(), 4, pixels);
    imaging::canvasRoundTripInPlace(canvas.data(), pixels);
    image.rgba = std::move(canvas);
    return true;
}

bool convert(PixelBuffer& image, const uint8_t* profile, size_t length, Direction direction) {
    if (length == 0 || profile == nullptr || length > 0xffffffffu) {
        return false;
    }
    try {
        imaging::ProfilePtr document(
            cmsOpenProfileFromMem(profile, static_cast<cmsUInt32Number>(length)));
        if (!document || cmsGetColorSpace(document.get()) != cmsSigRgbData) {
            return false;
        }
        imaging::ProfilePtr srgb(cmsCreate_sRGBProfile());
        if (!srgb) {
            return false;
        }
        return direction == Direction::toSrgb ? convertInPlace(image, document.get(), srgb.get())
                                              : convertInPlace(image, srgb.get(), document.get());
    } catch (...) {
        return false;
    }
}

}  // namespace

bool documentToSrgbInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::toSrgb);
}

bool srgbToDocumentInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::fromSrgb);
}

}  // namespace color
