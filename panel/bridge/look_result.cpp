#include "panel/bridge/look_result.h"

#include <new>
#include <utility>

ResultProducer lookResultProducer(FrameAccess& frames, ColorLook look, uint64_t frame,
                                  FrameEncoder encode) {
    return [&frames, look = std::move(look), frame, encode = std::move(encode)]() {
        ProducedResult produced;
        PixelBuffer image;
        bool changed = false;
        frames.readFrame(FrameUse::result,
                         [&](const PixelBuffer& current, const FrameFile&, uint64_t serial) {
                             changed = frame != 0 && serial != frame;
                             if (changed) {
                                 return false;
                             }
                             image = applyColorLook(current, look);
                             return true;
                         });
        if (changed) {
            produced.refusal = kFrameChangedStatus;
            return produced;
        }
        try {
            if (!image.empty()) {
                std::vector<uint8_t> file = encode(image);
                image = PixelBuffer{};  // the apply path decodes the file: don't hold both
                if (!file.empty()) {
                    produced.file = std::move(file);
                }
            }
        } catch (const std::bad_alloc&) {
            produced.file.reset();
        }
        return produced;
    };
}
