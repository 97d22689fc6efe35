#include "panel/bridge/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64, RoundTripsEveryTailLength) {
    std::vector<uint8_t> bytes;
    for (int n = 0; n < 300; ++n) {
        std::string text = base64::encode(bytes.data(), bytes.size());
        ASSERT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
        auto decoded = base64::decode(text);
        ASSERT_TRUE(decoded) << text;
        ASSERT_EQ(*decoded, bytes);
        bytes.push_back(static_cast<uint8_t>(n * 37 + 11));
    }
}

TEST(Base64, KnownVectors) {
    EXPECT_EQ(base64::encode(nullptr, 0), "");
    auto foobar = bytesOf("foobar");
    EXPECT_EQ(base64::encode(foobar.data(), 4), "Zm9vYg==");
    EXPECT_EQ(base64::encode(foobar.data(), 5), "Zm9vYmE=");
    EXPECT_EQ(base64::encode(foobar.data(), 6), "Zm9vYmFy");
    EXPECT_EQ(*base64::decode("+/+/"), (std::vector<uint8_t>{0xfb, 0xff, 0xbf}));
}

TEST(Base64, StrictDecodingRefusesAnythingOutsideTheAlphabet) {
    for (const char* bad :
         {"Zm9v\nYmFy", "Zm9v YmFy", "Zm9vYmFy\n", " Zm9vYmFy", "Zm9vYg=", "Zm9vY===", "Zm=vYmFy",
          "Zm9vYg==Zm9v", "Zm9-YmFy", "Zm9_YmFy", "Zm9vYmF", "=", "===="}) {
        EXPECT_FALSE(base64::decode(bad)) << bad;
    }
    EXPECT_FALSE(base64::decode(std::string_view("Zm9v\0mFy", 8)));
    EXPECT_TRUE(base64::decode("")) << "no text decodes to no bytes";
}

}  // namespace
