#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One creation's work, from the uploaded bytes to the result PNG. Any thread.
namespace creation_work {

// Larger frames are refused before they are decoded: a few header bytes must not make the
// service allocate gigabytes.
inline constexpr uint64_t kMaxPixels = uint64_t{64} << 20;

struct Outcome {
    std::vector<uint8_t> png;  // empty on failure
    std::string reason;        // why it failed, in plain words
};

// Decodes the upload, runs the effect and encodes the result, reporting progress from 0 to 1.
Outcome render(const std::vector<uint8_t>& upload, const std::string& effect,
               const std::function<void(double)>& progress);

}  // namespace creation_work
