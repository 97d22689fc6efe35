#include "panel/bridge/frame_export.h"

#include <algorithm>
#include <new>
#include <string>

#include "panel/bridge/base64.h"

namespace {

using nlohmann::json;

// Whole base64 quads per piece: 3 bytes become 4 characters, so encoding the PNG a slice at a
// time gives exactly the pieces of the whole text, without ever holding the whole text.
constexpr size_t kPieceBytes = kFramePieceCharacters / 4 * 3;
static_assert(kFramePieceCharacters % 4 == 0);

void answer(PageCaller& page, const json& ackId, bool ok, const char* error) {
    page.callAck("__lumivoFrameAck", json::array({ackId, ok, error}));
}

}  // namespace

void sendFrame(PixelBuffer frame, const json& ackId, const FrameEncoder& encode, PageCaller& page) {
    std::vector<uint8_t> file;
    try {
        if (!frame.empty()) {
            file = encode(frame);
        }
    } catch (const std::bad_alloc&) {
        file.clear();
    }
    // The copy is not needed past the encoder; give its memory back before the text is built.
    frame = PixelBuffer{};
    sendFrameFile(file, ackId, page);
}

void sendFrameFile(const std::vector<uint8_t>& file, const json& ackId, PageCaller& page) {
    if (file.empty()) {
        answer(page, ackId, false, "PNG encode failed");
        return;
    }
    try {
        for (size_t offset = 0; offset < file.size(); offset += kPieceBytes) {
            size_t length = std::min(kPieceBytes, file.size() - offset);
            json arguments = json::array();
            arguments.push_back(ackId);
            arguments.push_back(base64::encode(file.data() + offset, length));
            page.callAck("__lumivoFrameChunk", arguments);
        }
    } catch (const std::bad_alloc&) {
        // The page drops the pieces of an export that ends in failure.
        answer(page, ackId, false, "PNG encode failed");
        return;
    }
    answer(page, ackId, true, "");
}
