#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_buffer.h"

// The document conversion done by lcms2 alone, as it is for every profile the matrix/TRC tables
// don't cover: the yardstick that tests and benchmarks hold the tables to. Not part of the
// imaging interface. Any thread; same results and failures as color.h otherwise.
namespace color::reference {

bool documentToSrgbInPlace(PixelBuffer& image, const uint8_t* profile, size_t length);
bool srgbToDocumentInPlace(PixelBuffer& image, const uint8_t* profile, size_t length);

}  // namespace color::reference
