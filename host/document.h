#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The editor's open document: one 8-bit RGB layer, with an alpha channel when the layer has
// editable transparency, interleaved, each row padded past its pixels as an editor lays
// out its tiles. Main thread only.
struct Document {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 3;     // 3: flat RGB; 4: RGBA with editable transparency
    size_t rowBytes = 0;  // at least width * channels
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> iccProfile;  // the image file's embedded profile, or empty

    uint8_t* row(uint32_t y) { return pixels.data() + rowBytes * y; }
    const uint8_t* row(uint32_t y) const { return pixels.data() + rowBytes * y; }
    bool empty() const { return width == 0 || height == 0; }
};

// A document of the given size, zero-filled, with padded rows. Empty on an absurd size.
Document makeDocument(uint32_t width, uint32_t height, int channels);

// Same size, channels and pixels (padding ignored).
bool samePixels(const Document& a, const Document& b);
