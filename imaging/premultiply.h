#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The premultiplied canvas every decode, fit and conversion goes through. Any thread.
namespace imaging {

// Canvas value of straight colour c under alpha a, rounded to nearest.
constexpr uint8_t premultiplyChannel(unsigned c, unsigned a) {
    return static_cast<uint8_t>((c * a + 127) / 255);
}

// Straight colour of canvas value p under alpha a in 1..254: (p * 255 + a / 2) / a, clamped so
// that a canvas value above its alpha (not produced by our own drawing) can't wrap.
constexpr uint8_t unpremultiplyChannel(unsigned p, unsigned a) {
    unsigned c = (p * 255 + a / 2) / a;
    return static_cast<uint8_t>(c > 255 ? 255 : c);
}

// Un-premultiplies a canvas in place: alpha 1..254 gets its colours divided back, alpha 0 and 255
// are left as they are.
inline void unpremultiplyInPlace(uint8_t* rgba, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        unsigned a = rgba[3];
        if (a == 255 || a == 0) {
            continue;
        }
        rgba[0] = unpremultiplyChannel(rgba[0], a);
        rgba[1] = unpremultiplyChannel(rgba[1], a);
        rgba[2] = unpremultiplyChannel(rgba[2], a);
    }
}

// What a straight pixel becomes after being drawn into a premultiplied canvas and
// un-premultiplied: opaque pixels unchanged, transparent ones (0, 0, 0, 0), the rest quantised
// by their alpha. One 64 KiB table (colour x alpha) shared by every caller.
struct CanvasRoundTripTable {
    std::array<uint8_t, 256 * 256> value{};
    CanvasRoundTripTable() {
        for (unsigned a = 0; a < 256; ++a) {
            for (unsigned c = 0; c < 256; ++c) {
                unsigned v = c;
                if (a == 0) {
                    v = 0;
                } else if (a < 255) {
                    v = unpremultiplyChannel(premultiplyChannel(c, a), a);
                }
                value[a * 256 + c] = static_cast<uint8_t>(v);
            }
        }
    }
};

inline const CanvasRoundTripTable& canvasRoundTripTable() {
    static const CanvasRoundTripTable table;
    return table;
}

// True when a byte changed.
inline bool canvasRoundTripPixels(const uint8_t* table, uint8_t* rgba, size_t pixels) {
    unsigned changed = 0;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        unsigned a = rgba[3];
        if (a == 255) {
            continue;
        }
        const uint8_t* row = table + a * 256;
        const uint8_t r = row[rgba[0]];
        const uint8_t g = row[rgba[1]];
        const uint8_t b = row[rgba[2]];
        changed |= (r ^ rgba[0]) | (g ^ rgba[1]) | (b ^ rgba[2]);
        rgba[0] = r;
        rgba[1] = g;
        rgba[2] = b;
    }
    return changed != 0;
}

// True when a byte changed: the pixels were not already what the canvas makes of them.
inline bool canvasRoundTripInPlace(uint8_t* rgba, size_t pixels) {
    const uint8_t* table = canvasRoundTripTable().value.data();
    bool changed = false;
    // Opaque runs, the common case, are skipped sixteen pixels at a time.
    constexpr size_t kRun = 16;
    for (; pixels >= kRun; pixels -= kRun, rgba += kRun * 4) {
        unsigned opaque = 255;
        for (size_t k = 0; k < kRun; ++k) {
            opaque &= rgba[k * 4 + 3];
        }
        if (opaque != 255) {
            changed |= canvasRoundTripPixels(table, rgba, kRun);
        }
    }
    changed |= canvasRoundTripPixels(table, rgba, pixels);
    return changed;
}

}  // namespace imaging
