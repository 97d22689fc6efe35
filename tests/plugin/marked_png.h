#pragma once

#include <cstdint>
#include <vector>

#include "imaging/png_text.h"
#include "plugin/picture_mark.h"

// The PNG file with `mark` in it, as the plug-in writes an input file and the panel a result
// file; empty when the bytes can't carry one.
inline std::vector<uint8_t> markedPng(const std::vector<uint8_t>& png, const PictureMark& mark) {
    std::vector<uint8_t> file;
    if (std::optional<png::TextSplice> splice =
            picture_mark::spliced(png.data(), png.size(), mark)) {
        for (const auto& piece : splice->pieces()) {
            file.insert(file.end(), piece.begin(), piece.end());
        }
    }
    return file;
}

// The mark a file carries, as the other side reads it.
inline std::optional<PictureMark> markIn(const std::vector<uint8_t>& file) {
    return picture_mark::find(file.data(), file.size()).mark;
}
