#include <optional>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/cover_draw.h"
#include "imaging/decoders.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/png_rows.h"
#include "imaging/premultiply.h"

namespace png {
namespace {

// Draws the rows straight from the reader into the fitted canvas: no decoded canvas exists.
// Every row is read, the cropped ones too, so a damaged file fails as decode would. Nothing
// when the reader fails.
std::optional<PixelBuffer> streamCover(imaging::PngRowReader& reader, uint32_t targetWidth,
                                       uint32_t targetHeight) {
    auto canvasBytes = imaging::rgbaBytes(targetWidth, targetHeight);
    auto plan = imaging::planCover(reader.width(), reader.height(), targetWidth, targetHeight);
    if (!canvasBytes || !plan) {
        return PixelBuffer{};
    }
    PixelBuffer canvas{targetWidth, targetHeight, {}};
    imaging::resizeInLargePages(canvas.rgba, *canvasBytes);
    std::vector<uint8_t> row(size_t{reader.width()} * 4);
    uint32_t read = 0;
    auto nextRow = [&]() {
        if (!reader.readRow(row.data())) {
            return false;
        }
        ++read;
        return true;
    };
    auto rowAt = [&](uint32_t y) -> const uint8_t* {
        while (read <= y) {
            if (!nextRow()) {
                return nullptr;
            }
        }
        imaging::canvasRoundTripInPlace(row.data(), reader.width());
        return row.data();
    };
    if (!imaging::drawCover(*plan, rowAt, canvas)) {
        return std::nullopt;
    }
    while (read < reader.height()) {
        if (!nextRow()) {
            return std::nullopt;
        }
    }
    return canvas;
}

}  // namespace

DecodedFile decodeCoverFile(const uint8_t* bytes, size_t length, uint32_t targetWidth,
                            uint32_t targetHeight) {
    if (bytes == nullptr || length == 0 || targetWidth == 0 || targetHeight == 0) {
        return {};
    }
    try {
        if (imaging::looksLikePng(bytes, length)) {
            imaging::PngRowReader reader(bytes, length);
            if (reader.open() && !reader.interlaced() &&
                (reader.width() != targetWidth || reader.height() != targetHeight)) {
                // A stream that breaks off is damaged for every reader: decoding it whole would
                // fail the same way, after allocating the whole canvas.
                std::optional<PixelBuffer> fitted = streamCover(reader, targetWidth, targetHeight);
                return {fitted ? std::move(*fitted) : PixelBuffer{}, false};
            }
        }
        DecodedFile decoded = decodeFile(bytes, length);
        if (decoded.image.width == targetWidth && decoded.image.height == targetHeight) {
            return decoded;  // what fitCover would copy
        }
        return {fitCover(decoded.image, targetWidth, targetHeight), false};
    } catch (...) {
        return {};
    }
}

PixelBuffer decodeCover(const uint8_t* bytes, size_t length, uint32_t targetWidth,
                        uint32_t targetHeight) {
    return decodeCoverFile(bytes, length, targetWidth, targetHeight).image;
}

}  // namespace png
