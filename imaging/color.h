#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_buffer.h"

// Conversion between a document's RGB ICC profile and sRGB. On false the buffer is unchanged.
// Any thread; the profile is parsed afresh on every call.
namespace color {

bool documentToSrgbInPlace(PixelBuffer& image, const uint8_t* profile, size_t length);
bool srgbToDocumentInPlace(PixelBuffer& image, const uint8_t* profile, size_t length);

}  // namespace color
