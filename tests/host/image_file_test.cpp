#include "host/image_file.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include "../plugin/temp_dir.h"

TEST(ImageFile, APngKeepsItsPixelsAndProfileThroughSaveAndOpen) {
    TempDir dir;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(srgb, nullptr, &length);
    std::vector<uint8_t> profile(length);
    cmsSaveProfileToMem(srgb, profile.data(), &length);
    cmsCloseProfile(srgb);

    for (int channels : {3, 4}) {
        Document document = makeDocument(7, 3, channels);
        for (uint32_t y = 0; y < 3; ++y) {
            for (size_t i = 0; i < 7u * channels; ++i) {
                document.row(y)[i] = static_cast<uint8_t>(y * 31 + i * 7);
            }
        }
        document.iccProfile = profile;
        const std::string path = dir / ("doc" + std::to_string(channels) + ".png");
        ASSERT_TRUE(savePng(path, document));
        std::optional<Document> opened = openImage(path, channels == 4);
        ASSERT_TRUE(opened);
        EXPECT_TRUE(samePixels(*opened, document));
        EXPECT_EQ(opened->iccProfile, profile);
        // Opened the other way: alpha added as opaque, or dropped.
        std::optional<Document> other = openImage(path, channels == 3);
        ASSERT_TRUE(other);
        EXPECT_EQ(other->channels, channels == 3 ? 4 : 3);
        EXPECT_EQ(other->row(2)[0], document.row(2)[0]);
    }
    writeText(dir / "garbage.png", "not an image");
    EXPECT_FALSE(openImage(dir / "garbage.png", false));
    EXPECT_FALSE(openImage(dir / "missing.png", false));
}
