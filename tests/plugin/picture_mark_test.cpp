#include "plugin/picture_mark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imaging/png.h"
#include "marked_png.h"
#include "plugin/host_mark.h"

namespace {

constexpr PictureMark kMark{0x0123456789abcdefu, 0x00000000000000ffu, 6000, 4000, 3};

TEST(PictureMark, ReadsBackExactlyWhatItWritesAndNothingElse) {
    const std::string text = picture_mark::format(kMark);
    EXPECT_EQ(text, "xxh3-128:0123456789abcdef00000000000000ff 6000x4000x3");
    EXPECT_EQ(picture_mark::parse(text), kMark);
    const PictureMark largest{~0ull, ~0ull, 0xffffffffu, 0xffffffffu, 0xffffffffu};
    EXPECT_EQ(picture_mark::parse(picture_mark::format(largest)), largest);
    const std::string digest = "xxh3-128:0123456789abcdef00000000000000ff";
    for (const std::string& other :
         {std::string(), digest + " 6000x4000", digest + " 6000x4000x3 ", digest + "  6000x4000x3",
          digest + " 06000x4000x3", digest + " +6000x4000x3", digest + " 6000x4000x4294967296",
          std::string("xxh3-128:0123456789ABCDEF00000000000000ff 6000x4000x3")}) {
        EXPECT_EQ(picture_mark::parse(other), std::nullopt) << other;
    }
    // In a file: none, then one that the next one replaces.
    const std::vector<uint8_t> plain = png::encode(PixelBuffer{1, 1, {1, 2, 3, 255}});
    EXPECT_FALSE(picture_mark::find(plain.data(), plain.size()).present);
    const PictureMark next{1, 2, 1, 1, 4};
    EXPECT_EQ(markIn(markedPng(markedPng(plain, kMark), next)), next);
}

TEST(HostMark, CoversExactlyThePlanesOfTheAreaRowAfterRow) {
    // 5 x 3 pixels of 3 planes in rows of 20 bytes; the same pixels in touching rows.
    constexpr ptrdiff_t kStride = 20;
    std::vector<uint8_t> padded(kStride * 3);
    std::vector<uint8_t> packed;
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 15; ++i) {
            padded[y * kStride + i] = uint8_t(y * 31 + i);
            packed.push_back(uint8_t(y * 31 + i));
        }
    }
    const PictureMark mark = markOfPlanes(padded.data(), kStride, 5, 3, 3);
    EXPECT_EQ(mark, (PictureMark{mark.high, mark.low, 5, 3, 3}));
    EXPECT_EQ(markOfPlanes(packed.data(), 15, 5, 3, 3), mark);
    // Rows that run upwards from the last one in memory.
    std::vector<uint8_t> upwards(padded.size());
    for (int y = 0; y < 3; ++y) {
        std::copy_n(&padded[y * kStride], kStride, &upwards[(2 - y) * kStride]);
    }
    EXPECT_EQ(markOfPlanes(&upwards[2 * kStride], -kStride, 5, 3, 3), mark);
    padded[15] ^= 0xFF;  // padding is no part of the picture
    EXPECT_EQ(markOfPlanes(padded.data(), kStride, 5, 3, 3), mark);

    // Any byte of the area, or the same bytes in another shape, is another picture.
    for (size_t i : {size_t{0}, size_t{14}, size_t{2 * kStride + 7}}) {
        std::vector<uint8_t> changed = padded;
        changed[i] ^= 1;
        EXPECT_NE(markOfPlanes(changed.data(), kStride, 5, 3, 3), mark) << i;
    }
    EXPECT_NE(markOfPlanes(packed.data(), 9, 3, 5, 3), mark);
}

}  // namespace
