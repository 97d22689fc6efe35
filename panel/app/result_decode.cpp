#include "panel/app/result_decode.h"

#include <algorithm>
#include <optional>

png::DecodedFile decodeResultForFrame(const std::vector<uint8_t>& bytes, FrameSize frame) {
    const std::optional<png::ClaimedSize> claimed = png::claimedSize(bytes.data(), bytes.size());
    if (!claimed) {
        return {};
    }
    const uint64_t limit = std::max(
        uint64_t{frame.width} * frame.height * kResultPixelsPerFramePixel, kMinResultPixelLimit);
    if (uint64_t{claimed->width} * claimed->height > limit) {
        return {};
    }
    // With no frame (the editor quit and the panel let go of it) the result keeps its own size,
    // so it still reaches the spool for the picture's next run.
    if (frame.width == 0 || frame.height == 0) {
        return png::decodeFile(bytes.data(), bytes.size());
    }
    return png::decodeCoverFile(bytes.data(), bytes.size(), frame.width, frame.height);
}
