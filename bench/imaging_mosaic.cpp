#include "bench/imaging_mosaic.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/png.h"

namespace {

struct Tile {
    const char* file;
    double centreX;  // where in the photo the crop is centred, as a fraction of its width
};

PixelBuffer readPhoto(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return png::decode(bytes.data(), bytes.size());
}

}  // namespace

PixelBuffer buildPhotoMosaic(const std::string& dir) {
    constexpr uint32_t kWidth = 6000;
    constexpr uint32_t kHeight = 4000;
    const Tile tiles[9] = {
        {"nature/Aqua.jpg", 0.5},
        {"nature/Garden.jpg", 0.5},
        {"nature/LadyBird.jpg", 0.5},
        {"nature/TwoWings.jpg", 0.5},
        {"nature/Wood.jpg", 0.5},
        {"nature/YellowFlower.jpg", 0.5},
        {"abstract/Elephants_3840x2160.jpg", 0.5},
        {"abstract/Elephants_5640x3172.jpg", 0.25},
        {"abstract/Elephants_5640x3172.jpg", 0.75},
    };
    PixelBuffer mosaic{kWidth, kHeight, std::vector<uint8_t>(size_t{kWidth} * kHeight * 4)};
    for (int i = 0; i < 9; ++i) {
        PixelBuffer photo = readPhoto(dir + "/" + tiles[i].file);
        uint32_t tileX = (i % 3) * 2000;
        uint32_t tileY = (i / 3) * 1334;
        uint32_t tileH = i / 3 == 2 ? kHeight - 2 * 1334 : 1334;
        if (photo.width < 2000 || photo.height < tileH) {
            return {};
        }
        auto left = static_cast<uint32_t>(photo.width * tiles[i].centreX) - 1000;
        left = std::min(left, photo.width - 2000);
        uint32_t top = (photo.height - tileH) / 2;
        for (uint32_t y = 0; y < tileH; ++y) {
            std::memcpy(&mosaic.rgba[(size_t{tileY + y} * kWidth + tileX) * 4],
                        &photo.rgba[(size_t{top + y} * photo.width + left) * 4], 2000 * 4);
        }
    }
    return mosaic;
}
