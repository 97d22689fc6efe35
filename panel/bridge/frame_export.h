#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "imaging/pixel_buffer.h"
#include "panel/bridge/page_caller.h"

// Base64 characters per "__lumivoFrameChunk" piece; every piece but the last is this long.
inline constexpr size_t kFramePieceCharacters = 4 * 1024 * 1024;

// PNG encoding of a frame; the empty vector on failure (png::encode in the application).
using FrameEncoder = std::function<std::vector<uint8_t>(const PixelBuffer&)>;

// The worker half of one export, run on an export worker with a private copy of the frame:
// encodes it, then hands the page the base64 text in pieces followed by one acknowledgement,
// all through `page` in that order. An encoder failure, an empty frame or running out of
// memory is answered (ackId, false, "PNG encode failed") and nothing else.
void sendFrame(PixelBuffer frame, const nlohmann::json& ackId, const FrameEncoder& encode,
               PageCaller& page);

// The same for a frame whose PNG file is at hand: its bytes go out as they are.
void sendFrameFile(const std::vector<uint8_t>& file, const nlohmann::json& ackId, PageCaller& page);
