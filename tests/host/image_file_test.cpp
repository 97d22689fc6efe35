#include "host/image_file.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <stdio.h>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

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

TEST(ImageFile, AJpegBringsItsEmbeddedProfile) {
    TempDir dir;
    const std::string path = dir / "photo.jpg";
    std::vector<uint8_t> profile(3000);
    for (size_t i = 0; i < profile.size(); ++i) {
        profile[i] = static_cast<uint8_t>(i * 13);
    }
    {
        FILE* file = ::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        jpeg_compress_struct info{};
        jpeg_error_mgr error{};
        info.err = jpeg_std_error(&error);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = 8;
        info.image_height = 8;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 100, TRUE);
        jpeg_start_compress(&info, TRUE);
        jpeg_write_icc_profile(&info, profile.data(), static_cast<unsigned>(profile.size()));
        std::vector<uint8_t> row(8 * 3, 128);
        while (info.next_scanline < info.image_height) {
            JSAMPROW line = row.data();
            jpeg_write_scanlines(&info, &line, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        ::fclose(file);
    }
    for (bool withAlpha : {false, true}) {
        std::optional<Document> opened = openImage(path, withAlpha);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->width, 8u);
        EXPECT_EQ(opened->channels, withAlpha ? 4 : 3);
        EXPECT_EQ(opened->iccProfile, profile);
        EXPECT_NEAR(opened->row(7)[0], 128, 2);
        if (withAlpha) {
            EXPECT_EQ(opened->row(7)[3], 255);
        }
    }
}
