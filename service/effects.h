#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/pixel_buffer.h"

// The service's effects: real image work over a whole frame. Pure functions of their input:
// any thread, several at once.
namespace effects {

struct Effect {
    const char* id;
    const char* label;
    bool transparent;  // the result carries alpha
};

const std::vector<Effect>& all();
bool exists(const std::string& id);

// Runs the effect over `image` and reports progress from 0 to 1 on the calling thread. The
// result has the input's size; the empty buffer for an unknown effect or a failure of the
// image library (which never escapes as an exception).
PixelBuffer run(const std::string& id, const PixelBuffer& image,
                const std::function<void(double)>& progress);

}  // namespace effects
