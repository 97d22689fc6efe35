#pragma once

#include <string>

#include "imaging/pixel_buffer.h"

// A 6000 x 4000 real photograph for the imaging benchmarks: native-resolution centre crops of
// the photos in the desktop background collection, tiled 3 x 3. Empty when they're missing.
PixelBuffer buildPhotoMosaic(const std::string& backgroundsDir = "/usr/share/backgrounds/mate");
