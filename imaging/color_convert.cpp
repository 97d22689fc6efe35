#include <new>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/color.h"
#include "imaging/color_reference.h"
#include "imaging/color_transform.h"
#include "imaging/large_pages.h"
#include "imaging/lcms_handles.h"
#include "imaging/matrix_shaper.h"
#include "imaging/premultiply.h"
#include "imaging/two_threads.h"

namespace color {
namespace {

enum class Direction { toSrgb, fromSrgb };
enum class Engine { fastest, lcmsOnly };

// Redraws the buffer from one RGB space into the other through a premultiplied canvas at the
// default (perceptual) intent. The old bytes stay in place until the new ones are complete.
bool convertByLcms(PixelBuffer& image, cmsHPROFILE from, cmsHPROFILE to) {
    imaging::TransformPtr transform(cmsCreateTransform(from, TYPE_RGBA_8, to, TYPE_RGBA_8,
                                                       INTENT_PERCEPTUAL,
                                                       cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE));
    if (!transform) {
        return false;
    }
    std::vector<uint8_t> canvas;
    imaging::resizeInLargePages(canvas, image.rgba.size());
    const size_t pixels = canvas.size() / 4;
    imaging::transformPixels(transform.get(), image.rgba.data(), 4, canvas.data(), 4, pixels);
    imaging::canvasRoundTripInPlace(canvas.data(), pixels);
    image.rgba = std::move(canvas);
    return true;
}

// The same result from matrix/TRC tables, in place: once the tables exist nothing can fail.
void convertByTables(PixelBuffer& image, const imaging::MatrixShaper& tables) {
    uint8_t* rgba = image.rgba.data();
    imaging::splitAcrossTwoThreads(image.rgba.size() / 4, [&](size_t first, size_t count) {
        imaging::convertByMatrixShaper(tables, rgba + first * 4, count);
    });
}

bool convert(PixelBuffer& image, const uint8_t* profile, size_t length, Direction direction,
             Engine engine) {
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
        auto bytes = imaging::rgbaBytes(image.width, image.height);
        if (image.empty() || !bytes || image.rgba.size() != *bytes) {
            return false;
        }
        cmsHPROFILE from = direction == Direction::toSrgb ? document.get() : srgb.get();
        cmsHPROFILE to = direction == Direction::toSrgb ? srgb.get() : document.get();
        if (engine == Engine::fastest) {
            if (auto tables = imaging::buildMatrixShaper(from, to)) {
                convertByTables(image, *tables);
                return true;
            }
        }
        return convertByLcms(image, from, to);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool documentToSrgbInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::toSrgb, Engine::fastest);
}

bool srgbToDocumentInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::fromSrgb, Engine::fastest);
}

namespace reference {

bool documentToSrgbInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::toSrgb, Engine::lcmsOnly);
}

bool srgbToDocumentInPlace(PixelBuffer& image, const uint8_t* profile, size_t length) {
    return convert(image, profile, length, Direction::fromSrgb, Engine::lcmsOnly);
}

}  // namespace reference
}  // namespace color
