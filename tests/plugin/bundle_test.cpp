#include "platform/bundle.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

TEST(Bundle, ReadsTheInfoFileAndFindsTheNearestEnclosingBundle) {
    TempDir dir;
    const std::string outer = dir / "Outer.8bf";
    const std::string inner = outer + "/Contents/Resources/Inner.app";
    makeBundle(outer, "com.example.outer", "Outer.so", "Title");
    makeBundle(inner, "com.example.inner", "Inner");
    writeText(inner + "/Contents/Linux/Inner", "");

    std::optional<BundleInfo> info = readBundleInfo(outer);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->identifier, "com.example.outer");
    EXPECT_EQ(info->executable, "Outer.so");
    EXPECT_EQ(info->filterTitle, "Title");
    EXPECT_EQ(info->shortVersion, "");

    EXPECT_EQ(enclosingBundle(inner + "/Contents/Linux/Inner"), inner);
    EXPECT_EQ(enclosingBundle(outer + "/Contents/Linux/Outer.so"), outer);
    EXPECT_EQ(enclosingBundle(outer), outer);
    EXPECT_EQ(enclosingBundle(dir / "elsewhere/file"), "");
    EXPECT_FALSE(readBundleInfo(dir / "missing"));
}
